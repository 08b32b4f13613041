// How long the List of Materials takes - the temporary database build plus
// the LOM file - and how much memory it needs, against SQLite producing the
// same joined rows from the same data with one SQL statement, in the same run.
//
//   lom_bench [PARTS [EID_RECORDS]]      default 10000 parts, 100000 records
//   lom_bench 100000 1000000             the full size
//   lom_bench --group [PARTS [RECORDS]]  the grouped LOM instead (see below)
//   lom_bench --server URI [PARTS [RECORDS]]  the EID on a server, against psql
//
// Ours: open the project through the kernel (not timed: the host has it
// open), build the catalogue, build the temporary database (parts read
// through the kernel, their EID records looked up), write the LOM file (six
// fields sorted by component name).
// Baseline: the parts' attribute values in a plain SQLite table, the EID
// attached, one SELECT ... LEFT JOIN ... ORDER BY through the C API, and the
// same lines written to a file. Both files must be identical.
// With --server URI (a PostgreSQL database; the password as libpq finds it)
// the EID and the parts' table are loaded into a schema of their own there:
// ours builds the LOM from the server EID, and the baseline is `psql`
// running the same join on the server and writing the same lines.
// Each side runs in a child process of its own, alternating (and taking
// turns at going first), five to eleven times: as often as about four
// seconds of runs allow, since at small sizes one run is a few hundredths
// of a second and a shared machine's noise is as large. The best and the
// median time of each side are printed, and the ratios of both; beside
// them each side's least processor time over the same part of the run, for
// what the machine's other work does not blur. The peak resident memory of
// each side is its child's (wait4). The baseline reads no project file, so
// the kernel's share of our time is printed too.
// With --group, ours is the grouped LOM (equal EICs on one line: quantity,
// part names, device, code, description, price; lines in natural order of
// their first part) and the baseline one SELECT ... LEFT JOIN ... GROUP BY
// with group_concat, its names put in the same order and form by the same
// helper.
#include "../bench_machine.h"
#include "database.h"
#include "eid_format.h"
#include "lom_build.h"
#include "lom_catalogue.h"
#include "lom_output.h"
#include "lom_query.h"
#include "lom_table.h"
#include "project_model.h"
#include "project_parts.h"
#include "zareza2v.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <spawn.h>
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

// This process's processor time (user and system), which other work on a
// busy machine does not add to as it adds to the wall-clock time.
double cpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

long peakRssKb()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

std::string code(long i)
{
    return "CODE" + std::to_string(i);
}

void makeEid(const std::string& file, long records)
{
    std::string error;
    if (!rav::eid::CreateEidDatabase(file,
            { { "Code", 24 }, { "Description", 60 }, { "Manufacturer", 30 }, { "Price", 10 } }, "Code",
            &error))
        throw std::runtime_error(error);
    rav::db::Database eid = rav::db::Database::open(file, rav::db::OpenMode::Exclusive);
    rav::db::Transaction t(eid);
    rav::db::Statement ins = eid.prepare("INSERT INTO Device VALUES (?1, ?2, ?3, ?4)");
    for (long i = 0; i < records; ++i) {
        ins.bind(1, rav::db::Value(code(i)));
        ins.bind(2, rav::db::Value("Part number " + std::to_string(i) + " for the benchmark"));
        ins.bind(3, rav::db::Value(i % 2 ? "Maker A" : "Maker B"));
        ins.bind(4, rav::db::Value(std::to_string(i % 1000) + ".25"));
        ins.step();
        ins.reset();
    }
    t.commit();
}

// One device per four parts; every tenth device has a code without record.
rav::project::Project makeProject(long parts, long records)
{
    rav::project::Project p;
    p.name = "Bench";
    p.hierarchies = { "Main" };
    p.currentHierarchy = 0;
    p.symbols = { "R0603" };
    const long devices = std::max(1L, parts / 4);
    for (long d = 0; d < devices; ++d) {
        rav::project::Device dev;
        dev.name = "DEV" + std::to_string(d);
        dev.library = "bench.lib";
        dev.firstWord = "R0603";
        const std::string eic = d % 10 == 9 ? "MISSING" + std::to_string(d) : code((d * 7919) % records);
        dev.tokens = std::vector<std::string> { "Full name " + std::to_string(d), eic, "SIM" };
        p.devices.push_back(dev);
    }
    for (long i = 0; i < parts; ++i) {
        rav::project::Component c;
        char name[32];
        std::snprintf(name, sizeof name, "C%07ld", i);
        c.name = name;
        c.symbol = "R0603";
        c.device = "DEV" + std::to_string(i % devices);
        c.schematic
            = { { { { 8, std::to_string(i % 100) + "k" }, { 4, "description " + std::to_string(i) } } } };
        p.components.push_back(c);
    }
    return p;
}

