// The List of Materials wizard, driven offscreen through the editor
// library, on the demo project and the demo EID the build made.
#include "cancel_flag.h"
#include "data_grid_view.h"
#include "frm_lomedit.h"
#include "frm_preview.h"
#include "host_utility.h"
#include "lom_build.h"
#include "project_parts.h"
#include "shell_services.h"
#include "shell_state.h"
#include "test_env.h"
#include "window_fixture.h"
#include "zareza2v.h"
#include "zerovize.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace rav::lom
{
namespace
{

class LomWizard : public test::WindowTest<FrmLomedit>
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.dpz", dir / "demo.dpz");
        fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.eid", dir / "demo.eid");
        fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.eid", dir / "other.eid");
        fs::create_directories(dir / "tmp");
        ASSERT_NE(Z_OpenProject((dir / "demo.dpz").c_str()), 0) << Z_LastError();
        ASSERT_TRUE(kernel::ProjectParts::instance().OpenProjectInfo());
        auto& s = shell::shellState();
        s.DBaseName = eid();
        s.TempDir = (dir / "tmp").string();
        s.LibDir = dir.path().string();
        lomState() = LomState {};
        FrmLomedit::setFileChooser(scriptedFiles());
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        FrmLomedit::setFileChooser(nullptr);
        Z_CloseProject();
    }

    std::string eid() const { return (dir / "demo.eid").string(); }
    void open()
    {
        window = new FrmLomedit;
        window->show();
    }
    QPushButton* next() { return find<QPushButton>("cmdBrwse_1"); }
    QPushButton* back() { return find<QPushButton>("cmdBrwse_0"); }
    QListWidget* available() { return find<QListWidget>("lstFields_0"); }
    QListWidget* chosen() { return find<QListWidget>("lstFields_1"); }
    QComboBox* sortFields() { return find<QComboBox>("cboFields"); }
    QString shown(const char* panel) { return find<ZerOvize>(panel)->caption(); }
    bool pageVisible(int k)
    {
        return find<ZerOvize>(("qpnCreateLOM_" + std::to_string(k)).c_str())->isVisible();
    }
    static QStringList texts(const QListWidget* list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
    static QStringList texts(const QComboBox* box)
    {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->itemText(i);
        return out;
    }
    // Selects exactly the available (or chosen) items with these captions.
    void select(QListWidget* list, const QStringList& captions)
    {
        list->clearSelection();
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setSelected(captions.contains(list->item(i)->text()));
    }
    void add(const QStringList& captions)
    {
        select(available(), captions);
        find<QPushButton>("cmdAddDel_0")->click();
    }
    // Page 1 with a LOM file and the given fields chosen.
    void toFields(const QStringList& fields, bool withFile = true)
    {
        next()->click();
        ASSERT_EQ(window->currentStep(), FrmLomedit::Step::Fields);
        if (withFile) {
            answers.push_back(QString::fromStdString((dir / "LOM.txt").string()));
            find<QPushButton>("cmdFile_1")->click();
        }
        add(fields);
    }
    // Presses the preview button; `inspect` runs once the preview is up
    // (the build lets events run), then the preview is closed.
    void preview(const std::function<void(dialogs::FrmPreview*)>& inspect)
    {
        QTimer poll;
        bool seen = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* p = qobject_cast<dialogs::FrmPreview*>(QApplication::activeModalWidget());
            if (!p || seen)
                return;
            seen = true;
            inspect(p);
            p->close();
        });
        poll.start(5);
        find<QPushButton>("cmdPvw")->click();
        EXPECT_TRUE(seen);
    }
    std::size_t tempFiles() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir / "tmp"), {}));
    }
};

TEST_F(LomWizard, OpensOnTheCurrentEidAndProject)
{
    open();
    EXPECT_TRUE(pageVisible(0));
    EXPECT_FALSE(pageVisible(1));
    EXPECT_TRUE(next()->isEnabled());
    EXPECT_FALSE(back()->isEnabled() || find<QPushButton>("cmdPvw")->isEnabled());
    EXPECT_EQ(shown("qpnFileName_0").toStdString(), eid());
    EXPECT_EQ(shown("qpnFileName_1"), "SENSOR-NODE-F411 rev B.dpz [Main]");
    screenshot(window, "lom_wizard_eid");
}

