// The entry object and the main window, driven offscreen through the
// editor library as a host drives them: create the object, Load, send
// commands, watch the notifications.
#include "help_engine.h"
#include "host_utility.h"
#include "lommain.h"
#include "modules.h"
#include "project_parts.h"
#include "ravederi_addin.h"
#include "shell_services.h"
#include "shell_state.h"
#include "test_env.h"
#include "zareza2v.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QVBoxLayout>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace rav::shell;

namespace
{

struct Notification {
    std::string name;
    std::string command;
    bool operator==(const Notification&) const = default;
};

// The host's side of the event.
class Host final : public rav::addin::NotifyServerSink
{
public:
    void NotifyServer(std::string& name, std::string& sCommand) override
    {
        seen.push_back({ name, sCommand });
    }
    std::vector<Notification> seen;
    int shutdowns() const
    {
        return static_cast<int>(
            std::count(seen.begin(), seen.end(), Notification { "RAVEDERI", "SHUTDOWN" }));
    }
};

// A stand-in for a module window that keeps to the module contract.
QWidget* makeModule(const char* name)
{
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setObjectName(name);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->resize(300, 200);
    return window;
}

const char* const kEmptyProject = R"({"format": "ravederi-project", "version": 1, "name": "EMPTY",
  "hierarchies": ["Main"], "currentHierarchy": "Main", "helpFollow": false, "symbols": [], "strings": {},
  "devices": [], "components": []})";

class ShellWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetMessageSink(&messages);
        shellState().ServerPath.clear();
        rav::HostUtility::instance().setLanguage("en");
        fs::remove(rav::HostUtility::instance().settingsFile());
        RegisterModuleWindow(ModuleKind::EidWizard, [] { return makeModule("frmEidedit"); });
        RegisterModuleWindow(ModuleKind::RecordEditor, [] { return makeModule("frmRecEdit"); });
        RegisterModuleWindow(ModuleKind::LomWizard, nullptr);
        Z_SetHelpDisplay(&rav::help::HelpEngine::kernelDisplay, nullptr);
    }

    void TearDown() override
    {
        if (object)
            object->Release();
        object = nullptr;
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Z_CloseProject();
        Z_SetHelpDisplay(nullptr, nullptr);
        SetMessageSink(nullptr);
        rav::HostUtility::instance().setLanguage("");
    }

    void openDemo()
    {
        const fs::path copy = scratch / "demo.dpz";
        fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.dpz", copy, fs::copy_options::overwrite_existing);
        ASSERT_NE(Z_OpenProject(copy.c_str()), 0) << Z_LastError();
    }

    void openEmpty()
    {
        rav::test::writeFile(scratch / "empty.json", kEmptyProject);
        const auto run = rav::test::runProgram(std::string(RAV_BIN_DIR) + "/ravederi project build '"
            + (scratch / "empty.json").string() + "' '" + (scratch / "empty.dpz").string() + "'");
        ASSERT_EQ(run.exitCode, 0) << run.err;
        ASSERT_NE(Z_OpenProject((scratch / "empty.dpz").c_str()), 0) << Z_LastError();
    }

    void create()
    {
        object = Ravederi_CreateObject("vazOvizided", rav::addin::kInterfaceVersion);
        ASSERT_NE(object, nullptr);
        object->Advise(&host);
        object->SeverPath(std::string(RAV_BIN_DIR) + "/../help");
    }

    int send(const std::string& command)
    {
        std::string name = "DODIV";
        std::string text = command;
        return object->NotifyMe(name, text);
    }

    LomMain& main() { return LomMain::instance(); }
    // Saves a picture of the main window when RAV_SCREENSHOT_DIR names a
    // folder, for looking at the layout by eye.
    void screenshot(const char* name)
    {
        if (const char* dir = std::getenv("RAV_SCREENSHOT_DIR"))
            main().grab().save(QString("%1/%2.png").arg(dir, name));
    }
    template <typename T> T* control(const char* name)
    {
        T* found = main().findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    rav::test::ScratchDir scratch;
    rav::RecordingMessageSink messages;
    Host host;
    rav::addin::vazOvizided* object = nullptr;
};

} // namespace

