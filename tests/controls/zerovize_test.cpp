// The framed panel: progress arithmetic and what it actually paints.
#include "zerovize.h"

#include <QImage>
#include <QLabel>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace
{

// Counts the pixels of one colour along the panel's middle line.
int countColumns(const QImage& image, const QColor& color)
{
    int count = 0;
    const int y = image.height() / 2;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, y) == color)
            ++count;
    return count;
}

} // namespace

TEST(ZerOvizeTest, ProgressFractionClampsAndHandlesEmptyRanges)
{
    EXPECT_DOUBLE_EQ(rav::progressFraction(0, 100, 25), 0.25);
    EXPECT_DOUBLE_EQ(rav::progressFraction(10, 20, 15), 0.5);
    EXPECT_DOUBLE_EQ(rav::progressFraction(0, 100, -5), 0.0);
    EXPECT_DOUBLE_EQ(rav::progressFraction(0, 100, 500), 1.0);
    EXPECT_DOUBLE_EQ(rav::progressFraction(5, 5, 5), 0.0);
    EXPECT_DOUBLE_EQ(rav::progressFraction(9, 1, 5), 0.0);
    EXPECT_DOUBLE_EQ(rav::progressFraction(0, 4'000'000'000LL, 1'000'000'000LL), 0.25);
}

TEST(ZerOvizeTest, PaintsTheFilledShareOfTheBar)
{
    rav::ZerOvize panel;
    panel.resize(204, 24);
    panel.setFloodColor(QColor(255, 0, 0));
    panel.setStyle(rav::ZerOvize::FloodStyle::LeftToRight);
    panel.setMaximum(4);

    panel.setValue(0);
    EXPECT_EQ(countColumns(panel.grab().toImage(), QColor(255, 0, 0)), 0);
    panel.setValue(1);
    const int quarter = countColumns(panel.grab().toImage(), QColor(255, 0, 0));
    panel.setValue(4);
    const int full = countColumns(panel.grab().toImage(), QColor(255, 0, 0));
    EXPECT_GT(full, 190);
    EXPECT_NEAR(quarter, full / 4, 2);

    panel.setStyle(rav::ZerOvize::FloodStyle::None);
    EXPECT_EQ(countColumns(panel.grab().toImage(), QColor(255, 0, 0)), 0);
}

TEST(ZerOvizeTest, RightToLeftFillsFromTheRightEdge)
{
    rav::ZerOvize panel;
    panel.resize(100, 20);
    panel.setFloodColor(QColor(0, 0, 255));
    panel.setStyle(rav::ZerOvize::FloodStyle::RightToLeft);
    panel.setValue(50);
    const QImage image = panel.grab().toImage();
    const QRect inner = panel.contentsRect();
    EXPECT_EQ(image.pixelColor(inner.right() - 1, 10), QColor(0, 0, 255));
    EXPECT_NE(image.pixelColor(inner.left() + 1, 10), QColor(0, 0, 255));
}

TEST(ZerOvizeTest, AFramingPanelIsAsLargeAsItsControls)
{
    rav::ZerOvize panel;
    auto* layout = new QVBoxLayout(&panel);
    auto* first = new QLabel("first line of a framed group", &panel);
    auto* second = new QLabel("second line", &panel);
    layout->addWidget(first);
    layout->addWidget(second);
    EXPECT_GE(panel.sizeHint().height(), first->sizeHint().height() + second->sizeHint().height());
    EXPECT_GE(panel.sizeHint().width(), first->sizeHint().width());
}