void check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

// The parts' attribute values as the kernel gives them, in a plain table.
void makeBaselineTable(const rav::project::Project& p, const std::string& file)
{
    fs::remove(file);
    sqlite3* db = nullptr;
    check(sqlite3_open(file.c_str(), &db), db, "open");
    check(sqlite3_exec(db,
              "CREATE TABLE parts (PartName TEXT, FullName TEXT, Eic TEXT, SimRef TEXT, Package TEXT,"
              " CompName TEXT, Description TEXT, Value TEXT); BEGIN",
              nullptr, nullptr, nullptr),
        db, "create");
    sqlite3_stmt* ins = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO parts VALUES (?1,?2,?3,?4,?5,?6,?7,?8)", -1, &ins, nullptr), db,
        "prepare");
    std::map<std::string, const rav::project::Device*> byName;
    for (const auto& d : p.devices)
        byName[d.name] = &d;
    for (const auto& c : p.components) {
        const auto& d = *byName[c.device];
        const std::string values[8] = { d.name, (*d.tokens)[0], (*d.tokens)[1], (*d.tokens)[2], c.symbol,
            c.name, c.schematic[0].texts[1].text, c.schematic[0].texts[0].text };
        for (int k = 0; k < 8; ++k)
            sqlite3_bind_text(
                ins, k + 1, values[k].c_str(), static_cast<int>(values[k].size()), SQLITE_TRANSIENT);
        check(sqlite3_step(ins), db, "insert");
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
}

// The server side of --server: the EID's name there, and psql.
std::string serverSchema(const fs::path& dir)
{
    return "lom_bench_" + dir.filename().string().substr(std::string("lom_bench_").size());
}
std::string serverEid(const std::string& base, const fs::path& dir)
{
    return base + "?schema=" + serverSchema(dir) + "&table=Device";
}
void psql(const std::string& base, const fs::path& script, const std::string& out = "/dev/null")
{
    const std::string cmd = "psql -X -q -At -v ON_ERROR_STOP=1 '" + base + "' -f '" + script.string() + "' -o '"
        + out + "'";
    if (std::system(cmd.c_str()) != 0)
        throw std::runtime_error("psql failed: " + cmd);
}
std::string csv(const std::string& v)
{
    std::string out = "\"";
    for (const char ch : v)
        out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return out + "\"";
}

