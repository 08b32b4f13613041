// The PostgreSQL backend: a table on a server behind the same operations as
// a SQLite file. The rules the file holds in its schema the server holds in
// its own: text columns are citext with the "C" collation (compare, sort and
// unique indexes without regard to ASCII letter case, as NOCASE does), sizes
// and the zero-length rule are CHECK constraints named after the field, and
// every table has a hidden `rowid` identity column so that record sets keep
// their key sets of row ids.
//
// Values are always parameters of prepared statements; only identifiers
// (quoted) and numbers the engine made itself are part of a statement's text.
// The password never passes through here: libpq finds it in ~/.pgpass, a
// service file or the environment, and the name a connection keeps has any
// password in the URI taken out.
#include "connection.h"
#include "textcodec.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <utility>

namespace rav::db
{

namespace server
{

struct Link {
    PGconn* conn = nullptr;
    std::string table = "Device"; // the table the name stands for
    std::string schema = "public";
    long long asOf = 0; // > 0: the EID as it was after that change, read only
    std::int64_t changes = 0;
    std::int64_t total = 0;
    std::int64_t lastId = 0;
    long statements = 0; // for unique prepared statement names
    int depth = 0; // open Transaction objects
    // The statement whose rows are arriving one at a time; the connection
    // serves nothing else until they are all in (see settle).
    Stmt* streaming = nullptr;
};

struct Stmt {
    std::string sql; // PostgreSQL text, $n parameters
    std::string name; // of the prepared statement; empty until prepared
    PGconn* preparedOn = nullptr;
    int nParams = 0;
    std::vector<Value> params;
    PGresult* res = nullptr;
    int row = -1;
    bool executed = false;
    bool write = false; // INSERT, UPDATE or DELETE
    bool insert = false; // RETURNING rowid was added
    bool skip = false; // a PRAGMA: nothing to do on a server
    // Rows read one at a time (single-row mode), so that a whole set read
    // front to back never sits in memory at once.
    bool stream = false;
    Link* link = nullptr; // while streaming
    std::deque<PGresult*> buffered; // rows taken in early, for another statement's sake
    std::string failure; // the server's refusal, met while taking rows in early

