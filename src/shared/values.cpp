#include "values.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace rav
{
namespace
{

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

double NumericValue(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    // Collect the longest prefix that is a number, with the first comma
    // taken as the decimal point.
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            number += '-';
        ++i;
    }
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        number += text[i++];
        ++digits;
    }
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        // Only the first comma of the whole text turns into a point; a comma
        // after a point ends the number ("1.5,2" -> 1.5).
        const bool isPoint = text[i] == '.' || text.substr(0, i).find(',') == std::string_view::npos;
        if (isPoint) {
            number += '.';
            ++i;
            while (i < text.size() && isDigit(text[i])) {
                number += text[i++];
                ++digits;
            }
        }
    }
    if (digits == 0)
        return 0.0;
    if (i + 1 < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (text[j] == '+' || text[j] == '-')
            exponent += text[j++];
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j]))
                exponent += text[j++];
            number += exponent;
        }
    }
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        return number.front() == '-' ? -HUGE_VAL : HUGE_VAL;
    return result.ec == std::errc() ? value : 0.0;
}

const std::string& FieldList::field(std::size_t k) const
{
    if (k < 1 || k > fields_.size())
        throw std::out_of_range("field " + std::to_string(k) + " of " + std::to_string(fields_.size()));
    return fields_[k - 1];
}

FieldList SplitFields(std::string_view text)
{
    std::vector<std::string> fields;
    if (text.empty())
        return FieldList(std::move(fields));
    std::size_t start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            fields.emplace_back(text.substr(start));
            break;
        }
        fields.emplace_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return FieldList(std::move(fields));
}

bool IsPlaceholderCode(std::string_view code)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!code.empty() && blank(code.front()))
        code.remove_prefix(1);
    while (!code.empty() && blank(code.back()))
        code.remove_suffix(1);
    bool punctuationOnly = true;
    std::string lower;
    for (char c : code) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            punctuationOnly = false;
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (punctuationOnly)
        return true;
    for (std::string_view word : { "n/a", "na", "none", "null", "nil", "tbd", "tba", "unknown" })
        if (lower == word)
            return true;
    return false;
}

const std::vector<std::string>& DefaultCodeFields()
{
    static const std::vector<std::string> names { "EIC", "MPN", "manf#", "Manufacturer_Part_Number",
        "Part Number" };
    return names;
}

} // namespace rav
