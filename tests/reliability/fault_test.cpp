// The writing commands on a full file system and on a read-only one, and two
// processes on one file: each command either works or fails with one clear
// line and exit status 1, and no file loses anything.
#include "host_utility.h"
#include "project_fixture.h"
#include "test_env.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using rav::test::readFile;
using rav::test::runProgram;
using rav::test::writeFile;

namespace
{

const std::string kTool = std::string(RAV_BIN_DIR) + "/ravederi";

std::string quoted(const fs::path& p)
{
    return "'" + p.string() + "'";
}

std::string tool(const std::string& arguments)
{
    return kTool + " " + arguments;
}

// A tmpfs of a few hundred KiB mounted on a scratch folder, for as long as the
// object lives. Mounting needs root; without it the tests skip.
class SmallFileSystem
{
public:
    explicit SmallFileSystem(const fs::path& where)
        : path_(where)
    {
        fs::create_directories(path_);
        mounted_ = runProgram("mount -t tmpfs -o size=512k tmpfs " + quoted(path_)).exitCode == 0;
    }
    ~SmallFileSystem()
    {
        if (mounted_)
            runProgram("umount -l " + quoted(path_));
    }
    bool mounted() const { return mounted_; }
    // Takes every free byte.
    void fill()
    {
        const int fd = ::open((path_ / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        for (char c = 'x'; ::write(fd, &c, 1) > 0;) {
        }
        ::close(fd);
    }
    void release() { fs::remove(path_ / "filler"); }
    void setReadOnly(bool on)
    {
        ASSERT_EQ(runProgram(std::string("mount -o remount,") + (on ? "ro " : "rw ") + quoted(path_)).exitCode, 0);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
    bool mounted_ = false;
};

class Faults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        disk = std::make_unique<SmallFileSystem>(scratch / "disk");
        if (!disk->mounted())
            GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): full and read-only disks not tested";
        // An EID with records, a project, a LOM made from both, settings.
        std::string lines, more;
        for (int i = 0; i < 40; ++i)
            lines += "C" + std::to_string(i) + ";part " + std::to_string(i) + "\n";
        for (int i = 0; i < 3000; ++i)
            more += "N" + std::to_string(i) + ";new part with a longer name " + std::to_string(i) + "\n";
        writeFile(*disk / "parts.txt", lines);
        writeFile(*disk / "more.txt", more);
        ASSERT_EQ(runProgram(tool("eid create " + quoted(*disk / "parts.eid")
                                 + " --field Code:20 --field Name:60 --eic Code")).exitCode, 0);
        ASSERT_EQ(runProgram(tool("eid import " + quoted(*disk / "parts.eid") + " " + quoted(*disk / "parts.txt")
                                 + " --delimiter ';'")).exitCode, 0);
        writeFile(scratch / "board.json",
            rav::test::projectJson("BOARD", { { "D1", "PKG", { "One", "C1", "" } }, { "D2", "PKG", { "Two", "", "" } } },
                rav::test::placedOnce({ { "D1", "PKG", {} }, { "D2", "PKG", {} } })));
        ASSERT_EQ(runProgram(tool("project build " + quoted(scratch / "board.json") + " " + quoted(*disk / "board.dpz")))
                      .exitCode, 0);
        ASSERT_EQ(runProgram(tool(lomArguments())).exitCode, 0);
        fs::create_directories(*disk / "config" / "dodiv");
        writeFile(*disk / "config" / "dodiv" / "host.ini", "[POSTLOM]\r\nFieldSort=3\r\n");
        before = snapshot();
    }

    std::string lomArguments(const std::string& out = "lom.txt") const
    {
        return "lom --project " + quoted(*disk / "board.dpz") + " --eid " + quoted(*disk / "parts.eid")
            + " --field Part-P --field Name-D --out " + quoted(*disk / out);
    }

    // Everything the files hold, as the tool reads it.
    std::string snapshot() const
    {
        const auto records = runProgram(tool("eid query " + quoted(*disk / "parts.eid") + " \"SELECT * FROM Device\""));
        const auto project = runProgram(tool("project dump " + quoted(*disk / "board.dpz")));
        return std::to_string(records.exitCode) + records.out + records.err + std::to_string(project.exitCode)
            + project.out + project.err + readFile(*disk / "lom.txt") + readFile(*disk / "config/dodiv/host.ini");
    }

    // Runs every writing command; each must fail with one line and status 1.
    void expectEveryWriteRefused(const char* condition)
    {
        const std::string eid = quoted(*disk / "parts.eid"), dpz = quoted(*disk / "board.dpz");
        const std::string commands[] = {
            "eid import " + eid + " " + quoted(*disk / "more.txt") + " --delimiter ';'",
            "eid remove " + eid,
            "eid remove " + eid + " --range Code C1 C3",
            "eid create " + quoted(*disk / "new.eid") + " --field Code:20 --eic Code",
            "eid export " + eid + " " + quoted(*disk / "export.txt"),
            "project set-eic " + dpz + " D2 NEWCODE",
            "project build " + quoted(scratch / "board.json") + " " + quoted(*disk / "copy.dpz"),
            lomArguments("new-lom.txt"), // lom.txt would fit where its old self was
        };
        for (const auto& command : commands) {
            const auto r = runProgram(tool(command));
            EXPECT_EQ(r.exitCode, 1) << condition << ": " << command << "\n" << r.out << r.err;
            EXPECT_FALSE(r.err.empty()) << condition << ": " << command;
            EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\n'), 2) << condition << ": " << command << "\n" << r.err;
        }
        // Settings: the old file stays as it was.
        const char* old = std::getenv("XDG_CONFIG_HOME");
        const std::string saved = old ? old : "";
        ::setenv("XDG_CONFIG_HOME", (*disk / "config").c_str(), 1);
        EXPECT_THROW(rav::HostUtility::instance().WriteSetting("POSTLOM", "FieldSep", std::string(3000, 'x')),
            std::runtime_error)
            << condition;
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
        for (const char* leftover : { "new.eid", "new.eid.new", "copy.dpz" })
            EXPECT_FALSE(fs::exists(*disk / leftover)) << condition << ": " << leftover << " left behind";
    }

