#include "dialect.h"

#include "connection.h"
#include "textcodec.h"

#include <cstdint>

namespace rav::db::dialect
{

namespace
{

bool isWordByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
        || c >= 0x80;
}

std::string describe(const Token& t)
{
    switch (t.kind) {
    case TokenKind::End:
        return "the end of the text";
    case TokenKind::Name:
        return "'[" + t.text + "]'";
    case TokenKind::Text:
        return "the text \"" + t.text + "\"";
    default:
        return "'" + t.text + "'";
    }
}

[[noreturn]] void refuse(const Token& t, const std::string& expected)
{
    throw Error("query refused at " + describe(t) + " (position " + std::to_string(t.pos + 1) + "): expected "
        + expected);
}

class Parser
{
public:
    Parser(std::string_view text, Backend backend)
        : tokens_(tokenize(text))
        , backend_(backend)
    {
    }

    const Token& peek() const { return tokens_[i_]; }
    const Token& take() { return tokens_[i_ < tokens_.size() - 1 ? i_++ : i_]; }

    bool isKeyword(const char* word) const
    {
        return peek().kind == TokenKind::Word && text::equalsIgnoreCase(peek().text, word);
    }
    bool acceptKeyword(const char* word)
    {
        if (!isKeyword(word))
            return false;
        ++i_;
        return true;
    }
    void expectKeyword(const char* word)
    {
        if (!acceptKeyword(word))
            refuse(peek(), word);
    }
    bool accept(TokenKind kind)
    {
        if (peek().kind != kind)
            return false;
        ++i_;
        return true;
    }
    void expectEnd()
    {
        accept(TokenKind::Semicolon);
        if (peek().kind != TokenKind::End)
            refuse(peek(), "the end of the statement");
    }

    // A plain or bracketed name; keywords of the dialect are not names
    // unless bracketed.
    Token name(const char* what)
    {
        const Token& t = peek();
        if (t.kind == TokenKind::Name || (t.kind == TokenKind::Word && !isReserved(t.text)))
            return take();
        refuse(t, what);
    }

    static bool isReserved(const std::string& w)
    {
        static const char* const words[]
            = { "select", "from", "where", "order", "by", "asc", "desc", "and", "or", "not", "like", "is",
                  "null", "delete", "update", "set", "group", "having", "union", "distinct", "top" };
        for (const char* k : words)
            if (text::equalsIgnoreCase(w, k))
                return true;
        return false;
    }

    // A column reference: name, or table qualifier '.' or '!' name.
    struct ColumnRef {
        Token qualifier; // kind End when absent
        Token column;
    };
    ColumnRef columnRef()
    {
        ColumnRef ref;
        Token first = name("a column name");
        if (peek().kind == TokenKind::Dot || peek().kind == TokenKind::Bang) {
            take();
            ref.qualifier = first;
            ref.column = name("a column name");
        } else {
            ref.column = first;
        }
        return ref;
    }

    static int resolve(const ColumnRef& ref, const TableDef& table)
    {
        if (ref.qualifier.kind != TokenKind::End && !text::equalsIgnoreCase(ref.qualifier.text, table.name))
            throw Error("query refused at " + describe(ref.qualifier) + " (position "
                + std::to_string(ref.qualifier.pos + 1) + "): the statement reads table [" + table.name
                + "] only");
        const int ordinal = table.fieldIndex(ref.column.text);
        if (ordinal < 0)
            throw Error("query refused at " + describe(ref.column) + " (position "
                + std::to_string(ref.column.pos + 1) + "): table [" + table.name + "] has no field ["
                + ref.column.text + "]");
        return ordinal;
    }

    // expr := term { OR term }; term := factor { AND factor };
    // factor := NOT factor | '(' expr ')' | predicate
    void expression(const TableDef& table, Condition& out)
    {
        term(table, out);
        while (acceptKeyword("or")) {
            out.sql += " OR ";
            term(table, out);
        }
    }
    void term(const TableDef& table, Condition& out)
    {
        factor(table, out);
        while (acceptKeyword("and")) {
            out.sql += " AND ";
            factor(table, out);
        }
    }
    void factor(const TableDef& table, Condition& out)
    {
        if (acceptKeyword("not")) {
            out.sql += "NOT ";
            factor(table, out);
            return;
        }
        if (accept(TokenKind::LParen)) {
            out.sql += "(";
            expression(table, out);
            if (!accept(TokenKind::RParen))
                refuse(peek(), "')'");
            out.sql += ")";
            return;
        }
        predicate(table, out);
    }

