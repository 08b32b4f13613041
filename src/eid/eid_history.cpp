#include "eid_history.h"

#include "eid_format.h"
#include "eid_table.h"
#include "textcodec.h"

#include <chrono>
#include <map>
#include <thread>

namespace rav::eid
{

namespace
{

// The history's own column names are quoted: a bare word that happens to
// be the name of one of the EID's fields would be taken for that field.
db::Database OpenWithHistory(const std::string& eidName)
{
    db::Database db = db::Database::open(eidName, db::OpenMode::Shared);
    if (LatestChange(db) < 0)
        throw db::Error(eidName + " keeps no history: only an EID on a server does");
    return db;
}

// Row ids of the record that has or had EIC `code`.
std::vector<std::int64_t> RowsOf(db::Database& db, const std::string& eic, const std::string& code)
{
    db::Statement q = db.prepare(
        "SELECT DISTINCT \"row_id\" FROM rav_history WHERE \"tbl\" = ?1 AND lower(coalesce(\"new_values\" ->> ?2, "
        "\"old_values\" ->> ?2) COLLATE \"C\") = lower(?3 COLLATE \"C\") ORDER BY 1");
    q.bind(1, db::Value(kDeviceTable));
    q.bind(2, db::Value(eic));
    q.bind(3, db::Value(code));
    std::vector<std::int64_t> rows;
    while (q.step())
        rows.push_back(q.columnInt(0));
    return rows;
}

} // namespace

std::int64_t LatestChange(db::Database& db)
{
    if (db.backend() != db::Backend::Server)
        return -1;
    db::Statement has = db.prepare("SELECT to_regclass('rav_history') IS NOT NULL");
    if (!has.step() || has.column(0) != db::Value("t"))
        return -1;
    db::Statement q = db.prepare("SELECT coalesce(max(\"change\"), 0) FROM rav_history");
    return q.step() ? q.columnInt(0) : 0;
}

std::int64_t BeginStampedRead(db::Database& db, std::optional<db::Transaction>& read)
{
    for (int attempt = 0;; ++attempt) {
        read.emplace(db);
        if (db.backend() != db::Backend::Server)
            return -1;
        db.executeNative("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY");
        const std::int64_t change = LatestChange(db); // takes the snapshot
        if (change < 0)
            return change;
        // Transactions in flight when the snapshot was taken that have
        // written history (they hold its table until they end) or have
        // committed since (whatever they wrote).
        db::Statement inFlight = db.prepare(
            "SELECT \"count\"(*) FROM pg_snapshot_xip(pg_current_snapshot()) AS \"x\"(\"id\") "
            "WHERE pg_xact_status(\"x\".\"id\") = 'committed' OR EXISTS (SELECT 1 FROM pg_locks \"t\" "
            "JOIN pg_locks \"r\" ON \"r\".\"pid\" = \"t\".\"pid\" WHERE \"t\".\"locktype\" = 'transactionid' "
            "AND \"t\".\"transactionid\"::\"text\" = (\"x\".\"id\"::\"text\"::\"int8\" % 4294967296)::\"text\" "
            "AND \"r\".\"locktype\" = 'relation' AND \"r\".\"relation\" = to_regclass('rav_history') "
            "AND \"r\".\"mode\" = 'RowExclusiveLock')");
        const bool clean = inFlight.step() && inFlight.columnInt(0) == 0;
        inFlight.reset();
        // Under a constant stream of commits elsewhere on the server the
        // last snapshot is kept after a while: its stamp may then miss a
        // change made elsewhere in the same moment.
        if (clean || attempt == 2000)
            return change;
        read.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 20 ? 1 : 10));
    }
}

std::int64_t ChangeTime(db::Database& db, std::int64_t change)
{
    db::Statement q = db.prepare(
        "SELECT \"floor\"(\"date_part\"('epoch', \"at\"))::\"int8\" FROM rav_history WHERE \"change\" = ?1");
    q.bind(1, change);
    return q.step() ? q.columnInt(0) : 0;
}

