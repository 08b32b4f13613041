// The record editor and its tool box, driven offscreen through the editor
// library: opened as the main window opens a module, on a copy of the demo
// EID and the demo project.
#include "data_grid_view.h"
#include "data_source.h"
#include "database.h"
#include "frm_rec_edit.h"
#include "frm_tool_box.h"
#include "host_utility.h"
#include "modules.h"
#include "project_parts.h"
#include "recordset.h"
#include "rozerazu.h"
#include "shell_services.h"
#include "shell_state.h"
#include "test_env.h"
#include "window_fixture.h"
#include "zareza2v.h"
#include "zerovize.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace fs = std::filesystem;
using namespace rav;
using recedit::FrmRecEdit;
using recedit::FrmToolBox;

namespace
{

class RecEditWindow : public test::WindowTest<FrmRecEdit>
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.eid", eid());
        fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.dpz", dpz());
        fs::create_directories(dir / "tmp");
        auto& state = shell::shellState();
        state.DBaseName = eid().string();
        state.TempDir = (dir / "tmp").string();
        state.LibDir = dir.path().string();
        ASSERT_NE(Z_OpenProject(dpz().c_str()), 0) << Z_LastError();
        ASSERT_TRUE(kernel::ProjectParts::instance().OpenProjectInfo());
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        Z_CloseProject();
        kernel::ProjectParts::instance().reset();
        FrmToolBox::setFileChooser(nullptr);
    }

    fs::path eid() const { return dir / "Part.eid"; }
    fs::path dpz() const { return dir / "demo.dpz"; }

    FrmRecEdit* open()
    {
        QWidget* w = shell::CreateModuleWindow(shell::ModuleKind::RecordEditor);
        window = qobject_cast<FrmRecEdit*>(w);
        EXPECT_NE(window.data(), nullptr) << "the record editor is registered as its module";
        if (!window)
            return nullptr;
        window->show();
        QApplication::processEvents();
        return window;
    }
    FrmToolBox* box() { return window->toolBox(); }
    // A control of the tool box, by its name.
    template <typename T> T* tb(const char* name)
    {
        T* found = box()->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static long rows(grid::DataSource* source) { return source->recordCount(); }
    std::string current(grid::DataSource* source, const char* column)
    {
        db::Recordset* rs = source->recordset();
        return rs && rs->absolutePosition() >= 0 ? rs->value(column).value_or("<null>") : "<none>";
    }
    // Makes the row whose first column shows `text` the grid's current row, as a click would.
    void selectRow(grid::DataGridView* grid, const QString& text)
    {
        auto* model = grid->model();
        while (model->canFetchMore({}))
            model->fetchMore({});
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->index(r, 0).data().toString() == text) {
                grid->table()->setCurrentIndex(model->index(r, 0));
                return;
            }
        }
        ADD_FAILURE() << "no row " << text.toStdString();
    }
    // Enabled by the window's own logic; the tool box also disables the
    // pages of the tabs that are not shown.
    static bool enabled(const QWidget* w) { return !w->testAttribute(Qt::WA_ForceDisabled); }
    static void choose(QComboBox* box, const QString& text)
    {
        const int i = box->findText(text);
        ASSERT_GE(i, 0) << text.toStdString();
        box->setCurrentIndex(i);
    }
    // Answers the next query dialog with `answer`.
    void answerQuery(const QString& answer)
    {
        QTimer::singleShot(0, [this, answer] {
            dialogs::Rozerazu* d = dialogs::Rozerazu::active();
            if (!d) {
                ADD_FAILURE() << "no query dialog";
                return;
            }
            d->txtText()->setText(answer);
            d->cmdAccept()->click();
        });
    }
};

