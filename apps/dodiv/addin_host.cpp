#include "addin_host.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

AddinHost::~AddinHost()
{
    release();
}

namespace
{

// The program sits in bin/ both where it is installed (/usr, /usr/local, or
// a tree moved anywhere: the editor library in a private folder under lib/,
// the help under share/) and in the build tree (lib/ and help/ beside bin/).
// The installed layout is tried first; when neither exists the installed
// path is returned, so that a failure names where the file was expected.
QString firstExisting(const QStringList& relative)
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    for (const QString& path : relative) {
        const QString absolute = QDir::cleanPath(programDir.absoluteFilePath(path));
        if (QFileInfo::exists(absolute))
            return absolute;
    }
    return QDir::cleanPath(programDir.absoluteFilePath(relative.front()));
}

} // namespace

QString AddinHost::defaultLibraryPath()
{
    const QString fromEnv = qEnvironmentVariable("RAVEDERI_LIBRARY");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return firstExisting({ QStringLiteral(RAVEDERI_BIN_TO_PKGLIBDIR "/libRavederi.so"),
        QStringLiteral("../lib/libRavederi.so") });
}

QString AddinHost::defaultHelpPath()
{
    const QString installed = QStringLiteral(RAVEDERI_BIN_TO_DATADIR "/help");
    const QString file = firstExisting({ installed + "/Ravederi.HLP", QStringLiteral("../help/Ravederi.HLP") });
    return QFileInfo(file).path();
}

bool AddinHost::create(const QString& libraryPath)
{
    if (object_)
        return true;
    library_.setFileName(libraryPath);
    if (!library_.load()) {
        error_ = library_.errorString();
        return false;
    }
    auto createObject = reinterpret_cast<Ravederi_CreateObjectFn>(library_.resolve("Ravederi_CreateObject"));
    if (!createObject) {
        error_ = QString("%1 has no entry object factory").arg(libraryPath);
        return false;
    }
    object_ = createObject(rav::addin::kClassName, rav::addin::kInterfaceVersion);
    if (!object_) {
        error_ = QString("%1 refused to create %2").arg(libraryPath, rav::addin::kClassName);
        return false;
    }
    object_->Advise(this);
    return true;
}

void AddinHost::setSeverPath(const std::string& path)
{
    if (object_)
        object_->SeverPath(path);
}

bool AddinHost::load(int mode)
{
    return object_ && object_->Load(static_cast<std::int16_t>(mode));
}

int AddinHost::notifyMe(const std::string& command)
{
    if (!object_)
        return 91;
    std::string name = "DODIV";
    std::string text = command;
    return object_->NotifyMe(name, text);
}

void AddinHost::release()
{
    if (!object_)
        return;
    rav::addin::vazOvizided* object = object_;
    object_ = nullptr;
    object->Release();
}

void AddinHost::NotifyServer(std::string& name, std::string& sCommand)
{
    if (listener_)
        listener_(name, sCommand);
}
