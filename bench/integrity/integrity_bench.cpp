// The integrity report and the suggestions against SQLite doing the same
// work, in the same run.
//
//   integrity_bench [PARTS [EID_RECORDS]]   default 10000 parts, 100000 records
//   integrity_bench 100000 1000000          the full size
//   integrity_bench PARTS RECORDS report    the report only (the FTS
//                                           baseline takes long at full size)
//
// Report. Ours: open the project through the kernel, read its devices and
// the EID's codes, find the five kinds of disagreement, format the text.
// Baseline: the devices in a plain SQLite table (made beforehand, as the
// kernel's reads have no SQL equivalent), the EID attached, one query per
// kind (NOT EXISTS, NOT IN, GROUP BY ... HAVING, the folded-code GROUP BY),
// every row fetched.
//
// Suggestions have no SQL equivalent; the closest honest one is SQLite's own
// ranked full-text search. Ours: read the EID's records, build the word
// index, rank the best three records for every device without a code.
// Baseline: fill an FTS5 table from the attached EID in one INSERT ...
// SELECT, then one MATCH ... ORDER BY bm25 LIMIT 3 query per device with the
// device's words ORed, less the words on more than 2% of the records (found
// through fts5vocab), which the suggestions do not walk either. Both sides are timed from the EID file on.
#include "../bench_machine.h"
#include "database.h"
#include "eid_format.h"
#include "integrity_report.h"
#include "project_model.h"
#include "suggestions.h"
#include "zareza2v.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
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

const char* const kValues[] = { "10", "12", "15", "18", "22", "27", "33", "39", "47", "56", "68", "82" };
const char* const kMultipliers[] = { "", "0", "00", "k", "0k", "00k", "M" };
const char* const kPackages[] = { "0402", "0603", "0805", "1206" };
const char* const kMakers[] = { "Yageo", "Vishay", "Panasonic", "Bourns", "KOA" };

std::string code(long i)
{
    return "CODE" + std::to_string(i);
}

std::string valueOf(long i)
{
    return std::string(kValues[i % 12]) + kMultipliers[(i / 12) % 7];
}

std::string packageOf(long i)
{
    return kPackages[(i / 84) % 4];
}

void makeEid(const std::string& file, long records)
{
    std::string error;
    if (!rav::eid::CreateEidDatabase(file,
            { { "Code", 24 }, { "Description", 60 }, { "Manufacturer", 30 }, { "Package", 10 } }, "Code", &error))
        throw std::runtime_error(error);
    rav::db::Database eid = rav::db::Database::open(file, rav::db::OpenMode::Exclusive);
    rav::db::Transaction t(eid);
    rav::db::Statement ins = eid.prepare("INSERT INTO Device VALUES (?1, ?2, ?3, ?4)");
    for (long i = 0; i < records; ++i) {
        ins.bind(1, rav::db::Value(code(i)));
        ins.bind(2, rav::db::Value("Resistor " + valueOf(i) + " " + packageOf(i) + " series " + std::to_string(i / 336)));
        ins.bind(3, rav::db::Value(kMakers[i % 5]));
        ins.bind(4, rav::db::Value(packageOf(i)));
        ins.step();
        ins.reset();
    }
    t.commit();
}

// One device per four parts. Of the devices, every tenth has no code, every
// tenth (shifted) a code without record, every fiftieth its code in lower
// case; the others use a record, whose value and package their parts carry.
rav::project::Project makeProject(long parts, long records)
{
    rav::project::Project p;
    p.name = "Bench";
    p.hierarchies = { "Main" };
    p.currentHierarchy = 0;
    for (const char* pk : kPackages)
        p.symbols.push_back(std::string("R_") + pk);
    const long devices = std::max(1L, parts / 4);
    std::vector<long> recordOf;
    for (long d = 0; d < devices; ++d) {
        const long r = (d * 7919) % records;
        recordOf.push_back(r);
        rav::project::Device dev;
        dev.name = "DEV" + std::to_string(d);
        dev.library = "bench.lib";
        dev.firstWord = "R_" + packageOf(r);
        std::string eic = code(r);
        if (d % 10 == 3)
            eic.clear();
        else if (d % 10 == 9)
            eic = "MISSING" + std::to_string(d);
        else if (d % 50 == 7)
            eic = "code" + std::to_string(r);
        dev.tokens = std::vector<std::string> { "Resistor", eic, "SIM" };
        p.devices.push_back(dev);
    }
    for (long i = 0; i < parts; ++i) {
        const long d = i % devices;
        rav::project::Component c;
        char name[32];
        std::snprintf(name, sizeof name, "R%07ld", i);
        c.name = name;
        c.symbol = "R_" + packageOf(recordOf[static_cast<std::size_t>(d)]);
        c.device = "DEV" + std::to_string(d);
        c.schematic = { { { { 8, valueOf(recordOf[static_cast<std::size_t>(d)]) }, { 4, "resistor" } } } };
        p.components.push_back(c);
    }
    return p;
}

void check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

