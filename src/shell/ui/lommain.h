// LOMMAIN, the editor's main window: the three module options, "&Show",
// "&Close" and "&Help". It owns the start-up and the shut-down of the whole
// editor and is the editor's end of the host channels: commands come in
// through AP_ExeCmd, notifications leave through NotifyClass.
//
// States: not loaded (created, start-up not run) -> choosing (loaded,
// visible, topmost) <-> module open (loaded, hidden, ModuleForm set) ->
// not loaded again after the shut-down. A later Load starts it afresh.
#pragma once

#include "host_commands.h"
#include "modules.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

class QLabel;
class QLockFile;
class QPushButton;
class QRadioButton;

namespace rav
{
class ZerOvize;
}

namespace rav::shell
{

class LomMain : public QWidget
{
    Q_OBJECT
public:
    // The single main window; created on first use, not shown.
    static LomMain& instance();
    // Whether the instance exists, without creating it.
    static bool exists();
    // Deletes the instance once nothing of it is running (at once, or from
    // the event loop when called from inside one of its own handlers).
    static void release();

    ~LomMain() override;

    bool isLoaded() const { return loaded_; }

    // Shows the window; the first show after creation or after a shut-down
    // runs the start-up (which may end in a shut-down of its own).
    void Show();

    QWidget* ModuleForm() const { return moduleForm_; }
    void SetModuleForm(QWidget* window);
    // The open window of a module, null when that module is not open.
    QWidget* moduleWindow(ModuleKind kind) const;

    void IniLoMR();
    void IniLomW();
    // Runs one host command; returns the error to hand back to the host.
    CommandError AP_ExeCmd(const std::string& sCommand);
    void AP_SendCmd(const std::string& name, const std::string& sCommand);
    void AP_SendCmdAll(const std::string& sCommand);
    void AP_Shell(const std::string& name, int style, const std::string& commandLine);
    // Unloads the main window: the full shut-down.
    void ShutDown();

    // Ensures the work folder, rescans the project's parts, enables "Create
    // List of Material" accordingly and closes an open module window.
    void RefreshModules();

    // The selected option (0-2).
    int selectedModule() const;

signals:
    void NotifyClass(const QString& name, const QString& sCommand);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    LomMain();
    void buildControls();
    void startUp();
    void unload();
    void openSelectedModule();
    void clearModuleIfGone(QObject* window);
    bool acquireInstanceLock();

    std::array<QRadioButton*, kModuleCount> optModule_ {};
    std::array<QPushButton*, 2> cmdCmd_ {};
    QPushButton* cmdHelp_ = nullptr;
    std::array<QLabel*, 2> label1_ {};
    QLabel* status_ = nullptr;
    ZerOvize* zerOvize1_ = nullptr;

    bool loaded_ = false;
    bool alreadyRunning_ = false;
    bool unloading_ = false;
    int busy_ = 0; // depth of this window's own handlers on the stack
    QPointer<QWidget> moduleForm_;
    std::array<QPointer<QWidget>, kModuleCount> modules_ {};
    std::unique_ptr<QLockFile> instanceLock_;
};

} // namespace rav::shell
