// Colour values of the host suite, which the EID wizard's field grid paints
// with.
#include "colour_value.h"

#include <gtest/gtest.h>

TEST(CellColours, ValuesAreBgr)
{
    EXPECT_EQ(rav::colorFromValue(0xEFFFFF), QColor(255, 255, 239));
    EXPECT_EQ(rav::colorFromValue(0x0000FF), QColor(255, 0, 0));
}
