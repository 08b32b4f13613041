// Times the EID import, export and range removal against the sqlite3 shell
// doing the same work on the same file and schema, in the same run, and
// prints the ratios (ours / sqlite3). Usage: eid_bench [lines] (default
// 200000; the target is measured at 1000000).
#include "../bench_machine.h"
#include "database.h"
#include "eid_export.h"
#include "eid_format.h"
#include "eid_import.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace
{

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Runs the sqlite3 shell with `script` on its standard input; returns the
// seconds it took, or a negative number when it failed.
double RunShell(const fs::path& db, const fs::path& scriptFile, const std::string& script)
{
    std::ofstream(scriptFile, std::ios::binary) << script;
    const std::string cmd = "sqlite3 -bail '" + db.string() + "' < '" + scriptFile.string() + "'";
    const auto t0 = Clock::now();
    const int rc = std::system(cmd.c_str());
    const double s = Seconds(t0);
    return rc == 0 ? s : -1;
}

long Count(const fs::path& db)
{
    rav::db::Database d = rav::db::Database::open(db.string());
    rav::db::Statement st = d.prepare("SELECT count(*) FROM Device");
    st.step();
    return static_cast<long>(st.columnInt(0));
}

const std::vector<rav::eid::EidField> kFields = { { "Code", 20 }, { "Name", 40 }, { "Value", 20 },
    { "Package", 30 }, { "Supplier", 30 }, { "Price", 10 } };

bool MakeEid(const fs::path& file)
{
    std::string why;
    if (!rav::eid::CreateEidDatabase(file.string(), kFields, "Code", &why)) {
        std::cerr << "cannot create " << file << ": " << why << "\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    rav::bench::printMachine();
    const long lines = argc > 1 ? std::atol(argv[1]) : 200000;
    if (lines <= 0) {
        std::cerr << "usage: eid_bench [lines]\n";
        return 2;
    }
    char tmpl[] = "/tmp/eid_bench_XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = tmpl;
    const fs::path text = dir / "Parts.txt";
    {
        std::ofstream out(text, std::ios::binary);
        char buf[256];
        for (long i = 0; i < lines; ++i) {
            const int n = std::snprintf(buf, sizeof buf,
                "P%08ld,Resistor %ld Ohm 1%%,%ldk,R_0603_1608Metric,Supplier %ld,%ld.%02ld\r\n",
                (i * 7919) % lines, i, i % 1000, i % 97, i % 50, i % 100);
            out.write(buf, n);
        }
    }
    std::cout << "lines: " << lines << " (" << fs::file_size(text) / 1024 << " KiB)\n";
    if (std::system("sqlite3 -version > /dev/null") != 0) {
        std::cerr << "the sqlite3 shell is needed for the baseline\n";
        return 1;
    }

    // Import: ours, then sqlite3's .import into a copy of the same empty EID.
    const fs::path ours = dir / "Ours.eid", theirs = dir / "Theirs.eid";
    if (!MakeEid(ours) || !MakeEid(theirs))
        return 1;
    rav::NullMessageSink messages;
    rav::NullProgressSink progress;
    rav::eid::ImportOptions in;
    in.eidFile = ours.string();
    in.textFile = text.string();
    in.tempDir = dir.string();
    auto t0 = Clock::now();
    const rav::eid::OperationResult ri = rav::eid::ImportTextFile(in, messages, progress);
    const double importOurs = Seconds(t0);
    if (!ri.completed || ri.added != lines) {
        std::cerr << "import failed: " << ri.failure << " (" << ri.added << " stored)\n";
        return 1;
    }
    const double importShell
        = RunShell(theirs, dir / "import.sql", ".mode csv\n.import '" + text.string() + "' Device\n");
    if (importShell < 0 || Count(theirs) != lines) {
        std::cerr << "sqlite3 .import failed\n";
        return 1;
    }

    // Export: every record, ours against .output of the same SELECT.
    rav::eid::ExportOptions ex { ours.string(), (dir / "Ours.txt").string(), ",", {} };
    t0 = Clock::now();
    const rav::eid::OperationResult re = rav::eid::ExportTextFile(ex, messages, progress);
    const double exportOurs = Seconds(t0);
    if (!re.completed || re.processed != lines) {
        std::cerr << "export failed: " << re.failure << "\n";
        return 1;
    }
    const double exportShell = RunShell(theirs, dir / "export.sql",
        ".mode list\n.separator , \"\\r\\n\"\n.output '" + (dir / "Theirs.txt").string()
            + "'\nSELECT * FROM Device ORDER BY rowid;\n");
    if (exportShell < 0 || fs::file_size(dir / "Theirs.txt") != fs::file_size(dir / "Ours.txt")) {
        std::cerr << "sqlite3 .output failed or wrote another size\n";
        return 1;
    }

    // Range removal of half the records in Code order.
    char startCode[32], endCode[32];
    std::snprintf(startCode, sizeof startCode, "P%08ld", lines / 4);
    std::snprintf(endCode, sizeof endCode, "P%08ld", lines / 4 + lines / 2 - 1);
    t0 = Clock::now();
    const rav::eid::OperationResult rr
        = rav::eid::RemoveRecords({ ours.string(), { "Code", startCode, endCode, "Code" } }, progress);
    const double removeOurs = Seconds(t0);
    if (!rr.completed || rr.processed != lines / 2) {
        std::cerr << "removal failed: " << rr.failure << " (" << rr.processed << ")\n";
        return 1;
    }
    const double removeShell = RunShell(theirs, dir / "remove.sql",
        std::string("DELETE FROM Device WHERE Code BETWEEN '") + startCode + "' AND '" + endCode + "';\n");
    if (removeShell < 0 || Count(theirs) != Count(ours)) {
        std::cerr << "sqlite3 DELETE failed or removed another count\n";
        return 1;
    }

    std::printf("import  ours %.3f s  sqlite3 .import %.3f s  ratio %.2f (target <= 1.5)\n", importOurs,
        importShell, importOurs / importShell);
    std::printf("export  ours %.3f s  sqlite3 .output %.3f s  ratio %.2f (target <= 1.5)\n", exportOurs,
        exportShell, exportOurs / exportShell);
    std::printf("removal of %ld in a range  ours %.3f s  sqlite3 DELETE %.3f s  ratio %.2f\n", lines / 2,
        removeOurs, removeShell, removeOurs / removeShell);
    fs::remove_all(dir);
    return 0;
}
