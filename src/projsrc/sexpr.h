// S-expressions as KiCad writes them (schematics, symbol and footprint
// files): lists in parentheses, bare atoms (keywords and numbers) and
// double-quoted strings with backslash escapes. The tree keeps every node's
// byte range in the source, so a writer can splice a change into the
// original bytes and leave every other byte as it was.
//
// The tree is one flat array (first child / next sibling by index) over the
// caller's bytes: a 100 MB schematic parses without a heap block per node,
// and atoms are views into the source, unescaped only when asked.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace rav::sexpr
{

// Malformed input; the message starts with "FILE:LINE:COLUMN: ".
class SyntaxError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum class Kind : std::uint8_t { List, Atom, String };

using Index = std::uint32_t;
constexpr Index kNone = 0xFFFFFFFFu;

struct Node {
    Kind kind = Kind::List;
    std::uint32_t begin = 0; // offset of "(", of the atom, or of the opening quote
    std::uint32_t end = 0; // offset one past ")", the atom, or the closing quote
    Index first = kNone; // first child (lists only)
    Index next = kNone; // next sibling
};

// A parsed text: the nodes over `source`, which must outlive the document.
// Node 0 is the first top-level expression; a text holds exactly one.
class Scanner;

// The bytes between tokens, and those that end an atom.
constexpr bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

constexpr bool endsAtom(char c)
{
    return isBlank(c) || c == '(' || c == ')' || c == '"';
}

class Document
{
public:
    // Throws SyntaxError for an empty text, an unbalanced parenthesis, an
    // unterminated string, more than one top-level expression, or a text
    // beyond 4 GiB.
    static Document parse(std::string_view source, const std::string& fileName);

    const Node& node(Index i) const { return nodes_[i]; }
    Index root() const { return 0; }
    std::string_view source() const { return source_; }
    std::size_t size() const { return nodes_.size(); }

    // The bytes of a node as written ("\"a\\\"b\"" for a string).
    std::string_view raw(Index i) const
    {
        return source_.substr(nodes_[i].begin, nodes_[i].end - nodes_[i].begin);
    }
    // The look-ups below take kNone (a child that is not there) as an empty
    // node, so a reader can chain them over a short or odd list.
    // An atom's or string's value (strings unescaped); empty for a list.
    std::string text(Index i) const;
    // A list's head keyword ("symbol" for "(symbol ...)"); empty when the
    // list is empty or starts with a list or string.
    std::string_view head(Index i) const;
    // The n-th child (0: the head), or kNone.
    Index child(Index list, std::size_t n) const;
    // The first child list whose head is `keyword`, or kNone.
    Index find(Index list, std::string_view keyword) const;
    // The text of child 1 of the first child list `keyword` ("(unit 2)" -> "2").
    std::string value(Index list, std::string_view keyword) const;

    // Reads the top-level list one child at a time, handing each to `visit`
    // as a document of its own (node 0 is the child; offsets are those of
    // the whole text, which `source` stays), and returns the list's head
    // keyword. A large file is read in the memory of its largest child, so
    // the time per child stays flat. Lists inside a child named in `shallow`
    // are built only as far as a reader looks into them (their first `keep`
    // children, the head counting); the rest is checked but not built.
    // Throws SyntaxError as parse does.
    struct Shallow {
        std::string_view head;
        std::uint32_t keep = 1;
    };
    // Top-level lists headed `scanned` are not built at all: `scan` reads
    // them with a Scanner standing after the head (what it leaves unread is
    // skipped and checked).
    static std::string_view forEachChild(std::string_view source, const std::string& fileName,
        const std::function<void(const Document&)>& visit, const std::vector<Shallow>& shallow = {},
        std::string_view scanned = {}, const std::function<void(Scanner&)>& scan = {});

    // 1-based line and column of a byte offset, for messages.
    std::pair<std::size_t, std::size_t> lineColumn(std::size_t offset) const;

private:
    // Parses one expression starting at or after offset `i` (blanks first),
    // appending its nodes; returns the offset after it.
    class ShallowHeads;
    std::size_t parseAt(std::size_t i, const std::string& fileName, const ShallowHeads* shallow = nullptr);
    // Offset one past the ")" closing the list open before `i`.
    std::size_t skipList(std::size_t i, const std::string& fileName) const;

    // The open lists while parsing, each with its last child so far; kept
    // to spare an allocation per item when reading item by item.
    struct Open {
        Index list;
        Index last;
        std::uint32_t left = kNone; // children still to build; kNone: all
    };
    std::string_view source_;
    std::vector<Node> nodes_;
    std::vector<Open> stack_;
};

// A forward read of one top-level list, building nothing: for a reader that
// takes a few values out of many large lists and skips the rest. Errors are
// those of Document::parse, at the same places.
class Scanner
{
public:
    enum class Token : std::uint8_t { Open, Close, Atom, String };
    // Reading at `at`, inside the list opening at `top` (depth 1).
    Scanner(std::string_view source, const std::string& fileName, std::size_t at, std::size_t top)
        : s_(source)
        , fileName_(fileName)
        , i_(at)
        , top_(top)
    {
    }
    // The next token; Close at depth 0 is the end of the top-level list.
    // Inline: a reader asks for every token it does not skip.
    Token next()
    {
        // Locals, not members, in the loops: a member written through
        // `this` may alias the bytes read, and would be stored every byte.
        const char* const p = s_.data();
        const std::size_t n = s_.size();
        std::size_t i = i_;
        while (i < n && isBlank(p[i]))
            ++i;
        if (i == n) [[unlikely]]
            unclosed();
        begin_ = i;
        switch (p[i]) {
        case '(':
            ++depth_;
            i_ = i + 1;
            return Token::Open;
        case ')':
            --depth_;
            i_ = i + 1;
            return Token::Close;
        case '"':
            i_ = stringEnd(i);
            return Token::String;
        default:
            while (++i < n && !endsAtom(p[i])) { }
            i_ = i;
            return Token::Atom;
        }
    }
    // An atom's bytes, or a string's with its quotes, as last read.
    std::string_view raw() const { return s_.substr(begin_, i_ - begin_); }
    // After Open: skips the rest of that list, its ")" included.
    void skipList();
    // The rest of the top-level list, to its ")".
    void finish();
    std::size_t depth() const { return depth_; }
    std::size_t offset() const { return i_; }

private:
    [[noreturn]] void unclosed() const;
    std::size_t stringEnd(std::size_t at) const;

    std::string_view s_;
    const std::string& fileName_;
    std::size_t i_, top_, begin_ = 0, depth_ = 1;
};

// A string's inner bytes with KiCad's escapes resolved.
std::string unescape(std::string_view inner);

// The plain tokenise of the same grammar (parentheses, atoms, strings),
// counting tokens and building nothing: the baseline a reader is measured
// against. Returns the token count; throws SyntaxError as parse does.
std::size_t countTokens(std::string_view source, const std::string& fileName);

// A string value in KiCad's quoted form: backslash before '"' and '\\',
// line ends as "\n".
std::string quote(std::string_view value);

} // namespace rav::sexpr
