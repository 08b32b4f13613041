// The List of Materials wizard, driven offscreen through the editor
// library, on the demo project and the demo EID the build made.
#include "form_helpers.h"
#include "frm_lomedit.h"
#include "frm_preview.h"
#include "host_utility.h"
#include "lom_wizard_fixture.h"
#include "shell_services.h"
#include "test_env.h"
#include "window_fixture.h"
#include "zerovize.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>
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
        lomtest::OpenDemo(dir.path());
        FrmLomedit::setFileChooser(scriptedFiles());
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        FrmLomedit::setFileChooser(nullptr);
        Z_CloseProject();
    }

    void open()
    {
        window = new FrmLomedit;
        window->show();
    }
    QListWidget* available() { return find<QListWidget>("lstFields_0"); }
    QListWidget* chosen() { return find<QListWidget>("lstFields_1"); }
    QComboBox* sortFields() { return find<QComboBox>("cboFields"); }
    static QStringList texts(const QListWidget* list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
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
    void toFields(const QStringList& fields)
    {
        next()->click();
        ASSERT_EQ(window->currentStep(), FrmLomedit::Step::Fields);
        answers.push_back(QString::fromStdString((dir / "LOM.txt").string()));
        find<QPushButton>("cmdFile_1")->click();
        add(fields);
    }
    // Presses the preview button; `inspect` runs once the preview is up
    // (the build lets events run), then the preview is closed. False: no
    // preview came up.
    bool preview(const std::function<void(dialogs::FrmPreview*)>& inspect)
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
        return seen;
    }
    std::size_t tempFiles() const { return lomtest::TempFiles(dir.path()); }
};

// The first two pages' widgets pass the user's actions on and show the
// model: a typed EID name (Next checks it and says when it is none), the
// field lists' buttons, Enter and Ctrl+A/U, the sort box in step, the LOM
// file proposed beside the project or typed, no delimiter for tables.
TEST_F(LomWizard, WidgetsOfTheFirstPagesShowTheModel)
{
    rav::test::writeFile(dir / "text.eid", "not a database");
    shell::shellState().LibDir = (dir / "tmp").string();
    open();
    auto* typedEid = find<QLineEdit>("txtEidFile");
    EXPECT_EQ(typedEid->text().toStdString(), (dir / "demo.eid").string());
    typedEid->selectAll();
    QTest::keyClicks(typedEid, QString::fromStdString((dir / "text.eid").string()));
    next()->click();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, (dir / "text.eid").string() + " is not an External Info Database.");
    typedEid->selectAll();
    QTest::keyClicks(typedEid, QString::fromStdString((dir / "other.eid").string()));
    toFields({ "Part-P", "Part Full Name-P", "External Index Code-P" });
    EXPECT_EQ(shell::shellState().DBaseName, (dir / "other.eid").string());
    EXPECT_EQ(requests.back().directory.toStdString(), dir.path().string()); // the project's folder
    select(chosen(), { "External Index Code-P" });
    add({ "Price-D" });
    EXPECT_EQ(texts(chosen()), QStringList({ "Part-P", "Part Full Name-P", "Price-D", "External Index Code-P" }));
    select(chosen(), { "Price-D" });
    find<QPushButton>("cmdMove_0")->click();
    EXPECT_EQ(sortFields()->itemText(1), "Price-D"); // in step with the list
    ASSERT_EQ(chosen()->selectedItems().size(), 1);
    EXPECT_EQ(chosen()->selectedItems()[0]->text(), "Price-D");
    sortFields()->setCurrentIndex(1);
    emit sortFields()->activated(1);
    EXPECT_EQ(window->model().sortField(), 15);

    // Enter moves the selected fields across, as a double click does.
    chosen()->clearSelection();
    select(available(), { "Part-P", "Component Name-P" });
    QTest::keyClick(available(), Qt::Key_Return);
    EXPECT_EQ(texts(chosen()).last(), "Component Name-P");
    // Ctrl+A and Ctrl+U act on the list that has the focus.
    QKeyEvent ctrlA(QEvent::KeyRelease, Qt::Key_A, Qt::ControlModifier);
    QApplication::sendEvent(chosen(), &ctrlA);
    EXPECT_EQ(chosen()->selectedItems().size(), 5);
    QKeyEvent ctrlU(QEvent::KeyRelease, Qt::Key_U, Qt::ControlModifier);
    QApplication::sendEvent(chosen(), &ctrlU);
    EXPECT_EQ(chosen()->selectedItems().size(), 0);

    auto* delimiter = find<QComboBox>("cboDelimit");
    EXPECT_TRUE(delimiter->isEnabled());
    auto* typed = find<QLineEdit>("txtLomFile");
    typed->selectAll();
    QTest::keyClick(typed, Qt::Key_Delete);
    EXPECT_FALSE(next()->isEnabled());
    QTest::keyClicks(typed, QString::fromStdString((dir / "LOM.csv").string()));
    EXPECT_EQ(window->model().outputFile(), (dir / "LOM.csv").string());
    EXPECT_FALSE(delimiter->isEnabled());
    EXPECT_TRUE(next()->isEnabled());
}

