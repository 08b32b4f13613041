#include "connection.h"
#include "dialect.h"
#include "textcodec.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <utility>

namespace rav::db
{

// ---- helpers shared by the engine's files ---------------------------------

std::string quoteIdent(const std::string& name)
{
    std::string out = "\"";
    for (const char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string describeSqliteError(sqlite3* db, int rc)
{
    const std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    const int ext = db ? sqlite3_extended_errcode(db) : rc;
    auto after = [&msg](const char* prefix) -> std::string {
        const std::size_t n = std::strlen(prefix);
        return msg.compare(0, n, prefix) == 0 ? msg.substr(n) : msg;
    };
    switch (ext) {
    case SQLITE_CONSTRAINT_CHECK: {
        // Our check constraints are named after the field and the rule.
        const std::string name = after("CHECK constraint failed: ");
        if (name.find("(size ") != std::string::npos)
            return "value too long for field " + name;
        return "value refused for field " + name;
    }
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
        return "duplicate value in a unique index: another record has the same "
            + after("UNIQUE constraint failed: ");
    case SQLITE_CONSTRAINT_NOTNULL:
        return "field " + after("NOT NULL constraint failed: ") + " cannot be Null";
    default:
        return msg;
    }
}

void checkValue(const FieldDef& field, const Value& v)
{
    if (!v) {
        if (field.required)
            throw Error("field " + field.name + " cannot be Null");
        return;
    }
    if (!text::isValidUtf8(*v))
        throw Error("value for field " + field.name + " is not valid UTF-8");
    if (v->find('\0') != std::string::npos)
        throw Error("value for field " + field.name + " contains a NUL character");
    if (text::utf8Length(*v) > static_cast<std::size_t>(field.size))
        throw Error("value too long for field " + field.name + " (size " + std::to_string(field.size) + ")");
    if (v->empty() && !field.allowZeroLength)
        throw Error("value refused for field " + field.name + " (zero-length text not allowed)");
}

// ---- Connection ------------------------------------------------------------

Connection::Connection() = default;

Connection::~Connection()
{
    close();
}

bool Connection::isOpen() const
{
    return db != nullptr || (pg && server::connected(*this));
}

void Connection::requireOpen() const
{
    if (!isOpen())
        throw Error("the database is closed");
}

void Connection::close()
{
    if (backend == Backend::Server) {
        cache.clear();
        tableDefs.clear();
        if (pg)
            server::close(*this);
        return;
    }
    if (!db)
        return;
    for (sqlite3_stmt** s : statements) {
        sqlite3_finalize(*s);
        *s = nullptr;
    }
    statements.clear();
    for (auto& [sql, entry] : cache)
        sqlite3_finalize(entry.stmt);
    cache.clear();
    tableDefs.clear();
    // close_v2 also copes with statements someone prepared on handle() and
    // never finalized: the connection then goes when they do.
    sqlite3_close_v2(db);
    db = nullptr;
    lock.release();
}

Connection::Cached& Connection::cached(const std::string& sql)
{
    requireOpen();
    auto it = cache.find(sql);
    if (it != cache.end())
        return it->second;
    if (cache.size() >= 128) {
        // Drop what is not borrowed right now; borrowed entries stay valid.
        for (auto i = cache.begin(); i != cache.end();) {
            if (!i->second.inUse) {
                if (i->second.stmt)
                    sqlite3_finalize(i->second.stmt);
                i = cache.erase(i);
            } else {
                ++i;
            }
        }
    }
    if (backend == Backend::Server)
        return cache.emplace(sql, Cached { nullptr, server::prepare(*this, sql), false }).first->second;
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v3(
        db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(rc, "cannot prepare a statement");
    return cache.emplace(sql, Cached { stmt, nullptr, false }).first->second;
}

void Connection::fail(int rc, const std::string& context) const
{
    throw Error(context + ": " + describeSqliteError(db, rc));
}

void Connection::exec(const std::string& sql)
{
    requireOpen();
    if (backend == Backend::Server) {
        server::exec(*this, sql);
        return;
    }
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = describeSqliteError(db, rc);
        sqlite3_free(err);
        throw Error(msg);
    }
}

std::int64_t Connection::changes() const
{
    return backend == Backend::Server ? server::changes(*this) : sqlite3_changes64(db);
}

std::int64_t Connection::totalChanges() const
{
    return backend == Backend::Server ? server::totalChanges(*this) : sqlite3_total_changes64(db);
}

std::int64_t Connection::lastInsertRowid() const
{
    return backend == Backend::Server ? server::lastInsertRowid(*this) : sqlite3_last_insert_rowid(db);
}

const TableDef& Connection::tableDef(const std::string& name)
{
    const std::string key = text::asciiLower(name);
    auto it = tableDefs.find(key);
    if (it != tableDefs.end())
        return it->second;
    return tableDefs.emplace(key, readTableDef(*this, name)).first->second;
}

CachedStatement::CachedStatement(Connection& c, const std::string& sql)
    : c_(c)
    , entry_(c.cached(sql))
{
    if (entry_.inUse)
        throw Error("internal error: statement borrowed twice");
    entry_.inUse = true;
}

CachedStatement::~CachedStatement()
{
    if (entry_.pg) {
        server::reset(*entry_.pg, true);
    } else {
        sqlite3_reset(entry_.stmt);
        sqlite3_clear_bindings(entry_.stmt);
    }
    entry_.inUse = false;
}

void CachedStatement::bind(int index, const Value& v)
{
    if (entry_.pg) {
        server::bind(*entry_.pg, index, v);
        return;
    }
    const int rc = v
        ? sqlite3_bind_text64(entry_.stmt, index, v->data(), v->size(), SQLITE_TRANSIENT, SQLITE_UTF8)
        : sqlite3_bind_null(entry_.stmt, index);
    if (rc != SQLITE_OK)
        c_.fail(rc, "cannot bind a value");
}

void CachedStatement::bind(int index, sqlite3_int64 v)
{
    if (entry_.pg) {
        server::bind(*entry_.pg, index, std::to_string(v));
        return;
    }
    const int rc = sqlite3_bind_int64(entry_.stmt, index, v);
    if (rc != SQLITE_OK)
        c_.fail(rc, "cannot bind a value");
}

void CachedStatement::bindAll(const std::vector<Value>& values, int first)
{
    for (std::size_t i = 0; i < values.size(); ++i)
        bind(first + static_cast<int>(i), values[i]);
}

bool CachedStatement::step(const char* context)
{
    if (entry_.pg)
        return server::step(c_, *entry_.pg, context);
    const int rc = sqlite3_step(entry_.stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    c_.fail(rc, context);
}

sqlite3_int64 CachedStatement::integer(int column) const
{
    if (entry_.pg) {
        const auto v = server::column(*entry_.pg, column);
        return v ? std::strtoll(std::string(*v).c_str(), nullptr, 10) : 0;
    }
    return sqlite3_column_int64(entry_.stmt, column);
}

Value CachedStatement::text(int column) const
{
    if (entry_.pg) {
        const auto v = server::column(*entry_.pg, column);
        return v ? Value(std::string(*v)) : std::nullopt;
    }
    if (sqlite3_column_type(entry_.stmt, column) == SQLITE_NULL)
        return std::nullopt;
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(entry_.stmt, column));
    return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(entry_.stmt, column)));
}

// ---- schema ----------------------------------------------------------------

namespace
{

// Size of a field from its declared type "TEXT(20)"; 255 when none is given
// (a table this engine did not create).
int sizeFromType(const std::string& type)
{
    const auto open = type.find('(');
    if (open == std::string::npos)
        return kMaxFieldSize;
    const int n = std::atoi(type.c_str() + open + 1);
    return n > 0 ? n : kMaxFieldSize;
}

// The name given to the primary key with CONSTRAINT "name" PRIMARY KEY in a
// CREATE TABLE text. SQLite keeps it only in that text.
std::string primaryKeyName(const std::string& sql)
{
    std::vector<std::string> words; // identifiers (unquoted) and keywords, in order
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '"' || c == '\'' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            std::string w;
            std::size_t j = i + 1;
            while (j < sql.size()) {
                if (sql[j] == close) {
                    if (close != ']' && j + 1 < sql.size() && sql[j + 1] == close) {
                        w += close;
                        j += 2;
                        continue;
                    }
                    break;
                }
                w += sql[j++];
            }
            words.push_back(w);
            i = j + 1;
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t j = i;
            while (j < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[j])) || sql[j] == '_'))
                ++j;
            words.push_back(text::asciiUpper(sql.substr(i, j - i)));
            i = j;
        } else {
            if (c == '(' || c == ')' || c == ',')
                words.emplace_back(1, c);
            ++i;
        }
    }
    for (std::size_t k = 0; k + 3 < words.size(); ++k)
        if (words[k] == "CONSTRAINT" && words[k + 2] == "PRIMARY" && words[k + 3] == "KEY")
            return words[k + 1];
    return "PrimaryKey";
}

} // namespace

