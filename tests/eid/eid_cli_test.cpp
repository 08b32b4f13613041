#include "database.h"
#include "recordset.h"
#include "test_env.h"

#include <gtest/gtest.h>

using rav::test::runProgram;
using rav::test::ScratchDir;

namespace
{

rav::test::RunResult eid(const std::string& args)
{
    return runProgram(std::string(RAV_BIN_DIR) + "/ravederi eid " + args);
}

std::string q(const std::string& s)
{
    return "'" + s + "'";
}

} // namespace

TEST(EidCli, CreateInfoAndQueryWithNullAsEmpty)
{
    ScratchDir dir;
    const std::string file = (dir / "Part.eid").string();
    auto r = eid("create " + q(file) + " --field Code:5 --field Name:10 --eic Code");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = eid("query " + q(file) + " 'SELECT Name, Code FROM Device ORDER BY Code'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Name\tCode\n");
    {
        rav::db::Database db = rav::db::Database::open(file);
        auto rs = db.openRecordset("Device");
        const std::vector<std::pair<std::string, rav::db::Value>> rows
            = { { "B2", std::nullopt }, { "a1", "Bolt" }, { "A3", "Tab\there" }, { "C1", "" } };
        for (const auto& [code, name] : rows) {
            rs.addNew();
            rs.setValue("Code", code);
            rs.setValue("Name", name);
            rs.update();
        }
    }
    r = eid("query " + q(file) + " 'SELECT * FROM Device WHERE Code Like \"[ab]*\" ORDER BY [Device]![Code]'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Code\tName\na1\tBolt\nA3\tTab here\nB2\t\n");
    r = eid("info " + q(file));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "recognised: yes\nfield 0: Code 5\nfield 1: Name 10\neic: Code\nrecords: 4\n");
}

TEST(EidCli, RefusalsAndFailures)
{
    ScratchDir dir;
    const std::string file = (dir / "Part.eid").string();
    auto r = eid("create " + q(file) + " --field 'Part No:20' --eic 'Part No'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Database creation error : "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("blank"), std::string::npos) << r.err;
    const std::pair<std::string, int> refusals[] = { { "create " + q(file) + " --field Code:256 --eic Code", 1 },
        { "create " + q(file) + " --field Code --eic Code", 2 }, { "create " + q(file) + " --field Code:20", 2 },
        { "frobnicate " + q(file), 2 } };
    for (const auto& [args, code] : refusals)
        EXPECT_EQ(eid(args).exitCode, code) << args;

    // A missing file is "not found", not "not an EID".
    for (const std::string& args : { "eid info " + q((dir / "none.eid").string()),
             "lom --list-fields --eid " + q((dir / "none.eid").string()) }) {
        r = rav::test::runProgram(std::string(RAV_BIN_DIR) + "/ravederi " + args);
        EXPECT_EQ(r.exitCode, 1) << args;
        EXPECT_EQ(r.err, "ravederi: the EID file " + (dir / "none.eid").string() + " was not found\n") << args;
    }

    rav::test::writeFile(dir / "text.eid", "Code,Name\n");
    r = eid("info " + q((dir / "text.eid").string()));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "recognised: no\n");

    ASSERT_EQ(eid("create " + q(file) + " --field Code:20 --eic Code").exitCode, 0);
    r = eid("query " + q(file) + " 'SELECT * FROM Device GROUP BY Code'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("GROUP"), std::string::npos) << r.err;
}
