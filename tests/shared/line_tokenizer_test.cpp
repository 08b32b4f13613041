#include "line_tokenizer.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

using rav::LineTokenizer;

TEST(LineTokenizer, KeepsEmptyValuesAndBlanks)
{
    LineTokenizer t;
    t.Split("R1, 10k ,,RES", ',');
    ASSERT_EQ(t.Count(), 4u);
    EXPECT_EQ(t.Item(1), "R1");
    EXPECT_EQ(t.Item(2), " 10k ");
    EXPECT_EQ(t.Item(3), "");
    EXPECT_EQ(t.Item(4), "RES");
}

TEST(LineTokenizer, TrailingAndLeadingDelimitersMakeEmptyValues)
{
    LineTokenizer t;
    t.Split("a,b,", ',');
    ASSERT_EQ(t.Count(), 3u);
    EXPECT_EQ(t.Item(3), "");
    t.Split(",a", ',');
    ASSERT_EQ(t.Count(), 2u);
    EXPECT_EQ(t.Item(1), "");
    EXPECT_EQ(t.Item(2), "a");
    t.Split(",,,", ',');
    EXPECT_EQ(t.Count(), 4u);
    t.Split("", ',');
    EXPECT_EQ(t.Count(), 0u);
    t.Split("no delimiter", ',');
    ASSERT_EQ(t.Count(), 1u);
    EXPECT_EQ(t.Item(1), "no delimiter");
}

TEST(LineTokenizer, PositionsOutsideTheValuesGiveEmptyText)
{
    LineTokenizer t;
    t.Split("x;y", ';');
    EXPECT_EQ(t.Item(0), "");
    EXPECT_EQ(t.Item(3), "");
    EXPECT_EQ(t.Item(1000), "");
}

TEST(LineTokenizer, TabAndSpaceDelimiters)
{
    LineTokenizer t;
    t.Split("a\tb c\t\td", '\t');
    ASSERT_EQ(t.Count(), 4u);
    EXPECT_EQ(t.Item(2), "b c");
    EXPECT_EQ(t.Item(3), "");
    t.Split("a b  c", ' ');
    ASSERT_EQ(t.Count(), 4u);
    EXPECT_EQ(t.Item(3), "");
    EXPECT_EQ(t.Item(4), "c");
}

TEST(LineTokenizer, ValuesOfTheLastLineOnlyAndCopiesStandAlone)
{
    LineTokenizer t;
    t.Split("one,two,three,four", ',');
    t.Split("5,6", ',');
    EXPECT_EQ(t.Count(), 2u);
    EXPECT_EQ(t.Item(3), "");
    std::string line = "p|q";
    t.Split(line, '|');
    line = "changed"; // the tokenizer keeps its own copy
    LineTokenizer copy = t;
    t.Split("other", '|');
    EXPECT_EQ(copy.Item(1), "p");
    EXPECT_EQ(copy.Item(2), "q");
    EXPECT_EQ(t.Item(1), "other");
}

TEST(LineTokenizer, NulBytesAndLongLines)
{
    LineTokenizer t;
    t.Split(std::string("a\0b,c", 5), ',');
    ASSERT_EQ(t.Count(), 2u);
    EXPECT_EQ(t.Item(1), std::string_view("a\0b", 3));
    std::string big;
    for (int i = 0; i < 100000; ++i)
        big += std::to_string(i) + ",";
    t.Split(big, ',');
    EXPECT_EQ(t.Count(), 100001u);
    EXPECT_EQ(t.Item(12345), "12344");
    EXPECT_EQ(t.Item(100001), "");
}

} // namespace