// The same EID records and parts' values on the server, loaded with psql's
// \copy (the EID's history trigger set aside: loading is not measured).
void loadServer(const std::string& base, const fs::path& dir, const rav::project::Project& p, long records)
{
    std::string error;
    const std::string eid = serverEid(base, dir);
    if (!rav::eid::CreateEidDatabase(eid,
            { { "Code", 24 }, { "Description", 60 }, { "Manufacturer", 30 }, { "Price", 10 } }, "Code", &error))
        throw std::runtime_error(error);
    {
        std::ofstream out(dir / "eid.csv", std::ios::binary);
        for (long i = 0; i < records; ++i)
            out << code(i) << ",Part number " << i << " for the benchmark," << (i % 2 ? "Maker A" : "Maker B") << ','
                << i % 1000 << ".25\n";
        std::ofstream parts(dir / "parts.csv", std::ios::binary);
        std::map<std::string, const rav::project::Device*> byName;
        for (const auto& d : p.devices)
            byName[d.name] = &d;
        for (const auto& c : p.components) {
            const auto& d = *byName[c.device];
            parts << csv(d.name) << ',' << csv((*d.tokens)[0]) << ',' << csv((*d.tokens)[1]) << ','
                  << csv((*d.tokens)[2]) << ',' << csv(c.symbol) << ',' << csv(c.name) << ','
                  << csv(c.schematic[0].texts[1].text) << ',' << csv(c.schematic[0].texts[0].text) << '\n';
        }
    }
    const std::string s = serverSchema(dir);
    std::ofstream(dir / "load.sql")
        << "ALTER TABLE " << s << ".\"Device\" DISABLE TRIGGER USER;\n"
        << "\\copy " << s << ".\"Device\" (\"Code\", \"Description\", \"Manufacturer\", \"Price\") FROM '"
        << (dir / "eid.csv").string() << "' WITH (FORMAT csv)\n"
        << "ALTER TABLE " << s << ".\"Device\" ENABLE TRIGGER USER;\n"
        << "CREATE TABLE " << s << ".parts (PartName public.citext COLLATE \"C\", FullName public.citext COLLATE \"C\","
        << " Eic public.citext COLLATE \"C\", SimRef public.citext COLLATE \"C\", Package public.citext COLLATE \"C\","
        << " CompName public.citext COLLATE \"C\", Description public.citext COLLATE \"C\","
        << " Value public.citext COLLATE \"C\");\n"
        << "\\copy " << s << ".parts FROM '" << (dir / "parts.csv").string() << "' WITH (FORMAT csv)\n"
        << "ANALYZE " << s << ".\"Device\";\nANALYZE " << s << ".parts;\n";
    psql(base, dir / "load.sql");
    // The baseline's one statement: the same join, the same lines (psql
    // ends each with a line feed; the carriage return comes from here).
    std::ofstream(dir / "join.sql")
        << "SELECT concat(' ', row_number() OVER (ORDER BY p.CompName), ',', p.PartName, ',', p.CompName, ',',"
        << " p.Value, ',', e.\"Code\", ',', e.\"Description\", ',', e.\"Price\", chr(13)) FROM " << s
        << ".parts p LEFT JOIN " << s << ".\"Device\" e ON e.\"Code\" = p.Eic ORDER BY p.CompName;\n";
}

void dropServerSchema(const std::string& base, const fs::path& dir)
{
    if (base.empty())
        return;
    std::ofstream(dir / "drop.sql") << "SET client_min_messages = warning;\nDROP SCHEMA IF EXISTS " << serverSchema(dir) << " CASCADE;\n";
    try {
        psql(base, dir / "drop.sql");
    } catch (const std::exception& e) {
        std::cerr << "lom_bench: " << e.what() << '\n';
    }
}

// One statement: the parts joined with the EID, sorted, written as LOM lines.
void runBaseline(const std::string& partsDb, const std::string& eid, const std::string& out)
{
    sqlite3* db = nullptr;
    check(sqlite3_open_v2(partsDb.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), db, "open");
    check(sqlite3_exec(db, ("ATTACH '" + eid + "' AS eid").c_str(), nullptr, nullptr, nullptr), db, "attach");
    sqlite3_stmt* q = nullptr;
    check(sqlite3_prepare_v2(db,
              "SELECT p.PartName, p.CompName, p.Value, e.Code, e.Description, e.Price FROM parts p"
              " LEFT JOIN eid.Device e ON e.Code = p.Eic ORDER BY p.CompName COLLATE NOCASE",
              -1, &q, nullptr),
        db, "prepare");
    std::FILE* f = std::fopen(out.c_str(), "wb");
    std::string line;
    long n = 0;
    int rc;
    while ((rc = sqlite3_step(q)) == SQLITE_ROW) {
        line = " " + std::to_string(++n);
        for (int k = 0; k < 6; ++k) {
            line += ',';
            if (const auto* t = sqlite3_column_text(q, k))
                line += reinterpret_cast<const char*>(t);
        }
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), f);
    }
    check(rc, db, "step");
    std::fclose(f);
    sqlite3_finalize(q);
    sqlite3_close(db);
}