    void endStream()
    {
        if (link && link->streaming == this) {
            link->streaming = nullptr;
            // The rows not read are read and dropped: the connection is
            // free again only after the end of the result. (A cancel
            // could reach the server after the query ended and stop the
            // next one instead.)
            while (PGresult* r = link->conn ? PQgetResult(link->conn) : nullptr)
                PQclear(r);
        }
        link = nullptr;
        for (PGresult* r : buffered)
            PQclear(r);
        buffered.clear();
        failure.clear();
    }
    ~Stmt()
    {
        endStream();
        PQclear(res);
    }
};

namespace
{

std::string firstLine(std::string s)
{
    const auto nl = s.find('\n');
    if (nl != std::string::npos)
        s.erase(nl);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r'))
        s.pop_back();
    return s;
}

// libpq's messages for a failed connect, reduced to the one line a user can
// act on.
std::string connectProblem(PGconn* conn)
{
    const std::string full = conn ? PQerrorMessage(conn) : "out of memory";
    if (full.find("password authentication failed") != std::string::npos)
        return "wrong password (the password comes from ~/.pgpass, a service file or PGPASSWORD)";
    if (full.find("no password supplied") != std::string::npos)
        return "no password given (put it in ~/.pgpass, a service file or PGPASSWORD)";
    if (full.find("Connection refused") != std::string::npos
        || full.find("could not translate host name") != std::string::npos
        || full.find("No such file or directory") != std::string::npos
        || full.find("timeout expired") != std::string::npos)
        return "the server cannot be reached (" + firstLine(full) + ")";
    std::string line = firstLine(full);
    const auto failed = line.find("failed: ");
    if (failed != std::string::npos)
        line = line.substr(failed + 8);
    return line;
}

bool lost(PGconn* conn)
{
    return PQstatus(conn) != CONNECTION_OK;
}

const char* kLost = "the connection to the database server was lost; changes not yet saved were not written";

// A server error as the engine words it, the same way for both backends
// where they share a rule.
std::string describe(Connection& c, const PGresult* res)
{
    if (lost(c.pg->conn))
        return kLost;
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    const char* constraint = res ? PQresultErrorField(res, PG_DIAG_CONSTRAINT_NAME) : nullptr;
    const std::string code = state ? state : "";
    if (code == "23514" && constraint) {
        const std::string name = constraint;
        if (name.find("(size ") != std::string::npos)
            return "value too long for field " + name;
        return "value refused for field " + name;
    }
    if (code == "23505") {
        std::string which = constraint ? constraint : "";
        for (const auto& [key, def] : c.tableDefs)
            if (const IndexDef* ix = def.findIndex(which)) {
                which.clear();
                for (const auto& f : ix->fields)
                    which += (which.empty() ? "" : ", ") + def.name + "."
                        + (f.empty() || (f[0] != '+' && f[0] != '-') ? f : f.substr(1));
                break;
            }
        return "duplicate value in a unique index: another record has the same " + which;
    }
    if (code == "23502") {
        const char* col = PQresultErrorField(res, PG_DIAG_COLUMN_NAME);
        const char* table = PQresultErrorField(res, PG_DIAG_TABLE_NAME);
        return std::string("field ") + (table ? table : "") + "." + (col ? col : "") + " cannot be Null";
    }
    if (code == "42501")
        return "refused: the database role " + std::string(PQuser(c.pg->conn))
            + " may read this EID but not change it";
    if (code == "25006")
        return "refused: this EID is opened as it was at an earlier change, for reading only";
    if (code == "22021")
        return "a value is not valid UTF-8";
    const char* primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    return firstLine(primary ? primary : PQerrorMessage(c.pg->conn));
}

// Before anything else goes to the server: the rows of a statement still
// arriving one at a time are taken in (kept with that statement), since a
// connection serves one command at a time.
void settle(Connection& c)
{
    Stmt* s = c.pg->streaming;
    if (!s)
        return;
    c.pg->streaming = nullptr;
    while (PGresult* r = PQgetResult(c.pg->conn)) {
        const auto st = PQresultStatus(r);
        if (st == PGRES_SINGLE_TUPLE) {
            s->buffered.push_back(r);
            continue;
        }
        if (st != PGRES_TUPLES_OK && s->failure.empty())
            s->failure = describe(c, r);
        PQclear(r);
    }
}

// Runs a statement without parameters; throws Error on failure.
void run(Connection& c, const std::string& sql, const char* context = nullptr)
{
    settle(c);
    PGresult* res = PQexec(c.pg->conn, sql.c_str());
    const auto st = PQresultStatus(res);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
        const std::string msg = describe(c, res);
        PQclear(res);
        throw Error(context ? std::string(context) + ": " + msg : msg);
    }
    PQclear(res);
}

// A query with text parameters, all rows at once. The caller clears it.
PGresult* query(Connection& c, const std::string& sql, const std::vector<std::string>& params)
{
    settle(c);
    std::vector<const char*> values;
    for (const auto& p : params)
        values.push_back(p.c_str());
    PGresult* res = PQexecParams(c.pg->conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
        values.data(), nullptr, nullptr, 0);
    const auto st = PQresultStatus(res);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
        const std::string msg = describe(c, res);
        PQclear(res);
        throw Error("the server refused a request: " + msg);
    }
    return res;
}

struct Result {
    PGresult* res;
    explicit Result(PGresult* r)
        : res(r)
    {
    }
    ~Result() { PQclear(res); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    int rows() const { return PQntuples(res); }
    std::string at(int row, int col) const { return PQgetvalue(res, row, col); }
    bool null(int row, int col) const { return PQgetisnull(res, row, col) != 0; }
};

std::string percentDecode(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() + 0 && std::isxdigit(static_cast<unsigned char>(s[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::strtol(std::string(s.substr(i + 1, 2)).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += s[i] == '+' ? ' ' : s[i];
        }
    }
    return out;
}

std::string withoutPassword(const std::string& uri)
{
    return nameWithoutPassword(uri);
}

// Splits our own parameters (table, schema) off a URI; the rest is libpq's.
std::string splitUri(const std::string& uri, Link& link)
{
    const auto q = uri.find('?');
    if (q == std::string::npos)
        return uri;
    std::string rest;
    std::size_t i = q + 1;
    while (i <= uri.size()) {
        std::size_t amp = uri.find('&', i);
        if (amp == std::string::npos)
            amp = uri.size();
        const std::string_view pair(uri.data() + i, amp - i);
        const auto eq = pair.find('=');
        const std::string key = text::asciiLower(pair.substr(0, eq));
        const std::string value = eq == std::string_view::npos ? "" : percentDecode(pair.substr(eq + 1));
        if (key == "table")
            link.table = value;
        else if (key == "schema")
            link.schema = value;
        else if (key == "as_of") {
            char* end = nullptr;
            link.asOf = std::strtoll(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || link.asOf < 1)
                throw Error("cannot open " + withoutPassword(uri) + ": as_of needs a change number");
        }
        else if (!pair.empty())
            rest += (rest.empty() ? "" : "&") + std::string(pair);
        i = amp + 1;
    }
    if (link.table.empty() || link.schema.empty())
        throw Error("cannot open " + withoutPassword(uri) + ": table and schema names cannot be empty");
    return uri.substr(0, q) + (rest.empty() ? "" : "?" + rest);
}

// Every change of every table the engine made is recorded by the server
// itself, so edits made with other tools are on record too: the change
// number, who (the database role), when, the operation and the old and new
// values (JSON objects keyed by field name). Each record carries a version
// that every update raises, so that a save based on an older reading can
// be told apart and refused.
const char* const kHistorySchema = R"sql(
CREATE TABLE IF NOT EXISTS rav_history (
    change bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    tbl text NOT NULL,
    row_id bigint NOT NULL,
    op char(1) NOT NULL CHECK (op IN ('I', 'U', 'D')),
    who text NOT NULL DEFAULT current_user,
    at timestamptz NOT NULL DEFAULT clock_timestamp(),
    old_values jsonb,
    new_values jsonb);
CREATE INDEX IF NOT EXISTS rav_history_row ON rav_history (tbl, row_id, change);
CREATE OR REPLACE FUNCTION rav_bump_version() RETURNS trigger LANGUAGE plpgsql AS $f$
BEGIN
    NEW.rav_version := OLD.rav_version + 1;
    RETURN NEW;
END $f$;
CREATE OR REPLACE FUNCTION rav_record_change() RETURNS trigger LANGUAGE plpgsql AS $f$
DECLARE
    -- The table's own schema, whatever search path the writing tool uses.
    ins text := format('INSERT INTO %I.rav_history (tbl, row_id, op, old_values, new_values) '
                       'VALUES ($1, $2, $3, $4, $5)', TG_TABLE_SCHEMA);
BEGIN
    IF TG_OP = 'INSERT' THEN
        EXECUTE ins USING TG_TABLE_NAME, NEW.rowid, 'I', NULL::jsonb, to_jsonb(NEW) - 'rowid' - 'rav_version';
    ELSIF TG_OP = 'UPDATE' THEN
        EXECUTE ins USING TG_TABLE_NAME, NEW.rowid, 'U', to_jsonb(OLD) - 'rowid' - 'rav_version',
            to_jsonb(NEW) - 'rowid' - 'rav_version';
    ELSE
        EXECUTE ins USING TG_TABLE_NAME, OLD.rowid, 'D', to_jsonb(OLD) - 'rowid' - 'rav_version', NULL::jsonb;
    END IF;
    RETURN NULL;
END $f$;
)sql";

// A text as an SQL literal, for the few statements that cannot take
// parameters (view definitions); names only, never a user's values.
std::string quoteLiteral(const std::string& s)
{
    std::string out = "'";
    for (const char ch : s) {
        if (ch == '\'')
            out += '\'';
        out += ch;
    }
    return out + "'";
}

bool startsWithWord(const std::string& s, std::size_t i, const char* word)
{
    const std::size_t n = std::strlen(word);
    if (i + n > s.size() || !text::equalsIgnoreCase(std::string_view(s).substr(i, n), word))
        return false;
    return i + n == s.size() || !(std::isalnum(static_cast<unsigned char>(s[i + n])) || s[i + n] == '_');
}

// Unquoted names are folded to lower case by the server but not by SQLite,
// where names ignore case; so a bare word that names one of our tables or
// fields is quoted as the schema spells it.

// SQLite SQL of the engine and the layers above it, in PostgreSQL's words:
// ?N and ? become $N, COLLATE NOCASE goes (the columns are case-insensitive
// already), bare names are quoted, an INSERT hands back the row id it gave.
void translate(Stmt& s, const std::string& in, const std::map<std::string, std::string>& names)
{
    std::size_t i = 0;
    while (i < in.size() && std::isspace(static_cast<unsigned char>(in[i])))
        ++i;
    s.skip = startsWithWord(in, i, "PRAGMA");
    s.insert = startsWithWord(in, i, "INSERT");
    s.write = s.insert || startsWithWord(in, i, "UPDATE") || startsWithWord(in, i, "DELETE");
    // A SELECT reads its rows as they are stepped through, so that an
    // export of a million records never holds them all.
    s.stream = startsWithWord(in, i, "SELECT");
    std::string out;
    int highest = 0;
    bool wordStart = true;
    while (i < in.size()) {
        const char ch = in[i];
        if (ch == '\'' || ch == '"') {
            std::size_t j = i + 1;
            while (j < in.size()) {
                if (in[j] == ch) {
                    if (j + 1 < in.size() && in[j + 1] == ch) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out.append(in, i, j + 1 - i);
            i = j + 1;
            wordStart = true;
            continue;
        }
        if (ch == '?') {
            std::size_t j = i + 1;
            while (j < in.size() && std::isdigit(static_cast<unsigned char>(in[j])))
                ++j;
            const int n = j > i + 1 ? std::atoi(in.c_str() + i + 1) : highest + 1;
            highest = std::max(highest, n);
            out += "$" + std::to_string(n);
            i = j;
            wordStart = true;
            continue;
        }
        if (wordStart && startsWithWord(in, i, "COLLATE")) {
            std::size_t j = i + 7;
            while (j < in.size() && std::isspace(static_cast<unsigned char>(in[j])))
                ++j;
            if (startsWithWord(in, j, "NOCASE")) {
                i = j + 6;
                continue;
            }
        }
        if (wordStart && (std::isalpha(static_cast<unsigned char>(ch)) || ch == '_')) {
            std::size_t j = i;
            while (j < in.size() && (std::isalnum(static_cast<unsigned char>(in[j])) || in[j] == '_'))
                ++j;
            const std::string word = in.substr(i, j - i);
            const auto it = names.find(text::asciiLower(word));
            out += it == names.end() ? word : quoteIdent(it->second);
            i = j;
            wordStart = false;
            continue;
        }
        wordStart = !(std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '$');
        out += ch;
        ++i;
    }
    s.nParams = highest;
    s.params.assign(static_cast<std::size_t>(highest), std::nullopt);
    if (s.insert)
        out += " RETURNING rowid";
    s.sql = std::move(out);
}

void setSearchPath(Connection& c)
{
    const std::string path = c.pg->schema == "public" ? "public" : quoteIdent(c.pg->schema) + ", public";
    PQclear(query(c, "SELECT pg_catalog.set_config('search_path', $1, false)", { path }));
}

// The table's oid and its name as stored, or none.
std::optional<std::pair<std::string, std::string>> findTable(Connection& c, const std::string& name)
{
    Result r(query(c,
        "SELECT c.oid::text, c.relname FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n "
        "ON n.oid = c.relnamespace WHERE n.nspname = $1 AND c.relkind IN ('r', 'p') "
        "AND lower(c.relname) = lower($2) ORDER BY c.relname = $2 DESC LIMIT 1",
        { c.pg->schema, name }));
    if (r.rows() == 0)
        return std::nullopt;
    return std::make_pair(r.at(0, 0), r.at(0, 1));
}

// "SELECT * FROM t ..." with t's fields in place of the star: on a server
// the star would bring the row id column too, which SQLite keeps hidden.
std::string expandStar(Connection& c, const std::string& sql)
{
    std::size_t i = 0;
    auto blanks = [&] {
        while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i])))
            ++i;
    };
    blanks();
    if (!startsWithWord(sql, i, "SELECT"))
        return sql;
    i += 6;
    blanks();
    if (i >= sql.size() || sql[i] != '*')
        return sql;
    const std::size_t star = i++;
    blanks();
    if (!startsWithWord(sql, i, "FROM"))
        return sql;
    i += 4;
    blanks();
    std::string table;
    if (i < sql.size() && sql[i] == '"') {
        for (std::size_t j = i + 1; j < sql.size(); ++j) {
            if (sql[j] == '"') {
                if (j + 1 < sql.size() && sql[j + 1] == '"') {
                    table += '"';
                    ++j;
                    continue;
                }
                break;
            }
            table += sql[j];
        }
    } else {
        for (std::size_t j = i; j < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[j])) || sql[j] == '_'); ++j)
            table += sql[j];
    }
    if (table.empty())
        return sql;
    std::string list;
    for (const FieldDef& f : c.tableDef(table).fields)
        list += (list.empty() ? "" : ", ") + quoteIdent(f.name);
    return sql.substr(0, star) + list + sql.substr(star + 1);
}

