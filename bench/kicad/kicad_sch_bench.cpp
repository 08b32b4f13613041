// Reading KiCad schematics as they grow: generated KiCad 8 sheets of 1k,
// 10k and 100k placed symbols, read whole (file, parse, hierarchy walk,
// parts) side by side with the plain tokenise of the same bytes (file read
// plus sexpr::countTokens), the baseline; best of several runs taken in
// turns, CPU time. Prints the time per symbol, the ratio to the baseline
// (the goal: within 1.5x) and per-symbol growth against the smallest size
// (the goal: flat), with the machine it ran on.
//
// Both jobs also run in fresh processes, each its one job once, as a
// command-line read does: in one process, what one job leaves with the
// allocator (memory kept or given back) changes what the other pays for
// fresh pages, in either direction.
//
//   kicad_sch_bench [SIZES...]     default: 1000 10000 100000
#include "../bench_machine.h"
#include "kicad_sch.h"
#include "sexpr.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/utsname.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;

// One resistor as KiCad 8 writes it: lib id, flags, uuid, five properties,
// two pins, its instance.
std::string symbol(long i)
{
    const std::string n = std::to_string(i);
    std::string s = "\t(symbol\n\t\t(lib_id \"Device:R\")\n\t\t(at " + std::to_string(i % 300) + " "
        + std::to_string(i / 300)
        + " 0)\n\t\t(unit 1)\n\t\t(exclude_from_sim no)\n\t\t(in_bom yes)\n"
          "\t\t(on_board yes)\n\t\t(dnp no)\n\t\t(uuid \"00000000-0000-4000-8000-"
        + std::string(12 - std::min<std::size_t>(12, n.size()), '0') + n + "\")\n";
    const std::pair<const char*, std::string> props[] = { { "Reference", "R" + n },
        { "Value", std::to_string(i % 97) + "k" }, { "Footprint", "Resistor_SMD:R_0603_1608Metric" },
        { "Datasheet", "~" }, { "MPN", "RC0603FR-07" + n + "L" } };
    for (const auto& [name, value] : props)
        s += std::string("\t\t(property \"") + name + "\" \"" + value
            + "\"\n\t\t\t(at 10 10 0)\n\t\t\t(effects\n\t\t\t\t(font\n\t\t\t\t\t(size 1.27 1.27)\n\t\t\t\t)\n"
              "\t\t\t\t(hide yes)\n\t\t\t)\n\t\t)\n";
    s += "\t\t(pin \"1\"\n\t\t\t(uuid \"a-" + n + "\")\n\t\t)\n\t\t(pin \"2\"\n\t\t\t(uuid \"b-" + n
        + "\")\n\t\t)\n"
          "\t\t(instances\n\t\t\t(project \"bench\"\n\t\t\t\t(path \"/root\"\n\t\t\t\t\t(reference \"R"
        + n + "\")\n\t\t\t\t\t(unit 1)\n\t\t\t\t)\n\t\t\t)\n\t\t)\n\t)\n";
    return s;
}

void generate(long symbols, const fs::path& file)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << "(kicad_sch\n\t(version 20231120)\n\t(generator \"eeschema\")\n\t(generator_version \"8.0\")\n"
           "\t(uuid \"root\")\n\t(paper \"A4\")\n\t(lib_symbols\n\t\t(symbol \"Device:R\"\n\t\t\t(property "
           "\"Description\" \"Resistor\")\n\t\t)\n\t)\n";
    for (long i = 0; i < symbols; ++i)
        out << symbol(i + 1);
    out << ")\n";
}

