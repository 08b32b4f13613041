#include "component_value.h"

#include <array>
#include <utility>

namespace rav::project
{

namespace
{

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True, advancing `pos`, when `s` continues with `word` (ASCII case ignored).
bool take(std::string_view s, std::size_t& pos, std::string_view word)
{
    if (s.size() - pos < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (lower(s[pos + i]) != lower(word[i]))
            return false;
    pos += word.size();
    return true;
}

void skipBlanks(std::string_view s, std::size_t& pos)
{
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t'))
        ++pos;
}

// An SI prefix at `pos`: its power of ten, advancing `pos`. `withR` also
// takes R (the factor one), which only the RKM form uses as a prefix.
std::optional<int> takePrefix(std::string_view s, std::size_t& pos, bool withR)
{
    if (pos >= s.size())
        return std::nullopt;
    if (take(s, pos, "meg"))
        return 6;
    if (take(s, pos, "\xC2\xB5") || take(s, pos, "\xCE\xBC")) // micro sign, Greek mu
        return -6;
    switch (s[pos]) {
    case 'p':
    case 'P':
        ++pos;
        return -12;
    case 'n':
    case 'N':
        ++pos;
        return -9;
    case 'u':
    case 'U':
        ++pos;
        return -6;
    case 'm':
        ++pos;
        return -3;
    case 'k':
    case 'K':
        ++pos;
        return 3;
    case 'M':
        ++pos;
        return 6;
    case 'G':
        ++pos;
        return 9;
    case 'R':
    case 'r':
        if (withR) {
            ++pos;
            return 0;
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The unit at `pos` in lower case ("" for ohms), advancing `pos`: a unit of
// a passive part, else one or two letters ending the text.
std::string takeUnit(std::string_view s, std::size_t& pos)
{
    // Longer words first, so that "ohms" is not read as "ohm" and a rest.
    constexpr std::array<std::string_view, 5> ohms { "ohms", "ohm", "\xE2\x84\xA6", "\xCE\xA9", "r" };
    for (std::string_view u : ohms)
        if (take(s, pos, u))
            return {};
    std::size_t end = pos;
    while (end < s.size() && isLetter(s[end]))
        ++end;
    if (end == pos || end - pos > 2)
        return {};
    std::string unit;
    for (; pos < end; ++pos)
        unit += lower(s[pos]);
    return unit;
}

} // namespace

std::optional<Quantity> readQuantity(std::string_view value)
{
    std::size_t pos = 0;
    skipBlanks(value, pos);
    std::string whole, fraction;
    while (pos < value.size() && isDigit(value[pos]))
        whole += value[pos++];
    int power = 0;
    bool rkm = false;
    if (pos < value.size() && value[pos] == '.') {
        ++pos;
        while (pos < value.size() && isDigit(value[pos]))
            fraction += value[pos++];
        if (whole.empty() && fraction.empty())
            return std::nullopt;
    } else if (whole.empty()) {
        return std::nullopt;
    } else {
        // RKM: a prefix letter (or R) between two runs of digits.
        std::size_t at = pos;
        if (auto p = takePrefix(value, at, true); p && at < value.size() && isDigit(value[at])) {
            power = *p;
            rkm = true;
            pos = at;
            while (pos < value.size() && isDigit(value[pos]))
                fraction += value[pos++];
        }
    }
    skipBlanks(value, pos);
    if (!rkm)
        if (auto p = takePrefix(value, pos, false))
            power = *p;
    skipBlanks(value, pos);
    std::string unit = takeUnit(value, pos);
    skipBlanks(value, pos);
    if (pos != value.size())
        return std::nullopt;

    // value = digits x 10^exponent, digits without leading or trailing zeros.
    std::string digits = whole + fraction;
    long exponent = power - static_cast<long>(fraction.size());
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return Quantity { "0", unit };
    digits.erase(0, first);
    while (digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    const long n = static_cast<long>(digits.size());
    const long order = exponent + n - 1; // power of ten of the leading digit
    const long engineering = (order >= 0 ? order / 3 : -((-order + 2) / 3)) * 3;
    if (engineering < -12 || engineering > 9)
        return std::nullopt;
    const long shift = exponent - engineering; // at most 2, as order - engineering is
    std::string mantissa;
    if (shift >= 0) {
        mantissa = digits + std::string(static_cast<std::size_t>(shift), '0');
    } else {
        const std::size_t point = static_cast<std::size_t>(n + shift); // at least 1
        mantissa = digits.substr(0, point) + "." + digits.substr(point);
    }
    static constexpr std::array<const char*, 8> kPrefixes { "p", "n", "u", "m", "", "k", "M", "G" };
    return Quantity { mantissa + kPrefixes[static_cast<std::size_t>((engineering + 12) / 3)], unit };
}

std::optional<std::string> canonicalValue(std::string_view value)
{
    auto q = readQuantity(value);
    if (!q || !(q->unit.empty() || q->unit == "f" || q->unit == "h"))
        return std::nullopt;
    return std::move(q->number);
}

std::string normaliseValue(const std::string& value)
{
    return canonicalValue(value).value_or(value);
}

} // namespace rav::project
