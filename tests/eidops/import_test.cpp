// The import of delimited text files into an EID: the worked Code/Name
// example with its options, ranges over the text, the log and its name, and
// input that is broken in every way a user's file can be.
#include "eid_fixture.h"
#include "eid_import.h"

#include <gtest/gtest.h>

namespace rav::test
{
namespace
{

using eid::ImportOptions;
using eid::ImportTextFile;
using eid::OperationResult;

const std::string kExampleLines = "A1,Bolt\r\nA1,Nut\r\n,Washer\r\nA2,Screwdriver-set\r\nA3\r\n\r\n";

class ImportTest : public ::testing::Test
{
protected:
    ImportOptions Options(const std::string& text = "Part.txt")
    {
        ImportOptions o;
        o.eidFile = eidFile;
        o.textFile = (dir / text).string();
        o.tempDir = (dir / "temp").string();
        std::filesystem::create_directories(o.tempDir);
        return o;
    }
    OperationResult Run(const ImportOptions& o) { return ImportTextFile(o, messages, progress); }

    ScratchDir dir;
    std::string eidFile = MakeCodeNameEid(dir / "Part.eid");
    RecordingMessageSink messages;
    NullProgressSink progress;
};

TEST_F(ImportTest, WorkedExampleStoresGoodLinesAndLogsTheOthers)
{
    writeFile(dir / "Part.txt", kExampleLines);
    const OperationResult r = Run(Options());
    ASSERT_TRUE(r.completed) << r.failure;
    EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "A1", "Bolt" }), R({ "A3", "" }) }));
    EXPECT_EQ(r.logFile, (dir / "Part.log").string());
    // "Fields missing" is only a note for A3, which was stored, so it is
    // never written.
    EXPECT_EQ(readFile(dir / "Part.log"),
        "A1,Nut,duplicate index found\r\n"
        ",Washer,Index field not proper\r\n"
        "A2,Screwdriver-set,String length higher than field Size\r\n");
    EXPECT_EQ(r.linesRead, 6);
    EXPECT_EQ(r.blankLines, 1);
    EXPECT_EQ(r.added, 2);
    EXPECT_EQ(r.overwritten, 0);
    EXPECT_EQ(r.logged, 3);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ImportTest, TrimCutsLongValuesToTheirColumn)
{
    writeFile(dir / "Part.txt", kExampleLines);
    ImportOptions o = Options();
    o.trim = true;
    ASSERT_TRUE(Run(o).completed);
    EXPECT_EQ(Records(eidFile),
        (std::vector<Row> { R({ "A1", "Bolt" }), R({ "A2", "Screwdrive" }), R({ "A3", "" }) }));
    EXPECT_EQ(
        readFile(dir / "Part.log"), "A1,Nut,duplicate index found\r\n,Washer,Index field not proper\r\n");
}

TEST_F(ImportTest, OverwriteReplacesTheRecordWithTheSameEic)
{
    writeFile(dir / "Part.txt", kExampleLines);
    ImportOptions o = Options();
    o.overwrite = true;
    const OperationResult r = Run(o);
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "A1", "Nut" }), R({ "A3", "" }) }));
    EXPECT_EQ(r.overwritten, 1);
    EXPECT_EQ(r.logged, 2);
}

TEST_F(ImportTest, EicLookUpIgnoresLetterCaseAndCutsLongCodes)
{
    writeFile(dir / "Part.txt", "ab1,x\r\nAB1,y\r\nLONGCODE9,z\r\nlongc,w\r\n");
    ImportOptions o = Options();
    o.trim = true;
    const OperationResult r = Run(o);
    ASSERT_TRUE(r.completed);
    // LONGCODE9 is looked up and stored as LONGC; longc then is its duplicate.
    EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "ab1", "x" }), R({ "LONGC", "z" }) }));
    EXPECT_EQ(readFile(dir / "Part.log"), "AB1,y,duplicate index found\r\nlongc,w,duplicate index found\r\n");
}