TableDef readTableDef(Connection& c, const std::string& name)
{
    if (c.backend == Backend::Server)
        return server::readTableDef(c, name);
    TableDef def;
    std::string createSql;
    {
        CachedStatement q(c,
            "SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE "
            "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
        q.bind(1, Value(name));
        if (!q.step("cannot read the schema"))
            throw Error("no table [" + name + "] in " + c.path);
        def.name = *q.text(0);
        createSql = q.text(1).value_or("");
    }
    {
        CachedStatement q(c, "SELECT name, type, \"notnull\" FROM pragma_table_info(?1) ORDER BY cid");
        q.bind(1, Value(def.name));
        while (q.step("cannot read the schema")) {
            FieldDef f;
            f.name = *q.text(0);
            const std::string type = text::asciiUpper(q.text(1).value_or(""));
            f.size = sizeFromType(type);
            f.allowZeroLength = type.rfind("NONEMPTY", 0) != 0;
            f.required = q.integer(2) != 0;
            def.fields.push_back(std::move(f));
        }
    }
    std::vector<std::pair<std::string, IndexDef>> found; // sqlite name, definition
    {
        CachedStatement q(c, "SELECT name, \"unique\", origin FROM pragma_index_list(?1) ORDER BY seq");
        q.bind(1, Value(def.name));
        while (q.step("cannot read the schema")) {
            IndexDef ix;
            const std::string internal = *q.text(0);
            ix.unique = q.integer(1) != 0;
            ix.primary = q.text(2).value_or("") == "pk";
            ix.name = ix.primary ? primaryKeyName(createSql) : internal;
            found.emplace_back(internal, std::move(ix));
        }
    }
    for (auto& [internal, ix] : found) {
        CachedStatement q(
            c, "SELECT name, \"desc\" FROM pragma_index_xinfo(?1) WHERE key = 1 ORDER BY seqno");
        q.bind(1, Value(internal));
        while (q.step("cannot read the schema"))
            ix.fields.push_back((q.integer(1) ? "-" : "+") + q.text(0).value_or(""));
        if (ix.primary)
            def.indexes.insert(def.indexes.begin(), std::move(ix));
        else
            def.indexes.push_back(std::move(ix));
    }
    return def;
}

namespace
{

// Splits "+Code" / "-Code" / "Code" into the name and the SQL direction.
std::pair<std::string, const char*> indexKey(const std::string& f)
{
    if (!f.empty() && (f[0] == '+' || f[0] == '-'))
        return { f.substr(1), f[0] == '-' ? " DESC" : " ASC" };
    return { f, " ASC" };
}

int parseLangId(std::string_view locale)
{
    const std::string upper = text::asciiUpper(locale);
    const auto at = upper.find("LANGID=");
    if (at == std::string::npos)
        return 0;
    const long v = std::strtol(upper.c_str() + at + 7, nullptr, 0);
    return (v > 0 && v <= 0xFFFF) ? static_cast<int>(v) : 0;
}

int pragmaInt(Connection& c, const char* pragma)
{
    CachedStatement q(c, std::string("PRAGMA ") + pragma);
    return q.step("cannot read the file header") ? static_cast<int>(q.integer(0)) : 0;
}

} // namespace

std::string orderWithTies(const TableDef& def, const std::string& orderBy)
{
    // Ties of the sort keys fall back to row id order, so that a set has the
    // same order every time. A sort led by the primary key's one field has
    // no ties; leaving the row id out then lets the key's index give the
    // order (on a server the sort would otherwise be done row by row).
    for (const IndexDef& ix : def.indexes)
        if (ix.primary && ix.fields.size() == 1) {
            const std::string f = quoteIdent(indexKey(ix.fields[0]).first);
            if (orderBy == f || orderBy.rfind(f + ",", 0) == 0 || orderBy == f + " DESC"
                || orderBy.rfind(f + " DESC,", 0) == 0)
                return orderBy;
        }
    return (orderBy.empty() ? "" : orderBy + ", ") + "rowid";
}

bool leadsAnIndex(const TableDef& def, const std::string& field)
{
    for (const IndexDef& ix : def.indexes)
        if (!ix.fields.empty() && text::equalsIgnoreCase(indexKey(ix.fields[0]).first, field))
            return true;
    return false;
}

// ---- Database ----------------------------------------------------------------

Database::Database() = default;
Database::~Database()
{
    close();
}
Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&& o) noexcept
{
    if (this != &o) {
        close();
        conn_ = std::move(o.conn_);
    }
    return *this;
}
Database::Database(std::shared_ptr<Connection> c)
    : conn_(std::move(c))
{
}