TEST_F(RecEditWindow, OpensOnTheEidWithItsToolBox)
{
    ASSERT_TRUE(open());
    EXPECT_EQ(rows(window->datReced()), 19);
    EXPECT_EQ(window->eicFieldName(), "Code");
    EXPECT_TRUE(window->tabMain()->isTabEnabled(1));
    ASSERT_NE(box(), nullptr);
    EXPECT_TRUE(box()->isVisible());
    // Every record, sorted by the first column; the browse buttons follow.
    EXPECT_EQ(current(window->datReced(), "Code"), "CAP-0603-100N");
    EXPECT_EQ(tb<QLineEdit>("txtMove")->text(), "0");
    EXPECT_FALSE(enabled(tb<QPushButton>("cmdMove_1")));
    EXPECT_TRUE(enabled(tb<QPushButton>("cmdMove_2")) && enabled(tb<QPushButton>("cmdDelete")));
    // The Browse tab moves the grid, and the jump box takes Enter.
    tb<QTabWidget>("tabMain")->setCurrentIndex(3);
    tb<QPushButton>("cmdMove_3")->click();
    EXPECT_EQ(tb<QLineEdit>("txtMove")->text(), "18");
    EXPECT_FALSE(enabled(tb<QPushButton>("cmdMove_2")));
    tb<QLineEdit>("txtMove")->setText("4");
    QTest::keyClick(tb<QLineEdit>("txtMove"), Qt::Key_Return);
    EXPECT_EQ(window->datReced()->position(), 4);
    EXPECT_EQ(window->dbgRecEd()->table()->currentIndex().row(), 4) << "the grid follows";
    // Both windows wholly on the screen; the tool box floats above the
    // record editor only, not above every other window.
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(window->frameGeometry()));
    EXPECT_TRUE(screen.contains(box()->frameGeometry()));
    EXPECT_FALSE(box()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    // Closing the tool box only hides it; the label brings it back, and it
    // follows the editor's minimising.
    box()->close();
    EXPECT_FALSE(box()->isVisible());
    QTest::mouseClick(window->lblTbx(0), Qt::LeftButton);
    EXPECT_TRUE(box()->isVisible());
    window->showMinimized();
    QApplication::processEvents();
    EXPECT_FALSE(box()->isVisible());
    window->showNormal();
    QApplication::processEvents();
    EXPECT_TRUE(box()->isVisible());
}

TEST_F(RecEditWindow, WithoutAValidEidTheGridStaysEmptyAndAssociationIsOff)
{
    test::writeFile(dir / "junk.eid", "not a database");
    shell::shellState().DBaseName = (dir / "junk.eid").string();
    ASSERT_TRUE(open());
    EXPECT_FALSE(window->datReced()->isOpen());
    EXPECT_FALSE(window->tabMain()->isTabEnabled(1));
    EXPECT_FALSE(tb<QPushButton>("cmdAdd")->isEnabled());
    EXPECT_FALSE(tb<QPushButton>("cmdFilter")->isEnabled());
    EXPECT_EQ(tb<QComboBox>("cboFields")->count(), 0);
}

