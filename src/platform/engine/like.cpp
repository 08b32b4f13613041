// The dialect's Like: '*' any run of characters, '?' one character, '#' one
// digit, '[abc]' / '[a-z]' one character of a class, '[!...]' one character
// outside it. The whole text must match; letters match without regard to
// case (ASCII folding, the same as the NOCASE collation of text columns).
#include "connection.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace rav::db
{

namespace
{

// Decodes one UTF-8 character at s[i], advancing i. A byte that does not
// start a well-formed sequence stands for itself, so that invalid text still
// matches consistently and nothing is read past the end.
char32_t nextChar(const unsigned char* s, std::size_t n, std::size_t& i)
{
    const unsigned char c = s[i];
    int len = 0;
    char32_t cp = 0;
    if (c < 0x80) {
        ++i;
        return c;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        ++i;
        return c;
    }
    if (i + len > n) {
        ++i;
        return c;
    }
    for (int k = 1; k < len; ++k) {
        const unsigned char b = s[i + k];
        if ((b & 0xC0) != 0x80) {
            ++i;
            return c;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    i += len;
    return cp;
}

char32_t fold(char32_t c)
{
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

struct Element {
    enum class Kind { Literal, AnyOne, Digit, Class, Star } kind = Kind::Literal;
    char32_t ch = 0; // Literal, folded
    std::vector<std::pair<char32_t, char32_t>> ranges; // Class, folded bounds
    bool negated = false; // Class
};

struct Pattern {
    std::vector<Element> elements;
    bool valid = true;
};

Pattern compile(const unsigned char* s, std::size_t n)
{
    Pattern p;
    std::size_t i = 0;
    while (i < n) {
        const char32_t c = nextChar(s, n, i);
        Element e;
        if (c == '*') {
            if (!p.elements.empty() && p.elements.back().kind == Element::Kind::Star)
                continue; // runs of stars are one star
            e.kind = Element::Kind::Star;
        } else if (c == '?') {
            e.kind = Element::Kind::AnyOne;
        } else if (c == '#') {
            e.kind = Element::Kind::Digit;
        } else if (c == '[') {
            e.kind = Element::Kind::Class;
            std::vector<char32_t> members;
            bool closed = false;
            bool first = true;
            while (i < n) {
                char32_t m = nextChar(s, n, i);
                if (m == ']') {
                    closed = true;
                    break;
                }
                if (first && m == '!') {
                    e.negated = true;
                    first = false;
                    continue;
                }
                first = false;
                // a-b is a range unless '-' is the last character of the class
                if (i + 1 < n && s[i] == '-' && s[i + 1] != ']') {
                    ++i;
                    char32_t hi = nextChar(s, n, i);
                    char32_t lo = fold(m);
                    hi = fold(hi);
                    if (lo > hi)
                        std::swap(lo, hi);
                    e.ranges.emplace_back(lo, hi);
                } else {
                    e.ranges.emplace_back(fold(m), fold(m));
                }
            }
            if (!closed) {
                p.valid = false;
                return p;
            }
        } else {
            e.ch = fold(c);
        }
        p.elements.push_back(std::move(e));
    }
    return p;
}

bool matchOne(const Element& e, char32_t c)
{
    switch (e.kind) {
    case Element::Kind::Literal:
        return fold(c) == e.ch;
    case Element::Kind::AnyOne:
        return true;
    case Element::Kind::Digit:
        return c >= '0' && c <= '9';
    case Element::Kind::Class: {
        const char32_t f = fold(c);
        bool in = false;
        for (const auto& [lo, hi] : e.ranges)
            if (f >= lo && f <= hi) {
                in = true;
                break;
            }
        // An upper-case letter in a range of capitals: compare unfolded too.
        if (!in && f != c)
            for (const auto& [lo, hi] : e.ranges)
                if (c >= lo && c <= hi) {
                    in = true;
                    break;
                }
        return in != e.negated;
    }
    case Element::Kind::Star:
        return false;
    }
    return false;
}

// Greedy matching with one backtrack point: a later star supersedes an
// earlier one, which is enough because a star matches any run.
bool matches(const Pattern& p, const std::vector<char32_t>& text)
{
    const auto& el = p.elements;
    std::size_t pi = 0, ti = 0;
    std::size_t starP = SIZE_MAX, starT = 0;
    while (ti < text.size()) {
        if (pi < el.size() && el[pi].kind == Element::Kind::Star) {
            starP = pi++;
            starT = ti;
            continue;
        }
        if (pi < el.size() && matchOne(el[pi], text[ti])) {
            ++pi;
            ++ti;
            continue;
        }
        if (starP != SIZE_MAX) {
            pi = starP + 1;
            ti = ++starT;
            continue;
        }
        return false;
    }
    while (pi < el.size() && el[pi].kind == Element::Kind::Star)
        ++pi;
    return pi == el.size();
}

void deletePattern(void* p)
{
    delete static_cast<Pattern*>(p);
}

// rav_like(pattern, value): 1, 0, or Null when either argument is Null.
void likeFunction(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    // The pattern is a bound constant: compile it once per statement run.
    const Pattern* pattern = static_cast<const Pattern*>(sqlite3_get_auxdata(ctx, 0));
    Pattern local;
    if (!pattern) {
        local = compile(sqlite3_value_text(argv[0]), static_cast<std::size_t>(sqlite3_value_bytes(argv[0])));
        sqlite3_set_auxdata(ctx, 0, new Pattern(local), deletePattern);
        pattern = &local;
    }
    if (!pattern->valid) {
        sqlite3_result_error(ctx, "invalid Like pattern (unclosed '[')", -1);
        return;
    }
    const auto* vs = sqlite3_value_text(argv[1]);
    const auto vn = static_cast<std::size_t>(sqlite3_value_bytes(argv[1]));
    thread_local std::vector<char32_t> text;
    text.clear();
    for (std::size_t i = 0; i < vn;)
        text.push_back(nextChar(vs, vn, i));
    sqlite3_result_int(ctx, matches(*pattern, text) ? 1 : 0);
}

} // namespace

void registerLike(sqlite3* db)
{
    sqlite3_create_function_v2(db, "rav_like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
        nullptr, likeFunction, nullptr, nullptr, nullptr);
}

bool likeIsPlainText(const std::string& pattern)
{
    return pattern.find_first_of("*?#[") == std::string::npos;
}

namespace
{
// One character as a regular-expression escape, so that no character of a
// pattern can mean anything but itself there.
std::string regexChar(char32_t c)
{
    char buf[16];
    if (c <= 0xFFFF)
        std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
    else
        std::snprintf(buf, sizeof buf, "\\U%08X", static_cast<unsigned>(c));
    return buf;
}
} // namespace

std::string likeToRegex(const std::string& pattern)
{
    const auto* s = reinterpret_cast<const unsigned char*>(pattern.data());
    const Pattern p = compile(s, pattern.size());
    if (!p.valid)
        throw Error("invalid Like pattern \"" + pattern + "\": '[' without ']'");
    std::string out = "^";
    for (const Element& e : p.elements) {
        switch (e.kind) {
        case Element::Kind::Literal:
            out += regexChar(e.ch);
            break;
        case Element::Kind::AnyOne:
            out += ".";
            break;
        case Element::Kind::Digit:
            out += "[0-9]";
            break;
        case Element::Kind::Star:
            out += ".*";
            break;
        case Element::Kind::Class:
            out += e.negated ? "[^" : "[";
            for (const auto& [lo, hi] : e.ranges)
                out += lo == hi ? regexChar(lo) : regexChar(lo) + "-" + regexChar(hi);
            out += "]";
            break;
        }
    }
    return out + "$";
}

void checkLikePattern(const std::string& pattern)
{
    const auto* s = reinterpret_cast<const unsigned char*>(pattern.data());
    if (!compile(s, pattern.size()).valid)
        throw Error("invalid Like pattern \"" + pattern + "\": '[' without ']'");
}

} // namespace rav::db
