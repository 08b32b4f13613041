// The wizard's table outputs, driven offscreen through the editor library
// on the demo files: the file dialog's formats and page 2's grouping box.
#include "frm_lomedit.h"
#include "lom_build.h"
#include "project_parts.h"
#include "shell_state.h"
#include "test_env.h"
#include "window_fixture.h"
#include "zareza2v.h"

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace rav::lom
{
namespace
{

class LomWizardOutput : public test::WindowTest<FrmLomedit>
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.dpz", dir / "demo.dpz");
        fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.eid", dir / "demo.eid");
        fs::create_directories(dir / "tmp");
        ASSERT_NE(Z_OpenProject((dir / "demo.dpz").c_str()), 0) << Z_LastError();
        ASSERT_TRUE(kernel::ProjectParts::instance().OpenProjectInfo());
        auto& s = shell::shellState();
        s.DBaseName = (dir / "demo.eid").string();
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
    // Through the pages to the last one, writing `file` with these fields.
    void toLastPage(const std::string& file, const QStringList& fields)
    {
        window = new FrmLomedit;
        window->show();
        find<QPushButton>("cmdBrwse_1")->click();
        answers.push_back(QString::fromStdString((dir / file).string()));
        find<QPushButton>("cmdFile_1")->click();
        auto* available = find<QListWidget>("lstFields_0");
        for (int i = 0; i < available->count(); ++i)
            available->item(i)->setSelected(fields.contains(available->item(i)->text()));
        find<QPushButton>("cmdAddDel_0")->click();
        find<QPushButton>("cmdBrwse_1")->click();
    }
    void finish()
    {
        find<QPushButton>("cmdBrwse_1")->click();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(LomWizardOutput, GroupedAndTableFilesFollowTheBoxAndTheExtension)
{
    toLastPage("LOM.txt", { "Component Value-P", "Price-D" });
    EXPECT_TRUE(requests.back().filter.contains("(*.csv)"));
    EXPECT_TRUE(requests.back().filter.contains("(*.xlsx)"));
    EXPECT_TRUE(requests.back().filter.contains("(*.html)"));
    auto* group = find<QCheckBox>("chkGroup");
    EXPECT_FALSE(group->isChecked()); // the classic file unless asked
    group->setChecked(true);
    screenshot(window, "lom_wizard_group");
    finish();
    std::string lom = test::readFile(dir / "LOM.txt");
    EXPECT_EQ(lom.substr(0, lom.find('\n') + 1), " 1|2|R6, R7|1k|0.012\r\n"); // sorted by value, naturally
    EXPECT_NE(lom.find("|7|C1-C6, C12|100n|0.021\r\n"), std::string::npos);
    EXPECT_EQ(std::count(lom.begin(), lom.end(), '\n'), 26);

    // A CSV file, one line per part, in natural order of the sort field.
    toLastPage("LOM.csv", { "Component Name-P", "Component Value-P" });
    finish();
    lom = test::readFile(dir / "LOM.csv");
    EXPECT_EQ(lom.substr(0, lom.find("C11")),
        "Component Name-P,Component Value-P\r\nC1,100n\r\nC2,100n\r\n"
        "C3,100n\r\nC4,100n\r\nC5,100n\r\nC6,100n\r\nC7,10u\r\nC8,10u\r\nC9,20p\r\nC10,20p\r\n");
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "tmp"), {}), 0);
}

} // namespace
} // namespace rav::lom
