#include "lommain.h"

#include "host_utility.h"
#include "lom_settings.h"
#include "project_parts.h"
#include "shell_services.h"
#include "shell_state.h"
#include "textcodec.h"
#include "zareza2v.h"
#include "zerovize.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLockFile>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <stdexcept>

namespace rav::shell
{

namespace
{

// An error that ends the start-up. Numbers below 9999 are reported with
// their description before the shut-down; 9999 is the quiet stop for an
// editor that already runs elsewhere.
struct StartupError {
    int number = 0;
    std::string description;
    std::string source;
};
constexpr int kAlreadyRunning = 9999;
constexpr int kFailedStep = 5; // a step of the start-up failed

QPointer<LomMain>& instancePointer()
{
    static QPointer<LomMain> pointer;
    return pointer;
}

// Counts this window's handlers on the stack, so that a host releasing the
// editor from inside one of them gets a deferred delete.
class BusyGuard
{
public:
    explicit BusyGuard(int& depth)
        : depth_(depth)
    {
        ++depth_;
    }
    ~BusyGuard() { --depth_; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    int& depth_;
};

// The window's artwork: a sheet with a list of materials on it.
QPixmap artwork()
{
    QPixmap pixmap(48, 56);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 70, 90), 1.5));
    p.setBrush(QColor(250, 250, 240));
    p.drawRect(QRectF(4.5, 2.5, 38, 50));
    p.setBrush(QColor(70, 120, 190));
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        const double y = 9 + i * 7;
        p.drawRect(QRectF(9, y, 4, 4));
        p.fillRect(QRectF(16, y + 1, (i % 2) ? 18 : 22, 2), QColor(90, 90, 90));
    }
    return pixmap;
}

} // namespace

LomMain& LomMain::instance()
{
    QPointer<LomMain>& pointer = instancePointer();
    if (!pointer)
        pointer = new LomMain();
    return *pointer;
}

bool LomMain::exists()
{
    return !instancePointer().isNull();
}

void LomMain::release()
{
    QPointer<LomMain>& pointer = instancePointer();
    if (!pointer)
        return;
    if (pointer->busy_ > 0)
        pointer->deleteLater();
    else
        delete pointer.data();
    pointer = nullptr;
}

LomMain::LomMain()
    : QWidget(nullptr, Qt::Window)
{
    setObjectName("LOMMAIN");
    setWindowTitle("List of Materials Editor");
    setProperty(kTagProperty, "99843");
    buildControls();
    InstallHelpKey();
}

LomMain::~LomMain()
{
    // Destroyed while loaded (the process ends without a shut-down): the
    // other windows go with it, but no notification is sent any more.
    if (loaded_) {
        for (QWidget* w : LoadedWindows())
            if (w != this)
                UnloadWindow(w);
        ForgetLoadedWindow(this);
    }
}

