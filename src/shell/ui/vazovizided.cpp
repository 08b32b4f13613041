// The entry object: a thin adapter between the host and the main window.
#include "ravederi_addin.h"

#include "lommain.h"
#include "shell_services.h"
#include "shell_state.h"

#include <QApplication>
#include <QMetaObject>
#include <atomic>

namespace rav::shell
{

namespace
{

std::atomic<int> liveObjects { 0 };

class EntryObject final : public addin::vazOvizided
{
public:
    EntryObject()
        : mainWindow_(&LomMain::instance())
    {
        ++liveObjects;
        connection_ = QObject::connect(
            mainWindow_, &LomMain::NotifyClass, [this](const QString& name, const QString& command) {
                raise(name.toStdString(), command.toStdString());
            });
    }

    ~EntryObject() override
    {
        // The host still hears the "SHUTDOWN" of this last unload.
        if (mainWindow_)
            mainWindow_->ShutDown();
        QObject::disconnect(connection_);
        mainWindow_ = nullptr;
        if (--liveObjects == 0)
            LomMain::release();
    }

    int NotifyMe(std::string&, std::string& sCommand) override
    {
        if (sCommand.empty() || !mainWindow_)
            return 0;
        return static_cast<int>(mainWindow_->AP_ExeCmd(sCommand));
    }

    std::string SeverPath() const override { return shellState().ServerPath; }
    void SeverPath(const std::string& path) override { shellState().ServerPath = path; }

    bool Load(std::int16_t iMode) override
    {
        if (!mainWindow_)
            return false;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        bool result = false;
        if (QWidget* module = mainWindow_->ModuleForm()) {
            module->activateWindow();
            module->raise();
            SetWindowStateNumber(module, iMode);
        } else {
            mainWindow_->Show();
            if (mainWindow_ && IsFormVisible(mainWindow_)) {
                SetWindowStateNumber(mainWindow_, iMode);
                result = true;
            }
        }
        QApplication::restoreOverrideCursor();
        return result;
    }

    void Advise(addin::NotifyServerSink* sink) override { sink_ = sink; }

    void Release() override { delete this; }

private:
    void raise(std::string name, std::string command)
    {
        if (sink_)
            sink_->NotifyServer(name, command);
    }

    QPointer<LomMain> mainWindow_;
    QMetaObject::Connection connection_;
    addin::NotifyServerSink* sink_ = nullptr;
};

} // namespace

} // namespace rav::shell

extern "C" rav::addin::vazOvizided* Ravederi_CreateObject(const char* className, int interfaceVersion)
{
    if (!className || std::string(className) != rav::addin::kClassName
        || interfaceVersion != rav::addin::kInterfaceVersion || !qApp)
        return nullptr;
    return new rav::shell::EntryObject();
}

extern "C" int Ravederi_CanUnloadNow(void)
{
    return rav::shell::liveObjects == 0 ? 1 : 0;
}
