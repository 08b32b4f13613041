// The record editor opening a large EID: how long until the grid shows its
// first rows, and how long the jump to the last record takes, with the real
// windows drawn offscreen.
//
//   recedit_bench [RECORDS [SERVER_URI]]    default 1000000 records
//
// With a server URI (postgresql://USER@HOST:PORT/DB, a throwaway cluster of
// scripts/pg-cluster.sh will do) the same records go into a server EID
// too, and the editor is measured there against psql reading the same rows.
//
// Ours: the module window made as the main window makes it (the tool box
// with it), shown, and drawn once (QWidget::grab) - the first rows are then
// on screen; then the tool box's last-record button (">|"), and the grid
// drawn again with the last row current.
// Baseline, in the same run on the same file: SQLite alone opening the file
// and reading the first screenful of rows in the grid's order (the EIC),
// and then the last row of that order (ORDER BY ... DESC LIMIT 1, the
// cheapest way SQLite has to it).
#include "../bench_machine.h"
#include "data_grid_view.h"
#include "data_source.h"
#include "database.h"
#include "eid_format.h"
#include "frm_rec_edit.h"
#include "frm_tool_box.h"
#include "host_utility.h"
#include "modules.h"
#include "recordset.h"
#include "shell_services.h"
#include "shell_state.h"

#include <sqlite3.h>

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace
{

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::cerr << what << ": " << sqlite3_errmsg(db) << "\n";
        std::exit(1);
    }
}

// An EID of `records` rows: Code (the EIC), Description, Maker, Price.
void makeEid(const fs::path& file, long records)
{
    std::string error;
    if (!rav::eid::CreateEidDatabase(file.string(),
            { { "Code", 30 }, { "Description", 60 }, { "Maker", 20 }, { "Price", 10 } }, "Code", &error)) {
        std::cerr << "cannot create the EID: " << error << "\n";
        std::exit(1);
    }
    sqlite3* db = nullptr;
    check(sqlite3_open(file.c_str(), &db), db, "open");
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt* insert = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO Device (Code, Description, Maker, Price) VALUES (?, ?, ?, ?)",
              -1, &insert, nullptr),
        db, "prepare");
    const char* makers[] = { "Yageo", "Vishay", "Panasonic", "Bourns", "KOA" };
    char code[32], text[64], price[16];
    for (long i = 0; i < records; ++i) {
        std::snprintf(code, sizeof code, "RES-%07ld", i);
        std::snprintf(text, sizeof text, "Resistor %ld ohm 1%% 0603", (i * 7919) % 100000);
        std::snprintf(price, sizeof price, "%.3f", static_cast<double>(i % 997) / 1000.0);
        sqlite3_bind_text(insert, 1, code, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, text, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, makers[i % 5], -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 4, price, -1, SQLITE_TRANSIENT);
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
}

// The same records in a server EID: written by psql's \copy with the
// table's triggers off (the change history of a bulk load is not what is
// measured), then vacuumed and analysed, as autovacuum keeps a team's EID.
bool makeServerEid(const std::string& base, const std::string& schema, const fs::path& eidFile)
{
    const std::string name = base + "?schema=" + schema + "&table=Device";
    std::string error;
    if (!rav::eid::CreateEidDatabase(name,
            { { "Code", 30 }, { "Description", 60 }, { "Maker", 20 }, { "Price", 10 } }, "Code", &error)) {
        std::cerr << "cannot create the server EID: " << error << "\n";
        return false;
    }
    const fs::path csv = eidFile.parent_path() / "Device.csv";
    const std::string dump = "sqlite3 -csv '" + eidFile.string() + "' 'SELECT Code, Description, Maker, Price FROM Device ORDER BY rowid' > '" + csv.string() + "'";
    const std::string table = schema + ".\"Device\"";
    const std::string load = "psql -X -q -v ON_ERROR_STOP=1 '" + base + "' -c 'ALTER TABLE " + table
        + " DISABLE TRIGGER USER' -c '\\copy " + table + " (\"Code\", \"Description\", \"Maker\", \"Price\") FROM '\\''"
        + csv.string() + "'\\'' CSV' -c 'ALTER TABLE " + table + " ENABLE TRIGGER USER' -c 'VACUUM ANALYZE " + table
        + "' > /dev/null";
    return std::system(dump.c_str()) == 0 && std::system(load.c_str()) == 0;
}

// psql alone: the same two reads on the server, each a process of its own
// (its start-up included, as the editor's connection is in ours).
std::pair<double, double> serverBaseline(const std::string& base, const std::string& schema, int rows)
{
    const std::string table = schema + ".\"Device\"";
    auto run = [&](const std::string& sql) {
        const std::string cmd = "psql -X -q -v ON_ERROR_STOP=1 '" + base + "' -c '" + sql + "' > /dev/null";
        const auto t = Clock::now();
        return std::system(cmd.c_str()) == 0 ? seconds(t) : -1.0;
    };
    const double first = run("SELECT * FROM " + table + " ORDER BY \"Code\" LIMIT " + std::to_string(rows));
    const double last = run("SELECT * FROM " + table + " ORDER BY \"Code\" DESC LIMIT 1");
    return { first, last };
}

// SQLite alone: the first `rows` rows in EIC order, then the last one.
std::pair<double, double> baseline(const fs::path& file, int rows)
{
    const auto start = Clock::now();
    sqlite3* db = nullptr;
    check(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), db, "open");
    auto readAll = [db](const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        check(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), db, "prepare");
        long n = 0;
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                n += sqlite3_column_bytes(st, c);
        sqlite3_finalize(st);
        return n;
    };
    readAll("SELECT * FROM Device ORDER BY Code LIMIT " + std::to_string(rows));
    const double first = seconds(start);
    const auto jump = Clock::now();
    readAll("SELECT * FROM Device ORDER BY Code DESC LIMIT 1");
    const double last = seconds(jump);
    sqlite3_close(db);
    return { first, last };
}

