// Small text helpers every subsystem uses: the number at the start of a
// text, the comma-separated fields of a command string, and whether a code
// field holds a code at all.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rav
{

// The number at the start of a text, read the way settings and user input
// are read throughout the editor: blanks and tabs in front are skipped, the
// first comma counts as a decimal point, and reading stops at the first
// character that cannot continue the number. An empty text, or one that
// does not start with a number, gives 0. "12,5" -> 12.5, "3 mm" -> 3,
// " 44" -> 44, "-1" -> -1, "1e3" -> 1000.
double NumericValue(std::string_view text);

// The fields of a comma-separated text, numbered from 1. No quoting, no
// trimming: "a, b,," has the fields "a", " b", "" and "". An empty text has
// no fields at all.
class FieldList
{
public:
    FieldList() = default;
    explicit FieldList(std::vector<std::string> fields)
        : fields_(std::move(fields))
    {
    }

    std::size_t count() const { return fields_.size(); }
    // Field k, 1 <= k <= count(); throws std::out_of_range otherwise (a
    // command that lacks a field it needs is an error of that command).
    const std::string& field(std::size_t k) const;
    const std::vector<std::string>& fields() const { return fields_; }

private:
    std::vector<std::string> fields_;
};

FieldList SplitFields(std::string_view text);

// Whether a code field (an EIC, a part number) holds a stand-in rather than
// a code, blanks around ignored: nothing, only punctuation ("_", "-", "~",
// "?", "--"), or a word that says there is none ("n/a", "na", "none",
// "null", "nil", "tbd", "tba", "unknown"; any case). Such a code is no code:
// it neither names a record nor makes parts equal.
bool IsPlaceholderCode(std::string_view code);

// The part fields that hold a part's code when none is named, in the order
// they are tried: "EIC", "MPN", "manf#", "Manufacturer_Part_Number",
// "Part Number" (names compare without regard to ASCII case).
const std::vector<std::string>& DefaultCodeFields();

} // namespace rav