// The devices as readProjectDevices gives them, in a plain table.
void makeDeviceTable(const std::vector<rav::integrity::ProjectDevice>& devices, const std::string& file)
{
    fs::remove(file);
    sqlite3* db = nullptr;
    check(sqlite3_open(file.c_str(), &db), db, "open");
    check(sqlite3_exec(db, "CREATE TABLE dev (name TEXT, eic TEXT, value TEXT, footprint TEXT); BEGIN", nullptr,
              nullptr, nullptr),
        db, "create");
    sqlite3_stmt* ins = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO dev VALUES (?1, ?2, ?3, ?4)", -1, &ins, nullptr), db, "prepare");
    for (const auto& d : devices) {
        const std::string* v[] = { &d.name, &d.eic, &d.value, &d.footprint };
        for (int k = 0; k < 4; ++k)
            sqlite3_bind_text(ins, k + 1, v[k]->c_str(), static_cast<int>(v[k]->size()), SQLITE_TRANSIENT);
        check(sqlite3_step(ins), db, "insert");
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
}

sqlite3* openWithEid(const std::string& devDb, const std::string& eid)
{
    sqlite3* db = nullptr;
    check(sqlite3_open(devDb.c_str(), &db), db, "open");
    check(sqlite3_exec(db, ("ATTACH '" + eid + "' AS eid").c_str(), nullptr, nullptr, nullptr), db, "attach");
    return db;
}

// Runs a query and appends every row to `out`; returns the row count.
long collect(sqlite3* db, const std::string& sql, std::string& out, const std::string& bind = {})
{
    sqlite3_stmt* q = nullptr;
    check(sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr), db, "prepare");
    if (!bind.empty())
        sqlite3_bind_text(q, 1, bind.c_str(), static_cast<int>(bind.size()), SQLITE_TRANSIENT);
    long rows = 0;
    int rc;
    while ((rc = sqlite3_step(q)) == SQLITE_ROW) {
        ++rows;
        for (int k = 0; k < sqlite3_column_count(q); ++k) {
            if (const auto* t = sqlite3_column_text(q, k))
                out += reinterpret_cast<const char*>(t);
            out += ' ';
        }
        out += '\n';
    }
    check(rc, db, "step");
    sqlite3_finalize(q);
    return rows;
}

// Rows per kind, in the report's order.
std::vector<long> baselineReport(const std::string& devDb, const std::string& eid)
{
    sqlite3* db = openWithEid(devDb, eid);
    std::string out;
    std::vector<long> rows;
    rows.push_back(collect(db,
        "SELECT name, eic FROM dev WHERE eic <> '' AND NOT EXISTS (SELECT 1 FROM eid.Device e WHERE e.Code = dev.eic)",
        out));
    rows.push_back(collect(db, "SELECT name FROM dev WHERE eic = ''", out));
    rows.push_back(collect(db, "SELECT Code FROM eid.Device WHERE Code NOT IN (SELECT eic FROM dev)", out));
    rows.push_back(collect(db,
        "SELECT lower(trim(value)), footprint, group_concat(DISTINCT eic) FROM dev WHERE trim(value) <> '' AND eic <> ''"
        " GROUP BY lower(trim(value)), footprint HAVING count(DISTINCT eic) > 1",
        out));
    rows.push_back(collect(db,
        "SELECT lower(replace(c, ' ', '')) k, group_concat(c) FROM (SELECT eic c FROM dev WHERE eic <> ''"
        " UNION SELECT Code FROM eid.Device) GROUP BY k HAVING count(*) > 1",
        out));
    sqlite3_close(db);
    return rows;
}

long baselineSuggest(const std::string& devDb, const std::string& eid,
    const std::vector<rav::integrity::ProjectDevice>& without)
{
    sqlite3* db = openWithEid(devDb, eid);
    check(sqlite3_exec(db,
              "DROP TABLE IF EXISTS temp.f; CREATE VIRTUAL TABLE temp.f USING fts5(text);"
              " INSERT INTO temp.f(rowid, text) SELECT rowid, Code || ' ' || Description || ' ' || Manufacturer"
              " || ' ' || Package FROM eid.Device",
              nullptr, nullptr, nullptr),
        db, "fts");
    // Words on more records than the suggestions walk are left out of the
    // query, as the suggestions leave them out of their walk: an OR over a
    // word every record has would make SQLite rank every record.
    std::set<std::string> common;
    {
        check(sqlite3_exec(db, "CREATE VIRTUAL TABLE temp.v USING fts5vocab('temp', 'f', 'row')", nullptr, nullptr,
                  nullptr),
            db, "vocab");
        std::string terms;
        collect(db,
            "SELECT term FROM temp.v WHERE doc > max(1000, (SELECT count(*) FROM eid.Device) / 50)", terms);
        std::istringstream in(terms);
        for (std::string t; in >> t;)
            common.insert(t);
    }
    std::string out;
    long rows = 0;
    for (const auto& d : without) {
        std::string match;
        for (const std::string& text : { d.name, d.fullName, d.value, d.footprint }) {
            std::string word;
            for (char c : text + " ") {
                if (std::isalnum(static_cast<unsigned char>(c))) {
                    word += c;
                } else if (!word.empty()) {
                    for (char& ch : word)
                        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
                    if (!common.count(word))
                        match += (match.empty() ? "\"" : " OR \"") + word + "\"";
                    word.clear();
                }
            }
        }
        if (match.empty())
            continue;
        rows += collect(db,
            "SELECT e.Code, bm25(f) FROM temp.f JOIN eid.Device e ON e.rowid = f.rowid WHERE f MATCH ?1"
            " ORDER BY bm25(f) LIMIT 3",
            out, match);
    }
    sqlite3_close(db);
    return rows;
}

} // namespace

