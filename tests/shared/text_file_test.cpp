#include "host_utility.h"
#include "test_env.h"
#include "text_file.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{

using rav::RecordingMessageSink;
using rav::TextFile;
using rav::test::readFile;
using rav::test::ScratchDir;
using rav::test::writeFile;

class TextFiles : public ::testing::Test
{
protected:
    void SetUp() override { rav::HostUtility::instance().setLanguage("en"); }
    void TearDown() override { rav::HostUtility::instance().setLanguage(""); }

    // Every line of a file with these bytes, as the reader returns them.
    std::vector<std::string> linesOf(const std::string& bytes)
    {
        const auto path = dir / "in.txt";
        writeFile(path, bytes);
        TextFile file(sink);
        EXPECT_TRUE(file.OpenTextForInput(path.string()));
        EXPECT_EQ(file.length(), static_cast<std::int64_t>(bytes.size()));
        std::vector<std::string> lines;
        std::string line;
        while (file.ReadTextLine(line))
            lines.push_back(line);
        EXPECT_FALSE(file.error());
        EXPECT_TRUE(file.atEnd());
        EXPECT_EQ(file.position(), file.length());
        return lines;
    }

    ScratchDir dir;
    RecordingMessageSink sink;
};

using Lines = std::vector<std::string>;

TEST_F(TextFiles, LineEndsCrLfLfAndNone)
{
    EXPECT_EQ(linesOf("a,b\r\nc\r\n"), (Lines { "a,b", "c" }));
    EXPECT_EQ(linesOf("a\nb\n"), (Lines { "a", "b" }));
    EXPECT_EQ(linesOf("a\nlast"), (Lines { "a", "last" }));
    EXPECT_EQ(linesOf("a\r\n\r\n\nb"), (Lines { "a", "", "", "b" }));
    EXPECT_EQ(linesOf("cr\ronly\r\n"), (Lines { "cr\ronly" })); // a lone CR is not a line end
    EXPECT_EQ(linesOf(""), Lines {});
    EXPECT_EQ(linesOf("\n"), (Lines { "" }));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(TextFiles, ByteOrderMarkAndWindows1252)
{
    EXPECT_EQ(linesOf("\xEF\xBB\xBF"
                      "R1,10\xC2\xB5"
                      "F\r\n"),
        (Lines { "R1,10\xC2\xB5"
                 "F" }));
    // A mark later in the file is text, not a mark.
    EXPECT_EQ(linesOf("a\n\xEF\xBB\xBF"
                      "b\n")[1],
        "\xEF\xBB\xBF"
        "b");
    // Each line is judged alone: UTF-8 lines stay, 8-bit lines are decoded.
    EXPECT_EQ(linesOf("10\xB5"
                      "F \x80\r\n"
                      "caf\xC3\xA9\r\n"),
        (Lines { "10\xC2\xB5"
                 "F \xE2\x82\xAC",
            "caf\xC3\xA9" }));
}

TEST_F(TextFiles, LongAsciiRunsBeforeTheFirstHighByteAreJudgedRight)
{
    const std::string ascii = "0123456789abcdefghij"; // longer than a machine word
    EXPECT_EQ(
        linesOf(ascii + "\xE9\n" + ascii + "\xC3\xA9\n" + ascii + "\xC3\n" + ascii + "\xF0\x9F\x98\x80\n"),
        (Lines { ascii + "\xC3\xA9", ascii + "\xC3\xA9", ascii + "\xC3\x83", ascii + "\xF0\x9F\x98\x80" }));
}

TEST_F(TextFiles, NulBytesAndBinaryGarbageSurvive)
{
    const std::string nul("a\0b\0\n\0\n", 7);
    const Lines lines = linesOf(nul);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string("a\0b\0", 4));
    EXPECT_EQ(lines[1], std::string("\0", 1));

    std::string garbage;
    unsigned v = 12345;
    for (int i = 0; i < 300000; ++i) {
        v = v * 1103515245u + 12345u;
        garbage += static_cast<char>(v >> 16);
    }
    std::size_t total = 0;
    for (const auto& line : linesOf(garbage))
        total += line.size();
    EXPECT_GE(total, garbage.size() / 2); // decoded, nothing lost wholesale
}

TEST_F(TextFiles, ATenMegabyteLine)
{
    std::string big(10 * 1024 * 1024, 'x');
    big[5'000'000] = ',';
    const Lines lines = linesOf("head\r\n" + big + "\r\ntail");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].size(), big.size());
    EXPECT_EQ(lines[1][5'000'000], ',');
    EXPECT_EQ(lines[2], "tail");
}

