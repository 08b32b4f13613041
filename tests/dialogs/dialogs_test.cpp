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
#include <QLabel>
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
    // work area 0..15000 x 10000 twips, main window 3000 wide
    PreviewRect r = DefaultPreviewRect(0, 15000, 10000, 3000);
    EXPECT_EQ(r.left, 3000);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.width, 12000);
    EXPECT_EQ(r.height, 10000);
    // no main width: the whole work width from its left edge
    r = DefaultPreviewRect(200, 15000, 10000, 0);
    EXPECT_EQ(r.left, 200);
    EXPECT_EQ(r.width, 15000);
    // a main window wider than the work area: start at its middle
    r = DefaultPreviewRect(0, 15000, 10000, 16000);
    EXPECT_EQ(r.left, 7500);
    EXPECT_EQ(r.width, 1000);
    // the grid inside: the same margin on every side, no strip under it
    const PreviewRect g = PreviewGridRect(9000, 6000);
    EXPECT_EQ(g.left, 50);
    EXPECT_EQ(g.top, 50);
    EXPECT_EQ(g.width, 8900);
    EXPECT_EQ(g.height, 5900);
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
};

TEST_F(Dialogs, PreviewFailuresSayUnableToDisplayPreview)
{
    const fs::path eid = fs::path(RAV_EXAMPLES_DIR) / "demo.eid";
    {
        FrmPreview preview;
        EXPECT_EQ(preview.windowTitle(),
            "List of Materials - Preview (Click column headers to sort with that field...)");
        // Two columns, one caption.
        EXPECT_FALSE(preview.formUpdate(eid.string(), "SELECT Code, Price FROM Device;", { "Code-D" }));
        EXPECT_FALSE(preview.isVisible());
    }
    {
        FrmPreview preview;
        EXPECT_FALSE(preview.formUpdate((dir / "missing.db").string(), "SELECT * FROM Device;", {}));
    }
    {
        FrmPreview preview;
        EXPECT_FALSE(preview.formUpdate(eid.string(), "SELECT Nothing FROM Device;", { "x" }));
    }
    ASSERT_EQ(messages.messages.size(), 3u);
    for (const auto& m : messages.messages) {
        EXPECT_EQ(m.text, "Unable to display Preview");
        EXPECT_EQ(m.kind, MessageKind::Critical);
    }
}

TEST_F(Dialogs, PreviewShowsModallyUntilClosed)
{
    const fs::path eid = fs::path(RAV_EXAMPLES_DIR) / "demo.eid";
    FrmPreview preview;
    bool inspected = false;
    QTimer::singleShot(0, [&] {
        inspected = true;
        EXPECT_TRUE(preview.isVisible());
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
    EXPECT_TRUE(preview.formUpdate(
        eid.string(), "SELECT Code, Price FROM Device ORDER BY Code;", { "Code-D", "Price-D", "" }));
    EXPECT_TRUE(inspected);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(Dialogs, ProgressCancelRaisesTheFlagAndTheWindowStays)
{
    FrmProgress progress;
    progress.load();
    EXPECT_TRUE(progress.isVisible());
    EXPECT_TRUE(progress.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(progress.findChild<QLabel*>("Label1")->text(), "Please wait ...");
    progress.qpnPbar()->setMaximum(200);
    progress.UpdateProgress(150);
    EXPECT_EQ(progress.qpnPbar()->value(), 150);
    auto* cancel = progress.findChild<QPushButton*>("cmdCancel");
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
    cancel->click();
    EXPECT_TRUE(cancelFlag().load());
    EXPECT_TRUE(progress.isVisible());
}

} // namespace
} // namespace rav::dialogs
