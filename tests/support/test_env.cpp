#include "test_env.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
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

RunningProgram::RunningProgram(const std::vector<std::string>& argv)
{
    int in[2], out[2];
    if (argv.empty() || ::pipe(in) != 0)
        throw std::runtime_error("cannot start a program");
    if (::pipe(out) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        throw std::runtime_error("cannot start a program");
    }
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::close(in[1]);
        ::close(out[0]);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    toChild_ = in[1];
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        firstLine_ += c;
    ::close(out[0]);
}

RunningProgram::~RunningProgram()
{
    ::close(toChild_);
    int status = 0;
    if (pid_ > 0)
        ::waitpid(pid_, &status, 0);
}

} // namespace rav::test

namespace rav::test {

std::string serverEidName()
{
    const char* dir = std::getenv("RAV_PG_DIR");
    if (!dir || !*dir)
        return {};
    const std::filesystem::path root(dir);
    std::string port = readFile(root / "port");
    while (!port.empty() && (port.back() == '\n' || port.back() == '\r'))
        port.pop_back();
    setenv("PGPASSFILE", (root / "pgpass").c_str(), 1);
    static std::mt19937_64 random { std::random_device {}() };
    char schema[40];
    std::snprintf(schema, sizeof schema, "t%016llx", static_cast<unsigned long long>(random()));
    return "postgresql://ravederi@127.0.0.1:" + port + "/postgres?schema=" + schema + "&table=Device";
}

} // namespace rav::test