TEST_F(ShellWindowTest, FactorySeverPathAndCommandsBeforeLoad)
{
    EXPECT_EQ(Ravederi_CreateObject("Other", rav::addin::kInterfaceVersion), nullptr);
    EXPECT_EQ(Ravederi_CreateObject("vazOvizided", 99), nullptr);
    EXPECT_EQ(Ravederi_CanUnloadNow(), 1);
    object = Ravederi_CreateObject("vazOvizided", rav::addin::kInterfaceVersion);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(Ravederi_CanUnloadNow(), 0);
    EXPECT_EQ(object->SeverPath(), "");
    object->SeverPath("/opt/dodiv/help");
    EXPECT_EQ(object->SeverPath(), "/opt/dodiv/help");
    std::string name = "anything";
    std::string empty;
    EXPECT_EQ(object->NotifyMe(name, empty), 0);
    // Window commands before the first Load fail; the main window is not
    // loaded by them.
    EXPECT_EQ(send("RAVEDERI,MN"), 91);
    EXPECT_EQ(send("RAVEDERI,EX"), 91);
    EXPECT_FALSE(main().isLoaded());

    // Catalogue messages go to the message boxes; unknown codes show nothing.
    ShowMessage(14, "R12");
    ShowMessage(99, "nothing");
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Can't read the Part: R12");
    EXPECT_EQ(messages.messages[0].kind, rav::MessageKind::Exclamation);
}

TEST_F(ShellWindowTest, StartUpWithPartsEnablesTheListOfMaterials)
{
    openDemo();
    create();
    EXPECT_TRUE(object->Load(0));
    EXPECT_TRUE(main().isLoaded());
    EXPECT_TRUE(main().isVisible());
    EXPECT_TRUE(main().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(main().windowTitle(), "List of Materials Editor");
    EXPECT_TRUE(control<QRadioButton>("optModule_2")->isEnabled());
    EXPECT_TRUE(control<QRadioButton>("optModule_0")->isChecked());
    EXPECT_EQ(control<QPushButton>("cmdCmd_0")->text(), "&Show");

    const ShellState& state = shellState();
    EXPECT_EQ(state.AppTitle, "List of Material Editor");
    EXPECT_EQ(state.HelpFile, std::string(RAV_BIN_DIR) + "/../help/Ravederi.HLP");
    EXPECT_EQ(state.MainForm.data(), &main());
    EXPECT_TRUE(fs::is_directory(state.TempDir));
    EXPECT_EQ(state.CurrentHelpTopic, 0);
    // Centred on the screen.
    const QRect screen = main().screen()->geometry();
    EXPECT_NEAR(main().x() + main().width() / 2, screen.center().x(), 2);

    screenshot("lommain-en");
    // A second Load only applies the window state again.
    EXPECT_TRUE(object->Load(0));
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ShellWindowTest, StartUpWithoutPartsAndUpdateMoveTheSelection)
{
    openEmpty();
    create();
    ASSERT_TRUE(object->Load(0));
    EXPECT_FALSE(control<QRadioButton>("optModule_2")->isEnabled());

    // "All" reaches the editor too.
    Z_CloseProject();
    openDemo();
    EXPECT_EQ(send("All,UP"), 0);
    EXPECT_TRUE(control<QRadioButton>("optModule_2")->isEnabled());
    control<QRadioButton>("optModule_2")->setChecked(true);

    Z_CloseProject();
    openEmpty();
    EXPECT_EQ(send("RAVEDERI,UP"), 0);
    EXPECT_FALSE(control<QRadioButton>("optModule_2")->isEnabled());
    EXPECT_TRUE(control<QRadioButton>("optModule_0")->isChecked());
    EXPECT_EQ(main().selectedModule(), 0);
}

TEST_F(ShellWindowTest, ModulesOpenCloseAndAreRefreshedAway)
{
    openDemo();
    create();
    ASSERT_TRUE(object->Load(0));
    // A module missing from the build says so.
    control<QRadioButton>("optModule_2")->setChecked(true);
    QTest::mouseClick(control<QPushButton>("cmdCmd_0"), Qt::LeftButton);
    EXPECT_EQ(main().ModuleForm(), nullptr);
    EXPECT_EQ(control<QLabel>("lblStatus")->text(), "This module is not available in this build.");

    control<QRadioButton>("optModule_1")->setChecked(true);
    QTest::mouseClick(control<QPushButton>("cmdCmd_0"), Qt::LeftButton);
    QWidget* editor = main().ModuleForm();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->objectName(), "frmRecEdit");
    EXPECT_TRUE(editor->isVisible());
    EXPECT_FALSE(main().isVisible());
    EXPECT_TRUE(IsFormVisible(editor));

    // Load with a module open brings the module forward and says False.
    EXPECT_FALSE(object->Load(1));
    EXPECT_TRUE(editor->windowState().testFlag(Qt::WindowMinimized));
    EXPECT_FALSE(main().isVisible());
    EXPECT_FALSE(object->Load(0));

    // MX / MN / DF reach the record editor as well.
    EXPECT_EQ(send("All,MX"), 0);
    EXPECT_TRUE(editor->windowState().testFlag(Qt::WindowMaximized));
    EXPECT_EQ(send("RAVEDERI,MN"), 0);
    EXPECT_TRUE(editor->windowState().testFlag(Qt::WindowMinimized));
    EXPECT_TRUE(main().windowState().testFlag(Qt::WindowMinimized));
    EXPECT_EQ(send("RAVEDERI,DF"), 0);
    EXPECT_FALSE(editor->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
    EXPECT_FALSE(main().windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));

    // The user closes the module: it returns to the main window.
    QPointer<QWidget> watch = editor;
    ReturnToMainForm();
    editor->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(main().ModuleForm(), nullptr);
    EXPECT_TRUE(main().isVisible());
    EXPECT_TRUE(object->Load(0));

    // "UP" with a module open unloads it and shows the main window.
    control<QRadioButton>("optModule_0")->setChecked(true);
    QTest::mouseClick(control<QPushButton>("cmdCmd_0"), Qt::LeftButton);
    watch = main().ModuleForm();
    ASSERT_FALSE(watch.isNull());
    EXPECT_EQ(watch->objectName(), "frmEidedit");
    EXPECT_EQ(send("RAVEDERI,UP"), 0);
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(main().ModuleForm(), nullptr);
    EXPECT_TRUE(main().isVisible());
}

