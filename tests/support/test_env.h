// Helpers every test may use: a scratch folder that is removed afterwards,
// and the isolated per-user folders that the test main sets up.
#pragma once

#include <filesystem>
#include <string>

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

} // namespace rav::test
