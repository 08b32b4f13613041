#include "sexpr.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <functional>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace rav::sexpr
{

namespace
{

std::pair<std::size_t, std::size_t> lineColumnOf(std::string_view s, std::size_t offset)
{
    offset = std::min(offset, s.size());
    const std::size_t line = 1 + static_cast<std::size_t>(std::count(s.begin(), s.begin() + offset, '\n'));
    const std::size_t lineStart = offset == 0 ? 0 : s.rfind('\n', offset - 1);
    return { line, lineStart == std::string_view::npos ? offset + 1 : offset - lineStart };
}

[[noreturn]] void fail(
    std::string_view s, const std::string& fileName, std::size_t offset, const std::string& why)
{
    const auto [line, column] = lineColumnOf(s, offset);
    throw SyntaxError(fileName + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + why);
}

// Offset one past the closing quote of the string opening at `at`.
std::size_t skipString(std::string_view s, std::size_t at, const std::string& fileName)
{
    std::size_t i = at + 1;
    const std::size_t n = s.size();
    while (i < n) {
        const char c = s[i];
        if (c == '"')
            return i + 1;
        i += c == '\\' ? 2 : 1;
    }
    fail(s, fileName, at, "a string that is never closed (the file may be cut short)");
}

// Offset one past the ")" closing `depth` lists open before `i`; `top` is
// the outermost one, named when the text ends first.
std::size_t skipOpen(
    std::string_view s, std::size_t i, std::size_t depth, const std::string& fileName, std::size_t top)
{
    // Only parentheses and strings matter here: one table look-up a byte.
    static constexpr auto kStop = [] {
        std::array<bool, 256> t {};
        t['('] = t[')'] = t['"'] = true;
        return t;
    }();
    const std::size_t n = s.size();
#ifdef __SSE2__
    // Sixteen bytes at a time: the stops among them as bits of a mask, each
    // handled without reading the bytes between them.
    const __m128i open = _mm_set1_epi8('('), close = _mm_set1_epi8(')'), quote = _mm_set1_epi8('"');
    while (i + 16 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)), _mm_cmpeq_epi8(v, quote))));
        std::size_t next = i + 16;
        while (mask != 0) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
            const char c = s[at];
            if (c == '(') {
                ++depth;
            } else if (c == ')') {
                if (--depth == 0)
                    return at + 1;
            } else {
                // A string may end past this block: go on after it.
                next = skipString(s, at, fileName);
                break;
            }
            mask &= mask - 1;
        }
        i = next;
    }
#endif
    while (i < n) {
        const char c = s[i];
        if (!kStop[static_cast<unsigned char>(c)]) {
            ++i;
        } else if (c == '"') {
            i = skipString(s, i, fileName);
        } else if (c == '(') {
            ++depth;
            ++i;
        } else {
            ++i;
            if (--depth == 0)
                return i;
        }
    }
    fail(s, fileName, top, "this \"(\" is never closed (the file may be cut short)");
}

void checkSize(std::string_view s, const std::string& fileName)
{
    if (s.size() >= 0xFFFFFFFFull)
        throw SyntaxError(fileName + ": the file is larger than 4 GiB");
}

} // namespace

// The heads of lists built in part, looked up by length and first byte
// before any comparison: every list of a file asks.
class Document::ShallowHeads
{
public:
    explicit ShallowHeads(const std::vector<Shallow>& heads)
        : heads_(heads)
    {
        for (const Shallow& h : heads)
            if (!h.head.empty() && h.head.size() < 16)
                maybe_.set(key(h.head));
    }
    // How many children of a list with this head to build; 0: all.
    std::uint32_t keep(std::string_view head) const
    {
        if (head.empty() || head.size() >= 16 || !maybe_.test(key(head)))
            return 0;
        for (const Shallow& h : heads_)
            if (h.head == head)
                return std::max<std::uint32_t>(h.keep, 1);
        return 0;
    }

private:
    static std::size_t key(std::string_view h) { return h.size() << 8 | static_cast<unsigned char>(h[0]); }
    const std::vector<Shallow>& heads_;
    std::bitset<16 * 256> maybe_;
};

std::size_t Document::skipList(std::size_t i, const std::string& fileName) const
{
    return skipOpen(source_, i, 1, fileName, nodes_[stack_.front().list].begin);
}

