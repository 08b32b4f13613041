// The EID wizard, driven offscreen through the editor library: both paths,
// the field grid, the file choices, the checks made before an operation and
// what the window leaves behind when it goes.
#include "eid_fixture.h"
#include "frm_eidedit.h"
#include "host_utility.h"
#include "modules.h"
#include "shell_services.h"
#include "shell_state.h"
#include "test_env.h"
#include "window_fixture.h"
#include "zerovize.h"
#include "zezovovuv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace rav::eid
{
namespace
{

using test::Row;

class EidWizard : public test::WindowTest<FrmEidedit>
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        HostUtility::instance().WriteSetting("Zarov2U", "LibDir", dir.path().string());
        auto& s = shell::shellState();
        s.DBaseName.clear();
        s.TempDir = (dir / "tmp").string();
        fs::create_directories(s.TempDir);
        FrmEidedit::setFileChooser(scriptedFiles());
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        FrmEidedit::setFileChooser(nullptr);
    }

    // Opened as the main window opens the module.
    void open()
    {
        ASSERT_TRUE(shell::HasModuleWindow(shell::ModuleKind::EidWizard));
        window = qobject_cast<FrmEidedit*>(shell::CreateModuleWindow(shell::ModuleKind::EidWizard));
        ASSERT_FALSE(window.isNull());
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    // Lets the deferred deletion of a closed window happen.
    bool closed()
    {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window.isNull();
    }
    QPushButton* next() { return find<QPushButton>("cmdBrwse_1"); }
    QPushButton* back() { return find<QPushButton>("cmdBrwse_0"); }
    QPushButton* cancel() { return find<QPushButton>("cmdBrwse_2"); }
    QString shown(const char* panel) { return find<ZerOvize>(panel)->caption(); }
    bool visible(const char* page) { return find<ZerOvize>(page)->isVisible(); }
    ZezOvovuv* grid() { return find<ZezOvovuv>("zezOvovuv"); }
    QLineEdit* nameBox() { return find<QLineEdit>("txtField_0"); }
    QLineEdit* sizeBox() { return find<QLineEdit>("txtField_1"); }

    std::string MakeEid(const std::string& name, const std::vector<Row>& rows = {})
    {
        return test::MakeCodeNameEid(dir / name, rows);
    }
    std::vector<std::string> Codes(const std::string& file)
    {
        std::vector<std::string> out;
        for (const Row& r : test::Records(file, "Code"))
            out.push_back(r[0].value_or(""));
        return out;
    }
    // Types a field into the entry boxes the way a user does and updates.
    void defineField(const QString& name, const QString& size)
    {
        nameBox()->setFocus();
        nameBox()->selectAll();
        QTest::keyClicks(nameBox(), name);
        QTest::keyClick(nameBox(), Qt::Key_Return);
        sizeBox()->selectAll();
        QTest::keyClicks(sizeBox(), size);
        QTest::keyClick(sizeBox(), Qt::Key_Return);
        find<QPushButton>("cmdAddUp_0")->click();
    }
    // Opens the wizard on an existing EID and moves to "Step 1 of 3".
    void openOnEid(const std::string& file)
    {
        shell::shellState().DBaseName = file;
        open();
        next()->click();
        ASSERT_EQ(window->path(), FrmEidedit::Path::Edit);
        ASSERT_EQ(window->step(), 0);
    }
    void shot(const char* name) { screenshot(window, QString("eid_wizard_") + name); }
    std::vector<std::string> messageIds()
    {
        std::vector<std::string> ids;
        for (const auto& m : messages.messages)
            ids.push_back(m.id);
        return ids;
    }
};

TEST_F(EidWizard, WithoutCurrentEidItOpensOnCreationWithTheProposedName)
{
    open();
    shot("first-page-create");
    EXPECT_EQ(window->windowTitle(), "Dodiv 2000 - EID File Wizard");
    EXPECT_TRUE(find<QRadioButton>("optnFileType_0")->isChecked());
    EXPECT_EQ(shown("qpnFileName_0"), QString::fromStdString((dir / "Part.eid").string()));
    EXPECT_TRUE(next()->isEnabled());
    EXPECT_FALSE(back()->isEnabled());
    EXPECT_FALSE(find<QPushButton>("cmdFile_1")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("cmdEli_0")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("cmdEli_1")->isEnabled());
    // The options as the window opens.
    EXPECT_TRUE(find<QRadioButton>("optnOperation_0")->isChecked());
    EXPECT_TRUE(find<QRadioButton>("optnUpdatetype_1")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("chkFields")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("chktrimVal")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("chkSpeciRange")->isChecked());
    EXPECT_EQ(find<QComboBox>("cboDelimit")->currentText(), ",");
}

TEST_F(EidWizard, WithCurrentEidItOpensOnEditAndChecksTheFile)
{
    const std::string eid = MakeEid("Cur.eid");
    shell::shellState().DBaseName = eid;
    open();
    shot("first-page-edit");
    EXPECT_TRUE(find<QRadioButton>("optnFileType_1")->isChecked());
    EXPECT_EQ(shown("qpnFileName_1"), QString::fromStdString(eid));
    EXPECT_TRUE(next()->isEnabled());
    delete window.data();

    test::writeFile(dir / "Text.eid", "not a database");
    shell::shellState().DBaseName = (dir / "Text.eid").string();
    open();
    EXPECT_TRUE(find<QRadioButton>("optnFileType_1")->isChecked());
    EXPECT_FALSE(next()->isEnabled());
}

TEST_F(EidWizard, FileDialogsAskWithTheirFiltersAndProposedNames)
{
    open();
    // A dismissed dialog keeps the proposed name, without a folder.
    find<QPushButton>("cmdFile_0")->click();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].save);
    EXPECT_EQ(requests[0].proposedName, "Part.Eid");
    EXPECT_EQ(requests[0].filter, "External Index Files (*.eid);;All Files (*.*)");
    EXPECT_EQ(requests[0].directory, QString::fromStdString(dir.path().string()));
    EXPECT_EQ(shown("qpnFileName_0"), "Part.Eid");
    EXPECT_TRUE(next()->isEnabled());

    // An existing file that is not an EID: Next stays off, nothing is said.
    test::writeFile(dir / "Other.eid", "text");
    find<QRadioButton>("optnFileType_1")->click();
    EXPECT_FALSE(next()->isEnabled());
    answers.push_back(QString::fromStdString((dir / "Other.eid").string()));
    find<QPushButton>("cmdFile_1")->click();
    EXPECT_FALSE(requests.back().save);
    EXPECT_FALSE(next()->isEnabled());
    EXPECT_TRUE(messages.messages.empty());
    answers.push_back(QString::fromStdString(MakeEid("Good.eid")));
    find<QPushButton>("cmdFile_1")->click();
    EXPECT_TRUE(next()->isEnabled());
}

