// A database file behind the DAO-like operations the editor relies on:
// create/open (shared or exclusive), table definitions, dynaset record sets
// over a table or a query in the editor's SQL dialect, and transactions.
//
// Threading: a Database and everything opened from it belong to one thread.
// Ownership: Database owns the SQLite connection and the file lock; record
// sets and statements share the connection and become unusable (they throw
// Error) once the database is closed.
#pragma once

#include "db_types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace rav::db
{

class Recordset;
class Statement;
struct Connection; // internal

enum class OpenMode {
    Shared, // coexists with other shared opens
    Exclusive, // fails while any other connection (this process or another) has the file
};

// Format versions a database is created with; recorded in the file.
enum class FormatVersion : int { Version30 = 30, Version40 = 40 };

// The collating locale the editor passes at creation (general sort order).
inline constexpr std::string_view kGeneralLocale = ";LANGID=0x0409;CP=1252;COUNTRY=0";

// True when a database name is a PostgreSQL connection URI
// (postgresql://user@host:port/dbname?table=Device) rather than a file.
// The URI's `table` names the table the name stands for and `schema`
// (default public) the schema that holds it; the rest goes to libpq, which
// also finds the password (~/.pgpass, a service file, PGPASSWORD).
bool isServerName(std::string_view name);
// A database name fit to show or keep (messages, settings): a server URI
// without the password it may carry; a file name as it is.
std::string nameWithoutPassword(const std::string& name);

class Database
{
public:
    Database(); // a closed database
    ~Database(); // closes
    Database(Database&&) noexcept;
    Database& operator=(Database&&) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Creates a new, empty database file and returns it open exclusively.
    // Fails when the file exists. For a server name: fails when the table
    // exists; sets up the schema and the server-side rules. The locale's LANGID and the version are
    // recorded in the file header; no table is added for them.
    static Database create(const std::string& path, std::string_view locale = kGeneralLocale,
        FormatVersion version = FormatVersion::Version30);
    // create() for a scratch file that nothing recovers after a crash (a
    // file that is always rebuilt): no journal file and no waiting for the
    // disk, from the header's first write on. Same header as create().
    static Database createScratch(const std::string& path);
    // Opens an existing database file. Fails when the file is missing, is
    // not a database, or the lock cannot be had.
    static Database open(const std::string& path, OpenMode mode = OpenMode::Shared);

    bool isOpen() const;
    void close(); // idempotent; closes every record set and statement opened from it
    // The name it was opened with; a server URI without any password in it.
    const std::string& path() const;
    OpenMode mode() const;
    Backend backend() const;

    // What create() recorded: the locale's language id (0 when the locale
    // had none) and the format version.
    int langId() const;
    int formatVersion() const;
    // The file's application id (0 when never set). EID files carry theirs.
    std::uint32_t applicationId() const;
    void setApplicationId(std::uint32_t id);

    // Schema. Text fields only; sizes and zero-length rules are enforced by
    // the file itself, so other writers cannot break them either.
    void createTable(const TableDef& def);
    void dropTable(const std::string& name);
    std::vector<std::string> tableNames() const;
    bool hasTable(const std::string& name) const;
    TableDef tableDef(const std::string& name) const; // throws when missing

    // A dynaset over a table name or a SELECT in the dialect.
    Recordset openRecordset(std::string_view tableNameOrSql);

    // A SELECT in the dialect read once, front to back, without a key set:
    // for writers that stream a whole set out. The statement's columns are
    // the select's, in its order; its rows come in the order a record set
    // over the same text has them (ties of the sort keys by row id).
    Statement prepareSelect(std::string_view dialectSelect);
    // The number of rows that SELECT gives.
    long countSelect(std::string_view dialectSelect);

    // Action statements in the dialect: DELETE FROM t [WHERE ...] and
    // UPDATE t SET col = "v" | Null [, ...] [WHERE ...]. Returns the number
    // of rows changed.
    long execute(std::string_view dialectSql);

    // Native SQL for bulk paths (PRAGMA, prepared inserts). Values are
    // bound, never pasted; see Statement. Written for SQLite; on a server the
    // engine maps what differs: ?N parameters, the hidden rowid column (a
    // real column there), COLLATE NOCASE (text columns compare without
    // regard to case anyway) and PRAGMA (tuning only, skipped).
    void executeNative(std::string_view sql);
    Statement prepare(std::string_view nativeSql);
    // The records of `table` whose `field` equals one of `keys` (without
    // regard to case), for readers that look many keys up at once: a
    // server answers in one round trip, a file in one statement, instead
    // of one per key. Column 0 is the key's position in `keys`, columns
    // 1... the record's fields in table order; rows in no particular order.
    Statement lookupKeys(const std::string& table, const std::string& field, const std::vector<std::string_view>& keys);
    // Rows changed by the last native write statement.
    std::int64_t changes() const;

    // For bulk paths that need the C API directly. Owned by the Database.
    // Null on a server.
    sqlite3* handle() const;

private:
    explicit Database(std::shared_ptr<Connection> c);
    std::shared_ptr<Connection> conn_;
    friend class Transaction;
    friend class BulkMerge;
};

// A native prepared statement. Binds are 1-based, columns 0-based.
class Statement
{
public:
    Statement();
    ~Statement();
    Statement(Statement&&) noexcept;
    Statement& operator=(Statement&&) noexcept;

    void bind(int index, const Value& value);
    void bind(int index, std::int64_t value);
    // Binds a text without copying it where the backend allows: `text` must
    // stay valid until the statement is stepped and reset. Never Null; an
    // empty view is the empty text.
    void bindView(int index, std::string_view text);
    // Runs one step: true while a row is available, false when done.
    // Constraint failures throw Error with a message naming the column.
    bool step();
    void reset(); // also clears the bindings
    int columnCount() const;
    Value column(int index) const;
    // A column of the current row without a copy; nullopt for Null. The
    // view is valid until the next step(), reset() or read of that column.
    std::optional<std::string_view> columnText(int index) const;
    std::int64_t columnInt(int index) const;
    sqlite3_stmt* handle() const; // null on a server

private:
    friend class Database;
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Many records written by a unique key in one pass, for imports into a
// server table (Backend::Server only): the rows stream to the server and
// are merged there by a few set-based statements, in a savepoint of their
// own. The outcome is what writing the rows one by one in tag order would
// give: a row whose key (compared without regard to case) exists, or came
// in an earlier row, is refused unless `overwrite`; with it, the record is
// overwritten by each such row in turn (each write a change of its own for
// the history), and the last one's values stay. An overwrite
// checks the record's version: a record someone else changed or deleted
// since the merge read it keeps their values, and its rows are refused with
// the difference. Any other refusal by the server throws Error from
// finish(), and nothing of the merge is kept.
class BulkMerge
{
public:
    struct Refusal {
        std::int64_t tag = 0;
        std::optional<ConflictError> conflict; // none: a duplicate key without overwrite
    };
    struct Outcome {
        std::int64_t added = 0; // rows stored as new records
        std::int64_t overwritten = 0; // rows stored over an existing record (or an earlier row)
        std::vector<Refusal> refused; // in tag order
    };
    BulkMerge(Database& db, const std::string& table, const std::string& keyField, bool overwrite);
    ~BulkMerge(); // abandons the merge unless finished
    BulkMerge(const BulkMerge&) = delete;
    BulkMerge& operator=(const BulkMerge&) = delete;
    // One row: a value per field of the table, in its order (never Null).
    // Tags rise from row to row.
    void add(std::int64_t tag, const std::vector<std::string_view>& values);
    // How far the server's writing is, in rows of the written steps: called
    // after each range of rows is written, `done` of `total`.
    using Progress = std::function<void(std::int64_t done, std::int64_t total)>;
    Outcome finish(const Progress& progress = {});

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// RAII transaction: rolled back on destruction unless committed. Nests
// (savepoints), so a bulk operation may run inside a caller's transaction.
class Transaction
{
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();
    void rollback();

private:
    std::shared_ptr<Connection> conn_;
    std::string name_;
    bool active_ = true;
};

// Deletes a database file (and its journal) unless a connection in this or
// another process has it open. Missing file: nothing to do. Throws Error.
// For a server name: drops the table it names and the engine's own table
// beside it, in one transaction.
void removeDatabaseFile(const std::string& path);
// Puts the closed database file `from` in the place of `to` in one rename,
// so that `to` is at every moment either the old file or the new one. Refused
// (Error) while a connection in this or another process has `to` open.
void replaceDatabaseFile(const std::string& from, const std::string& to);

} // namespace rav::db