struct Figures {
    double firstRows = 0; // seconds until the grid is drawn with its first rows
    double lastRow = 0; // seconds from ">|" until the grid is drawn on the last row
    int rowsInGrid = 0;
    int screenRows = 1;
    int lastRowIndex = -1; // the grid's current row after ">|"
    QString firstCode, lastCode;
};

// The module window made as the main window makes it (the tool box with
// it) over the EID named in the shell state, shown and drawn; then ">|".
Figures measure()
{
    Figures f;
    const auto start = Clock::now();
    auto* window = qobject_cast<rav::recedit::FrmRecEdit*>(
        rav::shell::CreateModuleWindow(rav::shell::ModuleKind::RecordEditor));
    if (!window) {
        std::cerr << "the record editor is not registered\n";
        std::exit(1);
    }
    window->show();
    QApplication::processEvents();
    (void)window->dbgRecEd()->grab();
    f.firstRows = seconds(start);
    f.rowsInGrid = window->dbgRecEd()->model()->rowCount({});
    f.firstCode = window->dbgRecEd()->model()->index(0, 0).data().toString();

    const auto jump = Clock::now();
    window->toolBox()->findChild<QTabWidget*>("tabMain")->setCurrentIndex(3);
    window->toolBox()->findChild<QPushButton*>("cmdMove_3")->click();
    QApplication::processEvents();
    (void)window->dbgRecEd()->grab();
    f.lastRow = seconds(jump);
    f.lastRowIndex = window->dbgRecEd()->table()->currentIndex().row();
    f.lastCode = window->dbgRecEd()->model()->index(f.lastRowIndex, 0).data().toString();
    f.screenRows = std::max(1,
        window->dbgRecEd()->table()->viewport()->height()
            / std::max(1, window->dbgRecEd()->table()->verticalHeader()->defaultSectionSize()));
    delete window;
    return f;
}

void report(const char* where, const Figures& f, const char* baseName, double baseFirst, double baseLast)
{
    std::printf("%-6s first rows shown:  %.3f s (goal 0.3 s)  %s %.4f s  ratio %.1f  [%s .. ; %d rows in "
                "the grid]\n",
        where, f.firstRows, baseName, baseFirst, f.firstRows / baseFirst, f.firstCode.toUtf8().constData(),
        f.rowsInGrid);
    std::printf("%-6s jump to last row:  %.3f s (goal 0.5 s)  %s %.4f s  ratio %.1f  [row %d, %s]\n", where,
        f.lastRow, baseName, baseLast, f.lastRow / baseLast, f.lastRowIndex, f.lastCode.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    rav::bench::printMachine();
    const long records = argc > 1 ? std::atol(argv[1]) : 1000000;
    // A scratch home: nothing of the user's settings is read or written.
    const fs::path dir = fs::temp_directory_path() / ("recedit_bench." + std::to_string(getpid()));
    fs::create_directories(dir / "tmp");
    for (const char* var : { "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME" })
        setenv(var, dir.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    rav::HostUtility::instance().setLanguage("en");
    rav::NullMessageSink quiet;
    rav::shell::SetMessageSink(&quiet);

    const fs::path eid = dir / "Part.eid";
    std::cout << "recedit_bench: " << records << " records\n";
    const auto made = Clock::now();
    makeEid(eid, records);
    std::cout << "EID written in " << seconds(made) << " s\n";

    auto& state = rav::shell::shellState();
    state.DBaseName = eid.string();
    state.TempDir = (dir / "tmp").string();
    state.LibDir = dir.string();

    // Where the time goes: the engine alone opening the grid's first query
    // (every record, in EIC order), with and without the default filter.
    for (const char* sql :
        { "SELECT * FROM Device WHERE [Device]![Code] Like \"*\" ORDER BY [Device]![Code];",
            "SELECT * FROM Device ORDER BY [Device]![Code];" }) {
        const auto t = Clock::now();
        rav::db::Database d = rav::db::Database::open(eid.string());
        rav::db::Recordset rs = d.openRecordset(sql);
        std::printf("engine record set:  %.3f s  %ld records  %s\n", seconds(t), rs.recordCount(), sql);
    }

    const Figures file = measure();
    const auto [sqliteFirst, sqliteLast] = baseline(eid, file.screenRows);
    report("file", file, "sqlite3", sqliteFirst, sqliteLast);
    bool ok = file.lastRowIndex == records - 1;

    if (argc > 2 && rav::db::isServerName(argv[2])) {
        const std::string base = argv[2];
        const std::string schema = "recedit_bench_" + std::to_string(getpid());
        const auto loaded = Clock::now();
        if (makeServerEid(base, schema, eid)) {
            std::cout << "server EID written in " << seconds(loaded) << " s\n";
            state.DBaseName = base + "?schema=" + schema + "&table=Device";
            const Figures server = measure();
            const auto [psqlFirst, psqlLast] = serverBaseline(base, schema, server.screenRows);
            report("server", server, "psql", psqlFirst, psqlLast);
            ok = ok && server.lastRowIndex == records - 1;
            const std::string drop = "psql -X -q '" + base + "' -c 'DROP SCHEMA " + schema + " CASCADE' > /dev/null";
            if (std::system(drop.c_str()) != 0)
                std::cerr << "schema " << schema << " was left on the server\n";
        } else {
            ok = false;
        }
    }
    rav::shell::SetMessageSink(nullptr);
    fs::remove_all(dir);
    if (!ok) {
        std::cerr << "the grid did not reach the last record\n";
        return 1;
    }
    return 0;
}
