#include "line_tokenizer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

using rav::LineTokenizer;

std::vector<std::string> split(const std::string& line, char delimiter)
{
    LineTokenizer t;
    t.Split(line, delimiter);
    std::vector<std::string> out;
    for (std::size_t i = 1; i <= t.Count(); ++i)
        out.emplace_back(t.Item(i));
    EXPECT_EQ(t.Item(0), "");
    EXPECT_EQ(t.Item(t.Count() + 1), ""); // outside the values: empty text
    return out;
}

TEST(LineTokenizer, EmptyValuesBlanksAndDelimiters)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(split("R1, 10k ,,RES", ','), (V { "R1", " 10k ", "", "RES" }));
    EXPECT_EQ(split("a,b,", ','), (V { "a", "b", "" }));
    EXPECT_EQ(split(",a", ','), (V { "", "a" }));
    EXPECT_EQ(split(",,,", ','), (V { "", "", "", "" }));
    EXPECT_EQ(split("", ','), V {});
    EXPECT_EQ(split("no delimiter", ','), (V { "no delimiter" }));
    EXPECT_EQ(split("a\tb c\t\td", '\t'), (V { "a", "b c", "", "d" }));
    EXPECT_EQ(split("a b  c", ' '), (V { "a", "b", "", "c" }));
    EXPECT_EQ(split(std::string("a\0b,c", 5), ','), (V { std::string("a\0b", 3), "c" }));
}

TEST(LineTokenizer, ValuesOfTheLastLineOnlyCopiesStandAloneAndLongLines)
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
    EXPECT_EQ(copy.Item(2), "q");
    EXPECT_EQ(t.Item(1), "other");

    std::string big;
    for (int i = 0; i < 100000; ++i)
        big += std::to_string(i) + ",";
    t.Split(big, ',');
    EXPECT_EQ(t.Count(), 100001u);
    EXPECT_EQ(t.Item(12345), "12344");
}

} // namespace
