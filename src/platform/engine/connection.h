// Internal: the state a Database shares with its record sets and
// statements. Not part of the public interface.
#pragma once

#include "database.h"
#include "file_lock.h"

#include <sqlite3.h>

#include <map>
#include <set>
#include <string>
#include <unordered_map>

namespace rav::db
{

// One open SQLite connection plus the claim on its file.
// Invariant: a cached statement is never left stepping between calls; every
// user takes it through CachedStatement, which resets it on the way out.
struct Connection {
    sqlite3* db = nullptr;
    std::string path;
    OpenMode mode = OpenMode::Shared;
    detail::FileLock lock;
    int savepoints = 0; // number of Transaction objects created, for unique names

    struct Cached {
        sqlite3_stmt* stmt = nullptr;
        bool inUse = false;
    };
    std::unordered_map<std::string, Cached> cache; // native SQL -> prepared statement
    std::set<sqlite3_stmt**> statements; // user statements, finalized on close

    ~Connection();
    bool isOpen() const { return db != nullptr; }
    void requireOpen() const;
    void close();

    // Prepared statement for a native SQL text, kept for reuse.
    Cached& cached(const std::string& sql);
    // Throws Error built from the connection's last error; `context` says
    // what was being done.
    [[noreturn]] void fail(int rc, const std::string& context) const;
    void exec(const std::string& sql);
    void dropSchemaCache() { tableDefs.clear(); }

    std::map<std::string, TableDef> tableDefs; // folded name -> definition, filled on demand
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
    sqlite3_int64 integer(int column) const { return sqlite3_column_int64(entry_.stmt, column); }
    sqlite3_stmt* get() const { return entry_.stmt; }

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
// Reads a table definition from the schema. Throws Error when missing.
TableDef readTableDef(Connection& c, const std::string& name);

} // namespace rav::db
