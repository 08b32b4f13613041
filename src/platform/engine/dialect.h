// Internal: the query dialect the editor writes (bracketed names,
// `[Device]![Col]`, double-quoted texts, Like with * ? # [..]) turned into
// the SQL of a backend: SQLite, or PostgreSQL where it differs (Like). Values always become bound parameters; names are checked
// against the table's definition and quoted, so no input can change the
// shape of the statement. Anything outside the subset is refused with an
// Error that names the offending token.
#pragma once

#include "db_types.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rav::db::dialect
{

enum class TokenKind {
    Word, // keyword or plain name: letters, digits, '_' and non-ASCII bytes
    Name, // [bracketed name], brackets removed
    Text, // "quoted text" or 'quoted text', quotes removed, doubled quotes undone
    Star, // *
    Comma, // ,
    Dot, // .
    Bang, // !
    LParen, // (
    RParen, // )
    Semicolon, // ;
    Compare, // = <> < > <= >=
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    std::size_t pos = 0; // byte offset in the statement, for messages
};

// Throws Error for characters outside the dialect and unclosed quotes or brackets.
std::vector<Token> tokenize(std::string_view statement);

// A translated condition: SQL with '?' placeholders and their values in order.
struct Condition {
    std::string sql; // empty: no condition
    std::vector<Value> params;
};

struct SelectPlan {
    std::string table; // as defined in the schema
    std::vector<int> columns; // table field ordinals in select order
    Condition where;
    std::string orderBy; // SQL after ORDER BY, empty when none
    std::vector<std::pair<int, bool>> orderKeys; // the same: field ordinal, descending
};

using TableLookup = std::function<const TableDef&(const std::string& name)>;

// True when the statement starts with the word SELECT.
bool isSelect(std::string_view statement);
SelectPlan parseSelect(
    std::string_view statement, const TableLookup& lookup, Backend backend = Backend::File);
// A criteria text: the condition alone, over the columns of `table`.
Condition parseCriteria(std::string_view criteria, const TableDef& table, Backend backend = Backend::File);

struct ActionPlan {
    std::string sql;
    std::vector<Value> params;
    std::vector<std::pair<int, Value>> assignments; // UPDATE: field ordinal, new value
    std::string table;
};
// DELETE [*] FROM t [WHERE ...] or UPDATE t SET c = "v" | Null, ... [WHERE ...].
ActionPlan parseAction(
    std::string_view statement, const TableLookup& lookup, Backend backend = Backend::File);

} // namespace rav::db::dialect