TEST_F(RecEditWindow, TheEditGridSortsByHeaderShowsItsFilterAndKeepsARefusedValue)
{
    ASSERT_TRUE(open());
    grid::DataGridView* grid = window->dbgRecEd();
    QHeaderView* header = grid->table()->horizontalHeader();
    int price = -1;
    for (int c = 0; c < grid->model()->columnCount({}); ++c)
        if (grid->model()->fieldName(c) == "Price")
            price = c;
    ASSERT_GE(price, 0);
    auto clickHeader = [&] {
        grid->table()->scrollTo(grid->model()->index(0, price));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(price) + 4, header->height() / 2));
    };
    auto priceAt = [&](int row) { return grid->model()->index(row, price).data().toString().toDouble(); };
    clickHeader();
    EXPECT_EQ(header->sortIndicatorSection(), price);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_LE(priceAt(0), priceAt(18));
    EXPECT_EQ(tb<QComboBox>("cboFieldSort")->currentText(), "Price-D") << "the Sort by list follows the grid";
    clickHeader();
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_GT(priceAt(0), priceAt(18));

    // The filter and the number of records show under the grid; row
    // numbers count as the Record Position box does.
    EXPECT_EQ(window->lblStatus()->text(), "Records: 19  (no filter)");
    choose(tb<QComboBox>("cboFields"), "Description-D");
    tb<QLineEdit>("txtValue")->setText("*resistor*");
    tb<QPushButton>("cmdFilter")->click();
    EXPECT_EQ(window->lblStatus()->text(), "Records: 6  Filter: Description Like \"*resistor*\"");
    EXPECT_EQ(grid->model()->headerData(0, Qt::Vertical).toInt(), tb<QLineEdit>("txtMove")->text().toInt());
    // Nothing matches: no current record, nothing to delete.
    tb<QLineEdit>("txtValue")->setText("no such part");
    tb<QPushButton>("cmdFilter")->click();
    EXPECT_EQ(tb<QLineEdit>("txtMove")->text(), "-1");
    EXPECT_FALSE(enabled(tb<QPushButton>("cmdDelete")));
    tb<QLineEdit>("txtValue")->setText("*resistor*");
    tb<QPushButton>("cmdFilter")->click();

    // A value too long for its field is refused, and comes back in the
    // cell for correction.
    QTableView* table = grid->table();
    const QModelIndex cell = grid->model()->index(0, 1);
    table->setCurrentIndex(cell);
    table->edit(cell);
    auto* editor = table->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    const QString tooLong(300, QChar('x'));
    editor->setText(tooLong);
    QTest::keyClick(editor, Qt::Key_Return);
    for (int i = 0; i < 3; ++i) // the commit, the refusal, the reopening
        QApplication::processEvents();
    ASSERT_FALSE(messages.messages.empty());
    EXPECT_EQ(messages.messages.back().kind, MessageKind::Critical);
    QLineEdit* reopened = nullptr;
    for (QLineEdit* e : table->findChildren<QLineEdit*>())
        if (e->isVisible())
            reopened = e;
    ASSERT_NE(reopened, nullptr) << "the cell is open again";
    EXPECT_EQ(reopened->text(), tooLong);
}

TEST_F(RecEditWindow, NoTwoControlsOfATabShareAnAccessKeyInEitherLanguage)
{
    for (const char* language : { "en", "de" }) {
        HostUtility::instance().setLanguage(language);
        // Pictures of both windows and every tab for the documentation on the way.
        const auto picture = [language](QWidget* w, const QString& name) {
            screenshot(w, QString("recedit-%1-%2").arg(language, name));
        };
        ASSERT_TRUE(open());
        picture(window, "edit");
        window->tabMain()->setCurrentIndex(1); // the associate tabs enabled, the view built
        QApplication::processEvents();
        picture(window, "associate");
        for (int tab = 0; tab < tb<QTabWidget>("tabMain")->count(); ++tab) {
            box()->enableTabPair(tab < 2 ? 0 : 2);
            tb<QTabWidget>("tabMain")->setCurrentIndex(tab);
            if (tab == 4)
                tb<QPushButton>("cmdCheck")->click(); // the findings in the picture
            picture(box(), QString("toolbox-tab%1").arg(tab));
            std::map<QChar, QString> keys;
            auto take = [&](const QString& text) {
                const int at = text.indexOf('&');
                if (at < 0 || at + 1 >= text.size() || text[at + 1] == '&')
                    return;
                const QChar key = text[at + 1].toLower();
                EXPECT_FALSE(keys.count(key)) << language << " tab " << tab << ": '" << text.toStdString()
                                              << "' and '" << keys[key].toStdString() << "'";
                keys[key] = text;
            };
            for (QAbstractButton* b :
                tb<QTabWidget>("tabMain")->widget(tab)->findChildren<QAbstractButton*>())
                if (b->isEnabled())
                    take(b->text());
            for (QLabel* l : tb<QTabWidget>("tabMain")->widget(tab)->findChildren<QLabel*>())
                if (l->buddy())
                    take(l->text());
        }
        delete window.data();
    }
}

