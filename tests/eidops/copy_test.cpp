// ravederi eid copy between a file and the test server: the copy keeps the
// fields, the rules and the row order, so a file copied to the server and
// back exports byte for byte the same text; a target that exists is refused.
#include "eid_fixture.h"
#include "eid_history.h"

#include <gtest/gtest.h>
#include <chrono>
#include <future>
#include <optional>
#include <thread>

namespace rav::test
{
namespace
{

RunResult Eid(const std::string& args)
{
    return runProgram(std::string(RAV_BIN_DIR) + "/ravederi eid " + args);
}
std::string Q(const std::string& s)
{
    return "'" + s + "'";
}

TEST(EidCopy, FileToServerAndBackExportsTheSameTextAndKeepsTheRules)
{
    ScratchDir dir;
    const std::string server = serverEidName();
    if (server.empty())
        GTEST_SKIP() << "no PostgreSQL server for this run (RAV_PG_DIR unset)";
    // Stored out of order, with Null beside the empty text and values a
    // statement built by pasting would trip over.
    const std::string file = MakeEid((dir / "Part.eid").string(), { { "Code", 8 }, { "Name", 12 }, { "Note", 20 } },
        "Code",
        { R({ "b2", "it's", std::nullopt }), R({ "A1", "", "x\\y;--" }), R({ "c3", "[a]\"b\"", "\xC3\xA9t\xC3\xA9" }) });
    const std::string back = (dir / "Back.eid").string();
    for (const auto& [from, to] : { std::pair(file, server), std::pair(server, back) }) {
        const RunResult r = Eid("copy " + Q(from) + " " + Q(to));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "3 records copied\n");
    }
    std::vector<std::string> exported;
    for (const std::string& eid : { file, server, back }) {
        const std::string text = (dir / ("out" + std::to_string(exported.size()) + ".txt")).string();
        ASSERT_EQ(Eid("export " + Q(eid) + " " + Q(text) + " --delimiter TAB").exitCode, 0);
        exported.push_back(readFile(text));
    }
    EXPECT_EQ(exported[0], "b2\tit's\t\r\nA1\t\tx\\y;--\r\nc3\t[a]\"b\"\t\xC3\xA9t\xC3\xA9\r\n");
    EXPECT_EQ(exported[1], exported[0]);
    EXPECT_EQ(exported[2], exported[0]);
    EXPECT_EQ(Records(back), Records(file)); // Null stays Null, "" stays ""

    // The rules came along: sizes, and one EIC per record whatever its case.
    db::Database copy = db::Database::open(server);
    EXPECT_EQ(copy.tableDef("Device").fields[1].size, 12);
    for (const char* sql : { "INSERT INTO Device (Code) VALUES ('B2')", "INSERT INTO Device (Code) VALUES ('123456789')" })
        EXPECT_THROW(copy.executeNative(sql), db::Error) << sql;

    // The copy serves the LOM as the file does.
    const RunResult fields = runProgram(std::string(RAV_BIN_DIR) + "/ravederi lom --list-fields --eid " + Q(server));
    EXPECT_EQ(fields.exitCode, 0) << fields.err;
    EXPECT_NE(fields.out.find("Name-D"), std::string::npos) << fields.out;

    const RunResult again = Eid("copy " + Q(file) + " " + Q(back));
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("exists"), std::string::npos) << again.err;

    // A file holds a value with a NUL; the server cannot: the copy is
    // refused with one line, and nothing of it stays.
    db::removeDatabaseFile(server);
    {
        db::Database f = db::Database::open(file);
        db::Statement put = f.prepare("UPDATE Device SET Name = ?1 WHERE Code = 'A1'");
        put.bindView(1, std::string_view("a\0b", 3));
        put.step();
    }
    const RunResult nul = Eid("copy " + Q(file) + " " + Q(server));
    EXPECT_EQ(nul.exitCode, 1);
    EXPECT_NE(nul.err.find("NUL"), std::string::npos) << nul.err;
    EXPECT_EQ(std::count(nul.err.begin(), nul.err.end(), '\n'), 1) << nul.err;
    EXPECT_FALSE(db::Database::open(server, db::OpenMode::Shared).hasTable("Device"));
}

