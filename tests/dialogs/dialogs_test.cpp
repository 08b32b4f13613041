// The preview and progress windows, driven offscreen through the editor
// library, and the preview's placement rule.
#include "cancel_flag.h"
#include "data_grid_view.h"
#include "frm_preview.h"
#include "frm_progress.h"
#include "host_utility.h"
#include "preview_placement.h"
#include "shell_services.h"
#include "test_env.h"
#include "zerovize.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace rav::dialogs
{
namespace
{

TEST(PreviewPlacement, RightOfTheHostsMainWindow)
{
    auto rect = [](const PreviewRect& r) { return std::vector<long> { r.left, r.top, r.width, r.height }; };
    // Work area 15000 x 10000 twips; main windows of 3000, none and wider than the area.
    EXPECT_EQ(rect(DefaultPreviewRect(0, 15000, 10000, 3000)), (std::vector<long> { 3000, 0, 12000, 10000 }));
    EXPECT_EQ(rect(DefaultPreviewRect(200, 15000, 10000, 0)), (std::vector<long> { 200, 0, 15000, 10000 }));
    EXPECT_EQ(rect(DefaultPreviewRect(0, 15000, 10000, 16000)), (std::vector<long> { 7500, 0, 1000, 10000 }));
    // The grid inside: the same margin on every side.
    EXPECT_EQ(rect(PreviewGridRect(9000, 6000)), (std::vector<long> { 50, 50, 8900, 5900 }));
}

class Dialogs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        shell::SetMessageSink(&messages);
        HostUtility::instance().setLanguage("en");
        cancelFlag().store(false);
    }
    void TearDown() override
    {
        shell::SetMessageSink(nullptr);
        HostUtility::instance().setLanguage("");
        cancelFlag().store(false);
    }
    RecordingMessageSink messages;
    test::ScratchDir dir;
    const std::string eid = (fs::path(RAV_EXAMPLES_DIR) / "demo.eid").string();
};

TEST_F(Dialogs, PreviewFailuresSayUnableToDisplayPreview)
{
    // Two columns with one caption, a missing file, an unknown column.
    EXPECT_FALSE(FrmPreview().formUpdate(eid, "SELECT Code, Price FROM Device;", { "Code-D" }));
    EXPECT_FALSE(FrmPreview().formUpdate((dir / "missing.db").string(), "SELECT * FROM Device;", {}));
    EXPECT_FALSE(FrmPreview().formUpdate(eid, "SELECT Nothing FROM Device;", { "x" }));
    ASSERT_EQ(messages.messages.size(), 3u);
    for (const auto& m : messages.messages) {
        EXPECT_EQ(m.text, "Unable to display Preview");
        EXPECT_EQ(m.kind, MessageKind::Critical);
    }
}

TEST_F(Dialogs, PreviewShowsModallyUntilClosed)
{
    FrmPreview preview;
    bool inspected = false;
    QTimer::singleShot(0, [&] {
        inspected = true;
        EXPECT_TRUE(preview.isModal());
        EXPECT_EQ(preview.dbgPrev()->model()->headerData(1, Qt::Horizontal).toString(), "Price-D");
        EXPECT_EQ(preview.datPrev()->recordCount(), 19);
        // The grid fills the window but for one margin, the same on every side.
        preview.resize(700, 500);
        const QRect grid = preview.dbgPrev()->geometry();
        EXPECT_GT(grid.left(), 0);
        EXPECT_EQ(grid.top(), grid.left());
        EXPECT_EQ(preview.width() - 1 - grid.right(), grid.left());
        EXPECT_EQ(preview.height() - 1 - grid.bottom(), grid.left());
        preview.close();
    });
    EXPECT_TRUE(preview.formUpdate(eid, "SELECT Code, Price FROM Device ORDER BY Code;", { "Code-D", "Price-D", "" }));
    EXPECT_TRUE(inspected);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(Dialogs, ProgressCancelRaisesTheFlagAndTheWindowStays)
{
    FrmProgress progress;
    progress.load();
    progress.qpnPbar()->setMaximum(200);
    progress.UpdateProgress(150);
    EXPECT_EQ(progress.qpnPbar()->value(), 150);
    auto* cancel = progress.findChild<QPushButton*>("cmdCancel");
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_TRUE(cancelFlag().load());
    EXPECT_TRUE(progress.isVisible());
}

} // namespace
} // namespace rav::dialogs
