// The entry object and the main window, driven offscreen through the
// editor library as a host drives them: create the object, Load, send
// commands, watch the notifications.
#include "form_helpers.h"
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
#include <QTimer>
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
    void NotifyServer(std::string& name, std::string& sCommand) override { seen.push_back({ name, sCommand }); }
    std::vector<Notification> seen;
    int shutdowns() const
    {
        return static_cast<int>(std::count(seen.begin(), seen.end(), Notification { "RAVEDERI", "SHUTDOWN" }));
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

    // A project without parts, built by the command line tool.
    void openEmpty()
    {
        rav::test::writeFile(scratch / "empty.json",
            R"({"format": "ravederi-project", "version": 1, "name": "EMPTY", "hierarchies": ["Main"],
            "currentHierarchy": "Main", "helpFollow": false, "symbols": [], "strings": {},
            "devices": [], "components": []})");
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

    // The demo project open and the editor loaded.
    void start()
    {
        openDemo();
        create();
        ASSERT_TRUE(object->Load(0));
    }

    int send(const std::string& command)
    {
        std::string name = "DODIV";
        std::string text = command;
        return object->NotifyMe(name, text);
    }

    LomMain& main() { return LomMain::instance(); }
    template <typename T> T* control(const char* name)
    {
        T* found = main().findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void showModule(const char* option)
    {
        control<QRadioButton>(option)->setChecked(true);
        QTest::mouseClick(control<QPushButton>("cmdCmd_0"), Qt::LeftButton);
    }
    bool minimised(QWidget* w) { return w->windowState().testFlag(Qt::WindowMinimized); }

    rav::test::ScratchDir scratch;
    rav::RecordingMessageSink messages;
    Host host;
    rav::addin::vazOvizided* object = nullptr;
};

} // namespace

TEST_F(ShellWindowTest, FactoryAndCommandsBeforeLoad)
{
    EXPECT_EQ(Ravederi_CreateObject("Other", rav::addin::kInterfaceVersion), nullptr);
    EXPECT_EQ(Ravederi_CreateObject("vazOvizided", 99), nullptr);
    EXPECT_EQ(Ravederi_CanUnloadNow(), 1);
    create();
    EXPECT_EQ(Ravederi_CanUnloadNow(), 0);
    std::string name = "anything";
    std::string empty;
    EXPECT_EQ(object->NotifyMe(name, empty), 0);
    // Window commands before the first Load fail and do not load the window.
    EXPECT_EQ(send("RAVEDERI,MN"), 91);
    EXPECT_EQ(send("RAVEDERI,EX"), 91);
    EXPECT_FALSE(main().isLoaded());

    // Catalogue messages go to the message boxes; unknown codes show nothing.
    ShowMessage(14, "R12");
    ShowMessage(99, "nothing");
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Can't read the Part: R12");
}