TEST_F(EidWizard, FieldGridAddsEditsAndDeletesFields)
{
    open();
    next()->click();
    shot("create-step-1-fresh");
    ASSERT_EQ(window->path(), FrmEidedit::Path::Create);
    EXPECT_TRUE(visible("qpnNewSteps_0"));
    EXPECT_FALSE(back()->isEnabled());
    // A fresh grid: the header and one white entry row; Next is off.
    ZezOvovuv* g = grid();
    EXPECT_EQ(g->rows(), 2);
    EXPECT_EQ(g->cols(), 3);
    EXPECT_EQ(g->textMatrix(0, 0), "Field Name");
    EXPECT_EQ(g->textMatrix(0, 1), "Size");
    EXPECT_EQ(g->textMatrix(1, 2), "Y");
    EXPECT_EQ(g->cellBackColor(1, 0), 0xFFFFFFu);
    EXPECT_FALSE(next()->isEnabled());
    EXPECT_FALSE(find<QPushButton>("cmdAddUp_1")->isEnabled());

    // Code, Enter, 20, Enter, Update.
    nameBox()->setFocus();
    QTest::keyClicks(nameBox(), "Code");
    QTest::keyClick(nameBox(), Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), sizeBox());
    QTest::keyClicks(sizeBox(), "20");
    QTest::keyClick(sizeBox(), Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), find<QPushButton>("cmdAddUp_0"));
    find<QPushButton>("cmdAddUp_0")->click();
    EXPECT_EQ(g->rows(), 3);
    EXPECT_EQ(g->textMatrix(1, 0), "Code");
    EXPECT_EQ(g->textMatrix(1, 1), "20");
    EXPECT_EQ(g->textMatrix(1, 2), "N");
    EXPECT_EQ(g->cellBackColor(1, 0), 0xEFFFFFu);
    EXPECT_EQ(g->textMatrix(2, 2), "Y");
    EXPECT_EQ(g->row(), 2);
    EXPECT_TRUE(nameBox()->text().isEmpty());
    EXPECT_TRUE(sizeBox()->text().isEmpty());
    EXPECT_TRUE(next()->isEnabled());

    // Sizes out of range or not numbers are refused; 255 is fine. The size
    // box keeps only the number at its start.
    for (const char* bad : { "0", "256", "abc" }) {
        messages.messages.clear();
        defineField("Price", bad);
        ASSERT_EQ(messageIds(), std::vector<std::string> { "5416" }) << bad;
        EXPECT_EQ(messages.messages[0].text, "Invalid Field Size (Range : 1 to 255)!");
        EXPECT_EQ(g->rows(), 3);
    }
    messages.messages.clear();
    defineField("Price", "12 chars");
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(g->textMatrix(2, 1), "12");
    defineField("Note", "255");
    EXPECT_EQ(g->rows(), 5);

    // A blank in the name, a name another row has in other case.
    defineField("Part No", "10");
    EXPECT_EQ(messageIds(), std::vector<std::string> { "5418" });
    messages.messages.clear();
    defineField("CODE", "10");
    EXPECT_EQ(messageIds(), std::vector<std::string> { "5417" });
    EXPECT_EQ(g->rows(), 5);
    // Renaming a row to its own name in other case is fine.
    messages.messages.clear();
    g->setRow(1);
    EXPECT_EQ(nameBox()->text(), "Code");
    EXPECT_TRUE(find<QPushButton>("cmdAddUp_1")->isEnabled());
    defineField("CODE", "20");
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(g->textMatrix(1, 0), "CODE");
    EXPECT_EQ(g->rows(), 5);
    shot("create-step-1-fields");

    // Delete on the entry row does nothing; on row 2 of three, row 3 moves up.
    find<QPushButton>("cmdAddUp_1")->click();
    EXPECT_EQ(g->rows(), 5);
    g->setRow(2);
    find<QPushButton>("cmdAddUp_1")->click();
    EXPECT_EQ(g->rows(), 4);
    EXPECT_EQ(g->textMatrix(1, 0), "CODE");
    EXPECT_EQ(g->textMatrix(2, 0), "Note");
    EXPECT_EQ(g->textMatrix(2, 1), "255");
    EXPECT_EQ(g->textMatrix(3, 2), "Y");
    EXPECT_EQ(g->row(), 3);
    EXPECT_TRUE(next()->isEnabled());
}