    // predicate := column compare text | column [NOT] LIKE text | column IS [NOT] NULL
    void predicate(const TableDef& table, Condition& out)
    {
        const ColumnRef ref = columnRef();
        const std::string column = quoteIdent(table.fields[resolve(ref, table)].name);
        if (acceptKeyword("is")) {
            const bool negated = acceptKeyword("not");
            expectKeyword("null");
            out.sql += "(" + column + (negated ? " IS NOT NULL)" : " IS NULL)");
            return;
        }
        bool negated = false;
        if (acceptKeyword("not")) {
            negated = true;
            if (!isKeyword("like"))
                refuse(peek(), "LIKE");
        }
        if (acceptKeyword("like")) {
            const std::string pattern = textValue();
            checkLikePattern(pattern);
            // Stars alone match every text: the test is whether there is
            // one, which spares a million-row grid a function call per row.
            // (Not Like keeps the function: NOT of Null stays Null.)
            if (!negated && !pattern.empty() && pattern.find_first_not_of('*') == std::string::npos) {
                out.sql += "(" + column + " IS NOT NULL)";
                return;
            }
            // A pattern without wildcards is an equality, which can use an index.
            if (likeIsPlainText(pattern)) {
                out.sql += negated ? "NOT (" + column + " = ?)" : "(" + column + " = ?)";
                out.params.emplace_back(pattern);
            } else if (backend_ == Backend::Server) {
                // The server has no Like of ours; the same pattern as a
                // case-insensitive regular expression matches the same texts.
                out.sql += std::string(negated ? "NOT " : "") + "(" + column + "::text ~* ?)";
                out.params.emplace_back(likeToRegex(pattern));
            } else {
                out.sql += negated ? "NOT rav_like(?, " + column + ")" : "rav_like(?, " + column + ")";
                out.params.emplace_back(pattern);
            }
            return;
        }
        if (peek().kind != TokenKind::Compare)
            refuse(peek(), "a comparison (=, <>, <, >, <=, >=, Like, Is Null)");
        const std::string op = take().text;
        out.sql += "(" + column + " " + op + " ?)";
        out.params.emplace_back(textValue());
    }

    std::string textValue()
    {
        if (peek().kind != TokenKind::Text)
            refuse(peek(), "a quoted text");
        return take().text;
    }

    std::vector<Token> tokens_;
    std::size_t i_ = 0;
    Backend backend_;
};

} // namespace

std::vector<Token> tokenize(std::string_view s)
{
    std::vector<Token> out;
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        Token t;
        t.pos = i;
        if (c == '"' || c == '\'') {
            // Quoted text; a doubled quote inside stands for one quote.
            const char q = static_cast<char>(c);
            std::size_t j = i + 1;
            for (;;) {
                if (j >= n)
                    throw Error("query refused: text starting at position " + std::to_string(i + 1)
                        + " has no closing quote");
                if (s[j] == q) {
                    if (j + 1 < n && s[j + 1] == q) {
                        t.text += q;
                        j += 2;
                        continue;
                    }
                    break;
                }
                t.text += s[j++];
            }
            t.kind = TokenKind::Text;
            i = j + 1;
        } else if (c == '[') {
            // "]]" inside the brackets is one ']' of the name.
            std::size_t close = i + 1;
            t.text.clear();
            for (;; ++close) {
                close = s.find(']', close);
                if (close == std::string_view::npos)
                    throw Error("query refused: name starting at position " + std::to_string(i + 1)
                        + " has no closing ']'");
                if (close + 1 < n && s[close + 1] == ']') {
                    ++close;
                    continue;
                }
                break;
            }
            t.kind = TokenKind::Name;
            const std::string_view inside = s.substr(i + 1, close - i - 1);
            for (std::size_t k = 0; k < inside.size(); ++k) {
                t.text += inside[k];
                if (inside[k] == ']')
                    ++k;
            }
            if (t.text.find('[') != std::string::npos)
                throw Error("query refused at '[" + t.text + "]' (position " + std::to_string(i + 1)
                    + "): '[' inside a bracketed name");
            i = close + 1;
        } else if (isWordByte(c)) {
            std::size_t j = i;
            while (j < n && isWordByte(static_cast<unsigned char>(s[j])))
                ++j;
            t.text = std::string(s.substr(i, j - i));
            if (c >= '0' && c <= '9')
                throw Error("query refused at '" + t.text + "' (position " + std::to_string(i + 1)
                    + "): numbers are not supported, write values as quoted texts");
            t.kind = TokenKind::Word;
            i = j;
        } else if (c == '<' || c == '>' || c == '=') {
            t.kind = TokenKind::Compare;
            t.text = std::string(1, static_cast<char>(c));
            if (i + 1 < n && c != '=' && (s[i + 1] == '=' || (c == '<' && s[i + 1] == '>')))
                t.text += s[i + 1];
            i += t.text.size();
        } else {
            switch (c) {
            case '*':
                t.kind = TokenKind::Star;
                break;
            case ',':
                t.kind = TokenKind::Comma;
                break;
            case '.':
                t.kind = TokenKind::Dot;
                break;
            case '!':
                t.kind = TokenKind::Bang;
                break;
            case '(':
                t.kind = TokenKind::LParen;
                break;
            case ')':
                t.kind = TokenKind::RParen;
                break;
            case ';':
                t.kind = TokenKind::Semicolon;
                break;
            default:
                throw Error("query refused at '" + std::string(1, static_cast<char>(c)) + "' (position "
                    + std::to_string(i + 1) + "): character not allowed here");
            }
            t.text = std::string(1, static_cast<char>(c));
            ++i;
        }
        out.push_back(std::move(t));
    }
    Token end;
    end.pos = n;
    out.push_back(end);
    return out;
}