// One statement grouping the joined rows; the part names of a line go
// through the same naturally sorting range helper as ours.
void runGroupedBaseline(const std::string& partsDb, const std::string& eid, const std::string& out)
{
    sqlite3* db = nullptr;
    check(sqlite3_open_v2(partsDb.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), db, "open");
    check(sqlite3_exec(db, ("ATTACH '" + eid + "' AS eid").c_str(), nullptr, nullptr, nullptr), db, "attach");
    sqlite3_stmt* q = nullptr;
    check(
        sqlite3_prepare_v2(db,
            "SELECT count(*), group_concat(p.CompName, char(31)), p.PartName, e.Code, e.Description, e.Price"
            " FROM parts p LEFT JOIN eid.Device e ON e.Code = p.Eic"
            " GROUP BY CASE WHEN trim(p.Eic) <> '' THEN 'E' || p.Eic ELSE 'V' || p.Value || char(31) ||"
            " p.Package END ORDER BY min(p.CompName)",
            -1, &q, nullptr),
        db, "prepare");
    std::FILE* f = std::fopen(out.c_str(), "wb");
    std::string line;
    std::vector<std::string> names;
    long n = 0;
    int rc;
    while ((rc = sqlite3_step(q)) == SQLITE_ROW) {
        line = " " + std::to_string(++n) + "," + std::to_string(sqlite3_column_int64(q, 0)) + ",";
        names.clear();
        const std::string all = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
        for (std::size_t from = 0;;) {
            const std::size_t sep = all.find('\x1f', from);
            names.push_back(all.substr(from, sep == std::string::npos ? sep : sep - from));
            if (sep == std::string::npos)
                break;
            from = sep + 1;
        }
        line += rav::lom::partRanges(names);
        for (int k = 2; k < 6; ++k) {
            line += ',';
            if (const auto* t = sqlite3_column_text(q, k))
                line += reinterpret_cast<const char*>(t);
        }
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), f);
    }
    check(rc, db, "step");
    std::fclose(f);
    sqlite3_finalize(q);
    sqlite3_close(db);
}

// Ours, grouped: the lines from the temporary database the build wrote.
long writeGrouped(const std::string& tempDb, int fieldCount, const std::string& out)
{
    using rav::lom::ColumnSource;
    rav::lom::TableOptions o;
    o.group = true;
    o.columns
        = { { "Quantity", { ColumnSource::Kind::Quantity } }, { "Parts", { ColumnSource::Kind::Parts } },
              { "Part-P", { ColumnSource::Kind::Field, 1 } }, { "Code-D", { ColumnSource::Kind::Field, 9 } },
              { "Description-D", { ColumnSource::Kind::Field, 10 } },
              { "Price-D", { ColumnSource::Kind::Field, 12 } } };
    return rav::lom::WriteLomFromDatabase({ tempDb, fieldCount, {}, 9 }, o, { rav::lom::LomFormat::Text, "," }, out)
        .lines;
}

