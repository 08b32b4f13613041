// engine_bench [ROWS] [FINDS]: builds an EID of ROWS records (default
// 200,000), then times FINDS finds on the EIC field through a dynaset
// against the same look-ups as plain prepared statements of the SQLite C
// API, and prints the ratios. Also compares adding records through a
// record set with a prepared insert, both inside a transaction.
#include "../bench_machine.h"
#include "database.h"
#include "eid_format.h"
#include "recordset.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string code(long i)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "P%08ld", i);
    return buf;
}

} // namespace

int main(int argc, char** argv)
{
    rav::bench::printMachine();
    const long rows = argc > 1 ? std::atol(argv[1]) : 200000;
    const long finds = argc > 2 ? std::atol(argv[2]) : 20000;
    if (rows < 1 || finds < 1) {
        std::fprintf(stderr, "usage: engine_bench [ROWS] [FINDS]\n");
        return 2;
    }
    std::string tmpl = (std::filesystem::temp_directory_path() / "engine_bench.XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        return 1;
    const std::filesystem::path dir = tmpl;
    const std::string file = (dir / "bench.eid").string();
    int status = 0;
    try {
        std::string error;
        if (!rav::eid::CreateEidDatabase(
                file, { { "Code", 20 }, { "Name", 40 }, { "Price", 10 } }, "Code", &error))
            throw rav::db::Error(error);
        rav::db::Database db = rav::db::Database::open(file, rav::db::OpenMode::Exclusive);

        // Fill in shuffled code order, so that row id order and code order differ.
        std::vector<long> order(static_cast<std::size_t>(rows));
        for (long i = 0; i < rows; ++i)
            order[static_cast<std::size_t>(i)] = i;
        std::mt19937 rng(42);
        std::shuffle(order.begin(), order.end(), rng);
        auto start = Clock::now();
        {
            rav::db::Transaction t(db);
            rav::db::Statement insert
                = db.prepare("INSERT INTO Device (Code, Name, Price) VALUES (?1, ?2, ?3)");
            for (const long i : order) {
                insert.bind(1, rav::db::Value(code(i)));
                insert.bind(2, rav::db::Value("Part number " + std::to_string(i)));
                insert.bind(3, rav::db::Value(std::to_string(i % 1000) + ".50"));
                insert.step();
                insert.reset();
            }
            t.commit();
        }
        std::printf("built %ld records in %.2f s\n", rows, seconds(start));

        std::vector<std::string> targets;
        std::uniform_int_distribution<long> pick(0, rows - 1);
        for (long k = 0; k < finds; ++k)
            targets.push_back(code(pick(rng)));

        // Baseline: a prepared look-up that reads every column of the row.
        auto baseline = [&] {
            sqlite3_stmt* stmt = nullptr;
            sqlite3_prepare_v2(
                db.handle(), "SELECT Code, Name, Price FROM Device WHERE Code = ?", -1, &stmt, nullptr);
            std::size_t bytes = 0;
            const auto t0 = Clock::now();
            for (const auto& c : targets) {
                sqlite3_bind_text(stmt, 1, c.data(), static_cast<int>(c.size()), SQLITE_STATIC);
                if (sqlite3_step(stmt) == SQLITE_ROW)
                    for (int i = 0; i < 3; ++i)
                        bytes += static_cast<std::size_t>(sqlite3_column_bytes(stmt, i));
                sqlite3_reset(stmt);
            }
            const double s = seconds(t0);
            sqlite3_finalize(stmt);
            return std::make_pair(s, bytes);
        };
        auto engine = [&](const char* source) {
            rav::db::Recordset rs = db.openRecordset(source);
            std::size_t bytes = 0;
            long misses = 0;
            const auto t0 = Clock::now();
            for (const auto& c : targets) {
                if (!rs.findFirst("[Code] = \"" + c + "\"")) {
                    ++misses;
                    continue;
                }
                for (int i = 0; i < 3; ++i)
                    bytes += rs.value(i)->size();
            }
            const double s = seconds(t0);
            if (misses)
                throw rav::db::Error("finds missed existing codes");
            return std::make_pair(s, bytes);
        };

        auto base = baseline();
        auto mine = engine("Device");
        // Second rounds with warm caches; keep the better of each.
        base.first = std::min(base.first, baseline().first);
        mine.first = std::min(mine.first, engine("Device").first);
        if (base.second != mine.second)
            throw rav::db::Error("engine and baseline read different data");
        std::printf("%ld finds on the EIC, table dynaset: engine %.3f s, prepared SELECT %.3f s, ratio %.2f "
                    "(target <= 2)\n",
            finds, mine.first, base.first, mine.first / base.first);

        start = Clock::now();
        const auto sorted = engine("SELECT * FROM Device ORDER BY [Device]![Code]");
        std::printf("%ld finds on the EIC, sorted query dynaset (opening included %.3f s): ratio %.2f\n",
            finds, seconds(start), sorted.first / base.first);

        // Adding records: record set versus prepared insert, same count.
        const long adds = std::min<long>(rows, 50000);
        start = Clock::now();
        {
            rav::db::Transaction t(db);
            rav::db::Recordset rs = db.openRecordset("Device");
            for (long i = 0; i < adds; ++i) {
                rs.addNew();
                rs.setValue(0, rav::db::Value("N" + std::to_string(i)));
                rs.setValue(1, rav::db::Value("Added " + std::to_string(i)));
                rs.setValue(2, rav::db::Value("1.00"));
                rs.update();
            }
            t.commit();
        }
        const double viaSet = seconds(start);
        start = Clock::now();
        {
            rav::db::Transaction t(db);
            rav::db::Statement insert
                = db.prepare("INSERT INTO Device (Code, Name, Price) VALUES (?1, ?2, ?3)");
            for (long i = 0; i < adds; ++i) {
                insert.bind(1, rav::db::Value("M" + std::to_string(i)));
                insert.bind(2, rav::db::Value("Added " + std::to_string(i)));
                insert.bind(3, rav::db::Value("1.00"));
                insert.step();
                insert.reset();
            }
            t.commit();
        }
        const double viaInsert = seconds(start);
        std::printf("%ld adds in a transaction: record set %.3f s, prepared INSERT %.3f s, ratio %.2f\n",
            adds, viaSet, viaInsert, viaSet / viaInsert);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "engine_bench: %s\n", e.what());
        status = 1;
    }
    std::filesystem::remove_all(dir);
    return status;
}
