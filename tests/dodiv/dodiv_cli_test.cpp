// The host program run as automation: open the demo project, load the
// editor from its library, pass commands, print the notifications.
#include "test_env.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace
{

class DodivCliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A copy: the kernel keeps the host's string-table entries in the file.
        fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.dpz", project, fs::copy_options::overwrite_existing);
    }

    rav::test::RunResult dodiv(const std::string& arguments)
    {
        return rav::test::runProgram(std::string(RAV_BIN_DIR) + "/dodiv " + arguments);
    }

    rav::test::ScratchDir scratch;
    fs::path project = scratch / "demo.dpz";
};

} // namespace

TEST_F(DodivCliTest, ExitCommandPrintsTheShutdownAndEndsCleanly)
{
    const auto run
        = dodiv("--project '" + project.string() + "' --load 0 --send RAVEDERI,EX --notifications");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "RAVEDERI\tSHUTDOWN\n");
}

TEST_F(DodivCliTest, CommandsRunInOrderAndNothingFollowsTheShutdown)
{
    const auto run = dodiv("--project '" + project.string()
        + "' --load 2 --send All,MN --send RAVEDERI,UP --send All,EX --send RAVEDERI,MX"
          " --notifications");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // MX after the shut-down is not sent, so it cannot fail.
    EXPECT_EQ(run.out, "RAVEDERI\tSHUTDOWN\n");
    EXPECT_EQ(run.err.find("failed"), std::string::npos) << run.err;
}

TEST_F(DodivCliTest, WithoutAnExitTheReleaseClosesTheEditor)
{
    const auto run = dodiv("--project '" + project.string() + "' --load 0 --send All,DF --notifications");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "RAVEDERI\tSHUTDOWN\n");

    const auto quiet = dodiv("--project '" + project.string() + "' --load 0 --send All,DF");
    EXPECT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "");
}

TEST_F(DodivCliTest, AFailingCommandIsReported)
{
    const auto run = dodiv("--project '" + project.string() + "' --load 0 --send RAVEDERI --notifications");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("failed with error 9"), std::string::npos) << run.err;
}

TEST_F(DodivCliTest, BadProjectsAndArguments)
{
    const auto missing = dodiv("--project '" + (scratch / "none.dpz").string() + "' --load 0");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;

    rav::test::writeFile(scratch / "junk.dpz", "not a project at all");
    EXPECT_EQ(dodiv("--project '" + (scratch / "junk.dpz").string() + "' --load 0").exitCode, 1);

    const auto badMode = dodiv("--project '" + project.string() + "' --load 7");
    EXPECT_EQ(badMode.exitCode, 2);
    EXPECT_NE(badMode.err.find("usage"), std::string::npos);
    EXPECT_EQ(dodiv("--bogus").exitCode, 2);
}
