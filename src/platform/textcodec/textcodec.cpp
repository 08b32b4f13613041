#include "textcodec.h"

#include <array>
#include <cstdint>

namespace rav::text {
namespace {

// Code points of bytes 0x80..0x9F in Windows-1252; undefined slots keep the
// C1 control of the same value.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `pos`; returns its length, or 0 when the
// bytes there are not a well-formed sequence.
std::size_t decodeOne(std::string_view s, std::size_t pos, char32_t& cp)
{
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (pos + len > s.size())
        return 0;
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

char asciiLowerChar(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool isValidUtf8(std::string_view bytes)
{
    char32_t cp = 0;
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t len = decodeOne(bytes, pos, cp);
        if (len == 0)
            return false;
        pos += len;
    }
    return true;
}

std::size_t utf8Length(std::string_view utf8)
{
    std::size_t count = 0;
    char32_t cp = 0;
    for (std::size_t pos = 0; pos < utf8.size(); ++count) {
        const std::size_t len = decodeOne(utf8, pos, cp);
        pos += len == 0 ? 1 : len;
    }
    return count;
}

std::string utf8Left(std::string_view utf8, std::size_t count)
{
    std::size_t pos = 0;
    char32_t cp = 0;
    for (std::size_t n = 0; n < count && pos < utf8.size(); ++n) {
        const std::size_t len = decodeOne(utf8, pos, cp);
        pos += len == 0 ? 1 : len;
    }
    return std::string(utf8.substr(0, pos));
}

std::string cp1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    // Kernel texts are mostly ASCII: copy each run of it in one append.
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80)
            continue;
        out.append(bytes.data() + runStart, i - runStart);
        appendUtf8(out, b < 0xA0 ? kHigh[b - 0x80] : b);
        runStart = i + 1;
    }
    out.append(bytes.data() + runStart, bytes.size() - runStart);
    return out;
}

std::optional<std::string> utf8ToCp1252(std::string_view utf8, std::string* badChar)
{
    std::string out;
    out.reserve(utf8.size());
    char32_t cp = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t len = decodeOne(utf8, pos, cp);
        if (len == 0) {
            if (badChar)
                *badChar = std::string(1, utf8[pos]);
            return std::nullopt;
        }
        bool mapped = false;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            mapped = true;
        } else {
            for (std::size_t i = 0; i < kHigh.size(); ++i) {
                if (kHigh[i] == cp) {
                    out += static_cast<char>(0x80 + i);
                    mapped = true;
                    break;
                }
            }
        }
        if (!mapped) {
            if (badChar)
                *badChar = std::string(utf8.substr(pos, len));
            return std::nullopt;
        }
        pos += len;
    }
    return out;
}

std::string decodeFileText(std::string_view bytes)
{
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    if (isValidUtf8(bytes))
        return std::string(bytes);
    return cp1252ToUtf8(bytes);
}

std::string asciiLower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = asciiLowerChar(c);
    return out;
}

std::string asciiUpper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLowerChar(a[i]) != asciiLowerChar(b[i]))
            return false;
    return true;
}

std::string trimBlanks(std::string_view s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(' ');
    return std::string(s.substr(first, last - first + 1));
}

std::string escapeHtml(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace rav::text