std::string slurp(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// One side, once, in this (child) process; prints its seconds, and for
// ours the kernel's share and the peak memory once the project was open.
int runChild(const std::string& side, bool grouped, const fs::path& dir, const std::string& server)
{
    const std::string eid = server.empty() ? (dir / "bench.eid").string() : serverEid(server, dir);
    const std::string out = (dir / (side + ".txt")).string();
    if (side == "baseline") {
        const auto t0 = Clock::now();
        const double cpu0 = cpuSeconds();
        if (!server.empty())
            psql(server, dir / "join.sql", out);
        else if (grouped)
            runGroupedBaseline((dir / "parts.db").string(), eid, out);
        else
            runBaseline((dir / "parts.db").string(), eid, out);
        std::printf("%.6f %.6f 0 0\n", seconds(t0), cpuSeconds() - cpu0);
        return 0;
    }
    if (Z_OpenProject((dir / "bench.dpz").string().c_str()) == 0)
        throw std::runtime_error(Z_LastError());
    const long rssOpen = peakRssKb();

    // Ours, as `ravederi lom` does it: a server EID is opened once for the
    // catalogue and the build.
    const auto t0 = Clock::now();
    const double cpu0 = cpuSeconds();
    rav::lom::FieldCatalogue catalogue;
    std::optional<rav::db::Database> open;
    if (!server.empty())
        open = rav::db::Database::open(eid, rav::db::OpenMode::Shared);
    if (open)
        rav::lom::BuildLomCatalogue(catalogue, *open);
    else
        rav::lom::BuildLomCatalogue(catalogue, eid);
    rav::NullProgressSink progress;
    rav::NullMessageSink messages;
    rav::lom::BuildOptions options { eid, dir.string(), catalogue.size() };
    options.eid = open ? &*open : nullptr;
    const auto built = rav::lom::BuildLomDatabase(options, progress, messages);
    if (!built.built)
        throw std::runtime_error("build failed: " + built.error);
    if (grouped) {
        writeGrouped(built.tempDbName, catalogue.size(), out);
    } else {
        const auto query = rav::lom::makeQueryString(catalogue, { { 1, 6, 8, 9, 10, 12 }, 6, "," });
        const auto written = rav::lom::CreateLomFile(
            { built.tempDbName, query.sql, query.delimiter, out }, progress, messages);
        if (!written.complete)
            throw std::runtime_error("LOM file failed: " + written.error);
    }
    const double total = seconds(t0), cpu = cpuSeconds() - cpu0;
    rav::lom::DeleteTempDatabase(built.tempDbName);

    // The kernel's share: the same collection and detail reads alone, a
    // block at a time as the build reads them.
    const auto t1 = Clock::now();
    auto& pp = rav::kernel::ProjectParts::instance();
    rav::kernel::ProjectParts::LayoutCursor cursor;
    while (pp.CollectLayoutBlock(cursor, 2048))
        for (std::size_t i = 1; i <= pp.PartList().Count(); ++i)
            pp.ReadPartDetails(i);
    const double kernel = seconds(t1);
    Z_CloseProject();
    std::printf("%.6f %.6f %.6f %ld\n", total, cpu, kernel, rssOpen);
    return 0;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct ChildRun {
    double seconds = 0, cpu = 0, kernel = 0;
    long rssOpenKb = 0; // ours: peak once the project was open
    long peakRssKb = 0; // the child's peak, from wait4
};

// Runs this program with `args`; its first line of output is read as
// "SECONDS CPU_SECONDS KERNEL_SECONDS RSS_OPEN_KB".
ChildRun spawnChild(const std::string& self, std::vector<std::string> args)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    args.insert(args.begin(), self);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        throw std::runtime_error("cannot start " + self);
    }
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    ChildRun run;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0
        || std::sscanf(text.c_str(), "%lf %lf %lf %ld", &run.seconds, &run.cpu, &run.kernel, &run.rssOpenKb) != 4)
        throw std::runtime_error("the run " + args[1] + " " + args[2] + " failed");
    run.peakRssKb = usage.ru_maxrss;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    if ((argc == 5 || argc == 6) && std::string(argv[1]) == "--setup") {
        const fs::path dir = argv[2];
        const long records = std::atol(argv[4]);
        makeEid((dir / "bench.eid").string(), records);
        const rav::project::Project project = makeProject(std::atol(argv[3]), records);
        rav::project::writeDpz(project, (dir / "bench.dpz").string());
        makeBaselineTable(project, (dir / "parts.db").string());
        if (argc == 6)
            loadServer(argv[5], dir, project, records);
        std::printf("0 0 0 0\n");
        return 0;
    }
    if ((argc == 5 || argc == 6) && std::string(argv[1]) == "--child") {
        try {
            return runChild(argv[2], std::string(argv[3]) == "group", argv[4], argc == 6 ? argv[5] : "");
        } catch (const std::exception& e) {
            std::cerr << "lom_bench child: " << e.what() << '\n';
            return 1;
        }
    }
    rav::bench::printMachine();
    std::string server;
    if (argc > 2 && std::string(argv[1]) == "--server") {
        server = argv[2];
        argc -= 2;
        argv += 2;
    }
    const bool grouped = argc > 1 && std::string(argv[1]) == "--group";
    if (grouped) {
        --argc;
        ++argv;
    }
    if (grouped && !server.empty()) {
        std::cerr << "lom_bench: --group does not go with --server\n";
        return 2;
    }
    // Arguments of a child: the server's URI last, when there is one.
    auto withServer = [&server](std::vector<std::string> args) {
        if (!server.empty())
            args.push_back(server);
        return args;
    };
    const long parts = argc > 1 ? std::atol(argv[1]) : 10000;
    const long records = argc > 2 ? std::atol(argv[2]) : 100000;
    if (parts < 1 || records < 1) {
        std::cerr << "usage: lom_bench [--group] [PARTS [EID_RECORDS]]\n";
        return 2;
    }
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const fs::path dir = fs::temp_directory_path() / ("lom_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    try {
        // The files are made by a child too: a child's peak memory counts
        // its parent's at the time it started, so the parent stays small.
        std::cout << "setting up " << parts << " parts, " << records << " EID records ..." << std::endl;
        spawnChild(self, withServer({ "--setup", dir.string(), std::to_string(parts), std::to_string(records) }));

        // The machine may be busy with other work: the sides alternate,
        // each going first in every other round, so a burst of other work
        // falls on both alike.
        constexpr int kMinRounds = 5, kMaxRounds = 11;
        constexpr double kRoundsBudget = 4.0; // seconds
        ChildRun ours, baseline;
        ours.seconds = baseline.seconds = ours.cpu = baseline.cpu = 1e9;
        std::vector<double> oursTimes, baselineTimes;
        const auto started = Clock::now();
        for (int round = 0;
             round < kMaxRounds && (round < kMinRounds || seconds(started) < kRoundsBudget); ++round) {
            for (int turn = 0; turn < 2; ++turn) {
                const bool oursNow = (turn == 0) == (round % 2 == 0);
                const ChildRun r = spawnChild(self,
                    withServer({ "--child", oursNow ? "ours" : "baseline", grouped ? "group" : "plain", dir.string() }));
                ChildRun& side = oursNow ? ours : baseline;
                (oursNow ? oursTimes : baselineTimes).push_back(r.seconds);
                if (r.seconds < side.seconds) {
                    side.seconds = r.seconds;
                    side.kernel = r.kernel;
                }
                side.cpu = std::min(side.cpu, r.cpu);
                side.peakRssKb = std::max(side.peakRssKb, r.peakRssKb);
                side.rssOpenKb = std::max(side.rssOpenKb, r.rssOpenKb);
            }
        }
        const double oursMedian = median(oursTimes), baselineMedian = median(baselineTimes);
        const std::string oursText = slurp((dir / "ours.txt").string());
        const bool same = oursText == slurp((dir / "baseline.txt").string());
        const long lines = static_cast<long>(std::count(oursText.begin(), oursText.end(), '\n'));

        std::printf("SQLite %s\n", sqlite3_libversion());
        std::printf("%s LOM, %ld parts x %ld EID records: %ld lines, files identical: %s\n",
            grouped ? "grouped" : "classic", parts, records, lines, same ? "yes" : "NO");
        std::printf("runs: %zu of each side, alternating\n", oursTimes.size());
        std::printf("ours:     best %.3f s, median %.3f s (kernel reads about %.3f s of the best)\n", ours.seconds,
            oursMedian, ours.kernel);
        std::printf("baseline: best %.3f s, median %.3f s (%s, one SELECT ... LEFT JOIN ... %s, same lines)\n",
            baseline.seconds, baselineMedian, server.empty() ? "sqlite3" : "psql on the server",
            grouped ? "GROUP BY" : "ORDER BY");
        std::printf("ratio ours/baseline: %.2f of the bests, %.2f of the medians (target <= %s)\n",
            ours.seconds / baseline.seconds, oursMedian / baselineMedian, server.empty() ? "1.0" : "1.5");
        // A server's join runs in the server's processes, not in the child.
        if (server.empty())
            std::printf("processor time, least: ours %.3f s, baseline %.3f s, ratio %.2f (no disk waits in it)\n",
                ours.cpu, baseline.cpu, ours.cpu / baseline.cpu);
        std::printf("peak RSS: ours %ld KiB (%ld KiB of it with the project open, before the build),"
                    " baseline %ld KiB\n",
            ours.peakRssKb, ours.rssOpenKb, baseline.peakRssKb);
        std::printf("ratio peak RSS ours/baseline: %.2f (target <= 1.5)\n",
            static_cast<double>(ours.peakRssKb) / static_cast<double>(baseline.peakRssKb));
        dropServerSchema(server, dir);
        fs::remove_all(dir);
        return same ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "lom_bench: " << e.what() << '\n';
        dropServerSchema(server, dir);
        fs::remove_all(dir);
        return 1;
    }
}