TEST_F(EidWizard, CreationThenEditPath)
{
    open();
    const QString file = shown("qpnFileName_0");
    next()->click();
    defineField("Code", "5");
    defineField("Name", "10");
    next()->click();
    shot("create-step-2");
    EXPECT_TRUE(visible("qpnNewSteps_1"));
    EXPECT_TRUE(back()->isEnabled());
    auto* list = find<QListWidget>("lstFields");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "Name");
    EXPECT_EQ(list->currentRow(), 0);
    // Back keeps the grid; Next rebuilds the list.
    back()->click();
    EXPECT_EQ(grid()->rows(), 4);
    defineField("Price", "8");
    next()->click();
    ASSERT_EQ(list->count(), 3);
    list->setCurrentRow(0);

    next()->click();
    ASSERT_TRUE(messages.messages.empty()) << messages.messages[0].text;
    EXPECT_TRUE(window->done());
    EXPECT_TRUE(IsEidDatabase(file.toStdString()));
    {
        db::Database db = db::Database::open(file.toStdString(), db::OpenMode::Shared);
        const db::TableDef def = db.tableDef("Device");
        ASSERT_EQ(def.fields.size(), 3u);
        EXPECT_EQ(def.fields[2].name, "Price");
        EXPECT_EQ(def.fields[2].size, 8);
        EXPECT_EQ(EicFieldName(db), "Code");
    }
    // Straight on to the edit path of the new file.
    EXPECT_EQ(window->path(), FrmEidedit::Path::Edit);
    EXPECT_EQ(window->step(), 0);
    EXPECT_TRUE(visible("qpnExsSteps_0"));
    EXPECT_FALSE(visible("qpnNewSteps_1"));
    EXPECT_FALSE(back()->isEnabled());
    EXPECT_EQ(shown("qpnDBName_0"), file);
    EXPECT_TRUE(find<QRadioButton>("optnOperation_0")->isChecked());
    shot("edit-step-1");

    // Cancel now: the creation made the new file the current EID.
    cancel()->click();
    EXPECT_TRUE(closed());
    EXPECT_EQ(shell::shellState().DBaseName, file.toStdString());
}