TEST_F(ShellWindowTest, WindowCommandsOnBothTargetsAndCaseSensitiveTargets)
{
    openDemo();
    create();
    ASSERT_TRUE(object->Load(0));
    for (const char* target : { "All", "RAVEDERI" }) {
        EXPECT_EQ(send(std::string(target) + ",MN"), 0);
        EXPECT_TRUE(main().windowState().testFlag(Qt::WindowMinimized)) << target;
        EXPECT_EQ(send(std::string(target) + ",MX"), 0);
        EXPECT_FALSE(main().windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) << target;
        EXPECT_EQ(send(std::string(target) + ",MN"), 0);
        EXPECT_EQ(send(std::string(target) + ",DF"), 0);
        EXPECT_FALSE(main().windowState().testFlag(Qt::WindowMinimized)) << target;
    }
    EXPECT_EQ(send("ravederi,EX"), 0);
    EXPECT_EQ(send("all,EX"), 0);
    EXPECT_EQ(send("RAVEDERI,XX"), 0);
    EXPECT_TRUE(main().isLoaded());

    // A command for this editor without a code is a subscript error.
    EXPECT_EQ(send("RAVEDERI"), 9);
    EXPECT_TRUE(main().isLoaded());

    // Shell requests and sent commands reach the host.
    main().AP_Shell("DODIV", 1, "notepad a,b.txt");
    main().AP_SendCmd("ZAROV", "All,UP");
    main().AP_SendCmdAll("HELLO");
    EXPECT_EQ(send("All,EX"), 0);
    EXPECT_FALSE(main().isLoaded());
    EXPECT_EQ(host.seen,
        (std::vector<Notification> { { "DODIV", "SHELL,1,notepad a,b.txt" }, { "ZAROV", "All,UP" },
            { "RAVEDERI", "HELLO" }, { "RAVEDERI", "SHUTDOWN" } }));
}

