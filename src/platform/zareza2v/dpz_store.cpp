#include "dpz_store.h"

#include <array>
#include <cstring>
#include <fstream>
#include <sqlite3.h>
#include <system_error>
#include <unistd.h>

namespace rav::dpz
{

namespace
{

// The schema of a project file, version 2.
//
// Every text of the design data is a BLOB of Windows-1252 bytes (device texts
// carry the separator byte 0x80, which is not UTF-8). The order in which the
// project lists hierarchies, symbols, devices, components, schematic
// components and text items is the order of their ids.
//
//   project        the one row (id 1): the design database's name and its
//                  current hierarchy (NULL when it has none)
//   hierarchy      the hierarchies (sheets) of the design
//   symbol         layout symbols (footprints); names are unique
//   device         library devices: unique name, `library` (the text the
//                  kernel hands out at word +8 of a device record) and the
//                  device text "FIRSTWORD tok1<0x80>tok2<0x80>tok3"
//   component      placed layout components, each with an optional symbol
//                  and device
//   sch_component  the schematic components (gates) of a layout component
//   text_item      the texts attached to a schematic component, with their
//                  mask bits (4: description, 8: value)
//   string_entry   the kernel's string table, name -> value
//   system_table   the kernel's system tables as raw bytes; table 12 holds
//                  the help-follow flag at byte 2044
//   write_back     (version 2) one row per journalled write-back of device
//                  texts, newest last, with the UTC time it was made
//   write_back_change  the device texts one write-back replaced: the device,
//                  its text before and after; written in the same
//                  transaction as the change itself, so that undo always
//                  finds what a committed write-back changed
constexpr const char* kSchemaSql = R"sql(
CREATE TABLE hierarchy (
    id   INTEGER PRIMARY KEY,
    name BLOB NOT NULL
);
CREATE TABLE project (
    id                INTEGER PRIMARY KEY CHECK (id = 1),
    name              BLOB NOT NULL,
    current_hierarchy INTEGER REFERENCES hierarchy(id)
);
CREATE TABLE symbol (
    id   INTEGER PRIMARY KEY,
    name BLOB NOT NULL UNIQUE
);
CREATE TABLE device (
    id      INTEGER PRIMARY KEY,
    name    BLOB NOT NULL UNIQUE,
    library BLOB NOT NULL,
    text    BLOB NOT NULL CHECK (length(text) <= 1023)
);
CREATE TABLE component (
    id     INTEGER PRIMARY KEY,
    name   BLOB NOT NULL,
    symbol INTEGER REFERENCES symbol(id),
    device INTEGER REFERENCES device(id)
);
CREATE TABLE sch_component (
    id        INTEGER PRIMARY KEY,
    component INTEGER NOT NULL REFERENCES component(id)
);
CREATE INDEX sch_component_by_component ON sch_component(component, id);
CREATE TABLE text_item (
    id            INTEGER PRIMARY KEY,
    sch_component INTEGER NOT NULL REFERENCES sch_component(id),
    mask          INTEGER NOT NULL,
    text          BLOB NOT NULL
);
CREATE INDEX text_item_by_sch_component ON text_item(sch_component, id);
CREATE TABLE string_entry (
    name  BLOB PRIMARY KEY,
    value BLOB NOT NULL
) WITHOUT ROWID;
CREATE TABLE system_table (
    number INTEGER PRIMARY KEY,
    data   BLOB NOT NULL
);
)sql";

constexpr const char* kJournalSql = R"sql(
CREATE TABLE IF NOT EXISTS write_back (
    id   INTEGER PRIMARY KEY,
    made TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS write_back_change (
    id         INTEGER PRIMARY KEY,
    write_back INTEGER NOT NULL REFERENCES write_back(id),
    device     INTEGER NOT NULL REFERENCES device(id),
    old_text   BLOB NOT NULL,
    new_text   BLOB NOT NULL
);
CREATE INDEX IF NOT EXISTS write_back_change_by_write_back ON write_back_change(write_back, id);
)sql";

constexpr const char* kJournalShapeProbe = R"sql(
SELECT
 (SELECT count(*) FROM (SELECT id, made FROM write_back)),
 (SELECT count(*) FROM (SELECT id, write_back, device, old_text, new_text FROM write_back_change))
)sql";

// Every table and column the readers rely on; a file missing one of them is
// not a project of this version, whatever its application id says.
constexpr const char* kShapeProbe = R"sql(
SELECT
 (SELECT count(*) FROM (SELECT id, name, current_hierarchy FROM project)),
 (SELECT count(*) FROM (SELECT id, name FROM hierarchy)),
 (SELECT count(*) FROM (SELECT id, name FROM symbol)),
 (SELECT count(*) FROM (SELECT id, name, library, text FROM device)),
 (SELECT count(*) FROM (SELECT id, name, symbol, device FROM component)),
 (SELECT count(*) FROM (SELECT id, component FROM sch_component)),
 (SELECT count(*) FROM (SELECT id, sch_component, mask, text FROM text_item)),
 (SELECT count(*) FROM (SELECT name, value FROM string_entry)),
 (SELECT count(*) FROM (SELECT number, data FROM system_table))
)sql";

std::string quoted(const std::filesystem::path& file)
{
    return "\"" + file.string() + "\"";
}

std::string engineMessage(sqlite3* db)
{
    return db ? sqlite3_errmsg(db) : "out of memory";
}

std::int64_t pragmaInt(sqlite3* db, const char* pragma)
{
    Statement s(db, pragma);
    return s.step() ? s.integer(0) : 0;
}

} // namespace

void DbCloser::operator()(sqlite3* db) const
{
    sqlite3_close_v2(db);
}