namespace
{

std::shared_ptr<Connection> connect(const std::string& path, OpenMode mode, detail::FileLock lock)
{
    auto c = std::make_shared<Connection>();
    c->path = path;
    c->mode = mode;
    c->lock = std::move(lock);
    const int rc
        = sqlite3_open_v2(path.c_str(), &c->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string msg = describeSqliteError(c->db, rc);
        c->close();
        throw Error("cannot open " + path + ": " + msg);
    }
    sqlite3_extended_result_codes(c->db, 1);
    // Shared opens of several processes may meet inside a write; wait a little
    // rather than fail at once.
    sqlite3_busy_timeout(c->db, 2000);
    registerLike(c->db);
    // Reading the schema is what tells a database from any other file.
    const int check = sqlite3_exec(c->db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (check != SQLITE_OK) {
        const int code = sqlite3_errcode(c->db);
        const std::string msg = describeSqliteError(c->db, check);
        c->close();
        if (code == SQLITE_NOTADB)
            throw Error("cannot open " + path + ": not a database");
        throw Error("cannot open " + path + ": " + msg);
    }
    return c;
}

std::shared_ptr<Connection> createFile(const std::string& path, std::string_view locale, FormatVersion version, bool scratch)
{
    auto lock = detail::FileLock::createExclusive(path);
    try {
        auto c = connect(path, OpenMode::Exclusive, std::move(lock));
        // Set before the first write: the header's stamp would otherwise
        // cost a journal file and several waits for the disk, most of what
        // making a small scratch file takes.
        if (scratch)
            c->exec("PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY");
        const int stamp = (parseLangId(locale) << 8) | static_cast<int>(version);
        c->exec("PRAGMA user_version = " + std::to_string(stamp));
        return c;
    } catch (...) {
        ::unlink(path.c_str()); // we made the file; leave nothing half made
        throw;
    }
}

} // namespace

Database Database::create(const std::string& path, std::string_view locale, FormatVersion version)
{
    if (isServerName(path)) {
        auto c = server::connect(path, OpenMode::Exclusive, true);
        server::setMeta(*c, "user_version", (parseLangId(locale) << 8) | static_cast<int>(version));
        return Database(std::move(c));
    }
    return Database(createFile(path, locale, version, false));
}

Database Database::createScratch(const std::string& path)
{
    if (isServerName(path))
        return create(path);
    return Database(createFile(path, kGeneralLocale, FormatVersion::Version30, true));
}

Database Database::open(const std::string& path, OpenMode mode)
{
    // A server EID is shared by design: several editors at once, kept
    // apart by transactions, so no open there excludes the others.
    if (isServerName(path))
        return Database(server::connect(path, mode, false));
    return Database(connect(path, mode, detail::FileLock::acquire(path, mode)));
}

bool Database::isOpen() const
{
    return conn_ && conn_->isOpen();
}

void Database::close()
{
    if (conn_)
        conn_->close();
    conn_.reset();
}

const std::string& Database::path() const
{
    static const std::string none;
    return conn_ ? conn_->path : none;
}

OpenMode Database::mode() const
{
    return conn_ ? conn_->mode : OpenMode::Shared;
}

Backend Database::backend() const
{
    return conn_ ? conn_->backend : Backend::File;
}

namespace
{
Connection& usable(const std::shared_ptr<Connection>& c)
{
    if (!c)
        throw Error("the database is closed");
    c->requireOpen();
    return *c;
}
} // namespace

namespace
{
// What the file keeps in its header the server keeps in a small table.
std::int64_t header(Connection& c, const char* what)
{
    return c.backend == Backend::Server ? server::meta(c, what) : pragmaInt(c, what);
}
} // namespace

int Database::langId() const
{
    return static_cast<int>((header(usable(conn_), "user_version") >> 8) & 0xFFFF);
}
int Database::formatVersion() const
{
    return static_cast<int>(header(usable(conn_), "user_version") & 0xFF);
}

std::uint32_t Database::applicationId() const
{
    return static_cast<std::uint32_t>(header(usable(conn_), "application_id"));
}

void Database::setApplicationId(std::uint32_t id)
{
    if (conn_ && conn_->backend == Backend::Server) {
        server::setMeta(usable(conn_), "application_id", id);
        return;
    }
    usable(conn_).exec("PRAGMA application_id = " + std::to_string(static_cast<std::int32_t>(id)));
}

void Database::createTable(const TableDef& def)
{
    Connection& c = usable(conn_);
    checkObjectName(def.name, "table");
    if (def.fields.empty())
        throw Error("table " + def.name + " needs at least one field");
    const IndexDef* primary = nullptr;
    for (const auto& ix : def.indexes) {
        checkObjectName(ix.name, "index");
        if (ix.fields.empty())
            throw Error("index " + ix.name + " needs at least one field");
        for (const auto& f : ix.fields)
            if (def.fieldIndex(indexKey(f).first) < 0)
                throw Error("index " + ix.name + " names field " + indexKey(f).first + ", which table "
                    + def.name + " does not have");
        if (ix.primary) {
            if (primary)
                throw Error("table " + def.name + " can have one primary index only");
            primary = &ix;
        }
    }
    std::vector<bool> required(def.fields.size(), false);
    for (std::size_t i = 0; i < def.fields.size(); ++i) {
        const FieldDef& f = def.fields[i];
        checkObjectName(f.name, "field");
        if (f.size < 1 || f.size > kMaxFieldSize)
            throw Error("field " + f.name + " has size " + std::to_string(f.size) + "; sizes are 1 to 255");
        for (std::size_t j = 0; j < i; ++j)
            if (text::equalsIgnoreCase(def.fields[j].name, f.name))
                throw Error("field name " + f.name + " is used twice");
        required[i] = f.required;
    }
    if (primary)
        for (const auto& f : primary->fields)
            required[static_cast<std::size_t>(def.fieldIndex(indexKey(f).first))] = true;
    if (c.backend == Backend::Server) {
        Transaction t(*this);
        server::createTable(c, def, required);
        t.commit();
        c.dropSchemaCache();
        return;
    }

    // Sizes and the zero-length rule are CHECK constraints named after the
    // field, so every writer is held to them and a failure names the field.
    std::string sql = "CREATE TABLE " + quoteIdent(def.name) + " (";
    for (std::size_t i = 0; i < def.fields.size(); ++i) {
        const FieldDef& f = def.fields[i];
        const std::string col = quoteIdent(f.name);
        const std::string size = std::to_string(f.size);
        if (i)
            sql += ", ";
        sql += col + (f.allowZeroLength ? " TEXT(" : " NONEMPTY TEXT(") + size + ") COLLATE NOCASE";
        if (required[i])
            sql += " NOT NULL";
        sql += " CONSTRAINT " + quoteIdent(f.name + " (size " + size + ")") + " CHECK (length(" + col
            + ") <= " + size + ")";
        if (!f.allowZeroLength)
            sql += " CONSTRAINT " + quoteIdent(f.name + " (zero-length text not allowed)") + " CHECK (" + col
                + " <> '')";
    }
    if (primary) {
        sql += ", CONSTRAINT " + quoteIdent(primary->name) + " PRIMARY KEY (";
        for (std::size_t k = 0; k < primary->fields.size(); ++k) {
            const auto [name, dir] = indexKey(primary->fields[k]);
            sql += (k ? ", " : "")
                + quoteIdent(def.fields[static_cast<std::size_t>(def.fieldIndex(name))].name) + dir;
        }
        sql += ")";
    }
    sql += ")";
    Transaction t(*this);
    c.exec(sql);
    for (const auto& ix : def.indexes) {
        if (ix.primary)
            continue;
        std::string isql = std::string(ix.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ")
            + quoteIdent(ix.name) + " ON " + quoteIdent(def.name) + " (";
        for (std::size_t k = 0; k < ix.fields.size(); ++k) {
            const auto [name, dir] = indexKey(ix.fields[k]);
            isql += (k ? ", " : "")
                + quoteIdent(def.fields[static_cast<std::size_t>(def.fieldIndex(name))].name) + dir;
        }
        c.exec(isql + ")");
    }
    t.commit();
    c.dropSchemaCache();
}

void Database::dropTable(const std::string& name)
{
    Connection& c = usable(conn_);
    const std::string canonical = c.tableDef(name).name;
    c.dropSchemaCache();
    c.exec("DROP TABLE " + quoteIdent(canonical));
}

std::vector<std::string> Database::tableNames() const
{
    Connection& c = usable(conn_);
    if (c.backend == Backend::Server)
        return server::tableNames(c);
    std::vector<std::string> names;
    CachedStatement q(c,
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
        "ESCAPE '\\' ORDER BY rowid");
    while (q.step("cannot read the schema"))
        names.push_back(*q.text(0));
    return names;
}

bool Database::hasTable(const std::string& name) const
{
    for (const auto& n : tableNames())
        if (text::equalsIgnoreCase(n, name))
            return true;
    return false;
}

TableDef Database::tableDef(const std::string& name) const
{
    return usable(conn_).tableDef(name);
}

long Database::execute(std::string_view dialectSql)
{
    Connection& c = usable(conn_);
    const auto plan = dialect::parseAction(
        dialectSql, [&c](const std::string& n) -> const TableDef& { return c.tableDef(n); }, c.backend);
    const TableDef& def = c.tableDef(plan.table);
    for (const auto& [ordinal, v] : plan.assignments)
        checkValue(def.fields[static_cast<std::size_t>(ordinal)], v);
    CachedStatement q(c, plan.sql);
    q.bindAll(plan.params);
    q.step("statement failed");
    return static_cast<long>(c.changes());
}

namespace
{

// The native parts of a dialect SELECT.
struct NativeSelect {
    std::string columns; // the select list
    std::string from; // " FROM table [WHERE ...]"
    std::vector<Value> params; // of the WHERE part
    std::string order; // " ORDER BY ...": a record set's key set order, ties by row id
};

NativeSelect translateSelect(Connection& c, std::string_view dialectSelect)
{
    if (!dialect::isSelect(dialectSelect))
        throw Error("not a SELECT statement: " + std::string(dialectSelect));
    auto plan = dialect::parseSelect(
        dialectSelect, [&c](const std::string& n) -> const TableDef& { return c.tableDef(n); }, c.backend);
    const TableDef& def = c.tableDef(plan.table);
    NativeSelect out;
    for (const int k : plan.columns)
        out.columns
            += (out.columns.empty() ? "" : ", ") + quoteIdent(def.fields[static_cast<std::size_t>(k)].name);
    out.from = " FROM " + quoteIdent(def.name) + (plan.where.sql.empty() ? "" : " WHERE " + plan.where.sql);
    out.params = std::move(plan.where.params);
    out.order = " ORDER BY " + orderWithTies(def, plan.orderBy);
    return out;
}

void bindAll(Statement& s, const std::vector<Value>& params)
{
    for (std::size_t i = 0; i < params.size(); ++i)
        s.bind(static_cast<int>(i + 1), params[i]);
}

} // namespace

Statement Database::prepareSelect(std::string_view dialectSelect)
{
    const NativeSelect q = translateSelect(usable(conn_), dialectSelect);
    Statement s = prepare("SELECT " + q.columns + q.from + q.order);
    bindAll(s, q.params);
    return s;
}

long Database::countSelect(std::string_view dialectSelect)
{
    const NativeSelect q = translateSelect(usable(conn_), dialectSelect);
    Statement s = prepare("SELECT count(*)" + q.from);
    bindAll(s, q.params);
    return s.step() ? static_cast<long>(s.columnInt(0)) : 0;
}

void Database::executeNative(std::string_view sql)
{
    Connection& c = usable(conn_);
    c.dropSchemaCache();
    c.exec(std::string(sql));
}

std::int64_t Database::changes() const
{
    return usable(conn_).changes();
}

sqlite3* Database::handle() const
{
    return conn_ ? conn_->db : nullptr;
}

// ---- Statement -----------------------------------------------------------------

struct Statement::Impl {
    std::shared_ptr<Connection> conn;
    sqlite3_stmt* stmt = nullptr; // nulled by Connection::close
    std::shared_ptr<server::Stmt> pg; // Backend::Server

    server::Stmt& server() const
    {
        conn->requireOpen();
        return *pg;
    }

    ~Impl()
    {
        if (stmt) {
            sqlite3_finalize(stmt);
            conn->statements.erase(&stmt);
        }
    }
    sqlite3_stmt* get() const
    {
        if (!stmt)
            throw Error("the statement's database is closed");
        return stmt;
    }
};

Statement::Statement() = default;
Statement::~Statement() = default;
Statement::Statement(Statement&&) noexcept = default;
Statement& Statement::operator=(Statement&&) noexcept = default;

Statement Database::prepare(std::string_view nativeSql)
{
    Connection& c = usable(conn_);
    Statement s;
    s.d_ = std::make_unique<Statement::Impl>();
    s.d_->conn = conn_;
    if (c.backend == Backend::Server) {
        s.d_->pg = server::prepare(c, std::string(nativeSql));
        return s;
    }
    const int rc = sqlite3_prepare_v3(c.db, nativeSql.data(), static_cast<int>(nativeSql.size()),
        SQLITE_PREPARE_PERSISTENT, &s.d_->stmt, nullptr);
    if (rc != SQLITE_OK)
        c.fail(rc, "cannot prepare a statement");
    c.statements.insert(&s.d_->stmt);
    return s;
}

LookupJoin lookupJoin(Connection& c, const std::string& table, const std::string& field)
{
    const TableDef& def = c.tableDef(table);
    const int key = def.fieldIndex(field);
    if (key < 0)
        throw Error("no field " + field + " in table " + table);
    LookupJoin join { quoteIdent(def.name), quoteIdent(def.fields[static_cast<std::size_t>(key)].name), {} };
    for (const FieldDef& f : def.fields)
        join.columns += ", rav_d." + quoteIdent(f.name);
    return join;
}

Statement Database::lookupKeys(
    const std::string& table, const std::string& field, const std::vector<std::string_view>& keys)
{
    Connection& c = usable(conn_);
    if (c.backend == Backend::Server) {
        Statement s;
        s.d_ = std::make_unique<Statement::Impl>();
        s.d_->conn = conn_;
        s.d_->pg = server::prepareLookup(c, table, field, keys);
        return s;
    }
    // One statement whose join probes the field's index once per key: a
    // statement run per key costs its start, cursors and reset each time,
    // about as much again as the probe. The keys go in as one JSON array
    // (every element a string, its quotes, backslashes and control
    // characters escaped); the key's position is the array index. The
    // field's own collation compares, as in "field = ?".
    const LookupJoin join = lookupJoin(c, table, field);
    std::string array = "[";
    for (const std::string_view k : keys) {
        array += array.size() > 1 ? ",\"" : "\"";
        for (const char ch : k) {
            if (ch == '"' || ch == '\\') {
                array += '\\';
                array += ch;
            } else if (static_cast<unsigned char>(ch) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(ch));
                array += escaped;
            } else {
                array += ch;
            }
        }
        array += '"';
    }
    array += ']';
    Statement s = prepare("SELECT rav_k.key" + join.columns + " FROM json_each(?1) AS rav_k CROSS JOIN " + join.table
        + " AS rav_d ON rav_d." + join.keyField + " = rav_k.value");
    s.bind(1, Value(std::move(array)));
    return s;
}

void Statement::bind(int index, const Value& v)
{
    if (d_->pg) {
        server::bind(d_->server(), index, v);
        return;
    }
    sqlite3_stmt* st = d_->get();
    const int rc = v ? sqlite3_bind_text64(st, index, v->data(), v->size(), SQLITE_TRANSIENT, SQLITE_UTF8)
                     : sqlite3_bind_null(st, index);
    if (rc != SQLITE_OK)
        d_->conn->fail(rc, "cannot bind a value");
}

void Statement::bindView(int index, std::string_view v)
{
    if (d_->pg) {
        server::bind(d_->server(), index, std::string(v));
        return;
    }
    // An empty view may have no data pointer, which SQLite would take for Null.
    const int rc = sqlite3_bind_text64(
        d_->get(), index, v.data() ? v.data() : "", v.size(), SQLITE_STATIC, SQLITE_UTF8);
    if (rc != SQLITE_OK)
        d_->conn->fail(rc, "cannot bind a value");
}

void Statement::bind(int index, std::int64_t v)
{
    if (d_->pg) {
        server::bind(d_->server(), index, std::to_string(v));
        return;
    }
    const int rc = sqlite3_bind_int64(d_->get(), index, v);
    if (rc != SQLITE_OK)
        d_->conn->fail(rc, "cannot bind a value");
}

bool Statement::step()
{
    if (d_->pg)
        return server::step(*d_->conn, d_->server(), "statement failed");
    sqlite3_stmt* st = d_->get();
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const std::string msg = describeSqliteError(d_->conn->db, rc);
    sqlite3_reset(st);
    throw Error(msg);
}

void Statement::reset()
{
    if (d_->pg) {
        server::reset(d_->server(), true);
        return;
    }
    sqlite3_stmt* st = d_->get();
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
}

int Statement::columnCount() const
{
    if (d_->pg)
        return server::columnCount(*d_->conn, d_->server());
    return sqlite3_column_count(d_->get());
}

Value Statement::column(int index) const
{
    if (d_->pg) {
        const auto v = server::column(d_->server(), index);
        return v ? Value(std::string(*v)) : std::nullopt;
    }
    sqlite3_stmt* st = d_->get();
    if (sqlite3_column_type(st, index) == SQLITE_NULL)
        return std::nullopt;
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, index));
    return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(st, index)));
}

