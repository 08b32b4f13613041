#include "values.h"

#include <cmath>
#include <gtest/gtest.h>
#include <stdexcept>

namespace
{

using rav::NumericValue;
using rav::SplitFields;

TEST(NumericValue, TakesTheNumberAtTheStart)
{
    EXPECT_DOUBLE_EQ(NumericValue(""), 0.0);
    EXPECT_DOUBLE_EQ(NumericValue("12,5"), 12.5);
    EXPECT_DOUBLE_EQ(NumericValue("3 mm"), 3.0);
    EXPECT_DOUBLE_EQ(NumericValue(" 44"), 44.0); // the stored field separator
    EXPECT_DOUBLE_EQ(NumericValue("\t9"), 9.0);
    EXPECT_DOUBLE_EQ(NumericValue("-1"), -1.0);
    EXPECT_DOUBLE_EQ(NumericValue("+7x"), 7.0);
    EXPECT_DOUBLE_EQ(NumericValue("0.25"), 0.25);
    EXPECT_DOUBLE_EQ(NumericValue(",5"), 0.5);
    EXPECT_DOUBLE_EQ(NumericValue("1e3"), 1000.0);
    EXPECT_DOUBLE_EQ(NumericValue("2E-1 V"), 0.2);
    EXPECT_DOUBLE_EQ(NumericValue("5e"), 5.0); // an exponent without digits is not part of the number
}

TEST(NumericValue, OnlyTheFirstCommaIsAPoint)
{
    EXPECT_DOUBLE_EQ(NumericValue("1,2,3"), 1.2);
    EXPECT_DOUBLE_EQ(NumericValue("1.5,2"), 1.5);
    EXPECT_DOUBLE_EQ(NumericValue("1.2.3"), 1.2);
}

TEST(NumericValue, TextThatIsNotANumberGivesZero)
{
    EXPECT_DOUBLE_EQ(NumericValue("abc"), 0.0);
    EXPECT_DOUBLE_EQ(NumericValue("-"), 0.0);
    EXPECT_DOUBLE_EQ(NumericValue("."), 0.0);
    EXPECT_DOUBLE_EQ(NumericValue("mm 3"), 0.0);
    EXPECT_TRUE(std::isinf(NumericValue("1e999")));
}

TEST(SplitFields, KeepsEveryFieldUntrimmed)
{
    const auto f = SplitFields("RAVEDERI,EX,extra");
    ASSERT_EQ(f.count(), 3u);
    EXPECT_EQ(f.field(1), "RAVEDERI");
    EXPECT_EQ(f.field(2), "EX");
    EXPECT_EQ(f.field(3), "extra");

    const auto g = SplitFields(" a, b,,");
    ASSERT_EQ(g.count(), 4u);
    EXPECT_EQ(g.field(1), " a");
    EXPECT_EQ(g.field(2), " b");
    EXPECT_EQ(g.field(3), "");
    EXPECT_EQ(g.field(4), "");

    EXPECT_EQ(SplitFields("UP").count(), 1u);
    EXPECT_EQ(SplitFields(",").count(), 2u);
    EXPECT_EQ(SplitFields("").count(), 0u);
}

TEST(SplitFields, AMissingFieldIsAnError)
{
    const auto f = SplitFields("RAVEDERI");
    EXPECT_THROW((void)f.field(2), std::out_of_range);
    EXPECT_THROW((void)f.field(0), std::out_of_range);
}

} // namespace