Statement::Statement(sqlite3* db, std::string_view sql)
    : db_(db)
{
    if (sqlite3_prepare_v3(
            db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr)
        != SQLITE_OK) {
        std::string message = engineMessage(db);
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        throw Error(message);
    }
}

Statement::Statement(Statement&& other) noexcept
    : stmt_(other.stmt_)
    , db_(other.db_)
{
    other.stmt_ = nullptr;
}

Statement& Statement::operator=(Statement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = other.stmt_;
        db_ = other.db_;
        other.stmt_ = nullptr;
    }
    return *this;
}

Statement::~Statement()
{
    sqlite3_finalize(stmt_);
}

void Statement::bindBytes(int index, std::string_view bytes)
{
    // A zero-length blob must still be a blob, not NULL: pass a valid pointer.
    static const char empty = 0;
    sqlite3_bind_blob64(stmt_, index, bytes.empty() ? &empty : bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

void Statement::bindText(int index, std::string_view utf8)
{
    sqlite3_bind_text64(stmt_, index, utf8.data(), utf8.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void Statement::bindInt(int index, std::int64_t value)
{
    sqlite3_bind_int64(stmt_, index, value);
}

void Statement::bindNull(int index)
{
    sqlite3_bind_null(stmt_, index);
}

bool Statement::step()
{
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    std::string message = engineMessage(db_);
    sqlite3_reset(stmt_);
    throw Error(message);
}

void Statement::reset()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::string Statement::bytes(int column) const
{
    const void* data = sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
}

std::string_view Statement::view(int column) const
{
    const void* data = sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    return data ? std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size))
                : std::string_view();
}

std::int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Transaction::Transaction(sqlite3* db)
    : db_(db)
{
    exec(db_, "BEGIN IMMEDIATE");
    open_ = true;
}

Transaction::~Transaction()
{
    if (open_)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit()
{
    exec(db_, "COMMIT");
    open_ = false;
}

void exec(sqlite3* db, std::string_view sql)
{
    char* error = nullptr;
    const std::string text(sql);
    if (sqlite3_exec(db, text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : engineMessage(db);
        sqlite3_free(error);
        throw Error(message);
    }
}

Error damaged(const std::filesystem::path& file, const std::string& reason)
{
    return Error("The project file " + quoted(file) + " is damaged (" + reason + ").");
}

Db openProject(const std::filesystem::path& file)
{
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        throw Error("The project file " + quoted(file) + " does not exist.");
    if (!std::filesystem::is_regular_file(file, ec))
        throw Error(quoted(file) + " is not a project file (it is not a regular file).");

    // Look at the header before SQLite does, so that any other file gets the
    // plain "not a project" message instead of an engine error.
    {
        std::ifstream in(file, std::ios::binary);
        std::array<char, 16> magic {};
        in.read(magic.data(), magic.size());
        if (!in || std::memcmp(magic.data(), "SQLite format 3", 16) != 0)
            throw Error(quoted(file) + " is not a project file.");
    }

    const bool writable = ::access(file.c_str(), W_OK) == 0;
    sqlite3* raw = nullptr;
    const int flags = (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK)
        throw Error("Cannot open the project file " + quoted(file) + ": " + engineMessage(raw) + ".");
    sqlite3_extended_result_codes(raw, 1);
    // A damaged file must fail, not hang: never wait long for another writer.
    sqlite3_busy_timeout(raw, 2000);

    try {
        if (pragmaInt(raw, "PRAGMA application_id") != kApplicationId)
            throw Error(quoted(file) + " is not a project file (it is an SQLite database of another kind).");
        const std::int64_t version = pragmaInt(raw, "PRAGMA user_version");
        if (version > kSchemaVersion)
            throw Error("The project file " + quoted(file) + " was written by a newer program (format "
                + std::to_string(version) + ").");
        if (version < 1)
            throw damaged(file, "no format version");
        {
            Statement check(raw, "PRAGMA quick_check(1)");
            if (!check.step() || check.bytes(0) != "ok")
                throw damaged(file, check.bytes(0));
        }
        {
            Statement shape(raw, kShapeProbe);
            shape.step();
        }
        if (version >= 2) {
            Statement journal(raw, kJournalShapeProbe);
            journal.step();
        }
        {
            Statement one(raw, "SELECT count(*) FROM project");
            if (!one.step() || one.integer(0) != 1)
                throw damaged(file, "the project row is missing");
        }
        {
            Statement refs(raw, "PRAGMA foreign_key_check");
            if (refs.step())
                throw damaged(file,
                    "a row of table " + refs.bytes(0) + " refers to a missing row of table " + refs.bytes(2));
        }
    } catch (const Error& e) {
        const std::string what = e.what();
        // Our own sentences name the file already; engine messages do not.
        if (what.find(quoted(file)) != std::string::npos)
            throw;
        throw damaged(file, what);
    }
    exec(raw, "PRAGMA foreign_keys = ON");
    return db;
}

Db createProject(const std::filesystem::path& file)
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(
        file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK)
        throw Error("Cannot create the project file " + quoted(file) + ": " + engineMessage(raw) + ".");
    exec(raw, "PRAGMA application_id = " + std::to_string(kApplicationId));
    exec(raw, "PRAGMA user_version = " + std::to_string(kSchemaVersion));
    exec(raw, "PRAGMA foreign_keys = ON");
    exec(raw, kSchemaSql);
    exec(raw, kJournalSql);
    return db;
}

int schemaVersion(sqlite3* db)
{
    return static_cast<int>(pragmaInt(db, "PRAGMA user_version"));
}

void ensureJournal(sqlite3* db)
{
    if (schemaVersion(db) >= 2)
        return;
    exec(db, kJournalSql);
    exec(db, "PRAGMA user_version = 2");
}

} // namespace rav::dpz
