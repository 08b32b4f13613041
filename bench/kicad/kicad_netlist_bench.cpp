// How long `ravederi project from-kicad` takes on a KiCad netlist against
// `xmllint --noout` (Debian libxml2-utils) only parsing the same file, in
// the same run.
//
//   kicad_netlist_bench [PARTS]      default 100000 parts (about 30 MB)
//
// Ours: the whole command in a child process - the XML read, the devices
// formed, the project file written. Baseline: xmllint parsing the file and
// writing nothing. Each runs three times, alternating; the best time
// counts. Times are the child's CPU time (user + system), since on a machine
// others share wall time measures them too; the wall-clock ratio is printed
// beside it. The reading alone (readKicadNetlistDesign, in this process,
// CPU time) is printed too.
#include "../bench_machine.h"
#include "kicad_netlist.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace
{

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// A netlist as KiCad writes it: one <comp> per part with value, footprint,
// fields, library source, sheet path and time stamp; one value per 40
// parts and a code field per value.
void makeNetlist(const fs::path& file, long parts)
{
    std::ofstream out(file, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<export version=\"E\">\n  <design>\n"
           "    <source>/home/user/bench/bench.kicad_sch</source>\n    <tool>Eeschema 7.0.0</tool>\n"
           "  </design>\n  <components>\n";
    for (long i = 0; i < parts; ++i) {
        const long v = i / 40;
        out << "    <comp ref=\"R" << i + 1 << "\">\n      <value>" << v % 1000 << "k</value>\n"
            << "      <footprint>Resistor_SMD:R_0603_1608Metric</footprint>\n      <fields>\n"
            << "        <field name=\"Manufacturer\">Maker " << v % 7 << "</field>\n"
            << "        <field name=\"MPN\">RC0603FR-07" << v << "L</field>\n      </fields>\n"
            << "      <libsource lib=\"Device\" part=\"R\" description=\"Resistor\"/>\n"
            << "      <sheetpath names=\"/\" tstamps=\"/\"/>\n      <tstamps>" << std::hex << 0x10000000 + i
            << std::dec << "</tstamps>\n    </comp>\n";
    }
    out << "  </components>\n</export>\n";
}

struct Times {
    double wall = 1e9, cpu = 1e9;
    void keepBest(const Times& t)
    {
        wall = std::min(wall, t.wall);
        cpu = std::min(cpu, t.cpu);
    }
};

double cpuSeconds()
{
    timespec t {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

Times runProcess(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto t0 = Clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + args[0]);
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    const double wall = seconds(t0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed");
    const auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return { wall, sec(usage.ru_utime) + sec(usage.ru_stime) };
}

} // namespace

int main(int argc, char** argv)
{
    rav::bench::printMachine();
    const long parts = argc > 1 ? std::atol(argv[1]) : 100000;
    const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
    const fs::path dir = fs::temp_directory_path() / ("kicad_netlist_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path net = dir / "bench.xml";
    try {
        makeNetlist(net, parts);
        Times ours, baseline;
        for (int round = 0; round < 3; ++round) {
            fs::remove(dir / "bench.dpz");
            ours.keepBest(runProcess({ (bin / "ravederi").string(), "project", "from-kicad", net.string(),
                (dir / "bench.dpz").string() }));
            baseline.keepBest(runProcess({ "xmllint", "--noout", net.string() }));
        }
        std::ifstream in(net, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const std::string xml = text.str();
        double reading = 1e9;
        std::size_t read = 0;
        for (int round = 0; round < 3; ++round) {
            const double t0 = cpuSeconds();
            read = rav::project::readKicadNetlistDesign(xml, net).parts.size();
            reading = std::min(reading, cpuSeconds() - t0);
        }
        std::printf("netlist: %ld parts (%zu read), %.1f MB\n", parts, read,
            static_cast<double>(fs::file_size(net)) / 1e6);
        std::printf("ours:     %.3f s CPU, %.3f s wall (project from-kicad, whole command; the XML reading "
                    "alone %.3f s CPU)\n",
            ours.cpu, ours.wall, reading);
        std::printf("baseline: %.3f s CPU, %.3f s wall (xmllint --noout)\n", baseline.cpu, baseline.wall);
        std::printf("ratio ours/baseline: %.2f CPU, %.2f wall; reading alone %.2f (target <= 1.5)\n",
            ours.cpu / baseline.cpu, ours.wall / baseline.wall, reading / baseline.cpu);
        fs::remove_all(dir);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "kicad_netlist_bench: " << e.what() << '\n';
        fs::remove_all(dir);
        return 1;
    }
}
