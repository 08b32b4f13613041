// How long `ravederi project from-kicad` takes on a KiCad netlist against
// `xmllint --noout` (Debian libxml2-utils) only parsing the same file, in
// the same run.
//
//   kicad_netlist_bench [PARTS]      default 100000 parts (about 30 MB)
//
// Ours: the whole command in a child process - the XML read, the devices
// formed, the project file written. Baseline: xmllint parsing the file and
// writing nothing. Each runs three times, alternating; the best time
// counts. The reading alone (readKicadNetlistDesign, in this process) is
// printed too.
#include "../bench_machine.h"
#include "kicad_netlist.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
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

double runProcess(std::vector<std::string> args)
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
    waitpid(pid, &status, 0);
    const double t = seconds(t0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed");
    return t;
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
        double ours = 1e9, baseline = 1e9;
        for (int round = 0; round < 3; ++round) {
            fs::remove(dir / "bench.dpz");
            ours = std::min(ours,
                runProcess({ (bin / "ravederi").string(), "project", "from-kicad", net.string(),
                    (dir / "bench.dpz").string() }));
            baseline = std::min(baseline, runProcess({ "xmllint", "--noout", net.string() }));
        }
        std::ifstream in(net, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const auto t0 = Clock::now();
        const auto design = rav::project::readKicadNetlistDesign(text.str(), net);
        const double reading = seconds(t0);
        std::printf("netlist: %ld parts (%zu read), %.1f MB\n", parts, design.parts.size(),
            static_cast<double>(fs::file_size(net)) / 1e6);
        std::printf("ours:     %.3f s (project from-kicad, whole command; the XML reading alone %.3f s)\n",
            ours, reading);
        std::printf("baseline: %.3f s (xmllint --noout)\n", baseline);
        std::printf("ratio ours/baseline: %.2f (target <= 1.5)\n", ours / baseline);
        fs::remove_all(dir);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "kicad_netlist_bench: " << e.what() << '\n';
        fs::remove_all(dir);
        return 1;
    }
}