TEST_F(ShellWindowTest, StartUpEnablesTheListOfMaterialsOnlyWithParts)
{
    start();
    EXPECT_TRUE(main().isVisible());
    EXPECT_TRUE(control<QRadioButton>("optModule_2")->isEnabled());
    const ShellState& state = shellState();
    EXPECT_EQ(state.HelpFile, std::string(RAV_BIN_DIR) + "/../help/Ravederi.HLP");
    EXPECT_EQ(state.MainForm.data(), &main());
    // An ordinary window, above no other (help included).
    EXPECT_FALSE(main().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(fs::is_directory(state.TempDir));
    EXPECT_NEAR(main().x() + main().width() / 2, main().screen()->geometry().center().x(), 2);
    EXPECT_TRUE(object->Load(0)); // a second Load only applies the window state again
    EXPECT_TRUE(messages.messages.empty());

    // "UP" (for "All" too) follows the project; losing the parts moves the
    // selection off the list of materials.
    control<QRadioButton>("optModule_2")->setChecked(true);
    Z_CloseProject();
    openEmpty();
    EXPECT_EQ(send("RAVEDERI,UP"), 0);
    EXPECT_FALSE(control<QRadioButton>("optModule_2")->isEnabled());
    EXPECT_EQ(main().selectedModule(), 0);
    Z_CloseProject();
    openDemo();
    EXPECT_EQ(send("All,UP"), 0);
    EXPECT_TRUE(control<QRadioButton>("optModule_2")->isEnabled());
}

TEST_F(ShellWindowTest, ModulesOpenCloseAndAreRefreshedAway)
{
    start();
    showModule("optModule_2"); // not in this build: it says so
    EXPECT_EQ(main().ModuleForm(), nullptr);
    EXPECT_EQ(control<QLabel>("lblStatus")->text(), "This module is not available in this build.");

    showModule("optModule_1");
    QWidget* editor = main().ModuleForm();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->objectName(), "frmRecEdit");
    EXPECT_TRUE(editor->isVisible());
    EXPECT_FALSE(main().isVisible());

    // Load with a module open brings the module forward and says False.
    EXPECT_FALSE(object->Load(1));
    EXPECT_TRUE(minimised(editor));
    EXPECT_FALSE(main().isVisible());

    // MX / MN / DF reach the module as well.
    EXPECT_EQ(send("All,MX"), 0);
    EXPECT_TRUE(editor->windowState().testFlag(Qt::WindowMaximized));
    EXPECT_EQ(send("RAVEDERI,MN"), 0);
    EXPECT_TRUE(minimised(editor));
    EXPECT_TRUE(minimised(&main()));
    EXPECT_EQ(send("RAVEDERI,DF"), 0);
    EXPECT_FALSE(editor->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
    EXPECT_FALSE(minimised(&main()));

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
    showModule("optModule_0");
    watch = main().ModuleForm();
    ASSERT_FALSE(watch.isNull());
    EXPECT_EQ(send("RAVEDERI,UP"), 0);
    EXPECT_TRUE(watch.isNull());
    EXPECT_TRUE(main().isVisible());
}

TEST_F(ShellWindowTest, WindowCommandsAndWhatReachesTheHost)
{
    start();
    for (const char* target : { "All", "RAVEDERI" }) {
        EXPECT_EQ(send(std::string(target) + ",MN"), 0);
        EXPECT_TRUE(minimised(&main())) << target;
        EXPECT_EQ(send(std::string(target) + ",MX"), 0);
        EXPECT_FALSE(main().windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) << target;
    }
    // A command the parser ignores leaves the editor loaded; no code is a
    // subscript error, which the host gets back as 9.
    EXPECT_EQ(send("ravederi,EX"), 0);
    EXPECT_EQ(send("RAVEDERI"), 9);
    EXPECT_TRUE(main().isLoaded());

    main().AP_Shell("DODIV", 1, "notepad a,b.txt");
    main().AP_SendCmd("ZAROV", "All,UP");
    main().AP_SendCmdAll("HELLO");
    EXPECT_EQ(send("All,EX"), 0);
    EXPECT_FALSE(main().isLoaded());
    EXPECT_EQ(host.seen,
        (std::vector<Notification> { { "DODIV", "SHELL,1,notepad a,b.txt" }, { "ZAROV", "All,UP" },
            { "RAVEDERI", "HELLO" }, { "RAVEDERI", "SHUTDOWN" } }));
}

TEST_F(ShellWindowTest, ShutDownWritesTheSettingsOnceAndAFreshObjectStartsAgain)
{
    rav::HostUtility& settings = rav::HostUtility::instance();
    settings.WriteSetting("POSTLOM", "FieldSep", "9");
    settings.WriteSetting("POSTLOM", "DBaseName", "/data/Part.eid");
    start();
    EXPECT_EQ(shellState().FieldSep, 9);
    EXPECT_EQ(send("RAVEDERI,EX,extra"), 0);
    EXPECT_FALSE(main().isLoaded());
    EXPECT_FALSE(main().isVisible());
    EXPECT_EQ(host.shutdowns(), 1);
    EXPECT_EQ(shellState().MainForm, nullptr);
    EXPECT_EQ(settings.ReadSetting("POSTLOM", "FieldSep", "?"), " 9");
    EXPECT_EQ(settings.ReadSetting("POSTLOM", "DBaseName", "?"), "/data/Part.eid");
    const char* entry = Z_TextPointer(E_GetString("RAVEDERI")); // the string-table entry is cleared
    EXPECT_STREQ(entry ? entry : "", "");

    // Releasing after the shut-down does not shut down twice; a later object
    // starts the editor afresh, and its Close button shuts down again.
    object->Release();
    object = nullptr;
    EXPECT_EQ(host.shutdowns(), 1);
    create();
    EXPECT_TRUE(object->Load(0));
    QTest::mouseClick(control<QPushButton>("cmdCmd_1"), Qt::LeftButton);
    EXPECT_EQ(host.shutdowns(), 2);
    EXPECT_FALSE(main().isLoaded());
}

TEST_F(ShellWindowTest, ShutDownUnloadsEveryOtherWindowNewestFirst)
{
    start();
    showModule("optModule_1");
    ASSERT_NE(main().ModuleForm(), nullptr);
    QWidget* toolBox = makeModule("frmToolBox"); // the record editor's tool box loads after it
    RegisterLoadedWindow(toolBox);
    toolBox->show();

    std::vector<std::string> order;
    for (QWidget* w : { main().ModuleForm(), toolBox })
        QObject::connect(
            w, &QObject::destroyed, [&order, name = w->objectName().toStdString()] { order.push_back(name); });
    QObject::connect(&main(), &LomMain::NotifyClass,
        [&order](const QString&, const QString& c) { order.push_back(c.toStdString()); });
    object->Release(); // the host lets go: a full shut-down
    object = nullptr;
    EXPECT_EQ(order, (std::vector<std::string> { "frmToolBox", "frmRecEdit", "SHUTDOWN" }));
}

TEST_F(ShellWindowTest, AnEditorRunningElsewhereStopsTheStartUpQuietly)
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QLockFile other(dir + "/ravederi-editor.lock");
    ASSERT_TRUE(other.tryLock(0));
    openDemo();
    create();
    EXPECT_FALSE(object->Load(0));
    EXPECT_FALSE(main().isLoaded());
    EXPECT_EQ(host.shutdowns(), 1);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(rav::HostUtility::instance().ReadSetting("POSTLOM", "FieldSep", "none"), "none");
    other.unlock();
    EXPECT_TRUE(object->Load(0));
}