TEST_F(LomWizard, WithoutAValidEidNextWaitsForOne)
{
    test::writeFile(dir / "text.eid", "not a database");
    for (const std::string& name : { std::string(), (dir / "text.eid").string() }) {
        shell::shellState().DBaseName = name;
        open();
        EXPECT_FALSE(next()->isEnabled());
        EXPECT_EQ(shown("qpnFileName_0"), "");
        answers.push_back(QString::fromStdString((dir / "text.eid").string()));
        find<QPushButton>("cmdFile_0")->click();
        EXPECT_FALSE(next()->isEnabled()); // not an EID
        answers.push_back(QString::fromStdString(eid()));
        find<QPushButton>("cmdFile_0")->click();
        EXPECT_TRUE(next()->isEnabled());
        delete window.data();
    }
    ASSERT_FALSE(requests.empty());
    EXPECT_FALSE(requests[0].save);
    EXPECT_EQ(requests[0].directory.toStdString(), dir.path().string());
}

TEST_F(LomWizard, NextOnTheFieldPageNeedsAFileAndAField)
{
    open();
    next()->click();
    EXPECT_TRUE(pageVisible(1));
    EXPECT_TRUE(back()->isEnabled());
    EXPECT_EQ(available()->count(), 15);
    EXPECT_FALSE(next()->isEnabled());
    add({ "Part-P" });
    EXPECT_FALSE(next()->isEnabled()); // no LOM file yet
    answers.push_back(QString::fromStdString((dir / "LOM.txt").string()));
    find<QPushButton>("cmdFile_1")->click();
    EXPECT_TRUE(requests.back().save);
    EXPECT_TRUE(next()->isEnabled());
    select(chosen(), { "Part-P" });
    find<QPushButton>("cmdAddDel_1")->click();
    EXPECT_FALSE(next()->isEnabled()); // no field any more
    answers.push_back(""); // a cancelled dialog changes nothing
    find<QPushButton>("cmdFile_1")->click();
    EXPECT_EQ(shown("qpnFileName_2").toStdString(), (dir / "LOM.txt").string());
}

TEST_F(LomWizard, AddInsertsBeforeTheFirstSelectedChosenItem)
{
    open();
    toFields({ "Part-P", "Part Full Name-P", "External Index Code-P" });
    EXPECT_EQ(texts(chosen()), QStringList({ "Part-P", "Part Full Name-P", "External Index Code-P" }));
    EXPECT_EQ(sortFields()->currentText(), "Part-P");
    select(chosen(), { "External Index Code-P" });
    add({ "Price-D", "Simulation Reference-P" }); // inserted in their available order
    const QStringList expected
        = { "Part-P", "Part Full Name-P", "Simulation Reference-P", "Price-D", "External Index Code-P" };
    EXPECT_EQ(texts(chosen()), expected);
    EXPECT_EQ(texts(sortFields()), expected);
    EXPECT_EQ(sortFields()->currentText(), "Part-P");
    EXPECT_EQ(available()->count(), 10);

    // Removed fields go to the end of the available list, not to their old place.
    select(chosen(), { "Part-P", "Simulation Reference-P" });
    find<QPushButton>("cmdAddDel_1")->click();
    EXPECT_EQ(texts(chosen()), QStringList({ "Part Full Name-P", "Price-D", "External Index Code-P" }));
    EXPECT_EQ(texts(sortFields()), texts(chosen()));
    EXPECT_EQ(texts(available()).mid(available()->count() - 2),
        QStringList({ "Part-P", "Simulation Reference-P" }));

    // Ctrl+A and Ctrl+U act on the list that has the focus.
    QKeyEvent ctrlA(QEvent::KeyRelease, Qt::Key_A, Qt::ControlModifier);
    QApplication::sendEvent(chosen(), &ctrlA);
    EXPECT_EQ(chosen()->selectedItems().size(), 3);
    QKeyEvent ctrlU(QEvent::KeyRelease, Qt::Key_U, Qt::ControlModifier);
    QApplication::sendEvent(chosen(), &ctrlU);
    EXPECT_EQ(chosen()->selectedItems().size(), 0);
}

TEST_F(LomWizard, QueryAndDelimiterFromTheControls)
{
    open();
    toFields({ "Part-P", "Price-D" });
    sortFields()->setCurrentIndex(1);
    find<QComboBox>("cboDelimit")->setEditText("xyz");
    EXPECT_EQ(window->makeQueryString(),
        "SELECT Device.field1,Device.field15 FROM Device ORDER BY Device.field15;");
    EXPECT_EQ(window->lomDelimiter(), "x");
}

