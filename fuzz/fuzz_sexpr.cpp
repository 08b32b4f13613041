// The S-expression parser under the schematic reader: any bytes are either
// refused with a SyntaxError (by the parser and the plain tokenise alike)
// or give a tree whose byte ranges nest inside the text, and a string
// written back with quote() reads back as the same value.
#include "fuzz_support.h"
#include "sexpr.h"

#include <string>

namespace
{
void checkRanges(const rav::sexpr::Document& doc, rav::sexpr::Index i, std::uint32_t begin, std::uint32_t end)
{
    const rav::sexpr::Node& n = doc.node(i);
    rav::fuzz::check(begin <= n.begin && n.begin < n.end && n.end <= end, "node outside its parent");
    std::uint32_t after = n.begin;
    for (auto c = n.first; c != rav::sexpr::kNone; c = doc.node(c).next) {
        rav::fuzz::check(doc.node(c).begin >= after, "children out of order");
        checkRanges(doc, c, n.begin, n.end);
        after = doc.node(c).end;
    }
    if (n.kind == rav::sexpr::Kind::String) {
        const std::string value = doc.text(i);
        const std::string quoted = rav::sexpr::quote(value);
        const auto again = rav::sexpr::Document::parse(quoted, "quoted");
        rav::fuzz::check(again.text(again.root()) == value, "quote() does not read back");
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bool parsed = true, tokenised = true;
    try {
        const auto doc = rav::sexpr::Document::parse(text, "fuzz");
        checkRanges(doc, doc.root(), 0, static_cast<std::uint32_t>(size));
    } catch (const rav::sexpr::SyntaxError&) {
        parsed = false;
    }
    try {
        rav::sexpr::countTokens(text, "fuzz");
    } catch (const rav::sexpr::SyntaxError&) {
        tokenised = false;
    }
    // The tokenise does not insist on one top-level expression, so it may
    // take what the parser refuses, never the other way round.
    rav::fuzz::check(!parsed || tokenised, "the tokenise refuses what the parser takes");
    return 0;
}