std::optional<std::string_view> Statement::columnText(int index) const
{
    if (d_->pg)
        return server::column(d_->server(), index);
    sqlite3_stmt* st = d_->get();
    if (sqlite3_column_type(st, index) == SQLITE_NULL)
        return std::nullopt;
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, index));
    if (!p)
        throw Error("out of memory reading a column");
    return std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(st, index)));
}

std::int64_t Statement::columnInt(int index) const
{
    if (d_->pg) {
        const auto v = server::column(d_->server(), index);
        return v ? std::strtoll(std::string(*v).c_str(), nullptr, 10) : 0;
    }
    return sqlite3_column_int64(d_->get(), index);
}

sqlite3_stmt* Statement::handle() const
{
    return d_ ? d_->stmt : nullptr;
}

// ---- BulkMerge -------------------------------------------------------------------

struct BulkMerge::Impl {
    std::shared_ptr<Connection> conn;
    std::optional<Transaction> tx;
    std::shared_ptr<server::Merge> merge;
};

BulkMerge::BulkMerge(Database& db, const std::string& table, const std::string& keyField, bool overwrite)
    : d_(std::make_unique<Impl>())
{
    d_->conn = db.conn_;
    Connection& c = usable(d_->conn);
    if (c.backend != Backend::Server)
        throw Error("a bulk merge needs a server database");
    d_->tx.emplace(db);
    d_->merge = server::mergeBegin(c, table, keyField, overwrite);
}