TEST_F(ImportTest, ShortLinesCarryTheFieldsMissingNoteInTheirLog)
{
    writeFile(dir / "Part.txt", ",\r\nA1\r\nA1\r\nA2,x,extra,values,ignored-even-when-long\r\n");
    const OperationResult r = Run(Options());
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "A1", "" }), R({ "A2", "x" }) }));
    EXPECT_EQ(readFile(dir / "Part.log"),
        ",,Index field not proper\r\n"
        "A1,Fields missing,duplicate index found\r\n");
}

TEST_F(ImportTest, BlankOnlyLinesAreSkippedButBlankEicsAreRefused)
{
    writeFile(dir / "Part.txt", "   \r\n\r\n   ,Name\r\n");
    const OperationResult r = Run(Options());
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(r.blankLines, 2);
    EXPECT_TRUE(Records(eidFile).empty());
    EXPECT_EQ(readFile(dir / "Part.log"), "   ,Name,Index field not proper\r\n");
}

TEST_F(ImportTest, RangeFromA1ToA1ImportsOnlyTheFirstA1Line)
{
    writeFile(dir / "Part.txt", "A0,Zero\r\n" + kExampleLines);
    ImportOptions o = Options();
    o.range = { "code", "a1", "A1", "" };
    const OperationResult r = Run(o);
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "A1", "Bolt" }) }));
    EXPECT_EQ(r.linesRead, 2); // reading stops after the end line
    EXPECT_EQ(readFile(dir / "Part.log"), "");
}

TEST_F(ImportTest, RangeFromA2ToA3ImportsThoseLinesOnly)
{
    writeFile(dir / "Part.txt", kExampleLines + "A4,After\r\n");
    ImportOptions o = Options();
    o.trim = true;
    o.range = { "Code", "a2", "a3", "" };
    ASSERT_TRUE(Run(o).completed);
    EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "A2", "Screwdrive" }), R({ "A3", "" }) }));
}

TEST_F(ImportTest, RangeOnAnotherColumnUsesThatColumnsPosition)
{
    writeFile(dir / "Part.txt", "B1,a\r\nB2,b\r\nB3,c\r\nB4,d\r\n");
    ImportOptions o = Options();
    o.range = { "Name", "B", "c", "" };
    ASSERT_TRUE(Run(o).completed);
    EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "B2", "b" }), R({ "B3", "c" }) }));
}

TEST_F(ImportTest, RangeWithoutStartLineImportsNothing)
{
    writeFile(dir / "Part.txt", kExampleLines);
    ImportOptions o = Options();
    o.range = { "Code", "Z9", "Z9", "" };
    const OperationResult r = Run(o);
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(Records(eidFile).empty());
}

TEST_F(ImportTest, LogNameReplacesTheLastThreeCharacters)
{
    EXPECT_EQ(eid::ImportLogName("/d/Part.txt"), "/d/Part.log");
    EXPECT_EQ(eid::ImportLogName("/d/Data.text"), "/d/Data.tlog");
    EXPECT_EQ(eid::ImportLogName("Part.csv"), "Part.log");
    EXPECT_EQ(eid::ImportLogName("Teile.äöü"), "Teile.log");
    EXPECT_EQ(eid::ImportLogName("ab"), "log");

    writeFile(dir / "Data.text", "A1,x\r\nA1,y\r\n");
    ASSERT_TRUE(Run(Options("Data.text")).completed);
    EXPECT_EQ(readFile(dir / "Data.tlog"), "A1,y,duplicate index found\r\n");
}

TEST_F(ImportTest, LogIsCreatedAfreshEvenWhenNothingIsRefused)
{
    writeFile(dir / "Part.log", "old content\r\n");
    writeFile(dir / "Part.txt", "A1,x\r\n");
    ASSERT_TRUE(Run(Options()).completed);
    EXPECT_EQ(readFile(dir / "Part.log"), "");
}