TEST_F(RecEditWindow, AddsRecordsWithUniqueEicsAndDeletesThem)
{
    ASSERT_TRUE(open());
    tb<QTabWidget>("tabMain")->setCurrentIndex(3);

    answerQuery("ZZ-NEW-1");
    tb<QPushButton>("cmdAdd")->click();
    EXPECT_EQ(rows(window->datReced()), 20);
    EXPECT_EQ(current(window->datReced(), "Code"), "ZZ-NEW-1");
    EXPECT_EQ(tb<QPushButton>("cmdAdd")->text(), "&Update");
    EXPECT_FALSE(enabled(tb<QPushButton>("cmdMove_0")));
    EXPECT_TRUE(tb<QLineEdit>("txtMove")->isReadOnly());
    tb<QPushButton>("cmdAdd")->click(); // commits the pending edit
    EXPECT_EQ(tb<QPushButton>("cmdAdd")->text(), "&Add");
    EXPECT_EQ(tb<QLineEdit>("txtField")->text(), "ZZ-NEW-1");
    EXPECT_EQ(window->dbgRecEd()->table()->currentIndex().row(), 19);

    // Typing a value in the grid writes it to the file.
    QTableView* table = window->dbgRecEd()->table();
    const QModelIndex cell = window->dbgRecEd()->model()->index(19, 1);
    table->setCurrentIndex(cell);
    table->edit(cell);
    EXPECT_EQ(tb<QPushButton>("cmdAdd")->text(), "&Update") << "a cell edit makes the edit pending";
    auto* editor = table->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("brand new part");
    tb<QPushButton>("cmdAdd")->click();
    QApplication::processEvents();
    EXPECT_EQ(tb<QPushButton>("cmdAdd")->text(), "&Add");
    {
        db::Database d = db::Database::open(eid().string());
        db::Recordset rs = d.openRecordset("SELECT * FROM Device WHERE [Code] = \"ZZ-NEW-1\"");
        ASSERT_EQ(rs.recordCount(), 1);
        EXPECT_EQ(rs.value("Description"), db::Value("brand new part"));
    }

    // Delete (after Yes) removes it and goes to the new last record.
    messages.answer = true;
    tb<QPushButton>("cmdDelete")->click();
    EXPECT_EQ(rows(window->datReced()), 19);
    EXPECT_EQ(tb<QLineEdit>("txtMove")->text(), "18");
}