int main(int argc, char** argv)
{
    rav::bench::printMachine();
    const long parts = argc > 1 ? std::atol(argv[1]) : 10000;
    const long records = argc > 2 ? std::atol(argv[2]) : 100000;
    const bool reportOnly = argc > 3 && std::string(argv[3]) == "report";
    if (parts < 1 || records < 1 || (argc > 3 && !reportOnly)) {
        std::cerr << "usage: integrity_bench [PARTS [EID_RECORDS [report]]]\n";
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("integrity_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string eid = (dir / "bench.eid").string();
    const std::string dpz = (dir / "bench.dpz").string();
    const std::string devDb = (dir / "devices.db").string();
    try {
        std::cout << "setting up " << parts << " parts, " << records << " EID records ...\n";
        makeEid(eid, records);
        rav::project::writeDpz(makeProject(parts, records), dpz);
        if (Z_OpenProject(dpz.c_str()) == 0)
            throw std::runtime_error(Z_LastError());
        const auto devices = rav::integrity::readProjectDevices();
        Z_CloseProject();
        makeDeviceTable(devices, devDb);
        std::vector<rav::integrity::ProjectDevice> without;
        for (const auto& d : devices)
            if (d.eic.empty())
                without.push_back(d);

        // The machine may be busy: each side runs three times, alternating,
        // and its best time counts.
        double ours = 1e9, baseline = 1e9, oursSuggest = 1e9, baselineSuggestTime = 1e9;
        std::vector<long> findings, baselineRows;
        std::size_t suggested = 0;
        long baselineSuggested = 0;
        for (int round = 0; round < (records > 200000 ? 1 : 3); ++round) {
            auto t0 = Clock::now();
            if (Z_OpenProject(dpz.c_str()) == 0)
                throw std::runtime_error(Z_LastError());
            const auto report = rav::integrity::checkIntegrity(
                rav::integrity::readProjectDevices(), rav::integrity::readEidRecords(eid, false));
            const std::string text = rav::integrity::formatReport(report, rav::integrity::Format::Text);
            Z_CloseProject();
            ours = std::min(ours, seconds(t0));
            findings.clear();
            for (auto kind : { rav::integrity::FindingKind::MissingRecord, rav::integrity::FindingKind::NoCode,
                     rav::integrity::FindingKind::UnusedRecord, rav::integrity::FindingKind::ConflictingCodes,
                     rav::integrity::FindingKind::CodeSpelling })
                findings.push_back(static_cast<long>(report.count(kind)));

            t0 = Clock::now();
            baselineRows = baselineReport(devDb, eid);
            baseline = std::min(baseline, seconds(t0));

            if (reportOnly)
                continue;
            t0 = Clock::now();
            {
                const auto records = rav::integrity::readEidRecords(eid, true);
                const rav::integrity::SuggestionIndex index(records);
                suggested = 0;
                for (const auto& d : without)
                    suggested += index.suggest(d, 3).size();
            }
            oursSuggest = std::min(oursSuggest, seconds(t0));

            t0 = Clock::now();
            baselineSuggested = baselineSuggest(devDb, eid, without);
            baselineSuggestTime = std::min(baselineSuggestTime, seconds(t0));
        }
        auto list = [](const std::vector<long>& v) {
            std::string s;
            for (long n : v)
                s += (s.empty() ? "" : "/") + std::to_string(n);
            return s;
        };
        std::printf("devices: %zu (%zu without code)   findings per kind: %s (baseline rows %s)\n", devices.size(),
            without.size(), list(findings).c_str(), list(baselineRows).c_str());
        std::printf("report   ours: %.3f s (kernel open and reads included)   baseline: %.3f s (sqlite3 queries"
                    " over a ready device table)   ratio %.2f (target <= 2.0)\n",
            ours, baseline, ours / baseline);
        if (!reportOnly)
            std::printf("suggest  ours: %.3f s (%zu suggestions)   baseline: %.3f s (FTS5 fill + bm25 query per"
                    " device, %ld rows)   ratio %.2f (target <= 2.0)\n",
            oursSuggest, suggested, baselineSuggestTime, baselineSuggested, oursSuggest / baselineSuggestTime);
    } catch (const std::exception& e) {
        std::cerr << "integrity_bench: " << e.what() << '\n';
        fs::remove_all(dir);
        return 1;
    }
    fs::remove_all(dir);
    return 0;
}
