// The query dialog: its height rule, and the dialog itself driven
// offscreen in each of its modes.
#include "placement.h"
#include "rozerazu.h"
#include "rozerazu_layout.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
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
    QueryLayoutInput in;
    in.labelWidth = 4800;
    in.textHeight = 195;
    in.inputHeight = 300;
    in.screenHeight = 11520;
    in.promptWidth = 1000;
    QueryLayout l = LayOutQuery(in);
    EXPECT_EQ(l.lines, 4);
    EXPECT_EQ(l.height, 2000) << "a one-line prompt gets the smallest height";

    // Three short lines: (3 + 0 + 3) lines of text.
    in.promptLines = CountCrLfLines("one\r\ntwo\r\nthree");
    EXPECT_EQ(in.promptLines, 3);
    in.textHeight = 400;
    l = LayOutQuery(in);
    EXPECT_EQ(l.lines, 6);
    EXPECT_EQ(l.height, 6 * 400 + 300);

    // A long line wraps: its width over the usable width (4680), rounded.
    in.promptLines = 1;
    in.promptWidth = 4680 * 3 + 100;
    EXPECT_EQ(LayOutQuery(in).lines, 1 + 3 + 3);

    // A screen too low for it.
    in.screenHeight = 2500;
    EXPECT_EQ(LayOutQuery(in).height, 2500 - 1200);

    EXPECT_EQ(CountCrLfLines(""), 1);
    EXPECT_EQ(CountCrLfLines("a\nb"), 1) << "only CR LF separates lines";
    EXPECT_EQ(PromptHeight(2000, 300), 1580);
    EXPECT_EQ(InputTop(2000, 300), 1640);
}

// Runs `act` on the dialog once it is showing.
void whenShown(std::function<void(Rozerazu*)> act)
{
    QTimer::singleShot(0, [act] {
        Rozerazu* d = Rozerazu::active();
        ASSERT_NE(d, nullptr);
        act(d);
    });
}

TEST(Rozerazu, TextModeReturnsWhatWasTyped)
{
    std::vector<std::string> values { "initial" };
    long index = 5;
    QString shownText;
    QString title;
    int height = 0;
    whenShown([&](Rozerazu* d) {
        shownText = d->txtText()->text();
        title = d->windowTitle();
        height = d->height();
        EXPECT_TRUE(d->txtText()->isVisible());
        EXPECT_FALSE(d->cboCombo()->isVisible());
        EXPECT_EQ(d->cmdAccept()->text(), "Accept");
        d->txtText()->setText("typed");
        QTest::keyClick(d->txtText(), Qt::Key_Return);
    });
    EXPECT_EQ(Rozerazu::QUERY("Title", "Prompt", values, 1, index), "typed");
    EXPECT_EQ(shownText, "initial");
    EXPECT_EQ(title, "Title");
    EXPECT_EQ(values[0], "typed");
    EXPECT_EQ(index, 0);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double tpp = shell::TwipsPerPixel(screen->logicalDotsPerInchY());
    EXPECT_EQ(height, shell::TwipsToPixels(2000, tpp));
    EXPECT_EQ(Rozerazu::active(), nullptr);
}

TEST(Rozerazu, DropDownPreselectsAndReturnsThePosition)
{
    std::vector<std::string> values { "", "alpha", "beta", "gamma" };
    long index = 2;
    QString preselected;
    whenShown([&](Rozerazu* d) {
        preselected = d->cboDropdown()->currentText();
        EXPECT_FALSE(d->cboDropdown()->isEditable());
        d->cmdAccept()->click();
    });
    EXPECT_EQ(QueryBox("T", "Pick", values, 3, index), "gamma");
    EXPECT_EQ(preselected, "gamma");
    EXPECT_EQ(index, 3);
    EXPECT_EQ(values[0], "gamma");
}

TEST(Rozerazu, ComboAcceptsATextNotInTheList)
{
    std::vector<std::string> values { "start", "one", "two" };
    long index = 0;
    int items = 0;
    whenShown([&](Rozerazu* d) {
        items = d->cboCombo()->count();
        EXPECT_EQ(d->cboCombo()->currentText(), "start");
        d->cboCombo()->setEditText("three");
        QTest::keyClick(d->cboCombo(), Qt::Key_Return);
    });
    EXPECT_EQ(Rozerazu::QUERY("T", "P", values, 2, index), "three");
    EXPECT_EQ(items, 2);
    EXPECT_EQ(index, 0);
}

TEST(Rozerazu, CancelGivesNothingInEveryMode)
{
    for (long mode : { 1L, 2L, 3L, 9L }) {
        std::vector<std::string> values { "keep", "x" };
        long index = 1;
        whenShown([](Rozerazu* d) { d->cmdCancel()->click(); });
        EXPECT_EQ(Rozerazu::QUERY("T", "P", values, mode, index), "") << mode;
        EXPECT_EQ(index, -1) << mode;
        EXPECT_EQ(values[0], "") << mode;
    }
}

TEST(Rozerazu, OtherModesBehaveAsTextButKeepTheIndex)
{
    std::vector<std::string> values { "v" };
    long index = 7;
    whenShown([](Rozerazu* d) {
        EXPECT_TRUE(d->txtText()->isVisible());
        d->cmdAccept()->click();
    });
    EXPECT_EQ(Rozerazu::QUERY("T", "A longer prompt\r\nover two lines", values, 0, index), "v");
    EXPECT_EQ(index, 7);

    std::vector<std::string> none;
    EXPECT_THROW(Rozerazu::QUERY("T", "P", none, 1, index), std::out_of_range);
}

} // namespace
} // namespace rav::dialogs