// Cancel pressed while the preview's database is built stops the build: the
// wizard stays on its last page with its buttons on again, no preview opens
// and no temporary database is left. The next preview holds the output's own
// lines; a header click sorts the output by that column, a second one
// reverses it, and the sort box follows. Finish writes what was previewed
// without a second build, offers Open file / Open folder, closes and deletes
// the temporary database.
TEST_F(LomWizard, PreviewAfterACancelledOneSortsTheOutputAndFinishWritesIt)
{
    open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window)); // painted only when on screen
    toFields({ "Part-P", "Component Name-P", "Component Value-P", "Description-D", "Price-D" });
    find<QComboBox>("cboDelimit")->setEditText(",");
    next()->click();
    // The bar is painted as the rows are saved: the press comes with the fifth.
    struct Press : QObject {
        ZerOvize* bar;
        QPushButton* cancel;
        bool pressed = false;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint && bar->value() >= 5 && !pressed)
                pressed = true, cancel->click();
            return false;
        }
    } press;
    press.bar = find<ZerOvize>("qpnPbar");
    press.cancel = find<QPushButton>("cmdBrwse_2");
    press.bar->installEventFilter(&press);
    EXPECT_FALSE(preview([](dialogs::FrmPreview*) {}));
    press.bar->removeEventFilter(&press);
    ASSERT_TRUE(press.pressed);
    ASSERT_FALSE(closed());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->currentStep(), FrmLomedit::Step::Finish);
    EXPECT_TRUE(next()->isEnabled() && back()->isEnabled() && find<QPushButton>("cmdPvw")->isEnabled());
    EXPECT_EQ(tempFiles(), 0u);

    EXPECT_TRUE(preview([&](dialogs::FrmPreview* p) {
        EXPECT_FALSE(window->isVisible()); // the wizard steps aside
        auto* model = p->linesView()->model();
        auto* header = p->linesView()->horizontalHeader();
        ASSERT_EQ(model->columnCount(), 5);
        EXPECT_EQ(model->rowCount(), 41);
        EXPECT_EQ(model->data(model->index(1, 0)).toString(), "CAP-100N-0603");
        EXPECT_EQ(header->sortIndicatorSection(), 0);
        emit header->sectionClicked(1); // by component name
        EXPECT_EQ(sortFields()->currentText(), "Component Name-P");
        EXPECT_EQ(header->sortIndicatorSection(), 1);
        EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
        EXPECT_EQ(model->data(model->index(0, 1)).toString(), "C1");
        emit header->sectionClicked(1);
        EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
        EXPECT_EQ(model->data(model->index(40, 1)).toString(), "C1");
    }));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(tempFiles(), 1u);
    std::vector<QString> opened;
    shell::SetDesktopOpener([&](const QString& path) { opened.push_back(path); });
    messages.choice = 1; // "Open folder"
    next()->click();
    shell::SetDesktopOpener(nullptr);
    EXPECT_TRUE(closed());
    EXPECT_EQ(tempFiles(), 0u);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "41 lines written to " + (dir / "LOM.txt").string() + ".");
    EXPECT_EQ(messages.offered, (std::vector<std::string> { "Open &file", "Open f&older" }));
    EXPECT_EQ(opened, std::vector<QString> { QString::fromStdString(dir.path().string()) });
    // Written as previewed (by component name, reversed), with the delimiter chosen.
    const std::string lom = test::readFile(dir / "LOM.txt");
    EXPECT_LT(lom.find(",R1,"), lom.find(",C1,"));
}

// Each access key of every page leads to one control, in either language.
TEST_F(LomWizard, AccessKeysDoNotClashOnAnyPage)
{
    for (const char* language : { "en", "de" }) {
        HostUtility::instance().setLanguage(language);
        open();
        for (int page = 0; page < FrmLomedit::kPageCount; ++page) {
            EXPECT_EQ(shell::ClashingAccessKeys(window).join(' ').toStdString(), "") << language << page;
            screenshot(window, QString("lom-wizard-%1-page%2").arg(language).arg(page + 1));
            if (page == 2) {
                find<QCheckBox>("chkGroup")->setChecked(true);
                EXPECT_TRUE(preview([&](dialogs::FrmPreview* p) { screenshot(p, QString("lom-preview-%1").arg(language)); }));
            }
            if (page == 0) {
                toFields({}); // the captions follow the language: the first field is taken
                available()->item(0)->setSelected(true);
                find<QPushButton>("cmdAddDel_0")->click();
            } else if (page == 1) {
                next()->click();
            }
        }
        find<QPushButton>("cmdBrwse_2")->click(); // after the work Cancel closes the wizard
        EXPECT_TRUE(closed()) << language;
    }
}

} // namespace
} // namespace rav::lom
