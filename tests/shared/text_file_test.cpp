#include "host_utility.h"
#include "test_env.h"
#include "text_file.h"

#include <gtest/gtest.h>
#include <tuple>
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

TEST_F(TextFiles, LongAsciiRunsNulBytesGarbageAndHugeLinesSurvive)
{
    const std::string ascii = "0123456789abcdefghij"; // longer than a machine word
    EXPECT_EQ(
        linesOf(ascii + "\xE9\n" + ascii + "\xC3\xA9\n" + ascii + "\xC3\n" + ascii + "\xF0\x9F\x98\x80\n"),
        (Lines { ascii + "\xC3\xA9", ascii + "\xC3\xA9", ascii + "\xC3\x83", ascii + "\xF0\x9F\x98\x80" }));
    EXPECT_EQ(linesOf(std::string("a\0b\0\n\0\n", 7)), (Lines { std::string("a\0b\0", 4), std::string("\0", 1) }));

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

    std::string big(10 * 1024 * 1024, 'x');
    big[5'000'000] = ',';
    EXPECT_EQ(linesOf("head\r\n" + big + "\r\ntail"), (Lines { "head", big, "tail" }));
}

TEST_F(TextFiles, PositionCountsConsumedBytesAndSurvivesAMove)
{
    writeFile(dir / "p.txt", "ab\r\ncde\n");
    TextFile file(sink);
    ASSERT_TRUE(file.OpenTextForInput((dir / "p.txt").string()));
    std::string line;
    ASSERT_TRUE(file.ReadTextLine(line));
    EXPECT_EQ(file.position(), 4);
    TextFile moved(std::move(file));
    EXPECT_FALSE(file.isOpen());
    ASSERT_TRUE(moved.ReadTextLine(line));
    EXPECT_EQ(line, "cde");
    EXPECT_EQ(moved.position(), 8);
}

TEST_F(TextFiles, AnUnreadableFileIsReportedAndFlagged)
{
    const std::string missing = (dir / "missing.txt").string();
    TextFile file(sink);
    EXPECT_FALSE(file.OpenTextForInput(missing));
    EXPECT_TRUE(file.error());
    ASSERT_EQ(sink.messages.size(), 1u);
    const auto& m = sink.messages[0];
    EXPECT_EQ(std::tie(m.id, m.text, m.title), std::make_tuple("99365", "Can't read file: " + missing, "No such file or directory"));
    EXPECT_EQ(m.kind, rav::MessageKind::Exclamation);

    // A folder is not a text file either; reading a file that is not open is a read failure too.
    EXPECT_FALSE(file.OpenTextForInput(dir.path().string()));
    EXPECT_TRUE(file.error());
    std::string line;
    EXPECT_FALSE(file.ReadTextLine(line));
    ASSERT_EQ(sink.messages.size(), 3u);
    EXPECT_EQ(sink.messages[2].id, "99365");

    // The next successful open clears the flag.
    writeFile(dir / "ok.txt", "x");
    EXPECT_TRUE(file.OpenTextForInput((dir / "ok.txt").string()));
    EXPECT_FALSE(file.error());
}

TEST_F(TextFiles, WritesExactlyWhatItIsGivenFlushesOnDestructionAndCloseCanDelete)
{
    const auto path = dir / "out.txt";
    writeFile(path, "old content that must go away");
    std::string expected = std::string(" 1,R1,caf\xC3\xA9\r\nnul\0", 17);
    {
        TextFile file(sink);
        ASSERT_TRUE(file.OpenTextForOutput(path.string()));
        EXPECT_TRUE(file.WriteText(expected));
        for (int i = 0; i < 20000; ++i) {
            const std::string line = " " + std::to_string(i) + ",value\r\n";
            expected += line;
            ASSERT_TRUE(file.WriteText(line));
        }
    } // no explicit close: the object closes on the way out
    EXPECT_EQ(readFile(path), expected);
    EXPECT_TRUE(sink.messages.empty());

    TextFile temp(sink);
    ASSERT_TRUE(temp.OpenTextForOutput(path.string()));
    temp.CloseTextFile(true);
    EXPECT_FALSE(std::filesystem::exists(path));
    temp.CloseTextFile(true); // closing twice does nothing
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

} // namespace
