// The framed panel: progress arithmetic and what it actually paints.
#include "zerovize.h"

#include <QImage>
#include <QLabel>
#include <QVBoxLayout>
#include <gtest/gtest.h>

TEST(ZerOvizeTest, ProgressFractionClampsAndHandlesEmptyRanges)
{
    struct Case {
        long long min, max, value;
        double fraction;
    };
    for (const Case c : { Case { 0, 100, 25, 0.25 }, Case { 10, 20, 15, 0.5 }, Case { 0, 100, -5, 0.0 },
             Case { 0, 100, 500, 1.0 }, Case { 5, 5, 5, 0.0 }, Case { 9, 1, 5, 0.0 },
             Case { 0, 4'000'000'000LL, 1'000'000'000LL, 0.25 } })
        EXPECT_DOUBLE_EQ(rav::progressFraction(c.min, c.max, c.value), c.fraction) << c.min << " " << c.max;
}

TEST(ZerOvizeTest, PaintsTheFilledShareOfTheBarFromItsSide)
{
    const QColor red(255, 0, 0);
    rav::ZerOvize panel;
    panel.resize(204, 24);
    panel.setFloodColor(red);
    panel.setStyle(rav::ZerOvize::FloodStyle::LeftToRight);
    panel.setMaximum(4);
    // The red pixels along the middle line.
    auto filled = [&] {
        const QImage image = panel.grab().toImage();
        int count = 0;
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, image.height() / 2) == red;
        return count;
    };
    EXPECT_EQ(filled(), 0);
    panel.setValue(1);
    const int quarter = filled();
    panel.setValue(4);
    const int full = filled();
    EXPECT_GT(full, 190);
    EXPECT_NEAR(quarter, full / 4, 2);

    panel.setValue(2);
    panel.setStyle(rav::ZerOvize::FloodStyle::RightToLeft);
    const QImage image = panel.grab().toImage();
    const QRect inner = panel.contentsRect();
    EXPECT_EQ(image.pixelColor(inner.right() - 1, 12), red);
    EXPECT_NE(image.pixelColor(inner.left() + 1, 12), red);

    panel.setStyle(rav::ZerOvize::FloodStyle::None);
    EXPECT_EQ(filled(), 0);
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