// The EID as it was after change `asOf`, rebuilt from its history: temporary
// views in front of the table and the history (temporary objects come first
// in every name look-up), and a session that cannot write.
void showAsOf(Connection& c)
{
    const std::string schema = quoteIdent(c.pg->schema);
    if (!findTable(c, "rav_history"))
        throw Error("as_of needs an EID that keeps a history (one created on a server)");
    const TableDef def = server::readTableDef(c, c.pg->table);
    const std::string n = std::to_string(c.pg->asOf);
    run(c, "CREATE TEMPORARY VIEW rav_history AS SELECT * FROM " + schema + ".rav_history WHERE change <= " + n,
        "cannot go back to that change");
    std::string columns;
    for (const FieldDef& f : def.fields)
        columns += ", (h.new_values ->> " + quoteLiteral(f.name) + ")::public.citext COLLATE \"C\" AS "
            + quoteIdent(f.name);
    run(c, "CREATE TEMPORARY VIEW " + quoteIdent(def.name) + " AS SELECT h.row_id AS rowid, 0::bigint AS rav_version"
            + columns + " FROM (SELECT DISTINCT ON (row_id) row_id, op, new_values FROM " + schema
            + ".rav_history WHERE tbl = " + quoteLiteral(def.name) + " AND change <= " + n
            + " ORDER BY row_id, change DESC) h WHERE h.op <> 'D'",
        "cannot go back to that change");
    run(c, "SET default_transaction_read_only = on");
}

} // namespace

std::shared_ptr<Connection> connect(const std::string& name, OpenMode mode, bool create)
{
    auto c = std::make_shared<Connection>();
    c->backend = Backend::Server;
    c->path = withoutPassword(name);
    c->mode = mode;
    c->pg = std::make_shared<Link>();
    const std::string conninfo = splitUri(name, *c->pg);
    c->pg->conn = PQconnectdb(conninfo.c_str());
    if (!c->pg->conn || PQstatus(c->pg->conn) != CONNECTION_OK) {
        const std::string msg = connectProblem(c->pg->conn);
        c->close();
        throw Error("cannot open " + c->path + ": " + msg);
    }
    try {
        PQsetNoticeProcessor(c->pg->conn, [](void*, const char*) {}, nullptr);
        run(*c, "SET client_encoding = 'UTF8'");
        if (create) {
            // Both may already be there; a team shares one database.
            run(*c, "CREATE EXTENSION IF NOT EXISTS citext SCHEMA public", "cannot set up the server");
            if (c->pg->schema != "public")
                run(*c, "CREATE SCHEMA IF NOT EXISTS " + quoteIdent(c->pg->schema), "cannot set up the server");
        }
        setSearchPath(*c);
        if (c->pg->asOf > 0)
            showAsOf(*c);
        if (create) {
            // A schema holds one EID, as a file does.
            if (findTable(*c, c->pg->table) || findTable(*c, "rav_meta"))
                throw Error("cannot create " + c->path + ": an EID exists there already");
            run(*c, "CREATE TABLE IF NOT EXISTS rav_meta (name text PRIMARY KEY, value bigint NOT NULL)",
                "cannot set up the server");
            run(*c, kHistorySchema, "cannot set up the server");
        }
    } catch (const Error& e) {
        c->close();
        const std::string msg = e.what();
        throw Error(msg.rfind("cannot ", 0) == 0 ? msg : "cannot open " + c->path + ": " + msg);
    }
    return c;
}