TEST_F(ShellWindowTest, HelpTopicsLimitsAndCtrlF1)
{
    start();
    rav::help::HelpEngine& help = rav::help::HelpEngine::instance();
    EXPECT_FALSE(help.isOpen()); // the demo's help-follow flag is off

    // Ctrl+F1 before any other topic shows topic 0, right of the screen's middle.
    QTest::keyClick(control<QPushButton>("cmdCmd_0"), Qt::Key_F1, Qt::ControlModifier);
    ASSERT_TRUE(help.isOpen());
    EXPECT_EQ(help.openTopic(), 0);
    EXPECT_GT(help.window()->x(), main().screen()->availableGeometry().width() / 2);

    SetHelpTopic(2, 1, 1, 1, false);
    EXPECT_EQ(shellState().CurrentHelpTopic, 13305);
    EXPECT_EQ(help.openTopic(), 0); // not shown without the flag
    SetHelpTopic(2, 0, 0, 0, true);
    EXPECT_EQ(help.openTopic(), 13302);
    SetHelpTopic(12, 101, 0, 0, true);
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(shellState().CurrentHelpTopic, 13302); // unchanged

    QTest::mouseClick(control<QPushButton>("cmdHelp"), Qt::LeftButton);
    EXPECT_EQ(help.openTopic(), 0);
    // Help follows the editor's language, and closes whatever language it
    // was opened in.
    ChooseLanguage("de");
    QTest::mouseClick(control<QPushButton>("cmdHelp"), Qt::LeftButton);
    EXPECT_EQ(help.openFile(), std::string(RAV_BIN_DIR) + "/../help/Ravederi.de.HLP");
    EXPECT_EQ(help.topicTitle().toStdString(), "Stücklisten-Editor");
    ChooseLanguage("");
    EXPECT_EQ(send("RAVEDERI,EX"), 0); // shut-down closes the help window
    EXPECT_FALSE(help.isOpen());
}

TEST_F(ShellWindowTest, LocalisationFollowsTheLanguageAndKeepsUntaggedCaptions)
{
    for (const auto& [in, out] : std::vector<std::pair<QString, QString>> { { "Click &Next", "Click Next" },
             { "Save && close, &Quit", "Save & close, Quit" }, { "&&&x", "&x" }, { "ends in &", "ends in &" } })
        EXPECT_EQ(WithoutMnemonics(in), out) << in.toStdString();

    // Tagged controls follow the language; a label whose tag has no entry
    // keeps its caption, less its mnemonics unless it has a buddy.
    QWidget window;
    window.setProperty("Tag", "5474");
    window.setWindowTitle("List of Materials - Preview");
    auto* tagged = new QPushButton("&Close", &window);
    tagged->setProperty("Tag", "9917");
    auto* plain = new QLabel("Use the &Show button && more", &window);
    plain->setProperty("Tag", "no-such-id");
    plain->setFont(QFont("Serif", 20, QFont::Bold));
    auto* withBuddy = new QLabel("&Weight:", &window);
    withBuddy->setProperty("Tag", "no-such-id");
    auto* edit = new QLineEdit(&window);
    withBuddy->setBuddy(edit);
    auto* other = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    for (QWidget* w : std::initializer_list<QWidget*> { tagged, plain, withBuddy, edit, other })
        layout->addWidget(w);
    LocaliseForm(&window);
    EXPECT_EQ(plain->text(), "Use the Show button & more");
    EXPECT_EQ(withBuddy->text(), "&Weight:");

    // Localising again looks up the caption as written, so the language can
    // change; every control gets the chosen font; a text set directly since
    // is where the next look-up starts.
    rav::HostUtility::instance().setLanguage("de");
    start();
    EXPECT_EQ(control<QPushButton>("cmdCmd_1")->text(), "&Schließen");
    plain->setProperty("Tag", "542");
    LocaliseForm(&window);
    EXPECT_EQ(tagged->text(), "&Schließen");
    EXPECT_NE(window.windowTitle(), "List of Materials - Preview");
    EXPECT_EQ(plain->text(), "Klicken Sie auf Weiter, um die Stückliste zu erstellen");
    EXPECT_EQ(plain->font().family().toStdString(), shellState().FontFace);
    EXPECT_EQ(plain->font().pointSize(), shellState().FontSize);
    EXPECT_FALSE(plain->font().bold());
    plain->setText("Set &directly");
    plain->setProperty("Tag", "no-such-id");
    LocaliseForm(&window);
    EXPECT_EQ(plain->text(), "Set directly");

    // The label with a buddy is an accelerator for it.
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QTest::keyClick(&window, Qt::Key_W, Qt::AltModifier);
    EXPECT_TRUE(edit->hasFocus());
}