// A LOM from the server copy is the LOM from the file: the parts' codes
// are looked up a block at a time there, letter case ignored as on a file.
TEST(EidCopy, ALomFromTheServerCopyEqualsTheLomFromTheFile)
{
    ScratchDir dir;
    const std::string server = serverEidName();
    if (server.empty())
        GTEST_SKIP() << "no PostgreSQL server for this run (RAV_PG_DIR unset)";
    std::string comps;
    for (const auto& [ref, mpn] : { std::pair("R1", "rc0603-10k"), std::pair("R2", "O'BRIEN \"7\""),
             std::pair("R3", "NOT-IN-EID"), std::pair("R4", "RC0603-10K") })
        comps += std::string("<comp ref=\"") + ref + "\"><value>1k</value><footprint>Lib:R_0603</footprint><fields>"
            + "<field name=\"MPN\">" + (std::string(mpn) == "O'BRIEN \"7\"" ? "O'BRIEN &quot;7&quot;" : mpn)
            + "</field></fields><libsource lib=\"Device\" part=\"R\"/></comp>";
    writeFile(dir / "board.xml", "<?xml version=\"1.0\"?><export version=\"D\"><design><source>board.sch</source>"
                                 "</design><components>" + comps + "</components></export>");
    writeFile(dir / "eid.txt", "RC0603-10K;0.01\nO'Brien \"7\";0.02\n");
    const std::string bin = std::string(RAV_BIN_DIR) + "/ravederi ";
    const std::string file = (dir / "p.eid").string();
    for (const std::string& args : { "project from-kicad " + Q((dir / "board.xml").string()) + " " + Q((dir / "b.dpz").string()),
             "eid create " + Q(file) + " --field MPN:30 --field Price:10 --eic MPN",
             "eid import " + Q(file) + " " + Q((dir / "eid.txt").string()) + " --delimiter \";\"",
             "eid copy " + Q(file) + " " + Q(server) })
        ASSERT_EQ(runProgram(bin + args).exitCode, 0) << args;
    std::vector<std::string> loms;
    for (const std::string& eid : { file, server }) {
        const RunResult r = runProgram(bin + "lom --project " + Q((dir / "b.dpz").string()) + " --eid " + Q(eid)
            + " --field MPN-D --field Price-D --format text --out -");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        loms.push_back(r.out);
    }
    EXPECT_EQ(loms[1], loms[0]);
    EXPECT_NE(loms[0].find("0.02"), std::string::npos) << loms[0];
    EXPECT_NE(loms[0].find("0.01"), std::string::npos) << loms[0];

    // An XLSX list rebuilt as of the change it stated, a second or more
    // later and after another edit, is the same file.
    std::vector<std::string> books;
    std::string asOf;
    for (const char* book : { "a.xlsx", "b.xlsx" }) {
        const RunResult r = runProgram(bin + "lom --project " + Q((dir / "b.dpz").string()) + " --eid " + Q(server)
            + asOf + " --field MPN-D --field Price-D --format xlsx --out " + Q((dir / book).string()));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        books.push_back(readFile(dir / book));
        const auto at = r.err.find("--as-of ");
        ASSERT_NE(at, std::string::npos) << r.err;
        asOf = " " + r.err.substr(at, r.err.find(')', at) - at);
        std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // the clock's seconds move on
        db::Database::open(server).executeNative("UPDATE Device SET Price = '9' WHERE MPN = 'RC0603-10K'");
    }
    EXPECT_TRUE(books[0] == books[1]) << "the rebuilt XLSX differs";
}

} // namespace
} // namespace rav::test