void drop(const std::string& name)
{
    auto c = connect(name, OpenMode::Exclusive, false);
    run(*c, "BEGIN");
    run(*c, "DROP TABLE IF EXISTS " + quoteIdent(c->pg->table), "cannot drop the table");
    run(*c, "DROP TABLE IF EXISTS rav_meta", "cannot drop the table");
    // The history of a replaced EID speaks of row ids the new one reuses.
    run(*c, "DROP TABLE IF EXISTS rav_history", "cannot drop the table");
    run(*c, "COMMIT", "cannot drop the table");
}

bool connected(const Connection& c)
{
    return c.pg->conn != nullptr;
}

void close(Connection& c)
{
    if (c.pg && c.pg->conn) {
        c.pg->streaming = nullptr;
        PQfinish(c.pg->conn);
        c.pg->conn = nullptr;
    }
}

void exec(Connection& c, const std::string& sql)
{
    // Session and transaction settings name no table or field and must come
    // first in a transaction: they go as they stand.
    if (startsWithWord(sql, 0, "SET")) {
        run(c, sql);
        return;
    }
    auto s = prepare(c, sql);
    step(c, *s, "statement failed");
}

std::shared_ptr<Stmt> prepare(Connection& c, const std::string& nativeSql)
{
    auto s = std::make_shared<Stmt>();
    if (c.names.empty()) {
        for (const std::string& table : tableNames(c)) {
            c.names.emplace(text::asciiLower(table), table);
            for (const FieldDef& f : c.tableDef(table).fields)
                c.names.emplace(text::asciiLower(f.name), f.name);
        }
        c.names.erase("rowid");
        c.names.erase("rav_version");
    }
    translate(*s, expandStar(c, nativeSql), c.names);
    return s;
}

void bind(Stmt& s, int index, Value v)
{
    if (index < 1 || index > s.nParams)
        throw Error("cannot bind a value: parameter " + std::to_string(index) + " out of range");
    // Parameters go as C strings and a server's text cannot hold a NUL
    // anyway: refused, never cut at the NUL.
    if (v && v->find('\0') != std::string::npos)
        throw Error("value " + std::to_string(index) + " contains a NUL character, which the server cannot store");
    s.params[static_cast<std::size_t>(index - 1)] = std::move(v);
}

namespace
{
// Prepares the statement on the server the first time it is needed.
void ensurePrepared(Connection& c, Stmt& s, const char* context)
{
    PGconn* conn = c.pg->conn;
    if (!conn)
        throw Error("the database is closed");
    settle(c);
    if (!s.name.empty() && s.preparedOn == conn)
        return;
    s.name = "rav_s" + std::to_string(++c.pg->statements);
    PGresult* p = PQprepare(conn, s.name.c_str(), s.sql.c_str(), s.nParams, nullptr);
    const bool ok = PQresultStatus(p) == PGRES_COMMAND_OK;
    const std::string msg = ok ? "" : describe(c, p);
    PQclear(p);
    if (!ok) {
        s.name.clear();
        throw Error(std::string(context) + ": " + msg);
    }
    s.preparedOn = conn;
}
} // namespace

// SAVEPOINT, the statement and RELEASE in one round trip (libpq's pipeline
// mode). Returns the statement's result; on its failure the transaction is
// left at the savepoint's failed state for the caller to roll back to.
PGresult* guardedExec(Connection& c, Stmt& s, const char* const* values, const char* context)
{
    PGconn* conn = c.pg->conn;
    if (PQenterPipelineMode(conn) != 1)
        throw Error(std::string(context) + ": " + firstLine(PQerrorMessage(conn)));
    const bool sent = PQsendQueryParams(conn, "SAVEPOINT rav_row", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1
        && PQsendQueryPrepared(conn, s.name.c_str(), s.nParams, values, nullptr, nullptr, 0) == 1
        && PQsendQueryParams(conn, "RELEASE SAVEPOINT rav_row", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1
        && PQpipelineSync(conn) == 1;
    PGresult* results[3] = { nullptr, nullptr, nullptr };
    bool synced = false;
    if (sent) {
        // Each query's result ends with a null; the sync has its own result.
        for (int q = 0; q < 4 && !lost(conn); ++q) {
            while (PGresult* r = PQgetResult(conn)) {
                if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
                    PQclear(r);
                    synced = true;
                    break;
                }
                if (q < 3 && !results[q])
                    results[q] = r;
                else
                    PQclear(r);
            }
            if (synced)
                break;
        }
    }
    PQexitPipelineMode(conn);
    PQclear(results[0]);
    PQclear(results[2]);
    if (!sent || !synced) {
        PQclear(results[1]);
        return nullptr; // the caller reports the connection's state
    }
    return results[1];
}

namespace
{
// step() of a statement whose rows come one at a time.
bool stepStream(Connection& c, Stmt& s, const char* context)
{
    PGconn* conn = c.pg->conn;
    if (!s.executed) {
        ensurePrepared(c, s, context);
        std::vector<const char*> values;
        for (const auto& v : s.params)
            values.push_back(v ? v->c_str() : nullptr);
        if (PQsendQueryPrepared(conn, s.name.c_str(), s.nParams, values.data(), nullptr, nullptr, 0) != 1)
            throw Error(std::string(context) + ": " + (lost(conn) ? std::string(kLost) : firstLine(PQerrorMessage(conn))));
        PQsetSingleRowMode(conn);
        s.executed = true;
        s.link = c.pg.get();
        c.pg->streaming = &s;
    }
    PQclear(s.res);
    s.res = nullptr;
    s.row = -1;
    PGresult* r = nullptr;
    if (!s.buffered.empty()) {
        r = s.buffered.front();
        s.buffered.pop_front();
    } else if (c.pg->streaming == &s) {
        r = PQgetResult(conn);
    } else if (!s.failure.empty()) {
        const std::string msg = std::exchange(s.failure, std::string());
        throw Error(std::string(context) + ": " + msg);
    }
    if (r && PQresultStatus(r) == PGRES_SINGLE_TUPLE) {
        s.res = r;
        s.row = 0;
        return true;
    }
    const bool failed = r && PQresultStatus(r) != PGRES_TUPLES_OK;
    const std::string msg = failed ? describe(c, r) : "";
    PQclear(r);
    s.endStream();
    if (failed)
        throw Error(std::string(context) + ": " + msg);
    return false;
}
} // namespace

bool step(Connection& c, Stmt& s, const char* context)
{
    if (s.skip)
        return false;
    if (s.stream)
        return stepStream(c, s, context);
    if (!s.executed) {
        PGconn* conn = c.pg->conn;
        ensurePrepared(c, s, context);
        std::vector<const char*> values;
        for (const auto& v : s.params)
            values.push_back(v ? v->c_str() : nullptr);
        // Inside a transaction a failed statement would spoil the whole
        // transaction on a server; a savepoint keeps the rule that what was
        // written before a refused row stays written.
        const bool guard = s.write && c.pg->depth > 0;
        PQclear(s.res);
        s.res = guard ? guardedExec(c, s, values.data(), context)
                      : PQexecPrepared(conn, s.name.c_str(), s.nParams, values.data(), nullptr, nullptr, 0);
        const auto st = PQresultStatus(s.res);
        if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
            const std::string msg = describe(c, s.res);
            PQclear(s.res);
            s.res = nullptr;
            if (guard && !lost(conn))
                run(c, "ROLLBACK TO SAVEPOINT rav_row; RELEASE SAVEPOINT rav_row", context);
            throw Error(std::string(context) + ": " + msg);
        }
        s.executed = true;
        s.row = -1;
        if (s.write) {
            const char* n = PQcmdTuples(s.res);
            c.pg->changes = std::atoll(n);
            c.pg->total += c.pg->changes;
            if (s.insert && PQntuples(s.res) > 0)
                c.pg->lastId = std::atoll(PQgetvalue(s.res, 0, 0));
            return false;
        }
    }
    if (s.write || !s.res)
        return false;
    ++s.row;
    return s.row < PQntuples(s.res);
}