void LomMain::buildControls()
{
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(12, 12, 12, 12);
    outer->setSpacing(12);

    // Picture1 / Image1: the artwork column.
    auto* picture1 = new QLabel(this);
    picture1->setObjectName("Picture1");
    picture1->setPixmap(artwork());
    picture1->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    outer->addWidget(picture1);

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    outer->addLayout(column, 1);

    label1_[0] = new QLabel("Select the option you would like to operate on:", this);
    label1_[0]->setObjectName("Label1_0");
    label1_[0]->setProperty(kTagProperty, "54127");
    column->addWidget(label1_[0]);

    zerOvize1_ = new ZerOvize(this);
    zerOvize1_->setObjectName("ZerOvize1");
    auto* options = new QVBoxLayout(zerOvize1_);
    options->setContentsMargins(12, 8, 12, 8);
    const char* captions[kModuleCount] = { "Create External Info Database File",
        "EID File editor and Associate", "Create List of Material" };
    const char* tags[kModuleCount] = { "54125", "54124", "54123" };
    for (int i = 0; i < kModuleCount; ++i) {
        optModule_[i] = new QRadioButton(captions[i], zerOvize1_);
        optModule_[i]->setObjectName(QString("optModule_%1").arg(i));
        optModule_[i]->setProperty(kTagProperty, tags[i]);
        options->addWidget(optModule_[i]);
        connect(optModule_[i], &QRadioButton::toggled, this, [this] {
            if (status_)
                status_->clear();
        });
    }
    optModule_[0]->setChecked(true);
    column->addWidget(zerOvize1_);

    label1_[1] = new QLabel("Click &Show to enter create/ edit EID...", this);
    label1_[1]->setObjectName("Label1_1");
    label1_[1]->setProperty(kTagProperty, "54126");
    label1_[1]->setWordWrap(true);
    column->addWidget(label1_[1]);

    // Shape1: the rule above the buttons.
    auto* shape1 = new QFrame(this);
    shape1->setObjectName("Shape1");
    shape1->setFrameShape(QFrame::HLine);
    shape1->setFrameShadow(QFrame::Sunken);
    column->addWidget(shape1);

    status_ = new QLabel(this);
    status_->setObjectName("lblStatus");
    status_->setWordWrap(true);
    column->addWidget(status_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    cmdCmd_[0] = new QPushButton("&Show", this);
    cmdCmd_[0]->setObjectName("cmdCmd_0");
    cmdCmd_[0]->setProperty(kTagProperty, "5475");
    cmdCmd_[0]->setDefault(true);
    cmdCmd_[1] = new QPushButton("&Close", this);
    cmdCmd_[1]->setObjectName("cmdCmd_1");
    cmdCmd_[1]->setProperty(kTagProperty, "9917");
    cmdHelp_ = new QPushButton("&Help", this);
    cmdHelp_->setObjectName("cmdHelp");
    cmdHelp_->setProperty(kTagProperty, "1725");
    buttons->addWidget(cmdCmd_[0]);
    buttons->addWidget(cmdCmd_[1]);
    buttons->addWidget(cmdHelp_);
    column->addLayout(buttons);
    // The text names the Show button; it is no second way to it (a buddy
    // would give Alt+S two targets).

    connect(cmdCmd_[0], &QPushButton::clicked, this, [this] {
        BusyGuard busy(busy_);
        openSelectedModule();
    });
    connect(cmdCmd_[1], &QPushButton::clicked, this, [this] {
        BusyGuard busy(busy_);
        ShutDown();
    });
    connect(cmdHelp_, &QPushButton::clicked, this, [this] {
        BusyGuard busy(busy_);
        SetHelpTopic(0, 0, 0, 0, true);
    });
}

bool LomMain::acquireInstanceLock()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    instanceLock_ = std::make_unique<QLockFile>(dir + "/ravederi-editor.lock");
    instanceLock_->setStaleLockTime(0); // a lock is stale only when its process is gone
    if (instanceLock_->tryLock(0))
        return true;
    instanceLock_.reset();
    return false;
}

void LomMain::Show()
{
    BusyGuard busy(busy_);
    if (!loaded_) {
        startUp();
        return;
    }
    show();
}

