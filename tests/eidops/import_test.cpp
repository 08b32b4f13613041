// The import of delimited text files into an EID: the worked Code/Name
// example with its options, ranges over the text, the log and its name, and
// input that is broken in every way a user's file can be.
#include "eid_fixture.h"
#include "eid_history.h"
#include "eid_import.h"
#include "project_fixture.h"

#include <gtest/gtest.h>
#include <chrono>
#include <future>
#include <thread>
#include <tuple>

namespace rav::test
{
namespace
{

using eid::ImportOptions;
using eid::ImportTextFile;
using eid::OperationResult;

const std::string kExampleLines = "A1,Bolt\r\nA1,Nut\r\n,Washer\r\nA2,Screwdriver-set\r\nA3\r\n\r\n";

class ImportTest : public ::testing::TestWithParam<db::Backend>
{
protected:
    void SetUp() override
    {
        if (!eidName.available())
            GTEST_SKIP() << "no PostgreSQL server for this run (RAV_PG_DIR unset)";
    }
    // Cases that rest on what only a file has (its lock, its own integrity check).
    bool OnServer() const { return GetParam() == db::Backend::Server; }

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

    // Makes the server refuse the merge's set-based writes before they
    // touch a record, as another tool's rule might, so that the import runs
    // line by line.
    void RefuseSetBasedWrites()
    {
        db::Database db = db::Database::open(eidFile);
        db.executeNative("CREATE OR REPLACE FUNCTION refuse_merge() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN IF "
                         "current_query() LIKE ''%rav_plan%'' THEN RAISE EXCEPTION ''no merge''; END IF; RETURN NULL; END'");
        db.executeNative(
            "CREATE TRIGGER refuse_merge BEFORE INSERT OR UPDATE ON Device FOR EACH STATEMENT EXECUTE FUNCTION refuse_merge()");
    }

