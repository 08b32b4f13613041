#include "test_env.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace rav::test {

fs::path sandboxRoot()
{
    const char* root = std::getenv("RAV_TEST_SANDBOX");
    if (!root)
        throw std::runtime_error("test sandbox not set up");
    return root;
}

ScratchDir::ScratchDir()
{
    static std::atomic<int> counter{0};
    path_ = sandboxRoot() / ("scratch-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void writeFile(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
    out << bytes;
}

RunResult runProgram(const std::string& commandLine)
{
    ScratchDir capture;
    const fs::path outFile = capture / "stdout";
    const fs::path errFile = capture / "stderr";
    const std::string full = commandLine + " >'" + outFile.string() + "' 2>'" + errFile.string() + "' </dev/null";
    const int status = std::system(full.c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(outFile);
    result.err = readFile(errFile);
    return result;
}

} // namespace rav::test
