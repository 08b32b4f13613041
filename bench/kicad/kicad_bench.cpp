// A KiCad netlist to a grouped CSV bill of materials: ours (`ravederi
// project from-kicad`, then `ravederi lom --group --format csv`) against
// KiBoM, an open BOM generator, run on the same generated netlist in the
// same run. Prints both processor times (user + system, so that other work
// on the machine does not count) and the ratio for each size.
//
//   kicad_bench [--kibom DIR] [PARTS ...]     default sizes 1000 10000 100000
//
// KiBoM is not part of this project: DIR is a copy of it to run
// (KiBOM_CLI.py inside; default $KIBOM_DIR, else shared/peers/kibom one or
// two folders above the source tree); without it only our times are printed.
// The netlist: resistors, capacitors and ICs over a few hundred values and
// footprints, each with an MPN field, as KiCad 5 writes them (with the
// libparts section KiBoM reads descriptions from). Everything is written in
// a fresh temporary folder, which is removed at the end.
#include "../bench_machine.h"
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace fs = std::filesystem;

namespace
{

struct Family {
    const char* prefix;
    const char* lib;
    const char* part;
    const char* description;
    std::vector<std::string> values;
    std::vector<std::string> footprints;
};

std::vector<Family> families()
{
    Family r { "R", "Device", "R", "Resistor", {}, { "Resistor_SMD:R_0402_1005Metric",
        "Resistor_SMD:R_0603_1608Metric", "Resistor_SMD:R_0805_2012Metric" } };
    for (const char* m : { "1", "2.2", "4.7", "10", "22", "47" })
        for (const char* d : { "", "0", "00", "k", "0k", "00k", "M" })
            r.values.push_back(std::string(m) + d);
    Family c { "C", "Device", "C", "Unpolarized capacitor", {}, { "Capacitor_SMD:C_0402_1005Metric",
        "Capacitor_SMD:C_0603_1608Metric", "Capacitor_SMD:C_1206_3216Metric" } };
    for (const char* m : { "1", "2.2", "4.7", "10", "22", "47", "100" })
        for (const char* u : { "p", "n", "u" })
            c.values.push_back(std::string(m) + u);
    Family u { "U", "MCU", "IC", "Integrated circuit", {}, { "Package_SO:SOIC-8_3.9x4.9mm_P1.27mm",
        "Package_QFP:LQFP-48_7x7mm_P0.5mm", "Package_TO_SOT_SMD:SOT-23-5" } };
    for (int k = 1; k <= 40; ++k)
        u.values.push_back("IC" + std::to_string(1000 + k * 7));
    return { r, c, u };
}

// Deterministic: the same sizes give the same netlists on every machine.
void writeNetlist(const fs::path& file, long parts)
{
    const auto fams = families();
    std::ofstream out(file, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<export version=\"D\">\n  <design>\n"
           "    <source>bench.sch</source>\n    <date>01/01/2024 12:00:00 PM</date>\n"
           "    <tool>Eeschema (5.1.5)-2</tool>\n"
           "    <sheet number=\"1\" name=\"/\" tstamps=\"/\">\n      <title_block>\n"
           "        <title>Bench</title>\n        <rev>A</rev>\n      </title_block>\n    </sheet>\n"
           "  </design>\n  <components>\n";
    std::vector<long> counts(fams.size(), 0);
    unsigned long seed = 12345;
    for (long i = 0; i < parts; ++i) {
        seed = seed * 6364136223846793005UL + 1442695040888963407UL;
        const std::size_t f = (seed >> 33) % 10 < 5 ? 0 : (seed >> 33) % 10 < 9 ? 1 : 2;
        const Family& fam = fams[f];
        const std::string& value = fam.values[(seed >> 40) % fam.values.size()];
        const std::size_t fp = (seed >> 20) % fam.footprints.size();
        const std::string& footprint = fam.footprints[fp];
        out << "    <comp ref=\"" << fam.prefix << ++counts[f] << "\">\n      <value>" << value
            << "</value>\n      <footprint>" << footprint << "</footprint>\n      <datasheet>~</datasheet>\n"
            << "      <fields>\n        <field name=\"MPN\">" << fam.prefix << "-" << value << "-" << fp
            << "</field>\n      </fields>\n      <libsource lib=\"" << fam.lib << "\" part=\"" << fam.part
            << "\" description=\"" << fam.description << "\"/>\n"
            << "      <sheetpath names=\"/\" tstamps=\"/\"/>\n      <tstamp>" << std::hex << (0x10000000 + i)
            << std::dec << "</tstamp>\n    </comp>\n";
    }
    out << "  </components>\n  <libparts>\n";
    for (const auto& fam : fams)
        out << "    <libpart lib=\"" << fam.lib << "\" part=\"" << fam.part << "\">\n      <description>"
            << fam.description << "</description>\n      <docs>~</docs>\n      <fields>\n"
            << "        <field name=\"Reference\">" << fam.prefix << "</field>\n        <field name=\"Value\">"
            << fam.part << "</field>\n      </fields>\n    </libpart>\n";
    out << "  </libparts>\n  <nets/>\n</export>\n";
}

double childCpu()
{
    rusage u {};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The processor time (user + system) the command took: on a machine shared
// with other work, wall-clock time would measure the neighbours too.
double seconds(const std::string& command)
{
    const double start = childCpu();
    const int rc = std::system((command + " >/dev/null 2>&1").c_str());
    if (rc != 0) {
        std::cerr << "failed (" << rc << "): " << command << '\n';
        return -1;
    }
    return childCpu() - start;
}

std::string q(const fs::path& p)
{
    return "'" + p.string() + "'";
}

} // namespace

int main(int argc, char** argv)
{
    rav::bench::printMachine();
    std::vector<long> sizes;
    fs::path kibom;
    if (const char* env = std::getenv("KIBOM_DIR"))
        kibom = env;
    else
        for (const char* up : { "..", "../.." })
            if (fs::exists(fs::path(RAV_SOURCE_DIR) / up / "shared/peers/kibom/KiBOM_CLI.py")) {
                kibom = fs::path(RAV_SOURCE_DIR) / up / "shared/peers/kibom";
                break;
            }
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--kibom" && i + 1 < argc)
            kibom = argv[++i];
        else
            sizes.push_back(std::atol(argv[i]));
    }
    if (sizes.empty())
        sizes = { 1000, 10000, 100000 };
    const fs::path tool = fs::path(RAV_BIN_DIR) / "ravederi";
    const bool withKibom = fs::exists(kibom / "KiBOM_CLI.py");
    if (!withKibom)
        std::cout << "KiBoM not found at " << kibom << " (--kibom DIR): our times only\n";

    char pattern[] = "/tmp/kicad_bench_XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    int status = 0;
    // An EID without records: every part is looked up, none found.
    if (seconds(tool.string() + " eid create " + q(dir / "e.eid") + " --field MPN:60 --eic MPN") < 0)
        status = 1;
    std::printf("%10s %12s %12s %12s %8s\n", "parts", "import cpu s", "lom cpu s", "KiBoM cpu s", "ratio");
    for (long n : sizes) {
        if (status)
            break;
        const fs::path net = dir / ("bench-" + std::to_string(n) + ".xml");
        writeNetlist(net, n);
        const double import
            = seconds(tool.string() + " project from-kicad " + q(net) + " " + q(dir / "p.dpz"));
        const double lom = seconds(tool.string() + " lom --project " + q(dir / "p.dpz") + " --eid "
            + q(dir / "e.eid")
            + " --group --field 'Component Value-P' --field Package-P --field 'External Index Code-P'"
              " --format csv --out "
            + q(dir / "ours.csv"));
        double theirs = 0;
        if (withKibom)
            theirs = seconds("cd " + q(dir) + " && python3 " + q(kibom / "KiBOM_CLI.py") + " " + q(net) + " "
                + q(dir / "kibom.csv"));
        if (import < 0 || lom < 0 || theirs < 0) {
            status = 1;
            break;
        }
        const double ours = import + lom;
        if (withKibom)
            std::printf("%10ld %12.3f %12.3f %12.3f %7.1fx\n", n, import, lom, theirs, theirs / ours);
        else
            std::printf("%10ld %12.3f %12.3f %12s %8s\n", n, import, lom, "-", "-");
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    std::cout << "ratio: KiBoM's time / ours (netlist to grouped CSV); above 1 means we are faster\n";
    return status;
}