TEST_F(TextFiles, PositionCountsConsumedBytes)
{
    writeFile(dir / "p.txt", "ab\r\ncde\n");
    TextFile file(sink);
    ASSERT_TRUE(file.OpenTextForInput((dir / "p.txt").string()));
    std::string line;
    EXPECT_EQ(file.position(), 0);
    ASSERT_TRUE(file.ReadTextLine(line));
    EXPECT_EQ(file.position(), 4);
    ASSERT_TRUE(file.ReadTextLine(line));
    EXPECT_EQ(file.position(), 8);
    EXPECT_FALSE(file.ReadTextLine(line));
    EXPECT_FALSE(file.error());
}

TEST_F(TextFiles, AnUnreadableFileIsReportedAndFlagged)
{
    const std::string missing = (dir / "missing.txt").string();
    TextFile file(sink);
    EXPECT_FALSE(file.OpenTextForInput(missing));
    EXPECT_TRUE(file.error());
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].id, "99365");
    EXPECT_EQ(sink.messages[0].text, "Can't read file: " + missing);
    EXPECT_EQ(sink.messages[0].kind, rav::MessageKind::Exclamation);
    EXPECT_EQ(sink.messages[0].title, "No such file or directory");

    // A folder is not a text file either.
    EXPECT_FALSE(file.OpenTextForInput(dir.path().string()));
    EXPECT_TRUE(file.error());
    EXPECT_EQ(sink.messages.size(), 2u);

    // Reading a file that is not open is a read failure too.
    std::string line;
    EXPECT_FALSE(file.ReadTextLine(line));
    EXPECT_EQ(sink.messages.size(), 3u);
    EXPECT_EQ(sink.messages[2].id, "99365");

    // The next successful open clears the flag.
    writeFile(dir / "ok.txt", "x");
    EXPECT_TRUE(file.OpenTextForInput((dir / "ok.txt").string()));
    EXPECT_FALSE(file.error());
}

TEST_F(TextFiles, WritesExactlyWhatItIsGiven)
{
    const auto path = dir / "out.txt";
    writeFile(path, "old content that must go away");
    {
        TextFile file(sink);
        ASSERT_TRUE(file.OpenTextForOutput(path.string()));
        EXPECT_TRUE(file.WriteText(" 1,R1,caf\xC3\xA9\r\n"));
        EXPECT_TRUE(file.WriteText(std::string("nul\0", 4)));
        file.CloseTextFile(false);
        EXPECT_FALSE(file.error());
    }
    EXPECT_EQ(readFile(path), std::string(" 1,R1,caf\xC3\xA9\r\nnul\0", 17));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(TextFiles, LargeOutputAndTheDestructorFlushes)
{
    const auto path = dir / "big.txt";
    std::string expected;
    {
        TextFile file(sink);
        ASSERT_TRUE(file.OpenTextForOutput(path.string()));
        for (int i = 0; i < 20000; ++i) {
            const std::string line = " " + std::to_string(i) + ",value\r\n";
            expected += line;
            ASSERT_TRUE(file.WriteText(line));
        }
    } // no explicit close: the object closes on the way out
    EXPECT_EQ(readFile(path), expected);
}

TEST_F(TextFiles, CloseCanDelete)
{
    const auto path = dir / "temp.txt";
    TextFile file(sink);
    ASSERT_TRUE(file.OpenTextForOutput(path.string()));
    file.WriteText("x");
    file.CloseTextFile(true);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(file.isOpen());
    file.CloseTextFile(true); // closing twice does nothing
}

TEST_F(TextFiles, OutputFailuresSetTheFlag)
{
    TextFile file(sink);
    // Creating in a folder that does not exist: flag, but no message.
    EXPECT_FALSE(file.OpenTextForOutput((dir / "no" / "such" / "dir.txt").string()));
    EXPECT_TRUE(file.error());
    EXPECT_TRUE(sink.messages.empty());

    // Writing to a file that is not open shows 99335.
    EXPECT_FALSE(file.WriteText("x"));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].id, "99335");
    EXPECT_EQ(
        sink.messages[0].text, "Can't create/write to file: " + (dir / "no" / "such" / "dir.txt").string());
}

TEST_F(TextFiles, AFullDeviceIsReportedWhenTheDataIsWritten)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    TextFile file(sink);
    ASSERT_TRUE(file.OpenTextForOutput("/dev/full"));
    bool failed = false;
    for (int i = 0; i < 100 && !failed; ++i)
        failed = !file.WriteText(std::string(4096, 'x'));
    EXPECT_TRUE(failed);
    EXPECT_TRUE(file.error());
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages[0].id, "99335");
    EXPECT_EQ(sink.messages[0].title, "No space left on device");
}

TEST_F(TextFiles, MovingKeepsTheOpenFile)
{
    writeFile(dir / "m.txt", "one\ntwo\n");
    TextFile first(sink);
    ASSERT_TRUE(first.OpenTextForInput((dir / "m.txt").string()));
    std::string line;
    ASSERT_TRUE(first.ReadTextLine(line));
    TextFile second(std::move(first));
    EXPECT_FALSE(first.isOpen());
    ASSERT_TRUE(second.ReadTextLine(line));
    EXPECT_EQ(line, "two");
}

} // namespace