TEST_F(RecEditWindow, AssociatesPartsAndUpdatesTheProjectLibrary)
{
    ASSERT_TRUE(open());
    window->tabMain()->setCurrentIndex(1);
    QApplication::processEvents();
    ASSERT_TRUE(window->datWholeView()->isOpen());
    EXPECT_TRUE(fs::exists(window->projectViewDbName()));
    EXPECT_EQ(rows(window->datWholeView()), 25);
    EXPECT_FALSE(tb<QTabWidget>("tabMain")->isTabEnabled(3));
    // Manual mode after the build, with the whole EID to pick from.
    EXPECT_TRUE(tb<QRadioButton>("optManAut_1")->isChecked());
    EXPECT_EQ(rows(window->datSearchRes()), 19);
    EXPECT_FALSE(enabled(tb<QPushButton>("cmdFind")));

    // Manual: a picked search row fills the EIC box.
    tb<QTabWidget>("tabMain")->setCurrentIndex(1);
    selectRow(window->dbgWholeView(), "FUSE-PTC-500MA");
    selectRow(window->dbgSearchRes(), "CAP-0603-10N");
    EXPECT_EQ(tb<QLineEdit>("txtEIC")->text(), "CAP-0603-10N");
    ASSERT_TRUE(tb<QPushButton>("cmdAssociate_1")->isEnabled());
    EXPECT_FALSE(enabled(tb<QPushButton>("cmdAssociate_0")));
    tb<QPushButton>("cmdAssociate_1")->click();
    EXPECT_EQ(current(window->datWholeView(), "field3"), "CAP-0603-10N");
    EXPECT_EQ(current(window->datWholeView(), "field7"), "MLCC 10nF 50V X7R 10% 0603");
    // Another device: the box no longer holds the code picked for the fuse.
    selectRow(window->dbgWholeView(), "SW-TACT");
    EXPECT_EQ(tb<QLineEdit>("txtEIC")->text(), "");
    EXPECT_FALSE(tb<QPushButton>("cmdAssociate_1")->isEnabled());

    // Automatic: Find searches with the selected device's values (the
    // switch has no code: Like gives every record).
    tb<QRadioButton>("optManAut_0")->click();
    EXPECT_FALSE(tb<QLineEdit>("txtEIC")->isEnabled());
    selectRow(window->dbgWholeView(), "LED-RED-0603");
    choose(tb<QComboBox>("cboFind_0"), "Code-D");
    choose(tb<QComboBox>("cboFind_1"), "=");
    choose(tb<QComboBox>("cboFind_2"), "Code-D");
    tb<QPushButton>("cmdFind")->click();
    EXPECT_EQ(current(window->datSearchRes(), "Code"), "LED-0603-RED");
    EXPECT_EQ(rows(window->datSearchRes()), 1);
    selectRow(window->dbgWholeView(), "SW-TACT");
    choose(tb<QComboBox>("cboFind_1"), "Like");
    tb<QPushButton>("cmdFind")->click();
    selectRow(window->dbgSearchRes(), "LED-0603-RED");
    ASSERT_TRUE(tb<QPushButton>("cmdAssociate_0")->isEnabled());
    tb<QPushButton>("cmdAssociate_0")->click();
    EXPECT_EQ(current(window->datWholeView(), "field3"), "LED-0603-RED");

    // Update proj. lib shows what will change and writes only when the
    // user agrees; then both go into the project file.
    auto& parts = kernel::ProjectParts::instance();
    std::map<std::string, std::string> eics;
    auto readEics = [&] {
        parts.CollectProjectDevices();
        for (std::size_t i = 1; i <= parts.PartList().Count(); ++i)
            eics[parts.PartList()[i].PartName] = parts.PartList()[i].Eic;
    };
    tb<QTabWidget>("tabMain")->setCurrentIndex(0);
    tb<QPushButton>("cmdUpdate")->click();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text,
        "Write 2 codes into the project?\n\nSW-TACT: (none) -> LED-0603-RED\n"
        "FUSE-PTC-500MA: (none) -> CAP-0603-10N\n");
    readEics();
    EXPECT_EQ(eics["SW-TACT"], "") << "declined, nothing written";
    messages.answer = true;
    tb<QPushButton>("cmdUpdate")->click();
    ASSERT_EQ(messages.messages.size(), 3u);
    EXPECT_EQ(messages.messages[2].text, "Codes written into the project: 2.");
    Z_CloseProject();
    ASSERT_NE(Z_OpenProject(dpz().c_str()), 0);
    readEics();
    EXPECT_EQ(eics["FUSE-PTC-500MA"], "CAP-0603-10N");
    EXPECT_EQ(eics["SW-TACT"], "LED-0603-RED");
    EXPECT_EQ(eics["RES-10K-0603"], "RES-0603-10K");

    // Suggest ranks the EID's records for the selected device; choosing one
    // puts its code into the manual EIC box. The Integrity tab reports.
    tb<QTabWidget>("tabMain")->setCurrentIndex(1);
    selectRow(window->dbgWholeView(), "RES-10K-0603");
    tb<QPushButton>("cmdSuggest")->click();
    ASSERT_GE(tb<QListWidget>("lstSuggest")->count(), 1);
    EXPECT_EQ(tb<QListWidget>("lstSuggest")->item(0)->data(Qt::UserRole).toString(), "RES-0603-10K");
    box()->lstSuggest_Activated();
    EXPECT_EQ(tb<QLineEdit>("txtEIC")->text(), "RES-0603-10K");
    EXPECT_TRUE(tb<QRadioButton>("optManAut_1")->isChecked());
    tb<QTabWidget>("tabMain")->setCurrentIndex(4);
    tb<QPushButton>("cmdCheck")->click();
    // Each finding is a row; a click selects its device in the project view.
    const auto& findings = box()->findings();
    const auto withDevice = std::find_if(findings.begin(), findings.end(),
        [](const recedit::FindingRow& f) { return !f.device.empty() && f.device != "RES-10K-0603"; });
    ASSERT_NE(withDevice, findings.end());
    ASSERT_EQ(tb<QTableWidget>("tblFindings")->rowCount(), static_cast<int>(findings.size()));
    const int row = static_cast<int>(withDevice - findings.begin());
    QTableWidget* table = tb<QTableWidget>("tblFindings");
    QTest::mouseClick(
        table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(row, 0)).center());
    EXPECT_EQ(window->tabMain()->currentIndex(), 1);
    EXPECT_EQ(current(window->datWholeView(), "field1"), withDevice->device);

    // Closing with the project view open asks about the update; unloading
    // deletes the project view database.
    const std::string view = window->projectViewDbName();
    messages.answer = false;
    window->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(messages.messages.empty());
    EXPECT_EQ(messages.messages.back().id, "5422");
    EXPECT_TRUE(window.isNull());
    EXPECT_FALSE(fs::exists(view));
}

