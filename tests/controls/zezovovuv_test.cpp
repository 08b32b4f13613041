// The cell grid's colour values, which the EID wizard's field grid paints
// with. The grid widget itself is no window's view any more.
#include "zezovovuv.h"

#include <gtest/gtest.h>

TEST(CellColours, ValuesAreBgr)
{
    EXPECT_EQ(rav::colorFromValue(0xEFFFFF), QColor(255, 255, 239));
    EXPECT_EQ(rav::colorFromValue(0x0000FF), QColor(255, 0, 0));
}