TEST_F(LomWizard, SameEidKeepsTheWorkAnotherRebuilds)
{
    open();
    toFields({ "Part-P", "Component Name-P" });
    next()->click();
    preview([](dialogs::FrmPreview*) {});
    ASSERT_TRUE(lomState().lomDatabaseBuilt);
    const std::string temp = lomState().tempDbName;
    back()->click();
    back()->click();
    answers.push_back(QString::fromStdString(eid()));
    find<QPushButton>("cmdFile_0")->click();
    EXPECT_TRUE(lomState().lomDatabaseBuilt);
    next()->click();
    EXPECT_EQ(texts(chosen()), QStringList({ "Part-P", "Component Name-P" }));
    next()->click();
    preview([](dialogs::FrmPreview*) {});
    EXPECT_EQ(lomState().tempDbName, temp);
    EXPECT_EQ(window->buildCount(), 1);

    back()->click();
    back()->click();
    answers.push_back(QString::fromStdString((dir / "other.eid").string()));
    find<QPushButton>("cmdFile_0")->click();
    EXPECT_FALSE(lomState().lomDatabaseBuilt);
    next()->click();
    EXPECT_EQ(shell::shellState().DBaseName, (dir / "other.eid").string());
    EXPECT_EQ(chosen()->count() + sortFields()->count(), 0);
    EXPECT_EQ(available()->count(), 15);
}

// The preview holds the output's own lines; a header click sorts the output
// by that column, a second one reverses it, and the sort box follows.
TEST_F(LomWizard, PreviewIsTheOutputAndItsHeadersSortIt)
{
    open();
    toFields({ "Part-P", "Component Name-P", "Component Value-P", "Description-D", "Price-D" });
    next()->click();
    EXPECT_TRUE(find<QPushButton>("cmdPvw")->isEnabled());
    preview([&](dialogs::FrmPreview* p) {
        EXPECT_FALSE(window->isVisible()); // the wizard steps aside
        auto* model = p->linesView()->model();
        auto* header = p->linesView()->horizontalHeader();
        ASSERT_EQ(model->columnCount(), 5);
        EXPECT_EQ(model->rowCount(), 41);
        EXPECT_EQ(model->data(model->index(1, 0)).toString(), "CAP-100N-0603");
        EXPECT_EQ(header->sortIndicatorSection(), 0);
        screenshot(p, "lom_preview");
        emit header->sectionClicked(1); // by component name
        EXPECT_EQ(sortFields()->currentText(), "Component Name-P");
        EXPECT_EQ(header->sortIndicatorSection(), 1);
        EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
        EXPECT_EQ(model->data(model->index(0, 1)).toString(), "C1");
        emit header->sectionClicked(1);
        EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
        EXPECT_EQ(model->data(model->index(40, 1)).toString(), "C1");
    });
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(messages.messages.empty());
    // Written as previewed: by component name, reversed.
    next()->click();
    const std::string lom = test::readFile(dir / "LOM.txt");
    EXPECT_LT(lom.find("|R1|"), lom.find("|C1|"));

    // Grouped into a CSV file: the preview shows the grouped lines in
    // natural order, quantity and parts first.
    messages.messages.clear();
    open();
    next()->click();
    answers.push_back(QString::fromStdString((dir / "LOM.csv").string()));
    find<QPushButton>("cmdFile_1")->click();
    add({ "Component Value-P" });
    next()->click();
    find<QCheckBox>("chkGroup")->setChecked(true);
    preview([&](dialogs::FrmPreview* p) {
        auto* model = p->linesView()->model();
        EXPECT_EQ(model->rowCount(), 26);
        EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Parts");
        EXPECT_EQ(p->linesView()->horizontalHeader()->sortIndicatorSection(), 2);
        QStringList parts;
        for (int r = 0; r < model->rowCount(); ++r)
            parts << model->data(model->index(r, 1)).toString();
        EXPECT_TRUE(parts.contains("C1-C6, C12"));
        emit p->linesView()->horizontalHeader()->sectionClicked(0); // quantity: not a field
        EXPECT_EQ(p->linesView()->horizontalHeader()->sortIndicatorSection(), 2);
    });
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(LomWizard, FinishBuildsOnceWritesTheFileAndCleansUp)
{
    open();
    // Added together, the fields keep their catalogue order; the first sorts.
    toFields({ "Component Name-P", "Part-P", "External Index Code-P", "Price-D" });
    find<QComboBox>("cboDelimit")->setEditText(",");
    next()->click();
    preview([](dialogs::FrmPreview*) {});
    EXPECT_EQ(tempFiles(), 1u);
    std::vector<QString> opened;
    shell::SetDesktopOpener([&](const QString& path) { opened.push_back(path); });
    messages.choice = 1; // "Open folder"
    next()->click(); // finish: no second build
    shell::SetDesktopOpener(nullptr);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull()); // closed and unloaded
    EXPECT_EQ(tempFiles(), 0u); // the one temporary database is gone
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "41 lines written to " + (dir / "LOM.txt").string() + ".");
    EXPECT_EQ(messages.offered, (std::vector<std::string> { "Open &file", "Open f&older" }));
    EXPECT_EQ(opened, std::vector<QString> { QString::fromStdString(dir.path().string()) });
    const std::string lom = test::readFile(dir / "LOM.txt");
    EXPECT_EQ(std::count(lom.begin(), lom.end(), '\n'), 41);
    EXPECT_EQ(lom.substr(0, lom.find('\n') + 1), " 1,,,MH1,\r\n"); // a component without device
    EXPECT_NE(lom.find(",CAP-100N-0603,CAP-0603-100N,C1,0.021\r\n"), std::string::npos);
    EXPECT_NE(lom.find(",XTAL-32K,XTAL-FC135-32K768,Y2,\r\n"), std::string::npos); // no EID record
}