TEST_F(ImportTest, LogFallsBackToTheTemporaryFolder)
{
    std::filesystem::create_directories(dir / "Part.log"); // cannot be opened as a file
    writeFile(dir / "Part.txt", "A1,x\r\nA1,y\r\n");
    const OperationResult r = Run(Options());
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(r.logFile, (dir / "temp" / "import.log").string());
    EXPECT_EQ(readFile(dir / "temp" / "import.log"), "A1,y,duplicate index found\r\n");
}

TEST_F(ImportTest, NoPlaceForTheLogEndsQuietlyBeforeAnyLine)
{
    std::filesystem::create_directories(dir / "Part.log");
    writeFile(dir / "Part.txt", "A1,x\r\n");
    ImportOptions o = Options();
    o.tempDir = (dir / "no-such-folder").string();
    const OperationResult r = Run(o);
    EXPECT_FALSE(r.completed);
    EXPECT_FALSE(r.failure.empty());
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(Records(eidFile).empty());
}

TEST_F(ImportTest, DelimiterWords)
{
    EXPECT_EQ(eid::ResolveDelimiter("TAB").character, '\t');
    EXPECT_EQ(eid::ResolveDelimiter("Tab").character, '\t');
    EXPECT_EQ(eid::ResolveDelimiter("tab").character, '\t');
    EXPECT_EQ(eid::ResolveDelimiter("SPACE").character, ' ');
    EXPECT_EQ(eid::ResolveDelimiter("").character, ',');
    EXPECT_EQ(eid::ResolveDelimiter("").shown, ",");
    EXPECT_EQ(eid::ResolveDelimiter("|x").character, '|');
    EXPECT_EQ(eid::ResolveDelimiter("|x").shown, "|");
    EXPECT_EQ(eid::ResolveDelimiter(";").character, ';');

    writeFile(dir / "Part.txt", "A1\tBolt, M3\r\nA2 N\r\nA1\tagain\r\n");
    ImportOptions o = Options();
    o.delimiterText = "Tab";
    ASSERT_TRUE(Run(o).completed);
    EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "A1", "Bolt, M3" }), R({ "A2 N", "" }) }));
    // The delimiter separates the log's parts too.
    EXPECT_EQ(readFile(dir / "Part.log"), "A1\tagain\tduplicate index found\r\n");
}

TEST_F(ImportTest, MassUpdateQuestionCarriesItsThreeLines)
{
    messages.answer = true;
    EXPECT_TRUE(eid::ConfirmMassUpdate(messages));
    messages.answer = false;
    EXPECT_FALSE(eid::ConfirmMassUpdate(messages));
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[0].text,
        "You have selected mass update with overwrite identical EICs option\n"
        "This may result in existing data getting updated with new data\n"
        "Are you sure to continue?");
    EXPECT_EQ(messages.messages[0].kind, MessageKind::Question);
}

TEST_F(ImportTest, ProgressRunsOverTheBytesOfTheFile)
{
    struct Recorder : ProgressSink {
        void setCaption(const std::string& c) override { caption = c; }
        void setRange(std::int64_t lo, std::int64_t hi) override { max = hi, min = lo; }
        void setValue(std::int64_t v) override { values.push_back(v); }
        std::string caption;
        std::int64_t min = -1, max = -1;
        std::vector<std::int64_t> values;
    } rec;
    writeFile(dir / "Part.txt", kExampleLines);
    ASSERT_TRUE(ImportTextFile(Options(), messages, rec).completed);
    EXPECT_EQ(rec.caption, "Importing ...");
    EXPECT_EQ(rec.min, 0);
    EXPECT_EQ(rec.max, static_cast<std::int64_t>(kExampleLines.size()));
    ASSERT_FALSE(rec.values.empty());
    EXPECT_TRUE(std::is_sorted(rec.values.begin(), rec.values.end()));
    EXPECT_EQ(rec.values.back(), rec.max);
}

// --- Broken input ------------------------------------------------------

TEST_F(ImportTest, VanishedTextFileEndsQuietly)
{
    const OperationResult r = Run(Options("gone.txt"));
    EXPECT_FALSE(r.completed);
    EXPECT_FALSE(r.failure.empty());
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "gone.log"));
}