    rav::test::ScratchDir scratch;
    std::unique_ptr<SmallFileSystem> disk;
    std::string before;
};

TEST_F(Faults, AFullDiskRefusesEveryWriteAndLosesNothing)
{
    disk->fill();
    expectEveryWriteRefused("full disk");
    disk->release();
    EXPECT_EQ(snapshot(), before);
}

TEST_F(Faults, AReadOnlyDiskRefusesEveryWriteAndStillReads)
{
    disk->setReadOnly(true);
    EXPECT_EQ(snapshot(), before) << "the files read as before on a read-only disk";
    expectEveryWriteRefused("read-only disk");
    disk->setReadOnly(false);
    EXPECT_EQ(snapshot(), before);
}

// An import while another process imports into or exports the same EID: the
// records of every import that reported success are there.
TEST(TwoProcesses, ImportAgainstImportOrExportOnOneEid)
{
    constexpr int kBig = 50000;
    rav::test::ScratchDir dir;
    const std::string eid = quoted(dir / "parts.eid");
    std::string big, small;
    for (int i = 0; i < kBig; ++i)
        big += "B" + std::to_string(i) + ";big\n";
    for (int i = 0; i < 50; ++i)
        small += "S" + std::to_string(i) + ";small\n";
    writeFile(dir / "big.txt", big);
    writeFile(dir / "small.txt", small);
    ASSERT_EQ(runProgram(tool("eid create " + eid + " --field Code:20 --field Name:20 --eic Code")).exitCode, 0);
    for (const bool importing : { true, false }) {
        const std::string second = importing ? "eid import " + eid + " " + quoted(dir / "small.txt") + " --delimiter ';'"
                                             : "eid export " + eid + " " + quoted(dir / "out.txt");
        const auto r = runProgram("{ (" + tool("eid import " + eid + " " + quoted(dir / "big.txt") + " --delimiter ';'")
            + " >/dev/null; echo first=$?) & sleep 0.1; " + tool(second) + " >/dev/null; echo second=$?; wait; }");
        const bool first = r.out.find("first=0") != std::string::npos;
        const bool secondRan = r.out.find("second=0") != std::string::npos;
        EXPECT_TRUE(first || r.out.find("first=1") != std::string::npos) << r.out << r.err;
        EXPECT_TRUE(secondRan || r.out.find("second=1") != std::string::npos) << r.out << r.err;
        EXPECT_TRUE(first || secondRan) << "both refused:\n" << r.err;
        if (!first || !secondRan) {
            EXPECT_NE(r.err.find("in use"), std::string::npos) << r.err;
        }
        const auto codes = runProgram(tool("eid query " + eid + " \"SELECT Code FROM Device\""));
        ASSERT_EQ(codes.exitCode, 0) << codes.err;
        EXPECT_EQ(std::count(codes.out.begin(), codes.out.end(), '\n') - 1,
            (first ? kBig : 0) + (importing && secondRan ? 50 : 0));
        if (!importing && secondRan) { // an export sees all records of the import, or none
            const std::string out = readFile(dir / "out.txt");
            const auto exported = std::count(out.begin(), out.end(), '\n');
            EXPECT_TRUE(exported == 0 || exported == kBig) << exported;
        }
        ASSERT_EQ(runProgram(tool("eid remove " + eid)).exitCode, 0);
    }
}

// Each device ends with the last code its writer reported stored.
TEST(TwoProcesses, TwoSetEicWritersOnOneProject)
{
    rav::test::ScratchDir dir;
    writeFile(dir / "board.json",
        rav::test::projectJson("BOARD", { { "D1", "PKG", { "One", "", "" } }, { "D2", "PKG", { "Two", "", "" } } }, {}));
    const std::string dpz = quoted(dir / "board.dpz");
    ASSERT_EQ(runProgram(tool("project build " + quoted(dir / "board.json") + " " + dpz)).exitCode, 0);
    auto writer = [&](const char* device, const char* prefix) {
        return "(for i in $(seq 1 20); do if " + tool("project set-eic " + dpz + " " + device + " " + prefix)
            + "$i 2>/dev/null; then echo " + prefix + "$i; fi; done)";
    };
    const auto r = runProgram("{ " + writer("D1", "A") + " & " + writer("D2", "B") + "; wait; }");
    const auto parts = runProgram(tool("project parts " + dpz + " --devices"));
    ASSERT_EQ(parts.exitCode, 0) << parts.err;
    for (const char* prefix : { "A", "B" }) {
        const auto last = r.out.rfind(prefix);
        ASSERT_NE(last, std::string::npos) << "no write of " << prefix << " worked:\n" << r.out;
        const std::string code = r.out.substr(last, r.out.find('\n', last) - last);
        EXPECT_NE(parts.out.find("\t" + code + "\t"), std::string::npos) << code << " missing:\n" << parts.out;
    }
}

} // namespace
