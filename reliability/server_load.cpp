// Many editors on one server EID: N client processes edit overlapping
// records for S seconds through record sets, as the record editor does.
// Each client saves "client/n" values; a save that meets someone else's
// change is refused (ConflictError) and counted. At the end the parent
// checks, from the EID and its history, that no committed save was lost:
//   - every save a client reports committed is in the history exactly once,
//   - the history holds no update that no client reports,
//   - each record holds the value of its last recorded update.
// Usage: server_load URI [CLIENTS] [SECONDS] [RECORDS]
// (URI: a fresh server EID name; the table is created).
#include "database.h"
#include "recordset.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace rav;

namespace
{

struct Counts {
    long committed = 0, refused = 0, failed = 0;
};

// One client: edits random records until the time is up; writes each
// committed value to `report`, one per line, then the counts.
int client(const std::string& uri, int id, int seconds, int records, const std::string& report)
{
    std::ofstream out(report);
    Counts n;
    try {
        db::Database db = db::Database::open(uri);
        db::Recordset rs = db.openRecordset("SELECT * FROM Device ORDER BY Code");
        std::mt19937 random(static_cast<unsigned>(id * 7919 + 1));
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        for (long k = 0; std::chrono::steady_clock::now() < end; ++k) {
            rs.setAbsolutePosition(static_cast<long>(random() % static_cast<unsigned>(records)));
            const std::string value = std::to_string(id) + "/" + std::to_string(k);
            try {
                rs.edit();
                rs.setValue("Name", db::Value(value));
                rs.update();
                out << value << '\n';
                ++n.committed;
            } catch (const db::ConflictError&) {
                rs.cancelUpdate();
                ++n.refused; // the next edit() reads their version
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "client " << id << ": " << e.what() << '\n';
        ++n.failed;
    }
    out << "# " << n.committed << ' ' << n.refused << ' ' << n.failed << '\n';
    return n.failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: server_load URI [CLIENTS] [SECONDS] [RECORDS]\n";
        return 2;
    }
    const std::string uri = argv[1];
    const int clients = argc > 2 ? std::atoi(argv[2]) : 16;
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 60;
    const int records = argc > 4 ? std::atoi(argv[4]) : 20;
    {
        db::Database db = db::Database::create(uri);
        db.createTable({ "Device", { { "Code", 10 }, { "Name", 20 } }, { { "ExtIndexCode", { "Code" }, true, true } } });
        db::Recordset rs = db.openRecordset("Device");
        for (int i = 0; i < records; ++i) {
            rs.addNew();
            char code[16];
            std::snprintf(code, sizeof code, "R%03d", i);
            rs.setValue("Code", db::Value(code));
            rs.update();
        }
    }
    const std::string dir = "/tmp/server_load." + std::to_string(getpid());
    std::system(("mkdir -p " + dir).c_str());
    std::vector<pid_t> children;
    for (int i = 0; i < clients; ++i) {
        const pid_t pid = fork();
        if (pid == 0)
            _exit(client(uri, i, seconds, records, dir + "/" + std::to_string(i)));
        children.push_back(pid);
    }
    int failedClients = 0;
    for (const pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        failedClients += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Counts total;
    std::set<std::string> reported;
    long duplicates = 0;
    for (int i = 0; i < clients; ++i) {
        std::ifstream in(dir + "/" + std::to_string(i));
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("# ", 0) == 0) {
                std::istringstream s(line.substr(2));
                Counts c;
                s >> c.committed >> c.refused >> c.failed;
                total.committed += c.committed;
                total.refused += c.refused;
                total.failed += c.failed;
            } else if (!reported.insert(line).second) {
                ++duplicates;
            }
        }
    }
    std::system(("rm -rf " + dir).c_str());

    // The history's updates and the records' last values.
    db::Database db = db::Database::open(uri);
    db::Statement h = db.prepare("SELECT \"row_id\", \"new_values\" ->> 'Name' FROM rav_history WHERE \"op\" = 'U' "
                                 "ORDER BY \"change\"");
    std::set<std::string> recorded;
    std::map<std::int64_t, std::string> lastByRow;
    long unreported = 0, twice = 0;
    while (h.step()) {
        const std::string v = h.column(1).value_or("");
        if (!recorded.insert(v).second)
            ++twice;
        if (!reported.count(v))
            ++unreported;
        lastByRow[h.columnInt(0)] = v;
    }
    long lost = 0;
    for (const auto& v : reported)
        lost += !recorded.count(v);
    long stale = 0;
    db::Statement now = db.prepare("SELECT rowid, Name FROM Device");
    while (now.step())
        stale += lastByRow.count(now.columnInt(0)) && now.column(1).value_or("") != lastByRow[now.columnInt(0)];

    std::cout << clients << " clients, " << seconds << " s, " << records << " records\n"
              << "committed saves   " << total.committed << '\n'
              << "refused (conflict) " << total.refused << '\n'
              << "history updates   " << recorded.size() << '\n'
              << "lost updates      " << lost << '\n'
              << "unreported in history " << unreported << ", recorded twice " << twice << ", reported twice "
              << duplicates << '\n'
              << "records not at their last update " << stale << '\n'
              << "failed clients    " << failedClients << '\n';
    const bool ok = lost == 0 && unreported == 0 && twice == 0 && duplicates == 0 && stale == 0
        && failedClients == 0 && static_cast<long>(recorded.size()) == total.committed;
    std::cout << (ok ? "OK" : "FAILED") << '\n';
    return ok ? 0 : 1;
}
