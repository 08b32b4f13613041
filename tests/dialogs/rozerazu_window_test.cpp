// The query dialog: its height rule, and the dialog itself driven
// offscreen in each of its modes.
#include "placement.h"
#include "rozerazu.h"
#include "rozerazu_layout.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>
#include <gtest/gtest.h>

namespace rav::dialogs
{
namespace
{

TEST(RozerazuLayout, HeightFollowsThePrompt)
{
    QueryLayoutInput in { .labelWidth = 4800, .promptWidth = 1000, .textHeight = 195, .inputHeight = 300,
        .screenHeight = 11520 };
    EXPECT_EQ(LayOutQuery(in).height, 2000) << "a one-line prompt gets the smallest height";

    // Three short lines: (3 + 0 + 3) lines of text.
    in.promptLines = CountCrLfLines("one\r\ntwo\r\nthree");
    in.textHeight = 400;
    const QueryLayout l = LayOutQuery(in);
    EXPECT_EQ(l.lines, 6);
    EXPECT_EQ(l.height, 6 * 400 + 300);

    // A long line wraps: its width over the usable width (4680), rounded.
    in.promptLines = 1;
    in.promptWidth = 4680 * 3 + 100;
    EXPECT_EQ(LayOutQuery(in).lines, 1 + 3 + 3);
    in.screenHeight = 2500; // a screen too low for it
    EXPECT_EQ(LayOutQuery(in).height, 2500 - 1200);

    EXPECT_EQ(CountCrLfLines(""), 1);
    EXPECT_EQ(CountCrLfLines("a\nb"), 1) << "only CR LF separates lines";
}

// Each mode driven by `act` once the dialog shows: what it returns and the
// index it leaves; the first value always holds the result.
TEST(Rozerazu, ModesReturnTheChoiceAndCancelGivesNothing)
{
    using Act = std::function<void(Rozerazu*)>;
    const Act accept = [](Rozerazu* d) { d->cmdAccept()->click(); };
    const Act cancel = [](Rozerazu* d) { d->cmdCancel()->click(); };
    struct Case {
        long mode;
        std::vector<std::string> values;
        long index;
        Act act;
        std::string result;
        long indexAfter;
    };
    const std::vector<Case> cases {
        { 1, { "initial" }, 5,
            [](Rozerazu* d) {
                EXPECT_EQ(d->txtText()->text(), "initial");
                EXPECT_EQ(d->windowTitle(), "Title");
                // A one-line prompt gets the smallest height.
                const double tpp = shell::TwipsPerPixel(d->screen()->logicalDotsPerInchY());
                EXPECT_EQ(d->height(), shell::TwipsToPixels(2000, tpp));
                EXPECT_FALSE(d->cboCombo()->isVisible());
                d->txtText()->setText("typed");
                QTest::keyClick(d->txtText(), Qt::Key_Return);
            },
            "typed", 0 },
        // A drop-down preselects the entry at the index, and is not editable.
        { 3, { "", "alpha", "beta", "gamma" }, 2,
            [&](Rozerazu* d) {
                EXPECT_EQ(d->cboDropdown()->currentText(), "gamma");
                EXPECT_FALSE(d->cboDropdown()->isEditable());
                accept(d);
            },
            "gamma", 3 },
        // A combo offers the other values and takes a text not among them.
        { 2, { "start", "one", "two" }, 0,
            [](Rozerazu* d) {
                EXPECT_EQ(d->cboCombo()->count(), 2);
                EXPECT_EQ(d->cboCombo()->currentText(), "start");
                d->cboCombo()->setEditText("three");
                QTest::keyClick(d->cboCombo(), Qt::Key_Return);
            },
            "three", 0 },
        // Other modes behave as text but keep the index.
        { 0, { "v" }, 7,
            [&](Rozerazu* d) {
                EXPECT_TRUE(d->txtText()->isVisible());
                accept(d);
            },
            "v", 7 },
    };
    std::vector<Case> all = cases;
    for (long mode : { 1L, 2L, 3L, 9L })
        all.push_back({ mode, { "keep", "x" }, 1, cancel, "", -1 });
    for (Case& c : all) {
        QTimer::singleShot(0, [&c] {
            Rozerazu* d = Rozerazu::active();
            ASSERT_NE(d, nullptr);
            c.act(d);
        });
        EXPECT_EQ(QueryBox("Title", "Prompt", c.values, c.mode, c.index), c.result) << c.mode;
        EXPECT_EQ(c.index, c.indexAfter) << c.mode;
        EXPECT_EQ(c.values[0], c.result) << c.mode;
        EXPECT_EQ(Rozerazu::active(), nullptr);
    }
    std::vector<std::string> none;
    long index = 0;
    EXPECT_THROW(Rozerazu::QUERY("T", "P", none, 1, index), std::out_of_range);
}

} // namespace
} // namespace rav::dialogs