void reset(Stmt& s, bool clearBindings)
{
    s.endStream();
    PQclear(s.res);
    s.res = nullptr;
    s.executed = false;
    s.row = -1;
    if (clearBindings)
        s.params.assign(s.params.size(), std::nullopt);
}

int columnCount(Connection& c, Stmt& s)
{
    if (s.res)
        return PQnfields(s.res);
    if (s.skip)
        return 0;
    ensurePrepared(c, s, "cannot prepare a statement");
    PGresult* d = PQdescribePrepared(c.pg->conn, s.name.c_str());
    const int n = PQresultStatus(d) == PGRES_COMMAND_OK ? PQnfields(d) : 0;
    PQclear(d);
    return n;
}

std::optional<std::string_view> column(const Stmt& s, int index)
{
    if (!s.res || s.row < 0 || s.row >= PQntuples(s.res) || index < 0 || index >= PQnfields(s.res))
        return std::nullopt;
    if (PQgetisnull(s.res, s.row, index))
        return std::nullopt;
    return std::string_view(
        PQgetvalue(s.res, s.row, index), static_cast<std::size_t>(PQgetlength(s.res, s.row, index)));
}

TableDef readTableDef(Connection& c, const std::string& name)
{
    const auto found = findTable(c, name);
    if (!found)
        throw Error("no table [" + name + "] in " + c.path);
    const std::string& oid = found->first;
    TableDef def;
    def.name = found->second;
    std::map<std::string, std::size_t> byAttnum; // attnum -> field ordinal
    {
        Result r(query(c,
            "SELECT attnum::text, attname, attnotnull FROM pg_catalog.pg_attribute WHERE attrelid = $1::oid "
            "AND attnum > 0 AND NOT attisdropped AND attname NOT IN ('rowid', 'rav_version') ORDER BY attnum",
            { oid }));
        for (int i = 0; i < r.rows(); ++i) {
            FieldDef f;
            f.name = r.at(i, 1);
            f.required = r.at(i, 2) == "t";
            byAttnum[r.at(i, 0)] = def.fields.size();
            def.fields.push_back(std::move(f));
        }
    }
    {
        // Sizes and the zero-length rule, from the constraints themselves
        // rather than their names (the server shortens long names).
        Result r(query(c,
            "SELECT conkey[1]::text, pg_catalog.pg_get_constraintdef(oid) FROM pg_catalog.pg_constraint "
            "WHERE conrelid = $1::oid AND contype = 'c' AND array_length(conkey, 1) = 1",
            { oid }));
        for (int i = 0; i < r.rows(); ++i) {
            const auto it = byAttnum.find(r.at(i, 0));
            if (it == byAttnum.end())
                continue;
            FieldDef& f = def.fields[it->second];
            const std::string check = r.at(i, 1);
            const auto le = check.find("<= ");
            if (check.find("char_length") != std::string::npos && le != std::string::npos)
                f.size = std::atoi(check.c_str() + le + 3);
            else if (check.find("char_length") != std::string::npos && check.find("> 0") != std::string::npos)
                f.allowZeroLength = false;
        }
    }
    {
        Result r(query(c,
            "SELECT i.relname, x.indisunique, x.indisprimary, x.indkey::text, x.indoption::text "
            "FROM pg_catalog.pg_index x JOIN pg_catalog.pg_class i ON i.oid = x.indexrelid "
            "WHERE x.indrelid = $1::oid ORDER BY x.indisprimary DESC, i.oid",
            { oid }));
        for (int i = 0; i < r.rows(); ++i) {
            IndexDef ix;
            ix.name = r.at(i, 0);
            ix.unique = r.at(i, 1) == "t";
            ix.primary = r.at(i, 2) == "t";
            std::vector<std::string> keys, options;
            for (auto* list : { &keys, &options }) {
                const std::string src = r.at(i, list == &keys ? 3 : 4);
                std::size_t p = 0;
                while (p < src.size()) {
                    const auto sp = src.find(' ', p);
                    list->push_back(src.substr(p, sp == std::string::npos ? std::string::npos : sp - p));
                    p = sp == std::string::npos ? src.size() : sp + 1;
                }
            }
            bool ours = true;
            for (std::size_t k = 0; k < keys.size(); ++k) {
                const auto it = byAttnum.find(keys[k]);
                if (it == byAttnum.end()) {
                    ours = false; // the hidden rowid or an expression
                    break;
                }
                const bool desc = k < options.size() && (std::atoi(options[k].c_str()) & 1);
                ix.fields.push_back((desc ? "-" : "+") + def.fields[it->second].name);
            }
            if (ours)
                def.indexes.push_back(std::move(ix));
        }
    }
    return def;
}

std::vector<std::string> tableNames(Connection& c)
{
    Result r(query(c,
        "SELECT c.relname FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
        "WHERE n.nspname = $1 AND c.relkind IN ('r', 'p') AND c.relname NOT LIKE 'rav\\_%' ORDER BY c.oid",
        { c.pg->schema }));
    std::vector<std::string> out;
    for (int i = 0; i < r.rows(); ++i)
        out.push_back(r.at(i, 0));
    return out;
}

