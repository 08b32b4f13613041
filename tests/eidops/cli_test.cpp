// ravederi eid import / export / remove: the real program on real files,
// its summary lines, its exit statuses and its refusals.
#include "eid_fixture.h"

#include <gtest/gtest.h>

namespace rav::test
{
namespace
{

class EidCliTest : public ::testing::Test
{
protected:
    RunResult Run(const std::string& args)
    {
        return runProgram(std::string(RAV_BIN_DIR) + "/ravederi eid " + args);
    }
    std::string Q(const std::filesystem::path& p) { return "'" + p.string() + "'"; }
    std::string FiveRecords()
    {
        return MakeCodeNameEid(dir / "Five.eid",
            { R({ "A3", "three" }), R({ "A1", "one" }), R({ "A5", "five" }), R({ "A2", "two" }),
                R({ "A4", "four" }) });
    }

    ScratchDir dir;
};

TEST_F(EidCliTest, ImportPrintsItsSummaryAndWritesTheLogBesideTheText)
{
    const std::string eid = MakeCodeNameEid(dir / "Part.eid");
    writeFile(dir / "Part.txt", "A1,Bolt\r\nA1,Nut\r\n,Washer\r\nA2,Screwdriver-set\r\nA3\r\n\r\n");
    const RunResult r = Run("import " + Q(eid) + " " + Q(dir / "Part.txt"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
        "6 lines read, 2 stored, 0 overwritten, 3 logged (log: " + (dir / "Part.log").string() + ")\n");
    EXPECT_EQ(Records(eid), (std::vector<Row> { R({ "A1", "Bolt" }), R({ "A3", "" }) }));
    EXPECT_NE(readFile(dir / "Part.log").find("A1,Nut,duplicate index found\r\n"), std::string::npos);
}

TEST_F(EidCliTest, ImportOptionsMirrorTheWizard)
{
    const std::string eid = MakeCodeNameEid(dir / "Part.eid", { R({ "A2", "old" }) });
    writeFile(dir / "Part.txt", "A1;x\r\nA2;Screwdriver-set\r\nA3;y\r\nA4;z\r\n");
    const RunResult r = Run("import " + Q(eid) + " " + Q(dir / "Part.txt")
        + " --delimiter ';' --trim --overwrite --range Code a2 A3");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
        "3 lines read, 1 stored, 1 overwritten, 0 logged (log: " + (dir / "Part.log").string() + ")\n");
    EXPECT_EQ(Records(eid, "Code"), (std::vector<Row> { R({ "A2", "Screwdrive" }), R({ "A3", "y" }) }));
}

TEST_F(EidCliTest, ImportOfAVanishedFileFailsWithOneLine)
{
    const std::string eid = MakeCodeNameEid(dir / "Part.eid");
    const RunResult r = Run("import " + Q(eid) + " " + Q(dir / "gone.txt"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("gone.txt"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

TEST_F(EidCliTest, ExportWritesTheTextFile)
{
    const std::string eid = FiveRecords();
    const RunResult r = Run(
        "export " + Q(eid) + " " + Q(dir / "Out.txt") + " --delimiter TAB --range Code A2 A4 --sort Code");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "3 records exported to " + (dir / "Out.txt").string() + "\n");
    EXPECT_EQ(readFile(dir / "Out.txt"), "A2\ttwo\r\nA3\tthree\r\nA4\tfour\r\n");

    // Without a range: every record, in the order they were stored.
    ASSERT_EQ(Run("export " + Q(eid) + " " + Q(dir / "Out.txt")).exitCode, 0);
    EXPECT_EQ(readFile(dir / "Out.txt"), "A3,three\r\nA1,one\r\nA5,five\r\nA2,two\r\nA4,four\r\n");
}

TEST_F(EidCliTest, UnknownEndIsRefusedUnlessToEndIsGiven)
{
    const std::string eid = FiveRecords();
    RunResult r = Run("remove " + Q(eid) + " --range Code A4 A9 --sort Code");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Specified End condition cannot be found"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--to-end"), std::string::npos) << r.err;
    EXPECT_EQ(Records(eid).size(), 5u);

    r = Run("remove " + Q(eid) + " --range Code A4 A9 --sort Code --to-end");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "2 records removed\n");
    EXPECT_EQ(Records(eid, "Code").size(), 3u);
}

TEST_F(EidCliTest, UnknownStartIsRefused)
{
    const std::string eid = FiveRecords();
    const RunResult r = Run("export " + Q(eid) + " " + Q(dir / "Out.txt") + " --range Code B1 A4");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Specified Start condition cannot be found"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "Out.txt"));
}

TEST_F(EidCliTest, RemoveWithoutRangeEmptiesTheTable)
{
    const std::string eid = FiveRecords();
    const RunResult r = Run("remove " + Q(eid));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "5 records removed\n");
    EXPECT_TRUE(Records(eid).empty());
}

TEST_F(EidCliTest, BadArgumentsGiveUsage)
{
    const std::string eid = FiveRecords();
    EXPECT_EQ(Run("remove " + Q(eid) + " --range Code A1").exitCode, 2);
    EXPECT_EQ(Run("export " + Q(eid)).exitCode, 2);
    EXPECT_EQ(Run("import " + Q(eid)).exitCode, 2);
    EXPECT_EQ(Run("remove " + Q(eid) + " --sort Code").exitCode, 2);
    const RunResult r = Run("remove " + Q(eid) + " --range Price 1 2");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Price"), std::string::npos) << r.err;
    EXPECT_EQ(Records(eid).size(), 5u);
}

TEST_F(EidCliTest, NotAnEidFails)
{
    writeFile(dir / "Bad.eid", "plain text");
    const RunResult r = Run("export " + Q(dir / "Bad.eid") + " " + Q(dir / "Out.txt"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.empty());
}

} // namespace
} // namespace rav::test