void LomMain::startUp()
{
    loaded_ = true;
    alreadyRunning_ = false;
    RegisterLoadedWindow(this);
    ShellState& state = shellState();
    try {
        if (!acquireInstanceLock()) {
            alreadyRunning_ = true;
            throw StartupError { kAlreadyRunning, "The List of Materials Editor is already running.",
                "Ravederi" };
        }
        state.MainForm = this;
        ApplyStoredLanguage();
        InstallLanguageMenu(this);
        SelectLocaleFont();
        LocaliseForm(this);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        std::string server = rav::text::trimBlanks(state.ServerPath);
        state.HelpFile = rav::text::trimBlanks(server + "/" + "Ravederi" + ".HLP");
        state.AppTitle = HostUtility::instance().GetLocalMessage("List of Material Editor", "");
        adjustSize();
        if (const QScreen* screen = this->screen()) {
            const QRect area = screen->geometry();
            move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
        }
        QApplication::restoreOverrideCursor();
        // InitMain
        ReadSuiteDirs();
        IniLoMR();
        // Not made topmost: a window without an owner would stay above every
        // window, help and other programs' included. It is an ordinary window.
        RefreshModules();
        show();
        SetHelpTopic(0, 0, 0, 0, false);
    } catch (const StartupError& error) {
        if (error.number < kAlreadyRunning)
            ShowPlainMessage(error.description, MessageKind::Critical, error.source);
        ShutDown();
    } catch (const std::exception& error) {
        ShowPlainMessage(error.what(), MessageKind::Critical, "Ravederi");
        ShutDown();
    }
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void LomMain::RefreshModules()
{
    BusyGuard busy(busy_);
    EnsureTempDir();
    kernel::ProjectParts& project = kernel::ProjectParts::instance();
    project.OpenProjectInfo();
    project.CollectLayoutComponents();
    optModule_[2]->setEnabled(project.HasParts());
    if (optModule_[2]->isChecked() && !optModule_[2]->isEnabled())
        optModule_[0]->setChecked(true);
    if (moduleForm_) {
        UnloadWindow(moduleForm_.data());
        moduleForm_ = nullptr;
        if (loaded_) {
            show();
            activateWindow();
        }
    }
}

int LomMain::selectedModule() const
{
    for (int i = 0; i < kModuleCount; ++i)
        if (optModule_[i]->isChecked())
            return i;
    return -1;
}

QWidget* LomMain::moduleWindow(ModuleKind kind) const
{
    return modules_[static_cast<std::size_t>(kind)];
}

void LomMain::SetModuleForm(QWidget* window)
{
    moduleForm_ = window;
}

void LomMain::clearModuleIfGone(QObject* window)
{
    if (moduleForm_.isNull() || moduleForm_.data() == window)
        moduleForm_ = nullptr;
}

void LomMain::openSelectedModule()
{
    status_->clear();
    for (int i = 0; i < kModuleCount; ++i) {
        if (!optModule_[i]->isChecked())
            continue;
        const auto kind = static_cast<ModuleKind>(i);
        QWidget* window = CreateModuleWindow(kind);
        if (!window) {
            status_->setText(QString::fromStdString(
                HostUtility::instance().GetLocalMessage("This module is not available in this build.", "")));
            return;
        }
        RegisterLoadedWindow(window);
        modules_[static_cast<std::size_t>(i)] = window;
        connect(window, &QObject::destroyed, this, &LomMain::clearModuleIfGone);
        window->show();
        window->activateWindow();
        moduleForm_ = window;
    }
    if (moduleForm_)
        hide();
}

void LomMain::IniLoMR()
{
    shell::IniLoMR();
}

void LomMain::IniLomW()
{
    shell::IniLomW();
}

CommandError LomMain::AP_ExeCmd(const std::string& sCommand)
{
    BusyGuard busy(busy_);
    const ParsedCommand command = ParseHostCommand(sCommand);
    if (command.error != CommandError::None || !command.code)
        return command.error;
    if (*command.code == HostCode::Update) {
        RefreshModules();
        return CommandError::None;
    }
    // The window commands act through MainForm, which exists only once the
    // main window has loaded.
    if (!loaded_ || !shellState().MainForm)
        return CommandError::ObjectNotSet;
    QWidget* recordEditor = moduleWindow(ModuleKind::RecordEditor);
    switch (*command.code) {
    case HostCode::Maximise:
        SetWindowStateNumber(this, 0);
        if (IsFormVisible(recordEditor))
            SetWindowStateNumber(recordEditor, 2);
        break;
    case HostCode::Minimise:
        SetWindowStateNumber(this, 1);
        if (IsFormVisible(recordEditor))
            SetWindowStateNumber(recordEditor, 1);
        break;
    case HostCode::Default:
        SetWindowStateNumber(this, 0);
        if (IsFormVisible(recordEditor))
            SetWindowStateNumber(recordEditor, 0);
        break;
    case HostCode::Exit:
        ShutDown();
        break;
    case HostCode::Update:
        break;
    }
    return CommandError::None;
}

void LomMain::AP_SendCmd(const std::string& name, const std::string& sCommand)
{
    emit NotifyClass(QString::fromStdString(name), QString::fromStdString(sCommand));
}

void LomMain::AP_SendCmdAll(const std::string& sCommand)
{
    emit NotifyClass(kAppName, QString::fromStdString(sCommand));
}

void LomMain::AP_Shell(const std::string& name, int style, const std::string& commandLine)
{
    emit NotifyClass(
        QString::fromStdString(name), QString::fromStdString(ShellRequestText(style, commandLine)));
}

void LomMain::ShutDown()
{
    BusyGuard busy(busy_);
    unload();
}

void LomMain::closeEvent(QCloseEvent* event)
{
    BusyGuard busy(busy_);
    // Closing the main window is never refused; it unloads the editor.
    event->accept();
    unload();
}

void LomMain::unload()
{
    if (!loaded_ || unloading_)
        return;
    unloading_ = true;
    if (!alreadyRunning_) {
        IniLomW();
        // The editor's entry in the kernel's string table goes.
        E_SetString(kAppName, "");
        CloseHelp();
    }
    // Newest first; pending events run before each unload so that every
    // window finishes its own handling.
    while (true) {
        const std::vector<QWidget*> windows = LoadedWindows();
        if (windows.size() <= 1 && (windows.empty() || windows.front() == this))
            break;
        QApplication::processEvents();
        const std::vector<QWidget*> now = LoadedWindows();
        QWidget* last = now.empty() ? nullptr : now.back();
        if (!last || last == this) {
            // Only windows older than the main window remain (none should).
            if (now.size() <= 1)
                break;
            UnloadWindow(now.front() == this ? now[1] : now.front());
            continue;
        }
        UnloadWindow(last);
    }
    moduleForm_ = nullptr;
    hide();
    ForgetLoadedWindow(this);
    if (shellState().MainForm == this)
        shellState().MainForm = nullptr;
    instanceLock_.reset();
    loaded_ = false;
    unloading_ = false;
    emit NotifyClass(kAppName, "SHUTDOWN");
}

} // namespace rav::shell