BulkMerge::~BulkMerge()
{
    if (d_->merge && d_->conn->isOpen())
        server::mergeAbandon(*d_->conn, *d_->merge);
}

void BulkMerge::add(std::int64_t tag, const std::vector<std::string_view>& values)
{
    server::mergeAdd(usable(d_->conn), *d_->merge, tag, values);
}

BulkMerge::Outcome BulkMerge::finish(const Progress& progress)
{
    Outcome out = server::mergeFinish(usable(d_->conn), *d_->merge, progress);
    d_->merge.reset();
    d_->tx->commit();
    return out;
}

// ---- Transaction ----------------------------------------------------------------

Transaction::Transaction(Database& db)
    : conn_(db.conn_)
{
    Connection& c = usable(conn_);
    name_ = "rav_tx" + std::to_string(++c.savepoints);
    if (c.backend == Backend::Server)
        server::begin(c, name_);
    else
        c.exec("SAVEPOINT " + name_);
}

Transaction::~Transaction()
{
    if (!active_)
        return;
    try {
        rollback();
    } catch (const Error&) {
        // The connection is gone or already rolled back: nothing left to undo.
    }
}

void Transaction::commit()
{
    if (!active_)
        throw Error("the transaction has ended");
    active_ = false;
    Connection& c = usable(conn_);
    if (c.backend == Backend::Server)
        server::commit(c, name_);
    else
        c.exec("RELEASE " + name_);
}