std::size_t Document::parseAt(std::size_t i, const std::string& fileName, const ShallowHeads* shallow)
{
    const std::string_view s = source_;
    const std::size_t n = s.size();
    std::vector<Open>& stack = stack_;
    stack.clear();
    auto add = [&](Kind kind, std::size_t begin, std::size_t end) {
        const Index index = static_cast<Index>(nodes_.size());
        nodes_.push_back(Node { kind, static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end) });
        if (!stack.empty()) {
            Open& parent = stack.back();
            if (parent.last == kNone)
                nodes_[parent.list].first = index;
            else
                nodes_[parent.last].next = index;
            parent.last = index;
        }
    };
    // A child of the innermost open list is complete: a list built in part
    // that has all it keeps is only checked to its end, which completes a
    // child of the list around it.
    auto childDone = [&] {
        while (stack.size() > 1 && stack.back().left != kNone && --stack.back().left == 0) {
            i = skipList(i, fileName);
            nodes_[stack.back().list].end = static_cast<std::uint32_t>(i);
            stack.pop_back();
        }
    };
    while (i < n) {
        const char c = s[i];
        if (isBlank(c)) {
            ++i;
        } else if (c == '(') {
            add(Kind::List, i, i);
            stack.push_back({ static_cast<Index>(nodes_.size() - 1), kNone });
            ++i;
        } else if (c == ')') {
            if (stack.empty())
                fail(s, fileName, i, "a \")\" without its \"(\"");
            nodes_[stack.back().list].end = static_cast<std::uint32_t>(i + 1);
            stack.pop_back();
            ++i;
            if (stack.empty())
                return i;
            childDone();
        } else if (c == '"') {
            const std::size_t end = skipString(s, i, fileName);
            add(Kind::String, i, end);
            i = end;
            if (stack.empty())
                return i;
            childDone();
        } else {
            std::size_t end = i + 1;
            while (end < n && !endsAtom(s[end]))
                ++end;
            add(Kind::Atom, i, end);
            const std::size_t begin = i;
            i = end;
            if (stack.empty())
                return i;
            if (shallow && stack.size() > 1 && nodes_[stack.back().list].first == stack.back().last)
                if (const std::uint32_t keep = shallow->keep(s.substr(begin, end - begin)))
                    stack.back().left = keep;
            childDone();
        }
    }
    if (!stack.empty())
        fail(s, fileName, nodes_[stack.front().list].begin,
            "this \"(\" is never closed (the file may be cut short)");
    return i;
}

Document Document::parse(std::string_view s, const std::string& fileName)
{
    checkSize(s, fileName);
    Document d;
    d.source_ = s;
    // A schematic holds about one node per 5 bytes.
    d.nodes_.reserve(s.size() / 5 + 16);
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    if (i == s.size())
        throw SyntaxError(fileName + ": the file is empty");
    if (s[i] != '(')
        fail(
            s, fileName, i, s[i] == ')' ? "a \")\" without its \"(\"" : "the text does not start with \"(\"");
    i = d.parseAt(i, fileName);
    while (i < s.size() && isBlank(s[i]))
        ++i;
    if (i < s.size())
        fail(s, fileName, i,
            s[i] == ')' ? "a \")\" without its \"(\"" : "more text after the end of the expression");
    return d;
}

std::string_view Document::forEachChild(std::string_view s, const std::string& fileName,
    const std::function<void(const Document&)>& visit, const std::vector<Shallow>& shallow,
    std::string_view scanned, const std::function<void(Scanner&)>& scan)
{
    checkSize(s, fileName);
    std::size_t i = 0;
    const std::size_t n = s.size();
    auto blanks = [&] {
        while (i < n && isBlank(s[i]))
            ++i;
    };
    blanks();
    if (i == n)
        throw SyntaxError(fileName + ": the file is empty");
    if (s[i] != '(')
        fail(s, fileName, i, "the text does not start with \"(\"");
    const std::size_t open = i++;
    blanks();
    const std::size_t headStart = i;
    while (i < n && !endsAtom(s[i]))
        ++i;
    const std::string_view head = s.substr(headStart, i - headStart);
    const ShallowHeads heads(shallow);
    Document child;
    child.source_ = s;
    child.nodes_.reserve(256);
    for (;;) {
        blanks();
        if (i == n)
            fail(s, fileName, open, "this \"(\" is never closed (the file may be cut short)");
        if (s[i] == ')')
            break;
        if (scan && s[i] == '(') {
            // The head as parseAt would take it: after blanks, up to a delimiter.
            std::size_t h = i + 1;
            while (h < n && isBlank(s[h]))
                ++h;
            std::size_t e = h;
            while (e < n && !endsAtom(s[e]))
                ++e;
            if (e > h && s.substr(h, e - h) == scanned) {
                Scanner scanner(s, fileName, e, i);
                scan(scanner);
                scanner.finish();
                i = scanner.offset();
                continue;
            }
        }
        child.nodes_.clear();
        i = child.parseAt(i, fileName, shallow.empty() ? nullptr : &heads);
        visit(child);
    }
    ++i;
    blanks();
    if (i < n)
        fail(s, fileName, i,
            s[i] == ')' ? "a \")\" without its \"(\"" : "more text after the end of the expression");
    return head;
}