void createTable(Connection& c, const TableDef& def, const std::vector<bool>& required)
{
    std::string sql = "CREATE TABLE " + quoteIdent(def.name)
        + " (\"rowid\" bigint GENERATED BY DEFAULT AS IDENTITY UNIQUE, rav_version bigint NOT NULL DEFAULT 1";
    for (std::size_t i = 0; i < def.fields.size(); ++i) {
        const FieldDef& f = def.fields[i];
        const std::string col = quoteIdent(f.name);
        const std::string size = std::to_string(f.size);
        sql += ", " + col + " public.citext COLLATE \"C\"";
        if (required[i])
            sql += " NOT NULL";
        sql += " CONSTRAINT " + quoteIdent(f.name + " (size " + size + ")") + " CHECK (char_length(" + col
            + ") <= " + size + ")";
        if (!f.allowZeroLength)
            sql += " CONSTRAINT " + quoteIdent(f.name + " (zero-length text not allowed)") + " CHECK (char_length("
                + col + ") > 0)";
    }
    auto key = [&def](const std::string& f, bool withDirection) {
        const bool sign = !f.empty() && (f[0] == '+' || f[0] == '-');
        const std::string name = sign ? f.substr(1) : f;
        return quoteIdent(def.fields[static_cast<std::size_t>(def.fieldIndex(name))].name)
            + (withDirection ? (sign && f[0] == '-' ? " DESC" : " ASC") : "");
    };
    for (const auto& ix : def.indexes) {
        if (!ix.primary)
            continue;
        // A primary key has no key directions on this server.
        sql += ", CONSTRAINT " + quoteIdent(ix.name) + " PRIMARY KEY (";
        for (std::size_t k = 0; k < ix.fields.size(); ++k)
            sql += (k ? ", " : "") + key(ix.fields[k], false);
        sql += ")";
    }
    run(c, sql + ")", "cannot create the table");
    // Tables of a database created elsewhere have no history of ours.
    if (!findTable(c, "rav_history"))
        run(c, kHistorySchema, "cannot create the table");
    const std::string table = quoteIdent(def.name);
    run(c, "CREATE TRIGGER rav_version BEFORE UPDATE ON " + table
            + " FOR EACH ROW EXECUTE FUNCTION rav_bump_version()",
        "cannot create the table");
    run(c, "CREATE TRIGGER rav_history AFTER INSERT OR UPDATE OR DELETE ON " + table
            + " FOR EACH ROW EXECUTE FUNCTION rav_record_change()",
        "cannot create the table");
    for (const auto& ix : def.indexes) {
        if (ix.primary)
            continue;
        std::string isql = std::string(ix.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + quoteIdent(ix.name)
            + " ON " + quoteIdent(def.name) + " (";
        for (std::size_t k = 0; k < ix.fields.size(); ++k)
            isql += (k ? ", " : "") + key(ix.fields[k], true);
        run(c, isql + ")", "cannot create an index");
    }
}

bool versioned(Connection& c, const std::string& table)
{
    const auto found = findTable(c, table);
    if (!found)
        return false;
    Result r(query(c,
        "SELECT 1 FROM pg_catalog.pg_attribute WHERE attrelid = $1::oid AND attname = 'rav_version' "
        "AND NOT attisdropped",
        { found->first }));
    return r.rows() > 0;
}

std::int64_t meta(Connection& c, const char* key)
{
    Result r(query(c,
        "SELECT value::text FROM rav_meta WHERE name = $1 AND to_regclass('rav_meta') IS NOT NULL", { key }));
    return r.rows() ? std::atoll(r.at(0, 0).c_str()) : 0;
}

void setMeta(Connection& c, const char* key, std::int64_t value)
{
    PQclear(query(c,
        "INSERT INTO rav_meta (name, value) VALUES ($1, $2::bigint) "
        "ON CONFLICT (name) DO UPDATE SET value = excluded.value",
        { key, std::to_string(value) }));
}

void begin(Connection& c, const std::string& savepoint)
{
    run(c, c.pg->depth == 0 ? std::string("BEGIN") : "SAVEPOINT " + savepoint, "cannot start a transaction");
    ++c.pg->depth;
}

void commit(Connection& c, const std::string& savepoint)
{
    const int depth = c.pg->depth--;
    if (depth > 1) {
        run(c, "RELEASE SAVEPOINT " + savepoint, "cannot commit");
        return;
    }
    // A transaction the server already gave up answers COMMIT with ROLLBACK.
    settle(c);
    PGresult* res = PQexec(c.pg->conn, "COMMIT");
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK && std::strcmp(PQcmdStatus(res), "COMMIT") == 0;
    const std::string msg = ok ? "" : describe(c, res);
    PQclear(res);
    if (!ok)
        throw Error("cannot commit: " + (msg.empty() ? std::string("the transaction was rolled back") : msg));
}

void rollback(Connection& c, const std::string& savepoint)
{
    const int depth = c.pg->depth--;
    if (depth == 1)
        run(c, "ROLLBACK");
    else
        run(c, "ROLLBACK TO SAVEPOINT " + savepoint + "; RELEASE SAVEPOINT " + savepoint);
}

std::shared_ptr<Stmt> prepareLookup(
    Connection& c, const std::string& table, const std::string& field, const std::vector<std::string_view>& keys)
{
    // Written here rather than translated: the words of this statement
    // could be names of fields.
    const LookupJoin join = lookupJoin(c, table, field);
    auto s = std::make_shared<Stmt>();
    s->sql = "SELECT rav_k.rav_pos - 1" + join.columns
        + " FROM unnest($1::text[]) WITH ORDINALITY AS rav_k(rav_key, rav_pos) JOIN " + join.table + " rav_d ON rav_d."
        + join.keyField + " = rav_k.rav_key::public.citext COLLATE \"C\"";
    s->nParams = 1;
    s->stream = true;
    // The keys as an array literal: every element quoted, its quotes and
    // backslashes escaped. A key with a NUL matches no text on a server:
    // it goes as Null, which keeps the positions of the others.
    std::string array = "{";
    for (const std::string_view k : keys) {
        array += array.size() > 1 ? "," : "";
        if (k.find('\0') != std::string_view::npos) {
            array += "NULL";
            continue;
        }
        array += '"';
        for (const char ch : k) {
            if (ch == '"' || ch == '\\')
                array += '\\';
            array += ch;
        }
        array += '"';
    }
    s->params.assign(1, array + "}");
    return s;
}

struct Merge {
    TableDef def;
    std::string table; // quoted
    std::vector<std::string> cols; // quoted field names
    std::size_t key = 0;
    bool overwrite = false;
    bool versioned = false;
    bool copying = false;
    std::int64_t staged = 0;
    std::string buffer; // rows not yet sent
    // The tag of every kMergeRange-th row: the merge writes the rows in
    // ranges that start there, reporting progress after each.
    std::vector<std::int64_t> starts;
};

namespace
{

const char* kMergeContext = "cannot store the records";
// Rows written by one statement of a merge: a few seconds of the server's
// work at most, so that progress moves and a window stays alive.
constexpr std::int64_t kMergeRange = 20000;

// A value in COPY's text format, where the backslash, tab and line breaks
// have meanings of their own.
void appendCopyText(std::string& out, std::string_view v)
{
    for (const char ch : v) {
        switch (ch) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += ch;
        }
    }
}

void flushCopy(Connection& c, Merge& m)
{
    if (m.buffer.empty())
        return;
    if (PQputCopyData(c.pg->conn, m.buffer.data(), static_cast<int>(m.buffer.size())) != 1)
        throw Error(std::string(kMergeContext) + ": "
            + (lost(c.pg->conn) ? std::string(kLost) : firstLine(PQerrorMessage(c.pg->conn))));
    m.buffer.clear();
}

// Ends the COPY; `abandon` (a reason) makes the server discard it. Throws
// when the server refused what was sent, unless abandoning.
void endCopy(Connection& c, Merge& m, const char* abandon)
{
    m.copying = false;
    PGconn* conn = c.pg->conn;
    const bool sent = PQputCopyEnd(conn, abandon) == 1;
    std::string problem = sent ? "" : firstLine(PQerrorMessage(conn));
    while (PGresult* res = PQgetResult(conn)) {
        if (PQresultStatus(res) != PGRES_COMMAND_OK && problem.empty())
            problem = describe(c, res);
        PQclear(res);
    }
    if (!problem.empty() && !abandon)
        throw Error(std::string(kMergeContext) + ": " + problem);
}

std::int64_t tuples(PGresult* res)
{
    const std::int64_t n = std::atoll(PQcmdTuples(res));
    PQclear(res);
    return n;
}

std::string joined(const std::vector<std::string>& items, const std::string& prefix, const std::string& sep = ", ")
{
    std::string out;
    for (const auto& item : items)
        out += (out.empty() ? "" : sep) + prefix + item;
    return out;
}

} // namespace

