// Helpers every test may use: a scratch folder that is removed afterwards,
// and the isolated per-user folders that the test main sets up.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

namespace rav::test {

// The temporary root that XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_DATA_HOME
// point into for this test process.
std::filesystem::path sandboxRoot();

// A fresh, empty folder under the sandbox, removed when the object dies.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// A name for a fresh table `Device` on the test's PostgreSQL server, in a
// schema no other test uses; empty when this run has no server (RAV_PG_DIR
// unset, see scripts/pg-cluster.sh and the CTest fixture). Points libpq at
// the server's password file.
std::string serverEidName();

// Whole-file helpers for assertions on what a program wrote.
std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& bytes);

// Runs a program with /bin/sh, capturing stdout and stderr separately.
struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
RunResult runProgram(const std::string& commandLine);

// A program that keeps running, its stdin and stdout piped to this process,
// until the object dies (its stdin is closed, then it is waited for): a
// second process that holds something open meanwhile. The constructor
// returns once the program has written its first line (or ended).
class RunningProgram {
public:
    // argv[0] is the program's path; no shell is involved.
    explicit RunningProgram(const std::vector<std::string>& argv);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // The first line the program wrote, without its line feed.
    const std::string& firstLine() const { return firstLine_; }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    std::string firstLine_;
};

} // namespace rav::test
