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

// Each run: the arguments after the project, the exit status, what is
// printed and a phrase of the error output.
TEST_F(DodivCliTest, CommandsNotificationsAndFailures)
{
    struct Case {
        std::string arguments;
        int exitCode;
        std::string out;
        std::string inError;
    };
    const std::vector<Case> cases {
        { "--load 0 --send RAVEDERI,EX --notifications", 0, "RAVEDERI\tSHUTDOWN\n", "" },
        // MX after the shut-down is not sent, so it cannot fail.
        { "--load 2 --send All,MN --send RAVEDERI,UP --send All,EX --send RAVEDERI,MX --notifications", 0,
            "RAVEDERI\tSHUTDOWN\n", "" },
        // Without an exit the release closes the editor.
        { "--load 0 --send All,DF --notifications", 0, "RAVEDERI\tSHUTDOWN\n", "" },
        { "--load 0 --send All,DF", 0, "", "" },
        // A failing command is reported; the release still closes the editor.
        { "--load 0 --send RAVEDERI --notifications", 1, "RAVEDERI\tSHUTDOWN\n", "failed with error 9" },
        { "--load 7", 2, "", "usage" },
    };
    for (const Case& c : cases) {
        const auto run = dodiv("--project '" + project.string() + "' " + c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << run.err;
        EXPECT_EQ(run.out, c.out) << c.arguments;
        if (c.inError.empty()) {
            EXPECT_EQ(run.err.find("failed"), std::string::npos) << run.err;
        } else {
            EXPECT_NE(run.err.find(c.inError), std::string::npos) << run.err;
        }
    }
}

TEST_F(DodivCliTest, BadProjectsAndArguments)
{
    const auto missing = dodiv("--project '" + (scratch / "none.dpz").string() + "' --load 0");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;
    rav::test::writeFile(scratch / "junk.dpz", "not a project at all");
    EXPECT_EQ(dodiv("--project '" + (scratch / "junk.dpz").string() + "' --load 0").exitCode, 1);
    EXPECT_EQ(dodiv("--bogus").exitCode, 2);
}