TEST_F(EidWizard, CreationWithoutEditingClosesAndAFailedBuildStays)
{
    open();
    const QString file = shown("qpnFileName_0");
    next()->click();
    defineField("Code", "5");
    defineField("", "5"); // an empty name passes the grid, the engine refuses it
    next()->click();
    find<QListWidget>("lstFields")->setCurrentRow(0);
    next()->click();
    ASSERT_EQ(messageIds(), std::vector<std::string> { "5412" });
    EXPECT_EQ(messages.messages[0].text.rfind("Database creation error : ", 0), 0u);
    EXPECT_EQ(window->step(), 1);
    EXPECT_FALSE(window->done());

    back()->click();
    grid()->setRow(2);
    find<QPushButton>("cmdAddUp_1")->click();
    next()->click();
    find<QCheckBox>("chkFields")->setChecked(false);
    next()->click();
    EXPECT_TRUE(closed());
    EXPECT_EQ(shell::shellState().DBaseName, file.toStdString());
    EXPECT_TRUE(IsEidDatabase(file.toStdString()));
}

TEST_F(EidWizard, ExportThroughEveryEditPage)
{
    const std::string eid
        = MakeEid("Part.eid", { { "A1", "one" }, { "A2", "two" }, { "A3", std::nullopt }, { "A4", "four" } });
    openOnEid(eid);
    EXPECT_TRUE(next()->isEnabled());
    find<QRadioButton>("optnOperation_1")->click();
    EXPECT_FALSE(next()->isEnabled());
    EXPECT_TRUE(find<QPushButton>("cmdEli_0")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("cmdEli_1")->isEnabled());
    // Back to removal: Next comes back.
    find<QRadioButton>("optnOperation_0")->click();
    EXPECT_TRUE(next()->isEnabled());
    find<QRadioButton>("optnOperation_1")->click();
    const QString out = QString::fromStdString((dir / "Out.txt").string());
    answers.push_back(out);
    find<QPushButton>("cmdEli_0")->click();
    EXPECT_TRUE(requests.back().save);
    EXPECT_EQ(requests.back().proposedName, "Part.txt");
    EXPECT_EQ(requests.back().filter, "Text Files (*.txt);;All Files (*.*)");
    EXPECT_TRUE(next()->isEnabled());

    next()->click();
    shot("edit-step-2-export");
    EXPECT_EQ(window->step(), 1);
    EXPECT_TRUE(back()->isEnabled());
    EXPECT_EQ(shown("qpntxtFile_2"), "Export to file: " + out);
    EXPECT_EQ(find<QLabel>("lblCaption_4")->text(), "Set options for export to file operation");
    EXPECT_EQ(shown("qpnDBName_1"), QString::fromStdString(eid));
    EXPECT_FALSE(find<QCheckBox>("chktrimVal")->isEnabled());
    EXPECT_FALSE(find<QRadioButton>("optnUpdatetype_0")->isEnabled());
    EXPECT_TRUE(find<QComboBox>("cboDelimit")->isEnabled());
    auto* fields = find<QComboBox>("cboOptField_0");
    ASSERT_EQ(fields->count(), 2);
    EXPECT_FALSE(fields->isEnabled());
    find<QCheckBox>("chkSpeciRange")->click();
    EXPECT_TRUE(fields->isEnabled());
    EXPECT_TRUE(find<QComboBox>("cboOptField_1")->isEnabled());
    find<QLineEdit>("txtOptField_0")->setText("a2");
    find<QLineEdit>("txtOptField_1")->setText("A3");
    find<QComboBox>("cboDelimit")->setCurrentText(";x");

    next()->click();
    shot("edit-step-3-export");
    EXPECT_EQ(window->step(), 2);
    EXPECT_EQ(find<QLabel>("lblOpDescr")->text(),
        "Click Next to :\nExport data from \n" + QString::fromStdString(eid) + "\nto \n" + out);
    EXPECT_EQ(shown("qpnPbar"), "Click Next to Continue ...");
    next()->click();
    EXPECT_TRUE(closed());
    EXPECT_EQ(test::readFile(dir / "Out.txt"), "A2;two\r\nA3;\r\n");
    EXPECT_EQ(shell::shellState().DBaseName, eid);
}