TEST_F(ShellWindowTest, ExitWithExtraFieldsShutsDownAndWritesTheSettings)
{
    openDemo();
    create();
    ASSERT_TRUE(object->Load(0));
    EXPECT_EQ(send("RAVEDERI,EX,extra"), 0);
    EXPECT_FALSE(main().isLoaded());
    EXPECT_FALSE(main().isVisible());
    EXPECT_EQ(host.shutdowns(), 1);
    EXPECT_EQ(shellState().MainForm, nullptr);

    rav::HostUtility& settings = rav::HostUtility::instance();
    EXPECT_EQ(settings.ReadSetting("POSTLOM", "FieldSort", "?"), "0");
    EXPECT_EQ(settings.ReadSetting("POSTLOM", "FieldSep", "?"), " 44");
    EXPECT_EQ(settings.ReadSetting("POSTLOM", "DBaseName", "?"), "");
    EXPECT_EQ(settings.ReadSetting("POSTLOM", "FieldSeq", "?"), "");
    // The string-table entry is cleared.
    EXPECT_STREQ(Z_TextPointer(E_GetString("RAVEDERI")) ? Z_TextPointer(E_GetString("RAVEDERI")) : "", "");

    // Releasing after the shut-down does not shut down twice, and a later
    // object starts the editor afresh.
    object->Release();
    object = nullptr;
    EXPECT_EQ(host.shutdowns(), 1);
    create();
    EXPECT_TRUE(object->Load(0));
    EXPECT_TRUE(main().isLoaded());
}

TEST_F(ShellWindowTest, FieldSepNineRoundTripsThroughStartAndShutDown)
{
    rav::HostUtility::instance().WriteSetting("POSTLOM", "FieldSep", "9");
    rav::HostUtility::instance().WriteSetting("POSTLOM", "DBaseName", "/data/Part.eid");
    openDemo();
    create();
    ASSERT_TRUE(object->Load(0));
    EXPECT_EQ(shellState().FieldSep, 9);
    EXPECT_EQ(shellState().DBaseName, "/data/Part.eid");
    QTest::mouseClick(control<QPushButton>("cmdCmd_1"), Qt::LeftButton); // &Close
    EXPECT_EQ(host.shutdowns(), 1);
    EXPECT_EQ(rav::HostUtility::instance().ReadSetting("POSTLOM", "FieldSep", "?"), " 9");
    EXPECT_EQ(rav::HostUtility::instance().ReadSetting("POSTLOM", "DBaseName", "?"), "/data/Part.eid");
}

TEST_F(ShellWindowTest, ShutDownUnloadsEveryOtherWindowNewestFirst)
{
    openDemo();
    create();
    ASSERT_TRUE(object->Load(0));
    control<QRadioButton>("optModule_1")->setChecked(true);
    QTest::mouseClick(control<QPushButton>("cmdCmd_0"), Qt::LeftButton);
    ASSERT_NE(main().ModuleForm(), nullptr);
    // The record editor's tool box loads after it.
    QWidget* toolBox = makeModule("frmToolBox");
    RegisterLoadedWindow(toolBox);
    toolBox->show();

    std::vector<std::string> order;
    for (QWidget* w : { main().ModuleForm(), toolBox })
        QObject::connect(w, &QObject::destroyed,
            [&order, name = w->objectName().toStdString()] { order.push_back(name); });
    QObject::connect(&main(), &LomMain::NotifyClass,
        [&order](const QString&, const QString& c) { order.push_back(c.toStdString()); });
    object->Release(); // the host lets go: a full shut-down
    object = nullptr;
    EXPECT_EQ(order, (std::vector<std::string> { "frmToolBox", "frmRecEdit", "SHUTDOWN" }));
    EXPECT_EQ(host.shutdowns(), 1);
}