TEST_F(ImportTest, EidHeldElsewhereEndsQuietlyAndIsLeftAlone)
{
    writeFile(dir / "Part.txt", "A1,x\r\n");
    {
        db::Database other = db::Database::open(eidFile, db::OpenMode::Shared);
        const OperationResult r = Run(Options());
        EXPECT_FALSE(r.completed);
        EXPECT_FALSE(r.failure.empty());
    }
    EXPECT_TRUE(Records(eidFile).empty());
}

TEST_F(ImportTest, NotAnEidEndsQuietly)
{
    writeFile(dir / "Part.txt", "A1,x\r\n");
    writeFile(dir / "Bad.eid", "not a database at all");
    ImportOptions o = Options();
    o.eidFile = (dir / "Bad.eid").string();
    const OperationResult r = Run(o);
    EXPECT_FALSE(r.completed);
    EXPECT_FALSE(r.failure.empty());
}

TEST_F(ImportTest, RecordsStoredBeforeARefusedRecordStay)
{
    {
        // The database refuses one value, as a stricter writer of the file might.
        db::Database db = db::Database::open(eidFile, db::OpenMode::Exclusive);
        db.executeNative("CREATE TRIGGER refuse BEFORE INSERT ON Device WHEN NEW.Code = 'BAD' "
                         "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }
    writeFile(dir / "Part.txt", "A1,x\r\nA2,y\r\nBAD,z\r\nA3,w\r\n");
    const OperationResult r = Run(Options());
    EXPECT_FALSE(r.completed);
    EXPECT_NE(r.failure.find("refused"), std::string::npos) << r.failure;
    EXPECT_EQ(r.added, 2);
    // The database and the files were closed on the way out.
    EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "A1", "x" }), R({ "A2", "y" }) }));
    EXPECT_EQ(IntegrityCheck(eidFile), "ok");
}

TEST_F(ImportTest, BinaryFileDoesNoHarm)
{
    std::string bytes;
    std::uint32_t x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        bytes += static_cast<char>(x >> 24);
    }
    writeFile(dir / "Part.txt", bytes);
    ImportOptions o = Options();
    o.trim = true;
    const OperationResult r = Run(o);
    EXPECT_TRUE(r.completed) << r.failure;
    EXPECT_EQ(IntegrityCheck(eidFile), "ok");
    EXPECT_EQ(r.added + r.logged + r.blankLines, r.linesRead);
}

TEST_F(ImportTest, OneTenMegabyteLineIsLogged)
{
    std::string line = "A1," + std::string(10 * 1024 * 1024, 'x');
    writeFile(dir / "Part.txt", line + "\r\nA2,ok\r\n");
    const OperationResult r = Run(Options());
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "A2", "ok" }) }));
    EXPECT_EQ(readFile(dir / "Part.log"), line + ",String length higher than field Size\r\n");
}

TEST_F(ImportTest, LineOfTenThousandDelimitersIsLogged)
{
    const std::string line(10000, ',');
    writeFile(dir / "Part.txt", line + "\r\n");
    const OperationResult r = Run(Options());
    ASSERT_TRUE(r.completed);
    EXPECT_TRUE(Records(eidFile).empty());
    EXPECT_EQ(readFile(dir / "Part.log"), line + ",Index field not proper\r\n");
}

TEST_F(ImportTest, InvalidUtf8IsReadAsWindows1252AndSizesCountCharacters)
{
    // "Caf\xe9" is not UTF-8; "Grüße-1234" is ten characters in twelve bytes.
    writeFile(dir / "Part.txt",
        "A1,Caf\xe9\r\nA2,Gr\xc3\xbc\xc3\x9f"
        "e-1234\r\n");
    const OperationResult r = Run(Options());
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(Records(eidFile),
        (std::vector<Row> { R({ "A1", "Caf\xc3\xa9" }),
            R({ "A2",
                "Gr\xc3\xbc\xc3\x9f"
                "e-1234" }) }));
}

} // namespace
} // namespace rav::test