bool isSelect(std::string_view statement)
{
    std::size_t i = 0;
    while (i < statement.size()
        && (statement[i] == ' ' || statement[i] == '\t' || statement[i] == '\r' || statement[i] == '\n'))
        ++i;
    const std::string_view rest = statement.substr(i);
    return rest.size() >= 6 && text::equalsIgnoreCase(rest.substr(0, 6), "select")
        && (rest.size() == 6 || !isWordByte(static_cast<unsigned char>(rest[6])));
}

SelectPlan parseSelect(std::string_view statement, const TableLookup& lookup, Backend backend)
{
    Parser p(statement, backend);
    p.expectKeyword("select");
    bool all = false;
    std::vector<Parser::ColumnRef> refs;
    if (p.accept(TokenKind::Star)) {
        all = true;
    } else {
        do
            refs.push_back(p.columnRef());
        while (p.accept(TokenKind::Comma));
    }
    p.expectKeyword("from");
    const Token tableTok = p.name("a table name");
    const TableDef& table = lookup(tableTok.text);

    SelectPlan plan;
    plan.table = table.name;
    if (all) {
        for (int k = 0; k < static_cast<int>(table.fields.size()); ++k)
            plan.columns.push_back(k);
    } else {
        for (const auto& r : refs)
            plan.columns.push_back(Parser::resolve(r, table));
    }
    if (p.acceptKeyword("where"))
        p.expression(table, plan.where);
    if (p.acceptKeyword("order")) {
        p.expectKeyword("by");
        do {
            const int ordinal = Parser::resolve(p.columnRef(), table);
            if (!plan.orderBy.empty())
                plan.orderBy += ", ";
            plan.orderBy += quoteIdent(table.fields[ordinal].name);
            const bool descending = p.acceptKeyword("desc");
            if (descending)
                plan.orderBy += " DESC";
            else
                p.acceptKeyword("asc");
            plan.orderKeys.emplace_back(ordinal, descending);
        } while (p.accept(TokenKind::Comma));
    }
    p.expectEnd();
    return plan;
}

Condition parseCriteria(std::string_view criteria, const TableDef& table, Backend backend)
{
    Parser p(criteria, backend);
    Condition c;
    p.expression(table, c);
    if (p.peek().kind != TokenKind::End)
        refuse(p.peek(), "AND, OR or the end of the criteria");
    return c;
}

ActionPlan parseAction(std::string_view statement, const TableLookup& lookup, Backend backend)
{
    Parser p(statement, backend);
    ActionPlan plan;
    Condition where;
    if (p.acceptKeyword("delete")) {
        p.accept(TokenKind::Star);
        p.expectKeyword("from");
        const TableDef& table = lookup(p.name("a table name").text);
        plan.table = table.name;
        if (p.acceptKeyword("where"))
            p.expression(table, where);
        plan.sql = "DELETE FROM " + quoteIdent(table.name);
    } else if (p.acceptKeyword("update")) {
        const TableDef& table = lookup(p.name("a table name").text);
        plan.table = table.name;
        p.expectKeyword("set");
        plan.sql = "UPDATE " + quoteIdent(table.name) + " SET ";
        do {
            const int ordinal = Parser::resolve(p.columnRef(), table);
            if (p.peek().kind != TokenKind::Compare || p.peek().text != "=")
                refuse(p.peek(), "'='");
            p.take();
            Value v;
            if (!p.acceptKeyword("null"))
                v = p.textValue();
            if (!plan.assignments.empty())
                plan.sql += ", ";
            plan.sql += quoteIdent(table.fields[ordinal].name) + " = ?";
            plan.params.push_back(v);
            plan.assignments.emplace_back(ordinal, v);
        } while (p.accept(TokenKind::Comma));
        if (p.acceptKeyword("where"))
            p.expression(table, where);
    } else {
        refuse(p.peek(), "DELETE or UPDATE");
    }
    p.expectEnd();
    if (!where.sql.empty()) {
        plan.sql += " WHERE " + where.sql;
        plan.params.insert(plan.params.end(), where.params.begin(), where.params.end());
    }
    return plan;
}

} // namespace rav::db::dialect
