// Reading a delimited text file the way the import does (TextFile +
// LineTokenizer), against two baselines measured in the same run: the C++
// library's getline over an ifstream with a naive split, and a raw read
// that only counts line ends (the floor any reader can reach).
//
// Usage: bench_textfile [lines]   (default 300000 lines of 8 values)
#include "../bench_machine.h"
#include "line_tokenizer.h"
#include "sinks.h"
#include "text_file.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Best of three runs, to keep the page cache and the scheduler out of it.
template <typename F> double best(F&& run, std::size_t& check)
{
    double t = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        check = run();
        t = std::min(t, seconds(start));
    }
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    rav::bench::printMachine();
    QCoreApplication app(argc, argv);
    const long lines = argc > 1 ? std::atol(argv[1]) : 300000;
    char dirTemplate[] = "/tmp/rav-bench-XXXXXX";
    if (!mkdtemp(dirTemplate))
        return 1;
    const std::string path = std::string(dirTemplate) + "/import.txt";
    {
        rav::NullMessageSink sink;
        rav::TextFile out(sink);
        out.OpenTextForOutput(path);
        for (long i = 0; i < lines; ++i)
            out.WriteText("EIC" + std::to_string(i) + ",R" + std::to_string(i % 977)
                + ",RES 0805,10k,5%,caf\xC3\xA9 ohm,ORD-" + std::to_string(i * 7) + ",\r\n");
        out.CloseTextFile(false);
    }
    const auto bytes = std::filesystem::file_size(path);

    std::size_t rawCheck = 0, stdCheck = 0, ourCheck = 0;
    const double raw = best(
        [&] {
            std::size_t n = 0;
            const int fd = ::open(path.c_str(), O_RDONLY);
            std::vector<char> buf(64 * 1024);
            ssize_t got;
            while ((got = ::read(fd, buf.data(), buf.size())) > 0)
                for (const char* p = buf.data();
                     (p = static_cast<const char*>(std::memchr(p, '\n', buf.data() + got - p))); ++p)
                    ++n;
            ::close(fd);
            return n;
        },
        rawCheck);
    const double std = best(
        [&] {
            std::size_t values = 0;
            std::ifstream in(path, std::ios::binary);
            std::string line;
            std::vector<std::string> fields;
            while (std::getline(in, line)) {
                fields.clear();
                std::size_t start = 0, comma;
                while ((comma = line.find(',', start)) != std::string::npos) {
                    fields.push_back(line.substr(start, comma - start));
                    start = comma + 1;
                }
                fields.push_back(line.substr(start));
                values += fields.size();
            }
            return values;
        },
        stdCheck);
    const double ours = best(
        [&] {
            std::size_t values = 0;
            rav::NullMessageSink sink;
            rav::TextFile in(sink);
            in.OpenTextForInput(path);
            rav::LineTokenizer tokenizer;
            std::string line;
            while (in.ReadTextLine(line)) {
                tokenizer.Split(line, ',');
                values += tokenizer.Count();
            }
            return values;
        },
        ourCheck);

    std::printf("file: %ld lines, %.1f MB\n", lines, static_cast<double>(bytes) / 1e6);
    std::printf("raw read, count line ends      : %8.3f s  (%zu lines)\n", raw, rawCheck);
    std::printf("ifstream getline + naive split : %8.3f s  (%zu values)\n", std, stdCheck);
    std::printf("TextFile + LineTokenizer       : %8.3f s  (%zu values, UTF-8 checked)\n", ours, ourCheck);
    std::printf("ratio ours / getline baseline  : %8.2f\n", ours / std);
    std::printf("ratio ours / raw read          : %8.2f\n", ours / raw);
    std::filesystem::remove_all(dirTemplate);
    return stdCheck == ourCheck ? 0 : 1;
}
