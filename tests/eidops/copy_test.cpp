// ravederi eid copy between a file and the test server: the copy keeps the
// fields, the rules and the row order, so a file copied to the server and
// back exports byte for byte the same text; a target that exists is refused.
#include "eid_fixture.h"

#include <gtest/gtest.h>

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

    const RunResult again = Eid("copy " + Q(file) + " " + Q(back));
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("exists"), std::string::npos) << again.err;
}

} // namespace
} // namespace rav::test