TEST_F(EidWizard, UnknownStartValueShowsMessage548AndStays)
{
    const std::string eid = MakeEid("Part.eid", { { "A1", "one" }, { "A2", "two" } });
    openOnEid(eid);
    next()->click();
    find<QCheckBox>("chkSpeciRange")->click();
    find<QLineEdit>("txtOptField_0")->setText("B9");
    find<QLineEdit>("txtOptField_1")->setText("A2");
    next()->click();
    ASSERT_EQ(messageIds(), std::vector<std::string> { "548" });
    EXPECT_EQ(messages.messages[0].kind, MessageKind::Information);
    EXPECT_EQ(window->step(), 1);
    EXPECT_EQ(QApplication::focusWidget(), find<QLineEdit>("txtOptField_0"));

    // An end that no record has is asked about; No stays, Yes goes on.
    messages.messages.clear();
    find<QLineEdit>("txtOptField_0")->setText("A1");
    find<QLineEdit>("txtOptField_1")->setText("Z9");
    messages.answer = false;
    next()->click();
    EXPECT_EQ(messageIds(), std::vector<std::string> { "547" });
    EXPECT_EQ(window->step(), 1);
    messages.answer = true;
    next()->click();
    EXPECT_EQ(window->step(), 2);
    next()->click();
    EXPECT_TRUE(closed());
    EXPECT_TRUE(Codes(eid).empty()); // removal from A1 to the end
}