std::size_t countTokens(std::string_view s, const std::string& fileName)
{
    checkSize(s, fileName);
    std::size_t tokens = 0, depth = 0;
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = s[i];
        if (isBlank(c)) {
            ++i;
            continue;
        }
        ++tokens;
        if (c == '(') {
            ++depth;
            ++i;
        } else if (c == ')') {
            if (depth == 0)
                fail(s, fileName, i, "a \")\" without its \"(\"");
            --depth;
            ++i;
        } else if (c == '"') {
            i = skipString(s, i, fileName);
        } else {
            while (++i < n && !endsAtom(s[i])) { }
        }
    }
    if (depth != 0)
        throw SyntaxError(fileName + ": a \"(\" is never closed (the file may be cut short)");
    return tokens;
}

std::string unescape(std::string_view inner)
{
    // Most strings hold no escape: one copy.
    if (inner.find('\\') == std::string_view::npos)
        return std::string(inner);
    std::string out;
    out.reserve(inner.size());
    for (std::size_t k = 0; k < inner.size(); ++k) {
        char c = inner[k];
        if (c == '\\' && k + 1 < inner.size()) {
            c = inner[++k];
            switch (c) {
            case 'n':
                c = '\n';
                break;
            case 't':
                c = '\t';
                break;
            case 'r':
                c = '\r';
                break;
            default:
                break; // "\\", "\"" and any other escaped byte stand for themselves
            }
        }
        out += c;
    }
    return out;
}

std::string Document::text(Index i) const
{
    if (i == kNone)
        return {};
    const Node& n = nodes_[i];
    if (n.kind == Kind::Atom)
        return std::string(raw(i));
    if (n.kind == Kind::List)
        return {};
    return unescape(source_.substr(n.begin + 1, n.end - n.begin - 2));
}

std::size_t Scanner::stringEnd(std::size_t at) const
{
    return skipString(s_, at, fileName_);
}

void Scanner::unclosed() const
{
    fail(s_, fileName_, top_, "this \"(\" is never closed (the file may be cut short)");
}

void Scanner::skipList()
{
    i_ = skipOpen(s_, i_, 1, fileName_, top_);
    --depth_;
}

void Scanner::finish()
{
    if (depth_ > 0)
        i_ = skipOpen(s_, i_, depth_, fileName_, top_);
    depth_ = 0;
}

std::string_view Document::head(Index i) const
{
    if (i == kNone)
        return {};
    const Node& n = nodes_[i];
    if (n.kind != Kind::List || n.first == kNone || nodes_[n.first].kind != Kind::Atom)
        return {};
    return raw(n.first);
}

Index Document::child(Index list, std::size_t n) const
{
    if (list == kNone || nodes_[list].kind != Kind::List)
        return kNone;
    Index c = nodes_[list].first;
    for (; c != kNone && n > 0; --n)
        c = nodes_[c].next;
    return c;
}

Index Document::find(Index list, std::string_view keyword) const
{
    if (list == kNone || nodes_[list].kind != Kind::List)
        return kNone;
    for (Index c = nodes_[list].first; c != kNone; c = nodes_[c].next)
        if (nodes_[c].kind == Kind::List && head(c) == keyword)
            return c;
    return kNone;
}

std::string Document::value(Index list, std::string_view keyword) const
{
    const Index found = find(list, keyword);
    if (found == kNone)
        return {};
    const Index v = child(found, 1);
    return v == kNone ? std::string() : text(v);
}

std::pair<std::size_t, std::size_t> Document::lineColumn(std::size_t offset) const
{
    return lineColumnOf(source_, offset);
}

std::string quote(std::string_view value)
{
    std::string out;
    out.reserve(value.size() + 2);
    out += '"';
    for (const char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    out += '"';
    return out;
}

} // namespace rav::sexpr