namespace rav::test
{
namespace
{

// Every change is on record with its old and new values; a record goes back
// to an earlier change as a change of its own; the EID as of a change reads
// exactly as it did then, and cannot be written.
TEST(EidHistory, RecordsEveryChangeRevertsAndReadsAsOfAChange)
{
    const std::string server = serverEidName();
    if (server.empty())
        GTEST_SKIP() << "no PostgreSQL server for this run (RAV_PG_DIR unset)";
    MakeCodeNameEid(server, { R({ "A1", "one" }), R({ "B2", "two" }) });
    const std::vector<Row> atTwo = Records(server);
    {
        db::Database db = db::Database::open(server);
        db.execute("UPDATE Device SET Name = \"uno\" WHERE Code = \"a1\"");
        db.execute("DELETE FROM Device WHERE Code = \"B2\"");
        // Another tool's write, straight to the table, is recorded too.
        db.executeNative("INSERT INTO Device (Code, Name) VALUES ('C3', NULL)");
    }
    const auto history = eid::ReadHistory(server);
    ASSERT_EQ(history.size(), 5u);
    std::string ops;
    for (const auto& e : history)
        ops += e.op;
    EXPECT_EQ(ops, "IIUDI");
    EXPECT_EQ(history[2].code, "A1");
    ASSERT_EQ(history[2].fields.size(), 1u); // only the field that changed
    EXPECT_EQ(std::tie(history[2].fields[0].field, history[2].fields[0].before, history[2].fields[0].after),
        std::make_tuple(std::string("Name"), db::Value("one"), db::Value("uno")));
    EXPECT_EQ(history[3].code, "B2");
    EXPECT_EQ(history[4].fields.size(), 1u); // Code; Name stayed Null
    EXPECT_FALSE(history[2].who.empty());
    EXPECT_EQ(history[2].at.size(), 20u);
    EXPECT_EQ(eid::ReadHistory(server, "b2").size(), 2u);

    // As of change 2 the EID reads as it did then, even after later changes.
    const std::string asOfTwo = server + "&as_of=2";
    EXPECT_EQ(Records(asOfTwo), atTwo);
    db::Database old = db::Database::open(asOfTwo);
    EXPECT_THROW(old.execute("DELETE FROM Device"), db::Error);

    // Reverting: B2 comes back with its row order, A1 gets its old name,
    // C3 (not there at change 2) goes; each is a new change.
    EXPECT_EQ(eid::RevertRecord(server, "B2", 2), 6);
    EXPECT_EQ(eid::RevertRecord(server, "A1", 2), 7);
    EXPECT_EQ(eid::RevertRecord(server, "C3", 2), 8);
    EXPECT_EQ(Records(server), atTwo);
    EXPECT_EQ(eid::ReadHistory(server).size(), 8u);
    EXPECT_THROW(eid::RevertRecord(server, "Z9", 2), db::Error);
    EXPECT_THROW(eid::ReadHistory(MakeCodeNameEid((ScratchDir().path() / "f.eid").string())), db::Error);
}

// A list's change stamp is taken where no writer is between taking a change
// number and committing it: a writer that took a lower number than a change
// already committed is waited for, so --as-of the stamp reads what was read.
TEST(EidHistory, AsOfTheStampOfAReadReadsWhatTheReadSaw)
{
    const std::string server = serverEidName();
    if (server.empty())
        GTEST_SKIP() << "no PostgreSQL server for this run (RAV_PG_DIR unset)";
    MakeCodeNameEid(server);
    db::Database slow = db::Database::open(server);
    db::Transaction slowTx(slow);
    slow.executeNative("INSERT INTO Device (Code, Name) VALUES ('A1', 'slow')"); // change 1, not committed yet
    db::Database::open(server).executeNative("INSERT INTO Device (Code, Name) VALUES ('B2', 'fast')"); // change 2
    std::promise<void> started;
    std::int64_t stamp = 0;
    std::vector<Row> seen;
    std::thread reader([&] {
        db::Database db = db::Database::open(server);
        std::optional<db::Transaction> read;
        started.set_value();
        stamp = eid::BeginStampedRead(db, read);
        db::Statement st = db.prepare("SELECT * FROM Device ORDER BY rowid");
        while (st.step())
            seen.push_back({ st.column(0), st.column(1) });
    });
    started.get_future().wait();
    // Gives the reader time to meet the writer in flight; were it slower,
    // the test would pass without having tried the case.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    slowTx.commit();
    reader.join();
    EXPECT_EQ(seen, (std::vector<Row> { R({ "A1", "slow" }), R({ "B2", "fast" }) }));
    EXPECT_EQ(Records(server + "&as_of=" + std::to_string(stamp)), seen);
}

} // namespace
} // namespace rav::test
