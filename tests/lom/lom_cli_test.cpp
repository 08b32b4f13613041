// The command-line tool's lom group, run as a program on real files.
#include "project_fixture.h"
#include "test_env.h"

#include <gtest/gtest.h>

namespace rav::test
{
namespace
{

class LomCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string json
            = projectJson("Board", { { "RES", "R0805", { "Resistor 10k", "123", "RSIM" } } },
                { { "R2", "RES", "10k", "" }, { "R1", "RES", "10k", "" } });
        writeFile(dir / "p.json", json);
        const RunResult built = runProgram(
            bin + " project build " + (dir / "p.json").string() + " " + (dir / "p.dpz").string());
        ASSERT_EQ(built.exitCode, 0) << built.err;
        makeEid(dir / "Part.eid", { "Code", "Price" }, "Code", { { "123", "0.01" } });
    }
    RunResult lom(const std::string& args) { return runProgram(bin + " lom " + args); }
    std::string common() const
    {
        return "--project " + (dir / "p.dpz").string() + " --eid " + (dir / "Part.eid").string() + " --out "
            + (dir / "LOM.txt").string();
    }

    ScratchDir dir;
    const std::string bin = std::string(RAV_BIN_DIR) + "/ravederi";
};

TEST_F(LomCli, ListsTheCatalogue)
{
    const RunResult r = lom("--list-fields --eid " + (dir / "Part.eid").string());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("1\tPart-P\t\n"), std::string::npos);
    EXPECT_NE(r.out.find("8\tComponent Value-P\t\n"), std::string::npos);
    EXPECT_NE(r.out.find("9\tCode-D\tCode\n10\tPrice-D\tPrice\n"), std::string::npos);
    const RunResult bad = lom("--list-fields --eid " + (dir / "p.json").string());
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("not an External Info Database"), std::string::npos);
}

TEST_F(LomCli, WritesTheSameFileAsTheWizard)
{
    RunResult r = lom(common() + " --field Component\\ Name-P --field Part-P --field Price-D --delimiter ,");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(dir / "LOM.txt"), " 1,R1,RES,0.01\r\n 2,R2,RES,0.01\r\n");
    // the vertical bar unless told otherwise, and another sort field
    r = lom(common() + " --field Part-P --field External\\ Index\\ Code-P --sort External\\ Index\\ Code-P");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(dir / "LOM.txt"), " 1|RES|123\r\n 2|RES|123\r\n");
}

TEST_F(LomCli, RefusesWhatItCannotDo)
{
    EXPECT_EQ(lom(common()).exitCode, 2); // no field
    RunResult r = lom(common() + " --field Nothing-D");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unknown field \"Nothing-D\""), std::string::npos);
    EXPECT_EQ(lom(common() + " --field Part-P --sort Price-D").exitCode, 2); // sort not among the fields
    EXPECT_EQ(lom("--field Part-P --out x").exitCode, 2);
    r = lom("--project " + (dir / "none.dpz").string() + " --eid " + (dir / "Part.eid").string()
        + " --out x --field Part-P");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot open project"), std::string::npos);
}

TEST_F(LomCli, ProjectWithoutPartsSaysSo)
{
    writeFile(dir / "e.json", projectJson("Empty", {}, {}));
    ASSERT_EQ(runProgram(bin + " project build " + (dir / "e.json").string() + " " + (dir / "e.dpz").string())
                  .exitCode,
        0);
    const RunResult r = runProgram(bin + " lom --project " + (dir / "e.dpz").string() + " --eid "
        + (dir / "Part.eid").string() + " --out " + (dir / "LOM.txt").string() + " --field Part-P");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("No Part Used"), std::string::npos);
}

} // namespace
} // namespace rav::test
