// Time and memory per part of the layout collection (CollectLayoutComponents
// plus ReadPartDetails for every record) as projects grow. Each size runs in
// a fresh child process, so its peak RSS is its own; a project with no parts
// is the memory baseline and the smallest size is the time baseline.
//
//   kernel_parts_bench [SIZES...]     default: 1000 10000 100000
#include "../bench_machine.h"
#include "project_model.h"
#include "project_parts.h"
#include "zareza2v.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// A board-like project: one device per ten parts, a handful of symbols, a
// value and a description on every part.
void makeProject(long parts, const std::string& file)
{
    rav::project::Project p;
    p.name = "BENCH";
    p.hierarchies = { "Main" };
    p.currentHierarchy = 0;
    for (int s = 0; s < 20; ++s)
        p.symbols.push_back("PKG" + std::to_string(s));
    const long devices = std::max(1L, parts / 10);
    for (long d = 0; d < devices; ++d) {
        rav::project::Device dev;
        dev.name = "DEV-" + std::to_string(d);
        dev.library = "bench.lib";
        dev.firstWord = "PKG" + std::to_string(d % 20);
        dev.tokens = std::vector<std::string> { "Device number " + std::to_string(d),
            "EIC-" + std::to_string(d), "SIM" };
        p.devices.push_back(std::move(dev));
    }
    for (long i = 0; i < parts; ++i) {
        rav::project::Component c;
        c.name = "X" + std::to_string(i + 1);
        c.symbol = "PKG" + std::to_string(i % 20);
        c.device = "DEV-" + std::to_string(i % devices);
        c.schematic.push_back(
            { { { 4, "Part description " + std::to_string(i) }, { 8, std::to_string(i % 97) + "k" } } });
        p.components.push_back(std::move(c));
    }
    rav::project::writeDpz(p, file);
}

// Child: open, collect, detail; print "openSeconds collectSeconds peakRssKb".
int measure(const std::string& file)
{
    auto start = Clock::now();
    if (!Z_OpenProject(file.c_str())) {
        std::fprintf(stderr, "%s\n", Z_LastError());
        return 1;
    }
    const double open = seconds(start);
    start = Clock::now();
    auto& parts = rav::kernel::ProjectParts::instance();
    parts.CollectLayoutComponents();
    for (std::size_t i = 1; i <= parts.PartList().Count(); ++i)
        parts.ReadPartDetails(i);
    const double collect = seconds(start);
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.6f %.6f %ld %zu\n", open, collect, usage.ru_maxrss, parts.PartList().Count());
    return 0;
}

struct Result {
    double open = 0, collect = 0;
    long rssKb = 0;
    std::size_t count = 0;
};

bool runChild(const std::string& self, const std::string& args, Result& r)
{
    const std::string command = "'" + self + "' " + args;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return false;
    const int n = std::fscanf(pipe, "%lf %lf %ld %zu", &r.open, &r.collect, &r.rssKb, &r.count);
    return pclose(pipe) == 0 && (args.rfind("--make", 0) == 0 || n == 4);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--make") {
        makeProject(std::atol(argv[2]), argv[3]);
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--measure")
        return measure(argv[2]);
    rav::bench::printMachine();

    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atol(argv[i]));
    if (sizes.empty())
        sizes = { 1000, 10000, 100000 };

    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    char dirTemplate[] = "/tmp/kernel-bench-XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (!dir)
        return 1;

    auto run = [&](long n, Result& r) {
        const std::string file = std::string(dir) + "/p" + std::to_string(n) + ".dpz";
        Result ignored;
        return runChild(self, "--make " + std::to_string(n) + " '" + file + "'", ignored)
            && runChild(self, "--measure '" + file + "'", r);
    };
    Result empty;
    if (!run(0, empty)) {
        std::fprintf(stderr, "kernel_parts_bench: the empty project failed\n");
        return 1;
    }
    std::printf(
        "layout collection + details per part (baseline: the first size; memory over an empty project)\n");
    std::printf("%10s %10s %12s %12s %10s %12s %10s\n", "parts", "open s", "collect s", "us/part", "ratio",
        "peak RSS KB", "KB/part");
    double baseline = 0;
    int status = 0;
    for (long n : sizes) {
        Result r;
        if (!run(n, r) || r.count != static_cast<std::size_t>(n)) {
            std::fprintf(stderr, "kernel_parts_bench: size %ld failed\n", n);
            status = 1;
            continue;
        }
        const double perPart = n > 0 ? (r.open + r.collect) / static_cast<double>(n) * 1e6 : 0;
        if (baseline == 0)
            baseline = perPart;
        const double kbPerPart
            = n > 0 ? static_cast<double>(r.rssKb - empty.rssKb) / static_cast<double>(n) : 0;
        std::printf("%10ld %10.4f %12.4f %12.3f %10.2f %12ld %10.3f\n", n, r.open, r.collect, perPart,
            baseline > 0 ? perPart / baseline : 0, r.rssKb, kbPerPart);
    }
    std::filesystem::remove_all(dir);
    return status;
}
