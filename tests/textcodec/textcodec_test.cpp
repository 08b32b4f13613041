#include "textcodec.h"

#include <gtest/gtest.h>

using namespace rav::text;

TEST(Cp1252, RoundTripsEveryDefinedByte)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf8 = cp1252ToUtf8(all);
    EXPECT_TRUE(isValidUtf8(utf8));
    const auto back = utf8ToCp1252(utf8);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(Cp1252, MapsTheHighPunctuationAndTheKernelSeparator)
{
    // 0x80 is the euro sign in the code page and the token separator in
    // device texts: it must survive a round trip as one byte.
    EXPECT_EQ(cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(cp1252ToUtf8("\xB5"), "\xC2\xB5"); // micro sign
    EXPECT_EQ(utf8ToCp1252("10\xC2\xB5" "F").value(), "10\xB5" "F");
}

TEST(Cp1252, ReportsCharactersItCannotHold)
{
    std::string bad;
    EXPECT_FALSE(utf8ToCp1252("R1 \xE6\x8A\xB5\xE6\x8A\x97", &bad).has_value()); // CJK
    EXPECT_EQ(bad, "\xE6\x8A\xB5");
    EXPECT_FALSE(utf8ToCp1252("\xFF").has_value()); // not UTF-8 at all
}

TEST(Utf8, ValidatesAndCountsCharacters)
{
    EXPECT_TRUE(isValidUtf8("plain"));
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));         // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));         // cut short
    EXPECT_EQ(utf8Length("\xC2\xB5" "F"), 2u);
    EXPECT_EQ(utf8Left("\xC2\xB5\xC2\xB5" "F", 2), "\xC2\xB5\xC2\xB5");
    EXPECT_EQ(utf8Left("abc", 10), "abc");
}

TEST(FileText, AcceptsUtf8WithOrWithoutMarkAndFallsBackToCp1252)
{
    EXPECT_EQ(decodeFileText("\xEF\xBB\xBF" "A1,Bolt"), "A1,Bolt");
    EXPECT_EQ(decodeFileText("A1,\xC2\xB5"), "A1,\xC2\xB5");
    EXPECT_EQ(decodeFileText("A1,\xB5"), "A1,\xC2\xB5");
}

TEST(Case, FoldsAsciiLettersOnly)
{
    EXPECT_TRUE(equalsIgnoreCase("a1", "A1"));
    EXPECT_FALSE(equalsIgnoreCase("a1", "A2"));
    EXPECT_EQ(asciiLower("TaB"), "tab");
    EXPECT_EQ(trimBlanks("  x y  "), "x y");
    EXPECT_EQ(trimBlanks("   "), "");
}