    ScratchDir dir;
    EidPlace eidName { dir.path(), GetParam() };
    std::string eidFile = MakeCodeNameEid(eidName("Part.eid"));
    RecordingMessageSink messages;
    RecordingProgress progress;
};

TEST_P(ImportTest, WorkedExampleStoresGoodLinesAndLogsTheOthers)
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
    EXPECT_EQ(std::tie(r.linesRead, r.blankLines, r.added, r.overwritten, r.logged), std::make_tuple(6, 1, 2, 0, 3));
    EXPECT_TRUE(messages.messages.empty());
    // Progress runs over the bytes of the file.
    const auto size = static_cast<std::int64_t>(kExampleLines.size());
    EXPECT_EQ(progress.events, (std::vector<std::string> { "caption:Importing ...", "range:0-" + std::to_string(size) }));
    EXPECT_EQ(progress.lastValue, size);
}

// Each case: the text file, the options, the records stored and the log.
TEST_P(ImportTest, OptionsRangesAndAwkwardLines)
{
    struct Case {
        const char* what;
        std::string text;
        bool trim = false;
        bool overwrite = false;
        eid::Range range = {};
        std::string delimiter = ",";
        std::vector<Row> records;
        std::string log;
        bool header = false;
    };
    const std::string huge = "A1," + std::string(10 * 1024 * 1024, 'x');
    const std::string commas(10000, ',');
    const std::vector<Case> cases {
        { "trim cuts long values to their column", kExampleLines, true, false, {}, ",",
            { R({ "A1", "Bolt" }), R({ "A2", "Screwdrive" }), R({ "A3", "" }) },
            "A1,Nut,duplicate index found\r\n,Washer,Index field not proper\r\n" },
        { "overwrite replaces the record with the same EIC", kExampleLines, false, true, {}, ",",
            { R({ "A1", "Nut" }), R({ "A3", "" }) },
            ",Washer,Index field not proper\r\nA2,Screwdriver-set,String length higher than field Size\r\n" },
        // LONGCODE9 is looked up and stored as LONGC; longc then is its duplicate.
        { "EIC look-up ignores case and cuts long codes", "ab1,x\r\nAB1,y\r\nLONGCODE9,z\r\nlongc,w\r\n", true,
            false, {}, ",", { R({ "ab1", "x" }), R({ "LONGC", "z" }) },
            "AB1,y,duplicate index found\r\nlongc,w,duplicate index found\r\n" },
        // Extra values are not stored, and the log says so.
        { "short lines carry the fields-missing note, long ones are noted",
            ",\r\nA1\r\nA1\r\nA2,x,extra,values,ignored-even-when-long\r\n", false, false, {}, ",",
            { R({ "A1", "" }), R({ "A2", "x" }) },
            ",,Index field not proper\r\nA1,Fields missing,duplicate index found\r\n"
            "A2,x,extra,values,ignored-even-when-long,More fields than the table has columns: the values after "
            "the last column were not stored\r\n" },
        { "a header line only when asked", "\r\nCode,Name\r\nA1,Bolt\r\n", false, false, {}, ",",
            { R({ "A1", "Bolt" }) }, "", true },
        { "no header unless asked", "Code,Name\r\nA1,Bolt\r\n", false, false, {}, ",",
            { R({ "Code", "Name" }), R({ "A1", "Bolt" }) }, "" },
        { "blank-only lines are skipped, blank EICs refused", "   \r\n\r\n   ,Name\r\n", false, false, {}, ",", {},
            "   ,Name,Index field not proper\r\n" },
        { "range A1 to A1 takes the first A1 line only", "A0,Zero\r\n" + kExampleLines, false, false,
            { "code", "a1", "A1", "" }, ",", { R({ "A1", "Bolt" }) }, "" },
        { "range A2 to A3", kExampleLines + "A4,After\r\n", true, false, { "Code", "a2", "a3", "" }, ",",
            { R({ "A2", "Screwdrive" }), R({ "A3", "" }) }, "" },
        { "range on another column uses its position", "B1,a\r\nB2,b\r\nB3,c\r\nB4,d\r\n", false, false,
            { "Name", "B", "c", "" }, ",", { R({ "B2", "b" }), R({ "B3", "c" }) }, "" },
        { "range without its start line", kExampleLines, false, false, { "Code", "Z9", "Z9", "" }, ",", {}, "" },
        // The delimiter separates the log's parts too.
        { "tab delimiter", "A1\tBolt, M3\r\nA2 N\r\nA1\tagain\r\n", false, false, {}, "Tab",
            { R({ "A1", "Bolt, M3" }), R({ "A2 N", "" }) }, "A1\tagain\tduplicate index found\r\n" },
        { "a ten-megabyte line is logged", huge + "\r\nA2,ok\r\n", false, false, {}, ",", { R({ "A2", "ok" }) },
            huge + ",String length higher than field Size\r\n" },
        { "a line of ten thousand delimiters is logged", commas + "\r\n", false, false, {}, ",", {},
            commas + ",Index field not proper\r\n" },
        // "Caf\xe9" is not UTF-8; "Grüße-1234" is ten characters in twelve bytes.
        { "invalid UTF-8 is Windows-1252, sizes count characters", "A1,Caf\xe9\r\nA2,Gr\xc3\xbc\xc3\x9f" "e-1234\r\n",
            false, false, {}, ",", { R({ "A1", "Caf\xc3\xa9" }), R({ "A2", "Gr\xc3\xbc\xc3\x9f" "e-1234" }) }, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(eidFile);
        MakeCodeNameEid(eidFile);
        writeFile(dir / "Part.txt", c.text);
        writeFile(dir / "Part.log", "old content\r\n"); // the log is made afresh
        ImportOptions o = Options();
        o.trim = c.trim;
        o.overwrite = c.overwrite;
        o.range = c.range;
        o.delimiterText = c.delimiter;
        o.header = c.header;
        const OperationResult r = Run(o);
        ASSERT_TRUE(r.completed) << r.failure;
        EXPECT_EQ(Records(eidFile), c.records);
        EXPECT_EQ(readFile(dir / "Part.log"), c.log);
    }
}

TEST_P(ImportTest, LogNameReplacesTheLastThreeCharactersOrFallsBackToTheTemporaryFolder)
{
    EXPECT_EQ(eid::ImportLogName("/d/Part.txt"), "/d/Part.log");
    EXPECT_EQ(eid::ImportLogName("/d/Data.text"), "/d/Data.tlog");
    EXPECT_EQ(eid::ImportLogName("Part.csv"), "Part.log");
    EXPECT_EQ(eid::ImportLogName("Teile.äöü"), "Teile.log");
    EXPECT_EQ(eid::ImportLogName("ab"), "log");

    writeFile(dir / "Data.text", "A1,x\r\nA1,y\r\n");
    ASSERT_TRUE(Run(Options("Data.text")).completed);
    EXPECT_EQ(readFile(dir / "Data.tlog"), "A1,y,duplicate index found\r\n");

    std::filesystem::remove(eidFile);
    MakeCodeNameEid(eidFile);
    std::filesystem::create_directories(dir / "Part.log"); // cannot be opened as a file
    writeFile(dir / "Part.txt", "A1,x\r\nA1,y\r\n");
    const OperationResult r = Run(Options());
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(r.logFile, (dir / "temp" / "import.log").string());
    EXPECT_EQ(readFile(dir / "temp" / "import.log"), "A1,y,duplicate index found\r\n");
}

TEST_P(ImportTest, DelimiterWords)
{
    for (const auto& [typed, character, shown] : std::vector<std::tuple<std::string, char, std::string>> {
             { "TAB", '\t', "TAB" }, { "tab", '\t', "tab" }, { "SPACE", ' ', "SPACE" }, { "", ',', "," },
             { "|x", '|', "|" }, { ";", ';', ";" } }) {
        const eid::Delimiter d = eid::ResolveDelimiter(typed);
        EXPECT_EQ(d.character, character) << typed;
        EXPECT_EQ(d.shown, shown) << typed;
    }
}

// A vanished text file, an EID held elsewhere or not an EID, no place for the log.
TEST_P(ImportTest, FailuresEndQuietlyAndStoreNothing)
{
    if (OnServer())
        GTEST_SKIP() << "rests on a file held open elsewhere; a server EID is shared by design";
    writeFile(dir / "Part.txt", "A1,x\r\n");
    writeFile(dir / "Bad.eid", "not a database at all");
    ImportOptions gone = Options("gone.txt");
    ImportOptions notEid = Options();
    notEid.eidFile = (dir / "Bad.eid").string();
    ImportOptions noLog = Options();
    noLog.tempDir = (dir / "no-such-folder").string();
    db::Database other = db::Database::open(eidFile, db::OpenMode::Shared);
    const OperationResult held = Run(Options());
    other.close();
    std::filesystem::create_directories(dir / "Part.log"); // cannot be opened as a file
    for (const OperationResult& r : { Run(gone), held, Run(notEid), Run(noLog) }) {
        EXPECT_FALSE(r.completed);
        EXPECT_FALSE(r.failure.empty());
    }
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "gone.log"));
    EXPECT_TRUE(Records(eidFile).empty());
}

