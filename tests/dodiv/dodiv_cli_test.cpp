// The host program run as automation: open the demo project, load the
// editor from its library, pass commands, print the notifications.
#include "test_env.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

// Each run: the arguments, the exit status, what is printed and a phrase of
// the error output (none: nothing failed).
TEST(DodivCliTest, CommandsNotificationsAndFailures)
{
    rav::test::ScratchDir scratch;
    // A copy: the kernel keeps the host's string-table entries in the file.
    const std::string project = (scratch / "demo.dpz").string();
    fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.dpz", project);
    rav::test::writeFile(scratch / "junk.dpz", "not a project at all");
    const std::string demo = "--project '" + project + "' ";
    struct Case {
        std::string arguments;
        int exitCode;
        std::string out;
        std::string inError;
    };
    const std::vector<Case> cases {
        { demo + "--load 0 --send RAVEDERI,EX --notifications", 0, "RAVEDERI\tSHUTDOWN\n", "" },
        // MX after the shut-down is not sent, so it cannot fail.
        { demo + "--load 2 --send All,MN --send RAVEDERI,UP --send All,EX --send RAVEDERI,MX --notifications", 0,
            "RAVEDERI\tSHUTDOWN\n", "" },
        // Without an exit the release closes the editor.
        { demo + "--load 0 --send All,DF --notifications", 0, "RAVEDERI\tSHUTDOWN\n", "" },
        { demo + "--load 0 --send All,DF", 0, "", "" },
        // A failing command is reported; the release still closes the editor.
        { demo + "--load 0 --send RAVEDERI --notifications", 1, "RAVEDERI\tSHUTDOWN\n", "failed with error 9" },
        { demo + "--load 7", 2, "", "usage" },
        { "--bogus", 2, "", "usage" },
        { "--project '" + (scratch / "none.dpz").string() + "' --load 0", 1, "", "cannot open" },
        { "--project '" + (scratch / "junk.dpz").string() + "' --load 0", 1, "", "" },
    };
    for (const Case& c : cases) {
        const auto run = rav::test::runProgram(std::string(RAV_BIN_DIR) + "/dodiv " + c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << run.err;
        EXPECT_EQ(run.out, c.out) << c.arguments;
        if (c.exitCode == 0) {
            EXPECT_EQ(run.err.find("failed"), std::string::npos) << run.err;
        } else if (!c.inError.empty()) {
            EXPECT_NE(run.err.find(c.inError), std::string::npos) << run.err;
        }
    }
}