TEST_F(RecEditWindow, ChoosingAnotherEid)
{
    ASSERT_TRUE(open());
    test::writeFile(dir / "junk.eid", "not a database");
    FrmToolBox::setFileChooser(scriptedFiles());
    answers.push_back(QString::fromStdString((dir / "junk.eid").string()));
    tb<QPushButton>("cmdFile")->click();
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].id, "5457");
    EXPECT_EQ(shell::shellState().DBaseName, eid().string());

    // The same file again: nothing happens.
    answers.push_back(QString::fromStdString(eid().string()));
    tb<QPushButton>("cmdFile")->click();
    EXPECT_EQ(messages.messages.size(), 1u);

    // Another EID while the edit view shows: the grid moves to it at once.
    fs::copy_file(eid(), dir / "Other.eid");
    {
        db::Database d = db::Database::open((dir / "Other.eid").string());
        d.execute("DELETE FROM Device WHERE [Code] Like \"RES*\"");
    }
    answers.push_back(QString::fromStdString((dir / "Other.eid").string()));
    tb<QPushButton>("cmdFile")->click();
    EXPECT_EQ(shell::shellState().DBaseName, (dir / "Other.eid").string());
    EXPECT_EQ(rows(window->datReced()), 13);
    EXPECT_FALSE(window->projectViewLoaded());
}

TEST_F(RecEditWindow, SplitterMovesWhereItIsDropped)
{
    ASSERT_TRUE(open());
    window->tabMain()->setCurrentIndex(1);
    QApplication::processEvents();
    QWidget* sep = window->picSep();
    const int before = sep->y();
    grid::DataGridView* lower = window->dbgSearchRes();
    // Dragged from the bar and dropped 30 pixels into the lower grid.
    const QPoint start(20, 2);
    const QPoint drop = sep->mapFromGlobal(lower->mapToGlobal(QPoint(20, 30)));
    QTest::mousePress(sep, Qt::LeftButton, {}, start);
    QTest::mouseRelease(sep, Qt::LeftButton, {}, drop);
    EXPECT_EQ(sep->y(), before + sep->height() + 30);
    EXPECT_EQ(window->dbgWholeView()->height(), sep->y() - window->dbgWholeView()->y());
}

} // namespace