TEST_P(ImportTest, RecordsStoredBeforeARefusedRecordStay)
{
    {
        // The database refuses one value, as a stricter writer of it might.
        db::Database db = db::Database::open(eidFile, db::OpenMode::Exclusive);
        if (OnServer()) {
            db.executeNative("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
                             "'BEGIN IF NEW.\"Code\" = ''BAD'' THEN RAISE EXCEPTION ''refused''; END IF; RETURN NEW; END'");
            db.executeNative("CREATE TRIGGER refuse BEFORE INSERT ON Device FOR EACH ROW EXECUTE FUNCTION refuse()");
        } else {
            db.executeNative("CREATE TRIGGER refuse BEFORE INSERT ON Device WHEN NEW.Code = 'BAD' "
                             "BEGIN SELECT RAISE(ABORT, 'refused'); END");
        }
    }
    writeFile(dir / "Part.txt", "A1,x\r\nA2,y\r\nBAD,z\r\nA3,w\r\n");
    const OperationResult r = Run(Options());
    EXPECT_FALSE(r.completed);
    EXPECT_NE(r.failure.find("refused"), std::string::npos) << r.failure;
    EXPECT_EQ(r.added, 2);
    // The database and the files were closed on the way out.
    EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "A1", "x" }), R({ "A2", "y" }) }));
    if (!OnServer()) {
        EXPECT_EQ(IntegrityCheck(eidFile), "ok");
    }
}

