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
    RunResult Run(const std::string& args) { return runProgram(std::string(RAV_BIN_DIR) + "/ravederi eid " + args); }
    std::string Q(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

    ScratchDir dir;
    // A1 to A5, stored out of order so that the sort column matters.
    const std::string five = MakeCodeNameEid(dir / "Five.eid",
        { R({ "A3", "three" }), R({ "A1", "one" }), R({ "A5", "five" }), R({ "A2", "two" }), R({ "A4", "four" }) });
    const std::string out = (dir / "Out.txt").string();
};

TEST_F(EidCliTest, ImportPrintsItsSummaryAndWritesTheLogBesideTheText)
{
    const std::string eid = MakeCodeNameEid(dir / "Part.eid");
    writeFile(dir / "Part.txt", "A1,Bolt\r\nA1,Nut\r\n,Washer\r\nA2,Screwdriver-set\r\nA3\r\n\r\n");
    RunResult r = Run("import " + Q(eid) + " " + Q(dir / "Part.txt"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string log = " (log: " + (dir / "Part.log").string() + ")\n";
    EXPECT_EQ(r.out, "6 lines read, 2 stored, 0 overwritten, 3 logged" + log);
    EXPECT_EQ(Records(eid), (std::vector<Row> { R({ "A1", "Bolt" }), R({ "A3", "" }) }));
    EXPECT_NE(readFile(dir / "Part.log").find("A1,Nut,duplicate index found\r\n"), std::string::npos);

    // The options mirror the wizard's.
    writeFile(dir / "Part.txt", "A1;x\r\nA2;Screwdriver-set\r\nA3;y\r\nA4;z\r\n");
    r = Run("import " + Q(eid) + " " + Q(dir / "Part.txt") + " --delimiter ';' --trim --overwrite --range Code a2 A3");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "3 lines read, 1 stored, 1 overwritten, 0 logged" + log);
    EXPECT_EQ(Records(eid, "Code"), (std::vector<Row> { R({ "A1", "Bolt" }), R({ "A2", "Screwdrive" }), R({ "A3", "y" }) }));
}

TEST_F(EidCliTest, ExportAndRemove)
{
    RunResult r = Run("export " + Q(five) + " " + Q(out) + " --delimiter TAB --range Code A2 A4 --sort Code");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "3 records exported to " + out + "\n");
    EXPECT_EQ(readFile(out), "A2\ttwo\r\nA3\tthree\r\nA4\tfour\r\n");
    // An unknown end is refused unless --to-end is given.
    r = Run("remove " + Q(five) + " --range Code A4 A9 --sort Code");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Specified End condition cannot be found"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--to-end"), std::string::npos) << r.err;
    EXPECT_EQ(Records(five).size(), 5u);
    r = Run("remove " + Q(five) + " --range Code A4 A9 --sort Code --to-end");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "2 records removed\n");
    r = Run("remove " + Q(five));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "3 records removed\n");
    EXPECT_TRUE(Records(five).empty());
}

TEST_F(EidCliTest, RefusalsAndFailures)
{
    writeFile(dir / "Bad.eid", "plain text");
    struct Case {
        std::string args;
        int exitCode;
        std::string inError; // a phrase of the one line on stderr
    };
    const std::vector<Case> cases {
        { "import " + Q(five) + " " + Q(dir / "gone.txt"), 1, "gone.txt" },
        { "export " + Q(five) + " " + Q(out) + " --range Code B1 A4", 1, "Specified Start condition cannot be found" },
        { "remove " + Q(five) + " --range Price 1 2", 1, "Price" },
        { "export " + Q(dir / "Bad.eid") + " " + Q(out), 1, "" },
        { "remove " + Q(five) + " --range Code A1", 2, "" },
        { "export " + Q(five), 2, "" },
        { "import " + Q(five), 2, "" },
        { "remove " + Q(five) + " --sort Code", 2, "" },
    };
    for (const Case& c : cases) {
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args;
        EXPECT_NE(r.err.find(c.inError), std::string::npos) << r.err;
        if (c.exitCode == 1) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(Records(five).size(), 5u);
}

} // namespace
} // namespace rav::test