TEST_F(LomWizard, CancelDeletesTheDatabase)
{
    open();
    toFields({ "Part-P" });
    next()->click();
    preview([](dialogs::FrmPreview*) {});
    EXPECT_EQ(tempFiles(), 1u);
    find<QPushButton>("cmdBrwse_2")->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(tempFiles(), 0u);
}

TEST_F(LomWizard, GroupedAndTableFilesFollowTheBoxAndTheExtension)
{
    auto finish = [this](const char* file, const QStringList& fields, bool grouped) {
        open();
        next()->click();
        answers.push_back(QString::fromStdString((dir / file).string()));
        find<QPushButton>("cmdFile_1")->click();
        add(fields);
        next()->click();
        auto* group = find<QCheckBox>("chkGroup");
        EXPECT_FALSE(group->isChecked()); // the classic file unless asked
        group->setChecked(grouped);
        next()->click(); // finish without a preview
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(window.isNull());
        return test::readFile(dir / file);
    };
    std::string lom = finish("LOM.txt", { "Component Value-P", "Price-D" }, true);
    EXPECT_TRUE(requests.back().filter.contains("(*.xlsx)"));
    EXPECT_EQ(lom.substr(0, lom.find('\n') + 1), " 1|2|R6, R7|1k|0.012\r\n"); // sorted by value, naturally
    EXPECT_NE(lom.find("|7|C1-C6, C12|100n|0.021\r\n"), std::string::npos);
    EXPECT_EQ(std::count(lom.begin(), lom.end(), '\n'), 26);

    // A CSV file, one line per part, in natural order of the sort field.
    lom = finish("LOM.csv", { "Component Name-P", "Component Value-P" }, false);
    EXPECT_EQ(lom.substr(0, lom.find("C11")),
        "Component Name-P,Component Value-P\r\nC1,100n\r\nC2,100n\r\n"
        "C3,100n\r\nC4,100n\r\nC5,100n\r\nC6,100n\r\nC7,10u\r\nC8,10u\r\nC9,20p\r\nC10,20p\r\n");
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[0].text, "26 lines (41 parts) written to " + (dir / "LOM.txt").string() + ".");
    EXPECT_EQ(tempFiles(), 0u);
}

// Picking the shown EID again before the fields were loaded still loads
// them; a failed write keeps the wizard and its choices for another try.
TEST_F(LomWizard, SecondRunsAfterARepickAndAFailedWrite)
{
    open();
    answers.push_back(QString::fromStdString(eid()));
    find<QPushButton>("cmdFile_0")->click();
    EXPECT_FALSE(lomState().lomDatabaseBuilt);
    next()->click();
    EXPECT_EQ(available()->count(), 15);
    answers.push_back(QString::fromStdString((dir / "gone" / "LOM.txt").string()));
    find<QPushButton>("cmdFile_1")->click();
    add({ "Part-P", "Price-D" });
    next()->click();
    next()->click(); // the folder does not exist
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(window->currentStep(), FrmLomedit::Step::Finish);
    EXPECT_TRUE(next()->isEnabled() && back()->isEnabled());
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].id, "916017");
    EXPECT_NE(messages.messages[0].text.find("gone"), std::string::npos);

    back()->click();
    answers.push_back(QString::fromStdString((dir / "LOM.txt").string()));
    find<QPushButton>("cmdFile_1")->click();
    EXPECT_EQ(texts(chosen()), QStringList({ "Part-P", "Price-D" }));
    next()->click();
    next()->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(messages.messages.back().id, "916012");
    const std::string lom = test::readFile(dir / "LOM.txt");
    EXPECT_EQ(std::count(lom.begin(), lom.end(), '\n'), 41);
}

} // namespace
} // namespace rav::lom