TEST_F(ShellWindowTest, AnEditorRunningElsewhereStopsTheStartUpQuietly)
{
    rav::HostUtility::instance().WriteSetting("POSTLOM", "FieldSort", "3");
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    // Another process holds the lock: a child that keeps it while we start.
    const std::string lockFile = (dir + "/ravederi-editor.lock").toStdString();
    QLockFile other(QString::fromStdString(lockFile));
    ASSERT_TRUE(other.tryLock(0));
    // A lock held by this process counts as running elsewhere only through
    // its file; QLockFile refuses a second lock on it either way.
    openDemo();
    create();
    EXPECT_FALSE(object->Load(0));
    EXPECT_FALSE(main().isLoaded());
    EXPECT_EQ(host.shutdowns(), 1);
    EXPECT_TRUE(messages.messages.empty()); // the quiet stop shows nothing
    rav::HostUtility::instance().WriteSetting("POSTLOM", "FieldSort", "3");
    EXPECT_EQ(
        rav::HostUtility::instance().ReadSetting("POSTLOM", "FieldSep", "none"), "none"); // nothing written
    other.unlock();
    EXPECT_TRUE(object->Load(0));
}

TEST_F(ShellWindowTest, HelpTopicsLimitsAndCtrlF1)
{
    openDemo();
    create();
    ASSERT_TRUE(object->Load(0));
    rav::help::HelpEngine& help = rav::help::HelpEngine::instance();
    EXPECT_FALSE(help.isOpen()); // the demo's help-follow flag is off

    // Ctrl+F1 before any other topic shows topic 0.
    QTest::keyClick(control<QPushButton>("cmdCmd_0"), Qt::Key_F1, Qt::ControlModifier);
    ASSERT_TRUE(help.isOpen());
    EXPECT_EQ(help.openTopic(), 0);
    EXPECT_EQ(help.topicTitle(), "List of Materials Editor");
    // Placed by the macro: right of the middle of the screen.
    EXPECT_GT(help.window()->x(), main().screen()->availableGeometry().width() / 2);

    SetHelpTopic(2, 1, 1, 1, false);
    EXPECT_EQ(shellState().CurrentHelpTopic, 13305);
    EXPECT_EQ(help.openTopic(), 0); // not shown without the flag
    SetHelpTopic(2, 0, 0, 0, true);
    EXPECT_EQ(help.openTopic(), 13302);
    EXPECT_EQ(help.topicTitle(), "Create External Info Database File");

    SetHelpTopic(12, 101, 0, 0, true);
    SetHelpTopic(1, 101, 0, 0, true);
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[0].text, "Menu No: exceeds 11 SubMenu No. exceeds 100");
    EXPECT_EQ(messages.messages[1].text, " SubMenu No. exceeds 100");
    EXPECT_EQ(shellState().CurrentHelpTopic, 13302); // unchanged

    QTest::mouseClick(control<QPushButton>("cmdHelp"), Qt::LeftButton);
    EXPECT_EQ(help.openTopic(), 0);
    EXPECT_EQ(shellState().CurrentHelpTopic, 0);

    // Shut-down closes the help window.
    EXPECT_EQ(send("RAVEDERI,EX"), 0);
    EXPECT_FALSE(help.isOpen());
}

TEST_F(ShellWindowTest, LocalisationFollowsTheLanguageAndKeepsUntaggedCaptions)
{
    rav::HostUtility::instance().setLanguage("de");
    openDemo();
    create();
    ASSERT_TRUE(object->Load(0));
    EXPECT_EQ(main().windowTitle(), "Stücklisten-Editor");
    EXPECT_EQ(control<QPushButton>("cmdCmd_1")->text(), "&Schließen");
    EXPECT_EQ(control<QRadioButton>("optModule_2")->text(), "Stückliste erstellen");
    screenshot("lommain-de");

    // A window of a module: tagged controls follow, an untagged one keeps
    // its caption but still gets the chosen font.
    QWidget window;
    window.setProperty("Tag", "5474");
    window.setWindowTitle("List of Materials - Preview");
    auto* tagged = new QPushButton("&Close", &window);
    tagged->setProperty("Tag", "9917");
    auto* plain = new QLabel("as designed", &window);
    plain->setFont(QFont("Serif", 20, QFont::Bold));
    LocaliseForm(&window);
    EXPECT_EQ(tagged->text(), "&Schließen");
    EXPECT_EQ(plain->text(), "as designed");
    EXPECT_EQ(plain->font().family().toStdString(), shellState().FontFace);
    EXPECT_EQ(plain->font().pointSize(), shellState().FontSize);
    EXPECT_FALSE(plain->font().bold());
    EXPECT_NE(window.windowTitle(), "List of Materials - Preview");
}