// The process's CPU time: on a machine others share, wall time measures
// them too.
double cpuSeconds()
{
    timespec t {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Best of `runs` for each of two jobs, run in turns: on a machine others
// share, both then meet the same load.
template <class A, class B> std::pair<double, double> bestOfBoth(int runs, A&& a, B&& b)
{
    double bestA = 1e300, bestB = 1e300;
    for (int r = 0; r < runs; ++r) {
        double start = cpuSeconds();
        a();
        bestA = std::min(bestA, cpuSeconds() - start);
        start = cpuSeconds();
        b();
        bestB = std::min(bestB, cpuSeconds() - start);
    }
    return { bestA, bestB };
}

// The baseline: the file read the reader does too (its size, then one
// read), then every token counted.
std::size_t tokenise(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return rav::sexpr::countTokens(bytes, file.string());
}

std::size_t read(const fs::path& file)
{
    return rav::project::readSchematicDesign(file).parts.size();
}

// One job in a fresh process (this program again, with --once): its CPU
// time, or a negative number when it failed.
double once(const char* job, const fs::path& file, std::size_t expected)
{
    const std::string command
        = fs::read_symlink("/proc/self/exe").string() + " --once " + job + " '" + file.string() + "'";
    FILE* child = ::popen(command.c_str(), "r");
    if (!child)
        return -1;
    double seconds = -1;
    std::size_t count = 0;
    if (std::fscanf(child, "%lf %zu", &seconds, &count) != 2 || count != expected)
        seconds = -1;
    return ::pclose(child) == 0 ? seconds : -1;
}

std::string cpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown CPU";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--once") {
        const bool isRead = std::string(argv[2]) == "read";
        const double start = cpuSeconds();
        const std::size_t count = isRead ? read(argv[3]) : tokenise(argv[3]);
        std::printf("%.9f %zu\n", cpuSeconds() - start, count);
        return 0;
    }
    rav::bench::printMachine();
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atol(argv[i]));
    if (sizes.empty())
        sizes = { 1000, 10000, 100000 };

    utsname u {};
    ::uname(&u);
    std::printf("machine: %s, %u threads, %s %s\n", cpuModel().c_str(), std::thread::hardware_concurrency(),
        u.sysname, u.release);
    std::printf(
        "| symbols | MB | tokenise us/symbol | read us/symbol | read / tokenise | per symbol vs first "
        "| fresh processes: read / tokenise |\n");
    std::printf("|---|---|---|---|---|---|---|\n");

    const fs::path dir = fs::temp_directory_path() / ("kicad_sch_bench." + std::to_string(::getpid()));
    fs::create_directories(dir);
    double firstPerSymbol = 0;
    for (long n : sizes) {
        const fs::path file = dir / "bench.kicad_sch";
        generate(n, file);
        const int runs = n >= 100000 ? 5 : n >= 10000 ? 11 : 31;
        std::size_t tokens = 0, parts = 0;
        const auto [tokenised, readIn] = bestOfBoth(
            runs, [&] { tokens = tokenise(file); }, [&] { parts = read(file); });
        if (parts != static_cast<std::size_t>(n) || tokens == 0) {
            std::fprintf(stderr, "kicad_sch_bench: read %zu parts of %ld\n", parts, n);
            return 1;
        }
        double freshTokenise = 1e300, freshRead = 1e300;
        for (int r = 0; r < std::min(runs, 11); ++r) {
            const double t = once("tokenise", file, tokens), p = once("read", file, parts);
            if (t < 0 || p < 0) {
                std::fprintf(stderr, "kicad_sch_bench: a fresh process failed\n");
                return 1;
            }
            freshTokenise = std::min(freshTokenise, t);
            freshRead = std::min(freshRead, p);
        }
        const double perSymbol = readIn / static_cast<double>(n);
        if (firstPerSymbol == 0)
            firstPerSymbol = perSymbol;
        std::printf("| %ld | %.1f | %.3f | %.3f | %.2f | %.2f | %.2f |\n", n,
            static_cast<double>(fs::file_size(file)) / 1e6, tokenised / static_cast<double>(n) * 1e6,
            perSymbol * 1e6, readIn / tokenised, perSymbol / firstPerSymbol, freshRead / freshTokenise);
        std::fflush(stdout);
    }
    fs::remove_all(dir);
    return 0;
}