std::shared_ptr<Merge> mergeBegin(Connection& c, const std::string& table, const std::string& keyField, bool overwrite)
{
    auto m = std::make_shared<Merge>();
    m->def = c.tableDef(table);
    const int key = m->def.fieldIndex(keyField);
    if (key < 0)
        throw Error("no field " + keyField + " in table " + table);
    m->key = static_cast<std::size_t>(key);
    m->table = quoteIdent(m->def.name);
    for (const FieldDef& f : m->def.fields)
        m->cols.push_back(quoteIdent(f.name));
    m->overwrite = overwrite;
    m->versioned = versioned(c, m->def.name);
    // Staged values compare as the table's do, so that grouping and joining
    // by the key ignore letter case exactly as its unique index does.
    std::string stage = "CREATE TEMPORARY TABLE rav_stage (tag bigint NOT NULL";
    for (const auto& col : m->cols)
        stage += ", " + col + " public.citext COLLATE \"C\"";
    run(c, "DROP TABLE IF EXISTS pg_temp.rav_stage, pg_temp.rav_plan, pg_temp.rav_done, pg_temp.rav_more",
        kMergeContext);
    run(c, stage + ") ON COMMIT DROP", kMergeContext);
    settle(c);
    PGresult* res = PQexec(c.pg->conn, "COPY rav_stage FROM STDIN");
    const bool ok = PQresultStatus(res) == PGRES_COPY_IN;
    const std::string msg = ok ? "" : describe(c, res);
    PQclear(res);
    if (!ok)
        throw Error(std::string(kMergeContext) + ": " + msg);
    m->copying = true;
    return m;
}

void mergeAdd(Connection& c, Merge& m, std::int64_t tag, const std::vector<std::string_view>& values)
{
    if (!m.copying || values.size() != m.cols.size())
        throw Error(std::string(kMergeContext) + ": a row needs one value per field");
    m.buffer += std::to_string(tag);
    for (const std::string_view v : values) {
        m.buffer += '\t';
        appendCopyText(m.buffer, v);
    }
    m.buffer += '\n';
    if (m.staged % kMergeRange == 0)
        m.starts.push_back(tag);
    ++m.staged;
    if (m.buffer.size() >= (std::size_t { 1 } << 18))
        flushCopy(c, m);
}

void mergeAbandon(Connection& c, Merge& m)
{
    if (m.copying && c.pg->conn)
        endCopy(c, m, "abandoned");
}