TEST_F(ShellWindowTest, MnemonicAmpersandsInLabels)
{
    EXPECT_EQ(WithoutMnemonics("Click &Next to continue"), "Click Next to continue");
    EXPECT_EQ(WithoutMnemonics("Save && close, &Quit"), "Save & close, Quit");
    EXPECT_EQ(WithoutMnemonics("&&&x"), "&x");
    EXPECT_EQ(WithoutMnemonics("ends in &"), "ends in &");
    EXPECT_EQ(WithoutMnemonics(""), "");

    QWidget window;
    auto* plain = new QLabel("Use the &Show Preview button && more", &window);
    plain->setProperty("Tag", "no-such-id");
    auto* withBuddy = new QLabel("&Weight:", &window);
    withBuddy->setProperty("Tag", "no-such-id-either");
    auto* edit = new QLineEdit(&window);
    withBuddy->setBuddy(edit);
    auto* rich = new QLabel(&window);
    rich->setTextFormat(Qt::RichText);
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QLineEdit(&window);
    for (QWidget* w : std::initializer_list<QWidget*> { plain, withBuddy, edit, rich, other })
        layout->addWidget(w);
    LocaliseForm(&window);
    EXPECT_EQ(plain->text(), "Use the Show Preview button & more");
    EXPECT_EQ(withBuddy->text(), "&Weight:");
    SetLabelCaption(rich, "<b>A &amp; B</b>");
    EXPECT_EQ(rich->text(), "<b>A &amp; B</b>");

    // Localising again looks up the caption as written, so the language can change.
    rav::HostUtility::instance().setLanguage("de");
    plain->setProperty("Tag", "542");
    LocaliseForm(&window);
    EXPECT_EQ(plain->text(), "Klicken Sie auf Weiter, um die Stückliste zu erstellen");
    // A text set directly since is the caption the next look-up starts from.
    plain->setText("Set &directly");
    plain->setProperty("Tag", "no-such-id");
    LocaliseForm(&window);
    EXPECT_EQ(plain->text(), "Set directly");

    // The label with a buddy is an accelerator for it.
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    ASSERT_FALSE(edit->hasFocus());
    QTest::keyClick(&window, Qt::Key_W, Qt::AltModifier);
    EXPECT_TRUE(edit->hasFocus());
}

TEST_F(ShellWindowTest, LocaleFontsForJapaneseAndEnglish)
{
    SelectLocaleFont(0x0411);
    const ShellState& state = shellState();
    EXPECT_EQ(state.FontSize, 9);
    EXPECT_EQ(state.Charset, 128);
    ASSERT_FALSE(state.FontFace.empty());
    // The face shown covers Japanese: either the table face or an installed
    // CJK face standing in for it.
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    EXPECT_TRUE(japanese.contains(QString::fromStdString(state.FontFace)) || japanese.isEmpty())
        << state.FontFace;

    SelectLocaleFont(0x0409);
    EXPECT_EQ(state.FontSize, 8);
    std::string face = state.FontFace;
    EXPECT_TRUE(FontExists(face)) << state.FontFace;
    std::string missing = "No Such Face 1234";
    EXPECT_FALSE(FontExists(missing));
}

TEST_F(ShellWindowTest, PlacementRoundTripsAndIsCorrectedAtTheEdge)
{
    QWidget window;
    window.setObjectName("frmTestPlacement");
    window.resize(320, 240);
    window.move(40, 60);
    SaveFormPlacement(&window);
    long top = 0, left = 0, width = 0, height = 0;
    ASSERT_TRUE(GetFormPlacement(&window, top, left, width, height));
    QWidget other;
    other.setObjectName("frmTestPlacement");
    ApplyFormPlacement(&other, top, left, width, height);
    EXPECT_EQ(other.pos(), QPoint(40, 60));
    EXPECT_EQ(other.size(), QSize(320, 240));

    // Moved off the bottom of the work area: the top is replaced.
    const WorkAreaTwips work = DesktopWorkArea(&window);
    window.move(40, 10000);
    SaveFormPlacement(&window);
    EXPECT_FALSE(GetFormPlacement(&window, top, left, width, height));
    EXPECT_EQ(top, 0);
    EXPECT_GT(work.height, 0);
}