void Transaction::rollback()
{
    if (!active_)
        return;
    active_ = false;
    Connection& c = usable(conn_);
    if (c.backend == Backend::Server) {
        server::rollback(c, name_);
    } else {
        c.exec("ROLLBACK TO " + name_);
        c.exec("RELEASE " + name_);
    }
    c.dropSchemaCache();
}

// ---- files ---------------------------------------------------------------------

void removeDatabaseFile(const std::string& path)
{
    if (isServerName(path)) {
        server::drop(path);
        return;
    }
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return;
    detail::withFileUnclaimed(path, [](const std::string& p) {
        // A journal left beside a new file of the same name would be played
        // back into it, so it goes too.
        for (const char* suffix : { "-journal", "-wal", "-shm" })
            ::unlink((p + suffix).c_str());
        if (::unlink(p.c_str()) != 0)
            throw Error("cannot delete " + p + ": " + std::strerror(errno));
    });
}

void replaceDatabaseFile(const std::string& from, const std::string& to)
{
    std::error_code ec;
    detail::FileLock claim;
    if (std::filesystem::exists(to, ec))
        claim = detail::FileLock::acquire(to, OpenMode::Exclusive);
    // A journal of the old file would be played back into the new one.
    for (const char* suffix : { "-journal", "-wal", "-shm" })
        ::unlink((to + suffix).c_str());
    if (::rename(from.c_str(), to.c_str()) != 0)
        throw Error("cannot rename " + from + " to " + to + ": " + std::strerror(errno));
}

} // namespace rav::db