TEST_P(ImportTest, BinaryFileDoesNoHarm)
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
    if (!OnServer()) {
        EXPECT_EQ(IntegrityCheck(eidFile), "ok");
    }
    EXPECT_EQ(r.added + r.logged + r.blankLines, r.linesRead);
}

// A file stores a value with a NUL whole. A server's text cannot hold one:
// the line is refused and logged, merged or line by line, never stored cut.
TEST_P(ImportTest, ANulIsStoredWholeInAFileAndRefusedOnAServer)
{
    const std::string nul("B2,b\0c", 6);
    const std::string log = nul + ",NUL character in a value, which the server cannot store\r\n";
    for (const bool lineByLine : { false, true }) {
        if (lineByLine && !OnServer())
            continue;
        SCOPED_TRACE(lineByLine ? "line by line" : "merged");
        std::filesystem::remove(eidFile);
        MakeCodeNameEid(eidFile);
        if (lineByLine)
            RefuseSetBasedWrites();
        writeFile(dir / "Part.txt", "A1,one\r\n" + nul + "\r\nC3,three\r\n");
        const OperationResult r = Run(Options());
        ASSERT_TRUE(r.completed) << r.failure;
        if (OnServer()) {
            EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "A1", "one" }), R({ "C3", "three" }) }));
            EXPECT_EQ(readFile(dir / "Part.log"), log);
        } else {
            EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "A1", "one" }), R({ "B2", nul.substr(3) }), R({ "C3", "three" }) }));
            EXPECT_EQ(readFile(dir / "Part.log"), "");
        }
        EXPECT_EQ(std::tie(r.added, r.logged), std::make_tuple(OnServer() ? 2 : 3, OnServer() ? 1 : 0));
    }
}

// On a server most of an import's time is the server's writing after the
// file was read: the bar moves during that writing too, and ends full.
TEST_P(ImportTest, TheBarMovesWhileTheServerWrites)
{
    if (!OnServer())
        GTEST_SKIP() << "a file is written while it is read";
    std::string text;
    char line[16];
    for (int i = 0; i < 50000; ++i) {
        std::snprintf(line, sizeof line, "%05d,n\r\n", i);
        text += line;
    }
    writeFile(dir / "Part.txt", text);
    const auto length = static_cast<std::int64_t>(text.size());
    // Asks, at each value past the reading's share, whether the importing
    // session has just finished one of the merge's writes.
    struct Watch final : ProgressSink {
        db::Database other;
        db::Statement writing;
        std::int64_t length = 0;
        std::vector<std::int64_t> values;
        int whileWriting = 0;
        void setValue(std::int64_t v) override
        {
            values.push_back(v);
            if (v <= length / 5 || v >= length)
                return;
            writing.step();
            whileWriting += writing.columnInt(0) > 0 ? 1 : 0;
            writing.reset();
        }
    } watch;
    watch.other = db::Database::open(eidFile);
    watch.writing = watch.other.prepare("SELECT count(*) FROM pg_stat_activity WHERE pid <> pg_backend_pid() AND "
                                        "state = 'idle in transaction' AND query LIKE '%FROM rav_plan%'");
    watch.length = length;
    const OperationResult r = ImportTextFile(Options(), messages, watch);
    ASSERT_TRUE(r.completed) << r.failure;
    EXPECT_EQ(r.added, 50000);
    EXPECT_GE(watch.whileWriting, 2);
    EXPECT_TRUE(std::is_sorted(watch.values.begin(), watch.values.end()));
    EXPECT_EQ(watch.values.back(), length);
}

