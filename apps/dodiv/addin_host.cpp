#include "addin_host.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

AddinHost::~AddinHost()
{
    release();
}

QString AddinHost::defaultLibraryPath()
{
    const QString fromEnv = qEnvironmentVariable("RAVEDERI_LIBRARY");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("../lib/libRavederi.so");
}

QString AddinHost::defaultHelpPath()
{
    return QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("../help"));
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