std::vector<HistoryEntry> ReadHistory(const std::string& eidName, const std::string& code)
{
    db::Database db = OpenWithHistory(eidName);
    const db::TableDef def = db.tableDef(kDeviceTable);
    const std::string eic = EicFieldName(db);
    std::string filter;
    if (!code.empty()) {
        filter = " AND h.\"row_id\" IN (0";
        for (const std::int64_t id : RowsOf(db, eic, code))
            filter += "," + std::to_string(id); // numbers of our own making
        filter += ")";
    }
    // One row per change and field; the values stay Null where they were.
    db::Statement q = db.prepare(
        "SELECT h.\"change\", to_char(h.\"at\" AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'), h.\"who\", "
        "h.\"op\", coalesce(h.\"new_values\", h.\"old_values\") ->> ?2, k.key, h.\"old_values\" ->> k.key, "
        "h.\"new_values\" ->> k.key FROM rav_history h CROSS JOIN LATERAL "
        "jsonb_object_keys(coalesce(h.\"new_values\", h.\"old_values\")) AS k(key) WHERE h.\"tbl\" = ?1"
        + filter + " ORDER BY h.\"change\"");
    q.bind(1, db::Value(kDeviceTable));
    q.bind(2, db::Value(eic));
    std::vector<HistoryEntry> out;
    std::map<std::string, db::Value> before, after;
    auto flush = [&] {
        if (out.empty())
            return;
        for (const db::FieldDef& f : def.fields) {
            const db::Value& b = before[f.name];
            const db::Value& a = after[f.name];
            if (b != a || out.back().op != 'U')
                if (b || a)
                    out.back().fields.push_back({ f.name, b, a });
        }
        before.clear();
        after.clear();
    };
    while (q.step()) {
        const std::int64_t change = q.columnInt(0);
        if (out.empty() || out.back().change != change) {
            flush();
            HistoryEntry e;
            e.change = change;
            e.at = q.column(1).value_or("");
            e.who = q.column(2).value_or("");
            e.op = q.column(3).value_or("U").front();
            e.code = q.column(4).value_or("");
            out.push_back(std::move(e));
        }
        const std::string key = q.column(5).value_or("");
        before[key] = q.column(6);
        after[key] = q.column(7);
    }
    flush();
    return out;
}

std::int64_t RevertRecord(const std::string& eidName, const std::string& code, std::int64_t change)
{
    db::Database db = OpenWithHistory(eidName);
    const db::TableDef def = db.tableDef(kDeviceTable);
    const std::string eic = EicFieldName(db);
    const std::vector<std::int64_t> rows = RowsOf(db, eic, code);
    if (rows.empty())
        throw db::Error("no record with " + eic + " " + code + " in the history");
    if (change < 1 || change > LatestChange(db))
        throw db::Error("no change " + std::to_string(change) + " in the history");
    const std::int64_t before = LatestChange(db);
    db::Transaction tx(db);
    for (const std::int64_t row : rows) {
        // The record as it was after `change`: its last change up to then.
        db::Statement then = db.prepare(
            "SELECT h.\"op\", k.key, k.value FROM (SELECT \"op\", \"new_values\" FROM rav_history WHERE \"tbl\" = ?1 "
            "AND \"row_id\" = ?2 AND \"change\" <= ?3 ORDER BY \"change\" DESC LIMIT 1) h "
            "LEFT JOIN LATERAL jsonb_each_text(h.\"new_values\") AS k(key, value) ON true");
        then.bind(1, db::Value(kDeviceTable));
        then.bind(2, row);
        then.bind(3, change);
        bool existed = false;
        std::map<std::string, db::Value> values;
        while (then.step()) {
            existed = then.column(0) != db::Value("D");
            if (const db::Value key = then.column(1))
                values[*key] = then.column(2);
        }
        db::Statement now = db.prepare("SELECT count(*) FROM Device WHERE rowid = ?1");
        now.bind(1, row);
        const bool exists = now.step() && now.columnInt(0) > 0;
        if (!existed) {
            if (exists) {
                db::Statement del = db.prepare("DELETE FROM Device WHERE rowid = ?1");
                del.bind(1, row);
                del.step();
            }
            continue;
        }
        std::string names, marks, sets;
        for (std::size_t i = 0; i < def.fields.size(); ++i) {
            const std::string n = db::quoteIdent(def.fields[i].name);
            const std::string p = "?" + std::to_string(i + 2);
            names += "," + n;
            marks += "," + p;
            sets += (i ? "," : "") + n + "=" + p;
        }
        db::Statement write = db.prepare(exists
                ? "UPDATE Device SET " + sets + " WHERE rowid = ?1"
                : "INSERT INTO Device (rowid" + names + ") VALUES (?1" + marks + ")");
        write.bind(1, row);
        for (std::size_t i = 0; i < def.fields.size(); ++i)
            write.bind(static_cast<int>(i) + 2, values[def.fields[i].name]);
        write.step();
    }
    tx.commit();
    const std::int64_t after = LatestChange(db);
    return after > before ? after : 0;
}

} // namespace rav::eid