// A server EID is imported in one set-based merge; whatever the lines, it
// must store, count and log exactly what the line-by-line import into a
// file does.
TEST_P(ImportTest, ServerMergeMatchesTheFileImport)
{
    if (!OnServer())
        GTEST_SKIP() << "compares the server with a file";
    const std::string text = "A1,one\r\na1,One again\r\nA1,ONE thrice\r\nB1,tab\there\r\nB2,back\\slash\r\n"
                             "  \r\nold,clash\r\nOLD2\r\nC1,x,extra\r\nc1,y,extra\r\n,no code\r\nLONGCODE9,cut\r\n"
                             "longc,w\r\nD1,Caf\xe9\r\nD2,Name too long\r\nE1,\"q\";--\r\n";
    const std::vector<Row> before { R({ "OLD", "kept" }), R({ "old2", "kept2" }) };
    const std::string fileEid = MakeCodeNameEid((dir / "Same.eid").string(), before);
    writeFile(dir / "Part.txt", text);
    for (const bool overwrite : { false, true }) {
        for (const bool trim : { false, true }) {
            SCOPED_TRACE(std::string(overwrite ? "overwrite" : "keep") + (trim ? ", trim" : ""));
            std::vector<std::tuple<std::vector<Row>, std::string, std::vector<std::int64_t>>> seen;
            for (const std::string& target : { fileEid, eidFile }) {
                db::removeDatabaseFile(target);
                MakeCodeNameEid(target, before);
                ImportOptions o = Options();
                o.eidFile = target;
                o.overwrite = overwrite;
                o.trim = trim;
                const OperationResult r = Run(o);
                ASSERT_TRUE(r.completed) << r.failure;
                // Every write is on record, as if made line by line.
                if (target == eidFile) {
                    EXPECT_EQ(static_cast<std::int64_t>(eid::ReadHistory(target).size()),
                        static_cast<std::int64_t>(before.size()) + r.added + r.overwritten);
                }
                seen.emplace_back(Records(target), readFile(dir / "Part.log"),
                    std::vector<std::int64_t> { r.linesRead, r.blankLines, r.added, r.overwritten, r.logged,
                        r.tooManyFields, r.conflicts });
            }
            EXPECT_EQ(std::get<0>(seen[1]), std::get<0>(seen[0]));
            EXPECT_EQ(std::get<1>(seen[1]), std::get<1>(seen[0]));
            EXPECT_EQ(std::get<2>(seen[1]), std::get<2>(seen[0]));
        }
    }
}