// Each access key of the main window leads to one control, in either language.
TEST_F(ShellWindowTest, AccessKeysDoNotClash)
{
    start();
    for (const char* language : { "en", "de" }) {
        rav::HostUtility::instance().setLanguage(language);
        LocaliseForm(&main());
        main().adjustSize(); // as the load does once the texts are in
        EXPECT_EQ(ClashingAccessKeys(&main()).join(' ').toStdString(), "") << language;
        if (const char* out = std::getenv("RAV_SCREENSHOT_DIR"))
            main().grab().save(QString("%1/main-window-%2%3.png")
                                   .arg(out, language, main().devicePixelRatioF() > 1 ? "-150" : ""));
    }
}

TEST_F(ShellWindowTest, TheChosenLanguageIsKeptAndRelocalisesTheOpenWindows)
{
    auto& utility = rav::HostUtility::instance();
    utility.setLanguage("en");
    start();
    QPushButton* close = control<QPushButton>("cmdCmd_1");
    ASSERT_EQ(close->text(), "&Close");
    // The main window offers every language in its context menu.
    EXPECT_GE(main().actions().size(), 3);
    ChooseLanguage("de");
    EXPECT_EQ(utility.language(), "de");
    EXPECT_EQ(close->text(), "&Schließen") << "the open window follows at once";
    // The next start takes the choice; choosing the system's language forgets it.
    utility.setLanguage("en");
    ApplyStoredLanguage();
    EXPECT_EQ(utility.language(), "de");
    ChooseLanguage("");
    utility.setLanguage("en");
    ApplyStoredLanguage();
    EXPECT_EQ(utility.language(), "en");
}

TEST_F(ShellWindowTest, LocaleFontsAreInstalledFaces)
{
    SelectLocaleFont(0x0411);
    const ShellState& state = shellState();
    // Either the table face or an installed face covering Japanese stands in.
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    EXPECT_TRUE(japanese.contains(QString::fromStdString(state.FontFace)) || japanese.isEmpty()) << state.FontFace;
    SelectLocaleFont(0x0409);
    std::string face = state.FontFace;
    EXPECT_TRUE(FontExists(face)) << face;
    std::string missing = "No Such Face 1234";
    EXPECT_FALSE(FontExists(missing));
}

TEST_F(ShellWindowTest, PlacementRoundTripsAndIsRefusedOffTheWorkArea)
{
    QWidget window;
    window.setObjectName("frmTestPlacement");
    window.resize(320, 240);
    window.move(40, 60);
    SaveFormPlacement(&window);
    long top = 0, left = 0, width = 0, height = 0;
    ASSERT_TRUE(GetFormPlacement(&window, top, left, width, height));
    QWidget other;
    ApplyFormPlacement(&other, top, left, width, height);
    EXPECT_EQ(other.geometry(), QRect(40, 60, 320, 240));

    window.move(40, 10000); // off the bottom: the top is replaced
    SaveFormPlacement(&window);
    EXPECT_FALSE(GetFormPlacement(&window, top, left, width, height));
    EXPECT_EQ(top, 0);
}

// An EID's open dialog takes a server URI typed into its name field (and
// says so), where a file dialog would refuse it as no existing file.
TEST_F(ShellWindowTest, AnEidOpenDialogTakesAServerUri)
{
    const QString uri = "postgresql://team@db.example:5432/parts?table=Device";
    FileRequest request { false, QString::fromStdString(scratch.path().string()), "", "eid",
        "External Index Files (*.eid);;All Files (*)" };
    request.serverName = true;
    bool typed = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
        if (!name)
            return;
        const auto* label = dialog->findChild<QLabel*>("fileNameLabel");
        typed = label && label->text().contains("server URI");
        name->setText(uri);
        QTest::keyClick(name, Qt::Key_Return);
    });
    EXPECT_EQ(ChooseFile(nullptr, request, {}), std::optional<QString>(uri));
    EXPECT_TRUE(typed);
}