// The rows are merged group by group of equal keys: `first` is a group's
// first row, `n` its number of rows, `target` the record it met when read and
// the original values (o0, o1, ...) what that record held then.
BulkMerge::Outcome mergeFinish(Connection& c, Merge& m, const BulkMerge::Progress& progress)
{
    flushCopy(c, m);
    endCopy(c, m, nullptr);
    run(c, "ANALYZE rav_stage", kMergeContext);
    run(c, "SET LOCAL work_mem = '128MB'", kMergeContext);
    // The range statements are estimated costly enough for the server to
    // compile them to machine code, each anew: at 1,000,000 lines that
    // cost more than a third of the import.
    run(c, "SET LOCAL jit = off", kMergeContext);
    const std::string& key = m.cols[m.key];
    // Each group carries its first row's values (v0, v1, ...), in line
    // order, so that the writes by range read the plan alone, in order.
    std::string originals, firstValues, staged, sets;
    for (std::size_t i = 0; i < m.cols.size(); ++i) {
        const std::string n = std::to_string(i);
        if (m.overwrite)
            originals += ", t." + m.cols[i] + " AS o" + n;
        firstValues += ", s." + m.cols[i] + " AS v" + n;
        staged += (i ? ", p.v" : "p.v") + n;
        sets += (i ? ", " : "") + m.cols[i] + " = p.v" + n;
    }
    run(c,
        "CREATE TEMPORARY TABLE rav_plan ON COMMIT DROP AS SELECT g.k, g.first, g.n, t.rowid AS target, "
            + std::string(m.versioned ? "t.rav_version" : "NULL::bigint") + " AS version" + originals + firstValues
            + " FROM (SELECT " + key + " AS k, min(tag) AS first, count(*) AS n FROM rav_stage"
            + " GROUP BY " + key + ") g JOIN rav_stage s ON s.tag = g.first LEFT JOIN " + m.table + " t ON t." + key
            + " = g.k ORDER BY g.first",
        kMergeContext);
    run(c, "CREATE INDEX ON rav_plan (first)", kMergeContext);
    run(c, "ANALYZE rav_plan", kMergeContext);
    const std::string cols = joined(m.cols, "");
    BulkMerge::Outcome out;
    // A statement over the groups whose first row is in one range after
    // the other ($1 <= first < $2, both ends tags), in tag order; the whole
    // merge is still one savepoint, all or nothing.
    const std::int64_t steps = m.overwrite ? 2 : 1;
    std::int64_t done = 0;
    auto inRanges = [&](const std::string& sql) {
        std::int64_t rows = 0;
        for (std::size_t r = 0; r < m.starts.size(); ++r) {
            const std::string end = r + 1 < m.starts.size() ? std::to_string(m.starts[r + 1])
                                                             : std::to_string(std::numeric_limits<std::int64_t>::max());
            rows += tuples(query(c, sql, { std::to_string(m.starts[r]), end }));
            done += std::min(kMergeRange, m.staged - static_cast<std::int64_t>(r) * kMergeRange);
            if (progress)
                progress(done, steps * m.staged);
        }
        return rows;
    };
    const std::string range = " AND p.first >= $1 AND p.first < $2";
    auto sums = [&c](const char* where) {
        Result r(query(c, std::string("SELECT count(*), coalesce(sum(n), 0) FROM rav_plan WHERE ") + where, {}));
        return std::make_pair(std::atoll(r.at(0, 0).c_str()), std::atoll(r.at(0, 1).c_str()));
    };
    if (!m.overwrite) {
        // The first row of each new key; every other row is a duplicate.
        out.added = inRanges("INSERT INTO " + m.table + " (" + cols + ") SELECT " + staged
            + " FROM rav_plan p WHERE p.target IS NULL" + range + " ORDER BY p.first");
        if (out.added < m.staged) {
            Result r(query(c,
                "SELECT s.tag FROM rav_stage s WHERE NOT EXISTS (SELECT 1 FROM rav_plan p WHERE p.first = s.tag "
                "AND p.target IS NULL) ORDER BY s.tag",
                {}));
            for (int i = 0; i < r.rows(); ++i)
                out.refused.push_back({ std::atoll(r.at(i, 0).c_str()), std::nullopt });
        }
        c.pg->total += out.added;
        return out;
    }

    // Each group is written row by row as a line-by-line import would, so
    // that the history records every write: its first row goes over the
    // record it met, where the version is still the one read (under READ
    // COMMITTED a record changed meanwhile is checked again in its new
    // state, so a concurrent save is never overwritten), or makes a new
    // record; its later rows follow, one pass per position in the group.
    run(c, "CREATE TEMPORARY TABLE rav_done (rowid bigint) ON COMMIT DROP", kMergeContext);
    const std::int64_t updated = inRanges("WITH u AS (UPDATE " + m.table + " t SET " + sets
        + " FROM rav_plan p WHERE p.target IS NOT NULL AND t.rowid = p.target"
        + (m.versioned ? " AND t.rav_version = p.version" : "") + range
        + " RETURNING t.rowid) INSERT INTO rav_done SELECT rowid FROM u");
    const auto [groupsMet, rowsMet] = sums("target IS NOT NULL");
    out.overwritten = rowsMet;
    if (updated < groupsMet) {
        // Every row of a group whose record someone else changed or deleted
        // is refused, with what it would have written.
        const std::size_t n = m.cols.size();
        std::string mine, theirs, original;
        for (std::size_t i = 0; i < n; ++i) {
            mine += ", s." + m.cols[i] + "::text";
            theirs += ", t." + m.cols[i] + "::text";
            original += ", p.o" + std::to_string(i) + "::text";
        }
        Result r(query(c,
            "SELECT s.tag, t.rowid IS NOT NULL" + mine + theirs + original + " FROM rav_plan p JOIN rav_stage s ON s."
                + key + " = p.k LEFT JOIN " + m.table + " t ON t.rowid = p.target WHERE p.target IS NOT NULL "
                "AND NOT EXISTS (SELECT 1 FROM rav_done d WHERE d.rowid = p.target)",
            {}));
        std::vector<std::string> names;
        for (const FieldDef& f : m.def.fields)
            names.push_back(f.name);
        for (int row = 0; row < r.rows(); ++row) {
            auto values = [&](std::size_t from) {
                std::vector<Value> v;
                for (std::size_t i = 0; i < n; ++i) {
                    const int col = static_cast<int>(from + i);
                    v.push_back(r.null(row, col) ? Value() : Value(r.at(row, col)));
                }
                return v;
            };
            const std::vector<Value> mineValues = values(2), theirValues = values(2 + n);
            out.refused.push_back({ std::atoll(r.at(row, 0).c_str()),
                makeConflict(names, &mineValues, r.at(row, 1) == "t" ? &theirValues : nullptr, values(2 + 2 * n)) });
            --out.overwritten;
        }
    }
    out.added = inRanges("INSERT INTO " + m.table + " (" + cols + ") SELECT " + staged
        + " FROM rav_plan p WHERE p.target IS NULL" + range + " ORDER BY p.first");
    out.overwritten += sums("target IS NULL").second - out.added;
    std::int64_t later = 0;
    if (sums("n > 1").first > 0) {
        run(c,
            "CREATE TEMPORARY TABLE rav_more ON COMMIT DROP AS SELECT s.tag, t.rowid AS target, "
            "row_number() OVER (PARTITION BY p.first ORDER BY s.tag) AS nth FROM rav_plan p JOIN rav_stage s ON s."
                + key + " = p.k JOIN " + m.table + " t ON t." + key + " = p.k WHERE p.n > 1 AND (p.target IS NULL "
                "OR EXISTS (SELECT 1 FROM rav_done d WHERE d.rowid = p.target))",
            kMergeContext);
        run(c, "CREATE INDEX ON rav_more (nth)", kMergeContext);
        Result most(query(c, "SELECT coalesce(max(nth), 0) FROM rav_more", {}));
        const std::int64_t passes = std::atoll(most.at(0, 0).c_str());
        std::string laterSets;
        for (const auto& col : m.cols)
            laterSets += (laterSets.empty() ? "" : ", ") + col + " = s." + col;
        for (std::int64_t nth = 2; nth <= passes; ++nth)
            later += tuples(query(c,
                "UPDATE " + m.table + " t SET " + laterSets
                    + " FROM rav_more m JOIN rav_stage s ON s.tag = m.tag WHERE m.nth = $1 AND t.rowid = m.target",
                { std::to_string(nth) }));
    }
    std::sort(out.refused.begin(), out.refused.end(),
        [](const BulkMerge::Refusal& a, const BulkMerge::Refusal& b) { return a.tag < b.tag; });
    c.pg->total += out.added + updated + later;
    return out;
}

std::int64_t changes(const Connection& c)
{
    return c.pg->changes;
}
std::int64_t totalChanges(const Connection& c)
{
    return c.pg->total;
}
std::int64_t lastInsertRowid(const Connection& c)
{
    return c.pg->lastId;
}

} // namespace server

bool isServerName(std::string_view name)
{
    return name.rfind("postgresql://", 0) == 0 || name.rfind("postgres://", 0) == 0;
}

// Both places a URI may carry a password go: "postgresql://u:secret@h"
// becomes "postgresql://u@h", and a "password=" parameter is dropped.
std::string nameWithoutPassword(const std::string& name)
{
    if (!isServerName(name))
        return name;
    std::string uri = name;
    const auto scheme = uri.find("://");
    if (scheme != std::string::npos) {
        const auto start = scheme + 3;
        const auto end = uri.find_first_of("/?", start);
        const std::string authority
            = uri.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const auto at = authority.rfind('@');
        const auto colon = authority.find(':');
        if (at != std::string::npos && colon != std::string::npos && colon < at)
            uri = uri.substr(0, start) + authority.substr(0, colon) + authority.substr(at)
                + (end == std::string::npos ? "" : uri.substr(end));
    }
    const auto q = uri.find('?');
    if (q == std::string::npos)
        return uri;
    std::string kept;
    std::size_t i = q + 1;
    while (i <= uri.size()) {
        std::size_t amp = uri.find('&', i);
        if (amp == std::string::npos)
            amp = uri.size();
        const std::string pair = uri.substr(i, amp - i);
        const std::string key = text::asciiLower(pair.substr(0, pair.find('=')));
        if (key != "password" && !pair.empty())
            kept += (kept.empty() ? "" : "&") + pair;
        i = amp + 1;
    }
    return uri.substr(0, q) + (kept.empty() ? "" : "?" + kept);
}

} // namespace rav::db