// Another editor changes one record and deletes another while the import
// with overwrite has read them and waits for their locks: no record is
// overwritten with values read before the other's change. The merge refuses
// both, with the difference; line by line (after the server refused a
// merge, here by another tool's trigger) the deleted record is read as gone
// and added anew.
TEST_P(ImportTest, OverwriteRefusesRecordsChangedMeanwhile)
{
    if (!OnServer())
        GTEST_SKIP() << "a file EID is opened by one writer at a time";
    const std::string changed = "A1,mine,save refused: someone else changed the record since it was read (Name: "
                                "mine \"mine\", theirs \"theirs\", original \"old\")\r\n";
    struct Case {
        std::string text;
        bool completed;
        std::int64_t added, conflicts;
        std::vector<Row> records;
        std::string log;
        std::size_t unchecked = 0;
        bool refuseMerge = false;
    };
    const std::vector<Case> cases {
        { "A1,mine\r\na2,mine2\r\nA3,new\r\n", true, 1, 2, { R({ "A1", "theirs" }), R({ "A3", "new" }) },
            changed
                + "a2,mine2,save refused: someone else deleted the record since it was read (Code: mine \"a2\", "
                  "theirs (deleted), original \"A2\"; Name: mine \"mine2\", theirs (deleted), original \"two\")\r\n" },
        { "A1,mine\r\na2,mine2\r\nZ9,z\r\n", true, 2, 1, { R({ "A1", "theirs" }), R({ "a2", "mine2" }) }, changed, 1,
            true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::filesystem::remove(eidFile);
        MakeCodeNameEid(eidFile, { R({ "A1", "old" }), R({ "A2", "two" }) });
        if (c.refuseMerge)
            RefuseSetBasedWrites();
        writeFile(dir / "Part.txt", c.text);
        std::promise<void> edited;
        std::thread other([&] {
            db::Database db = db::Database::open(eidFile);
            db::Transaction tx(db);
            db.executeNative("UPDATE Device SET Name = 'theirs' WHERE Code = 'A1'");
            db.executeNative("DELETE FROM Device WHERE Code = 'A2'");
            edited.set_value();
            // Commits once the import waits for these records (or gives up
            // waiting, and the expectations below tell).
            db::Database watch = db::Database::open(eidFile);
            db::Statement waiting = watch.prepare("SELECT count(*) FROM pg_locks WHERE NOT granted");
            for (int i = 0; i < 3000; ++i) {
                waiting.step();
                const bool blocked = waiting.columnInt(0) > 0;
                waiting.reset();
                if (blocked)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            tx.commit();
        });
        edited.get_future().wait();
        ImportOptions o = Options();
        o.overwrite = true;
        const OperationResult r = Run(o);
        other.join();
        EXPECT_EQ(r.completed, c.completed) << r.failure;
        EXPECT_EQ(std::tie(r.added, r.overwritten, r.conflicts), std::make_tuple(c.added, 0, c.conflicts));
        // The records listed, then `unchecked` more.
        std::vector<Row> records = Records(eidFile);
        EXPECT_EQ(records.size(), c.records.size() + c.unchecked);
        records.resize(std::min(records.size(), c.records.size()));
        EXPECT_EQ(records, c.records);
        EXPECT_EQ(readFile(dir / "Part.log"), c.log);
    }
}

// A server table made by another tool may have no record versions: the
// import overwrites there as on a file, merged or line by line (here after
// the server refused the merge for a record a trigger refuses).
TEST_P(ImportTest, ATableWithoutVersionsIsOverwrittenToo)
{
    if (!OnServer())
        GTEST_SKIP() << "versions are a server's";
    std::filesystem::remove(eidFile);
    MakeCodeNameEid(eidFile, { R({ "A1", "old" }) });
    {
        db::Database db = db::Database::open(eidFile);
        db.executeNative("DROP TRIGGER rav_version ON Device");
        db.executeNative("ALTER TABLE Device DROP COLUMN rav_version");
        db.executeNative("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
                         "'BEGIN IF NEW.\"Code\" = ''BAD'' THEN RAISE EXCEPTION ''refused''; END IF; RETURN NEW; END'");
        db.executeNative("CREATE TRIGGER refuse BEFORE INSERT ON Device FOR EACH ROW EXECUTE FUNCTION refuse()");
    }
    for (const auto& [text, completed] : { std::pair("a1,new\r\n", true), std::pair("A1,newer\r\nBAD,x\r\n", false) }) {
        writeFile(dir / "Part.txt", text);
        ImportOptions o = Options();
        o.overwrite = true;
        const OperationResult r = Run(o);
        EXPECT_EQ(r.completed, completed) << text << r.failure;
        EXPECT_EQ(r.overwritten, 1) << text;
    }
    EXPECT_EQ(Records(eidFile), (std::vector<Row> { R({ "A1", "newer" }) }));
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportTest, ::testing::Values(db::Backend::File, db::Backend::Server), backendName);

} // namespace
} // namespace rav::test
