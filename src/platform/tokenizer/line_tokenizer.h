// Splits one line of a delimited text file into its values: a plain split
// at every occurrence of a one-character delimiter, with no quoting, so
// empty values and blanks are kept exactly as the export wrote them.
//
// The tokenizer keeps its own copy of the last line; the views that Item()
// returns stay valid until the next Split() or the tokenizer's end. Reusing
// one tokenizer for every line of a file allocates only when a line is
// longer, or has more values, than any line before it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rav
{

class LineTokenizer
{
public:
    // Splits `line` at every `delimiter`. "a,,b," has four values: "a",
    // "", "b" and "". An empty line has no values.
    void Split(std::string_view line, char delimiter);
    // Number of values of the last line split.
    std::size_t Count() const { return items_.size(); }
    // Value at a 1-based position; a position of 0 or past the last value
    // gives the empty text (a short line has empty trailing values).
    std::string_view Item(std::size_t position) const
    {
        if (position < 1 || position > items_.size())
            return {};
        const Span& s = items_[position - 1];
        return std::string_view(line_).substr(s.start, s.length);
    }

private:
    // Offsets rather than views, so that copying or moving a tokenizer can
    // never leave it pointing into another object's line.
    struct Span {
        std::size_t start;
        std::size_t length;
    };
    std::string line_;
    std::vector<Span> items_;
};

} // namespace rav
