// Internal: the state a Database shares with its record sets and
// statements. Not part of the public interface.
#pragma once

#include "database.h"
#include "file_lock.h"

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

namespace rav::db
{

namespace server
{
struct Stmt; // a statement on the server: translated SQL, bound values, the result
struct Link; // the libpq connection and what belongs to it
} // namespace server

// One open connection: a SQLite file plus the claim on it, or a table on a
// PostgreSQL server (Backend::Server), never both.
// Invariant: a cached statement is never left stepping between calls; every
// user takes it through CachedStatement, which resets it on the way out.
struct Connection {
    Backend backend = Backend::File;
    sqlite3* db = nullptr;
    std::shared_ptr<server::Link> pg; // Backend::Server
    std::string path;
    OpenMode mode = OpenMode::Shared;
    detail::FileLock lock;
    int savepoints = 0; // number of Transaction objects created, for unique names

    struct Cached {
        sqlite3_stmt* stmt = nullptr;
        std::shared_ptr<server::Stmt> pg; // Backend::Server
        bool inUse = false;
    };
    std::unordered_map<std::string, Cached> cache; // native SQL -> prepared statement
    std::set<sqlite3_stmt**> statements; // user statements, finalized on close

    Connection();
    ~Connection();
    bool isOpen() const;
    void requireOpen() const;
    void close();

    // Prepared statement for a native SQL text, kept for reuse.
    Cached& cached(const std::string& sql);
    // Throws Error built from the connection's last error; `context` says
    // what was being done.
    [[noreturn]] void fail(int rc, const std::string& context) const;
    void exec(const std::string& sql);
    void dropSchemaCache()
    {
        tableDefs.clear();
        names.clear();
    }

    // Rows changed by the last write; rows changed by this connection so
    // far (a stamp for caches); row id of the last added row.
    std::int64_t changes() const;
    std::int64_t totalChanges() const;
    std::int64_t lastInsertRowid() const;

    std::map<std::string, TableDef> tableDefs; // folded name -> definition, filled on demand
    std::map<std::string, std::string> names; // server: table and field names, lower case -> as stored
    const TableDef& tableDef(const std::string& name);
};

// Borrows a cached statement for the duration of one call.
class CachedStatement
{
public:
    CachedStatement(Connection& c, const std::string& sql);
    ~CachedStatement();
    CachedStatement(const CachedStatement&) = delete;
    CachedStatement& operator=(const CachedStatement&) = delete;

    void bind(int index, const Value& v);
    void bind(int index, sqlite3_int64 v);
    void bindAll(const std::vector<Value>& values, int first = 1);
    bool step(const char* context); // true: a row; false: done; throws on error
    Value text(int column) const;
    sqlite3_int64 integer(int column) const;

private:
    Connection& c_;
    Connection::Cached& entry_;
};

// Turns a constraint failure into a message that names the field.
std::string describeSqliteError(sqlite3* db, int rc);
// Checks a value against a field's rules before it is written, so that the
// message names the field and its size. Throws Error.
void checkValue(const FieldDef& field, const Value& v);
// Registers the dialect's Like function on a connection.
void registerLike(sqlite3* db);
// True when a Like pattern can match only the texts equal to it (no
// wildcard of any kind); then Like is an equality and may use an index.
bool likeIsPlainText(const std::string& pattern);
// Throws Error when a Like pattern is malformed (an unclosed '[').
void checkLikePattern(const std::string& pattern);
// The ORDER BY list of a set over `def` sorted by `orderBy` (may be empty),
// ties broken by row id.
std::string orderWithTies(const TableDef& def, const std::string& orderBy);
// True when an index of `def` starts with the field: a sort led by it can
// be read in order from the index, from any point on.
bool leadsAnIndex(const TableDef& def, const std::string& field);
// Reads a table definition from the schema. Throws Error when missing.
TableDef readTableDef(Connection& c, const std::string& name);
// The dialect's Like pattern as an anchored regular expression for the
// server's case-insensitive match operator. Throws Error like checkLikePattern.
std::string likeToRegex(const std::string& pattern);

// The PostgreSQL backend (server.cpp).
// What a look-up of many keys joins, the same on both backends: the
// table's and the key field's quoted names, and the record's fields as a
// select list (", rav_d.A, rav_d.B"). Fails when the field is not there.
struct LookupJoin {
    std::string table;
    std::string keyField;
    std::string columns;
};
LookupJoin lookupJoin(Connection& c, const std::string& table, const std::string& field);

namespace server
{
// Connects to the table a server name designates. `create`: the table
// must not exist yet; the schema and the server-side rules are set up.
std::shared_ptr<Connection> connect(const std::string& name, OpenMode mode, bool create);
void close(Connection& c);
bool connected(const Connection& c);
// Drops what connect(name, ..., true) and createTable made for that name.
void drop(const std::string& name);
void exec(Connection& c, const std::string& sql);
std::shared_ptr<Stmt> prepare(Connection& c, const std::string& nativeSql);
void bind(Stmt& s, int index, Value v);
bool step(Connection& c, Stmt& s, const char* context);
void reset(Stmt& s, bool clearBindings);
int columnCount(Connection& c, Stmt& s);
std::optional<std::string_view> column(const Stmt& s, int index);
TableDef readTableDef(Connection& c, const std::string& name);
std::vector<std::string> tableNames(Connection& c);
void createTable(Connection& c, const TableDef& def, const std::vector<bool>& required);
std::int64_t meta(Connection& c, const char* key);
// Whether the table's records carry versions (tables the engine created do).
bool versioned(Connection& c, const std::string& table);
void setMeta(Connection& c, const char* key, std::int64_t value);
void begin(Connection& c, const std::string& savepoint);
void commit(Connection& c, const std::string& savepoint);
void rollback(Connection& c, const std::string& savepoint);
// Database::lookupKeys on the server: one statement, the keys an array.
std::shared_ptr<Stmt> prepareLookup(
    Connection& c, const std::string& table, const std::string& field, const std::vector<std::string_view>& keys);
// BulkMerge's work on the server: a staging table filled with COPY, then
// the set-based merge into the table.
struct Merge;
std::shared_ptr<Merge> mergeBegin(Connection& c, const std::string& table, const std::string& keyField, bool overwrite);
void mergeAdd(Connection& c, Merge& m, std::int64_t tag, const std::vector<std::string_view>& values);
BulkMerge::Outcome mergeFinish(Connection& c, Merge& m, const BulkMerge::Progress& progress);
// Ends a COPY still open, so that the savepoint can be rolled back.
void mergeAbandon(Connection& c, Merge& m);
std::int64_t changes(const Connection& c);
std::int64_t totalChanges(const Connection& c);
std::int64_t lastInsertRowid(const Connection& c);
} // namespace server

} // namespace rav::db
