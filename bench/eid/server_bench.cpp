// A server EID against psql on the same server, in the same run: import of
// a text file (ours against psql's \copy into an identical empty EID, the
// same constraints and history triggers), export (ours against \copy of the
// same SELECT), and the time the record editor waits for its first rows.
// Prints the ratios (ours / psql).
// Usage: server_bench postgresql://USER@HOST:PORT/DB [LINES] (default 20000)
#include "database.h"
#include "eid_export.h"
#include "eid_format.h"
#include "eid_import.h"
#include "recordset.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
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

double Psql(const std::string& base, const std::string& command)
{
    const std::string cmd = "psql -X -q -v ON_ERROR_STOP=1 '" + base + "' -c '" + command + "' > /dev/null";
    const auto t0 = Clock::now();
    const int rc = std::system(cmd.c_str());
    return rc == 0 ? Seconds(t0) : -1;
}

const std::vector<rav::eid::EidField> kFields = { { "Code", 20 }, { "Name", 40 }, { "Value", 20 },
    { "Package", 30 }, { "Supplier", 30 }, { "Price", 10 } };

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || !rav::db::isServerName(argv[1])) {
        std::cerr << "usage: server_bench postgresql://USER@HOST:PORT/DB [LINES]\n";
        return 2;
    }
    const std::string base = argv[1];
    const long lines = argc > 2 ? std::atol(argv[2]) : 20000;
    char tmpl[] = "/tmp/server_bench_XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
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
    const std::string tag = "bench" + std::to_string(std::random_device {}() % 1000000);
    const std::string ours = base + "?schema=" + tag + "a&table=Device";
    const std::string theirs = base + "?schema=" + tag + "b&table=Device";
    std::string why;
    if (!rav::eid::CreateEidDatabase(ours, kFields, "Code", &why)
        || !rav::eid::CreateEidDatabase(theirs, kFields, "Code", &why)) {
        std::cerr << "cannot create the EIDs: " << why << '\n';
        return 1;
    }
    std::cout << "lines: " << lines << '\n';

    rav::NullMessageSink messages;
    rav::NullProgressSink progress;
    rav::eid::ImportOptions in;
    in.eidFile = ours;
    in.textFile = text.string();
    in.tempDir = dir.string();
    auto t0 = Clock::now();
    const auto ri = rav::eid::ImportTextFile(in, messages, progress);
    const double importOurs = Seconds(t0);
    const double importPsql = Psql(base,
        "\\copy " + tag + "b.\"Device\" (\"Code\", \"Name\", \"Value\", \"Package\", \"Supplier\", \"Price\") FROM '"
            + text.string() + "' WITH (FORMAT csv)");
    if (!ri.completed || ri.added != lines || importPsql < 0) {
        std::cerr << "import failed: " << ri.failure << '\n';
        return 1;
    }

    rav::eid::ExportOptions ex { ours, (dir / "Ours.txt").string(), ",", {} };
    t0 = Clock::now();
    const auto re = rav::eid::ExportTextFile(ex, messages, progress);
    const double exportOurs = Seconds(t0);
    const double exportPsql = Psql(base,
        "\\copy (SELECT \"Code\", \"Name\", \"Value\", \"Package\", \"Supplier\", \"Price\" FROM " + tag
            + "b.\"Device\" ORDER BY rowid) TO '" + (dir / "Theirs.txt").string() + "' WITH (FORMAT csv)");
    if (!re.completed || exportPsql < 0) {
        std::cerr << "export failed: " << re.failure << '\n';
        return 1;
    }

    // The record editor: open, take the key set, read the first screen. A
    // team's table has statistics (autovacuum gathers them after a bulk
    // load); without them the server sorts the keys instead of reading the
    // EIC index in order.
    Psql(base, "ANALYZE " + tag + "a.\"Device\"");
    t0 = Clock::now();
    double connect = 0, keys = 0;
    {
        rav::db::Database db = rav::db::Database::open(ours);
        connect = Seconds(t0);
        rav::db::Recordset rs = db.openRecordset("SELECT * FROM Device ORDER BY Code");
        keys = Seconds(t0) - connect;
        for (long p = 0; p < 40 && p < rs.recordCount(); ++p)
            rs.rowAt(p);
    }
    const double firstRows = Seconds(t0);

    std::printf("import  ours %.2f s  psql \\copy %.2f s  ratio %.2f\n", importOurs, importPsql,
        importOurs / importPsql);
    std::printf("export  ours %.2f s  psql \\copy %.2f s  ratio %.2f\n", exportOurs, exportPsql,
        exportOurs / exportPsql);
    std::printf("record editor first rows %.3f s (connect %.3f s, key set %.3f s, 40 rows %.3f s)\n", firstRows,
        connect, keys, firstRows - connect - keys);
    rav::db::removeDatabaseFile(ours);
    rav::db::removeDatabaseFile(theirs);
    fs::remove_all(dir);
    return 0;
}
