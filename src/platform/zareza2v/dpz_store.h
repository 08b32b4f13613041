// The project file (".dpz"): an SQLite database marked with our application
// id. This header and dpz_store.cpp are the one place that knows its schema;
// the kernel library and the project source tools both go through them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace rav::dpz
{

// "RvPj" in the file header's application id field, so that `file` and
// other tools can tell a project from any other SQLite database.
inline constexpr std::int32_t kApplicationId = 0x5276506a;
// Stored in user_version; a file with a higher number was written by a newer
// program and is refused rather than misread. Version 2 added the write-back
// journal; version 1 files still open and gain the journal on their first
// write.
inline constexpr int kSchemaVersion = 2;
// Longest device text, in bytes, that the kernel accepts.
inline constexpr std::size_t kMaxDeviceText = 1023;
// System table 12 holds the host's help-follow flag, a 32-bit little-endian
// word at this byte offset; the table is this many bytes long.
inline constexpr int kHelpTable = 12;
inline constexpr int kHelpFollowOffset = 2044;
inline constexpr int kSystemTableSize = 4096;

// Every failure of this layer: the message is a full sentence for the user.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct DbCloser {
    void operator()(sqlite3* db) const;
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

// A prepared statement, finalized with the object. Texts of the design data
// are Windows-1252 bytes and are bound and read as BLOBs, never as TEXT, so
// that SQLite never sees (or "fixes") non-UTF-8 bytes.
class Statement
{
public:
    Statement() = default;
    Statement(sqlite3* db, std::string_view sql);
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    explicit operator bool() const { return stmt_ != nullptr; }

    void bindBytes(int index, std::string_view bytes);
    void bindText(int index, std::string_view utf8);
    void bindInt(int index, std::int64_t value);
    void bindNull(int index);
    // True while a row is available; throws Error on failure.
    bool step();
    void reset();

    std::string bytes(int column) const;
    // The column's bytes in place: valid until the next step, reset or
    // read of the column as another type.
    std::string_view view(int column) const;
    std::int64_t integer(int column) const;
    bool isNull(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
    sqlite3* db_ = nullptr;
};

// BEGIN IMMEDIATE now, ROLLBACK in the destructor unless commit() ran.
class Transaction
{
public:
    explicit Transaction(sqlite3* db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    sqlite3* db_;
    bool open_ = false;
};

void exec(sqlite3* db, std::string_view sql);

// Opens an existing project file and checks that it is one of ours and
// undamaged (header, application id, version, page integrity, tables and
// columns, references between rows). Read-only files open read-only. Throws
// Error naming the file and what is wrong.
Db openProject(const std::filesystem::path& file);

// Creates a new, empty project file with the schema; the file must not
// exist yet.
Db createProject(const std::filesystem::path& file);

// The format version stored in the file's header.
int schemaVersion(sqlite3* db);

// Makes sure the write-back journal tables exist (a version 1 file gets them
// and becomes version 2). Call inside the transaction of the first write.
void ensureJournal(sqlite3* db);

// The words "is damaged" with the engine's reason, for errors found while
// reading rows of a file that passed openProject.
Error damaged(const std::filesystem::path& file, const std::string& reason);

} // namespace rav::dpz