TEST_F(EidWizard, ImportAsksBeforeAMassUpdate)
{
    const std::string eid = MakeEid("Part.eid", { { "A1", "old" } });
    test::writeFile(dir / "In.txt", "A1\tnew\r\nA2\tx\r\n");
    openOnEid(eid);
    find<QRadioButton>("optnOperation_2")->click();
    EXPECT_FALSE(next()->isEnabled());
    answers.push_back(QString::fromStdString((dir / "In.txt").string()));
    find<QPushButton>("cmdEli_1")->click();
    EXPECT_FALSE(requests.back().save);
    next()->click();
    EXPECT_EQ(find<QLabel>("lblCaption_4")->text(), "Set options for import from file operation");
    EXPECT_TRUE(find<QCheckBox>("chktrimVal")->isEnabled());
    find<QCheckBox>("chkSpeciRange")->click();
    EXPECT_FALSE(find<QComboBox>("cboOptField_1")->isEnabled()); // no sort for the import
    find<QCheckBox>("chkSpeciRange")->click();
    find<QRadioButton>("optnUpdatetype_0")->click();
    find<QComboBox>("cboDelimit")->setCurrentText("tab");
    shot("edit-step-2-import");

    messages.answer = false;
    next()->click();
    EXPECT_EQ(messageIds(), std::vector<std::string> { "5413" });
    EXPECT_EQ(window->step(), 1);
    messages.answer = true;
    next()->click();
    EXPECT_EQ(window->step(), 2);
    next()->click();
    EXPECT_TRUE(closed());
    EXPECT_EQ(Codes(eid), (std::vector<std::string> { "A1", "A2" }));
    EXPECT_EQ(test::readFile(dir / "In.log"), "");
    EXPECT_EQ(shell::shellState().DBaseName, eid);
}

TEST_F(EidWizard, CancelOnEveryPageLeavesTheCurrentEidAlone)
{
    const std::string eid = MakeEid("Part.eid", { { "A1", "one" } });
    struct Stop {
        bool create;
        int page; // -1: the first page
    };
    for (const Stop stop : { Stop { false, -1 }, Stop { true, 0 }, Stop { true, 1 }, Stop { false, 0 },
             Stop { false, 1 }, Stop { false, 2 } }) {
        shell::shellState().DBaseName = eid;
        open();
        if (stop.create) {
            find<QRadioButton>("optnFileType_0")->click();
            EXPECT_FALSE(next()->isEnabled()); // no name for the new file yet
            answers.push_back(QString::fromStdString((dir / "New.eid").string()));
            find<QPushButton>("cmdFile_0")->click();
        }
        if (stop.page >= 0)
            next()->click();
        if (stop.create && stop.page == 1)
            defineField("Code", "5");
        for (int i = 0; i < stop.page; ++i)
            next()->click();
        ASSERT_EQ(window->step(), stop.page);
        cancel()->click();
        EXPECT_TRUE(closed()) << stop.create << stop.page;
        EXPECT_EQ(shell::shellState().DBaseName, eid);
    }
    EXPECT_FALSE(fs::exists(dir / "New.eid"));
    EXPECT_EQ(Codes(eid), std::vector<std::string> { "A1" });
}

TEST_F(EidWizard, FailedOperationLeavesTheCurrentEidAsItWas)
{
    const std::string current = MakeEid("Current.eid");
    const std::string other = MakeEid("Other.eid", { { "A1", "one" } });
    shell::shellState().DBaseName = current;
    open();
    answers.push_back(QString::fromStdString(other));
    find<QPushButton>("cmdFile_1")->click();
    next()->click();
    EXPECT_EQ(shown("qpnDBName_0"), QString::fromStdString(other));
    find<QRadioButton>("optnOperation_2")->click();
    answers.push_back(QString::fromStdString((dir / "vanished.txt").string()));
    find<QPushButton>("cmdEli_1")->click();
    next()->click();
    next()->click();
    next()->click();
    // The import ended at once: the window closes, nothing is done.
    EXPECT_TRUE(closed());
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(shell::shellState().DBaseName, current);
    EXPECT_EQ(Codes(other), std::vector<std::string> { "A1" });
}

} // namespace
} // namespace rav::eid
