#include "values.h"

#include <cmath>
#include <gtest/gtest.h>
#include <stdexcept>

namespace
{

using rav::NumericValue;
using rav::SplitFields;

TEST(NumericValue, TakesTheNumberAtTheStartWithTheFirstCommaAsPoint)
{
    const std::pair<const char*, double> cases[] = { { "", 0.0 }, { "12,5", 12.5 }, { "3 mm", 3.0 },
        { " 44", 44.0 }, // the stored field separator
        { "\t9", 9.0 }, { "-1", -1.0 }, { "+7x", 7.0 }, { "0.25", 0.25 }, { ",5", 0.5 }, { "1e3", 1000.0 },
        { "2E-1 V", 0.2 }, { "5e", 5.0 }, // an exponent without digits is not part of the number
        { "1,2,3", 1.2 }, { "1.5,2", 1.5 }, { "1.2.3", 1.2 }, { "abc", 0.0 }, { "-", 0.0 }, { ".", 0.0 },
        { "mm 3", 0.0 } };
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(NumericValue(text), value) << text;
    EXPECT_TRUE(std::isinf(NumericValue("1e999")));
}

TEST(SplitFields, KeepsEveryFieldUntrimmedAndAMissingFieldIsAnError)
{
    const auto g = SplitFields(" a, b,,");
    ASSERT_EQ(g.count(), 4u);
    EXPECT_EQ(g.field(1), " a");
    EXPECT_EQ(g.field(2), " b");
    EXPECT_EQ(g.field(4), "");
    EXPECT_THROW((void)g.field(5), std::out_of_range);
    EXPECT_THROW((void)g.field(0), std::out_of_range);
    EXPECT_EQ(SplitFields("UP").count(), 1u);
    EXPECT_EQ(SplitFields(",").count(), 2u);
    EXPECT_EQ(SplitFields("").count(), 0u);
}

} // namespace
