// Text conversions shared by every layer: the host kernel speaks 8-bit
// Windows-1252, everything inside the editor is UTF-8, and sizes of database
// fields count characters, not bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace rav::text {

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Number of characters (code points) in valid UTF-8. Invalid bytes count
// one character each, so the result is never larger than the byte count.
std::size_t utf8Length(std::string_view utf8);

// The first `count` characters of a UTF-8 text, never splitting a character.
std::string utf8Left(std::string_view utf8, std::size_t count);

// Windows-1252 bytes to UTF-8. The five bytes that the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the
// same value, as the platform's own conversion does.
std::string cp1252ToUtf8(std::string_view bytes);

// UTF-8 to Windows-1252. Returns nothing when a character has no place in
// the code page; `badChar`, when given, receives the first such character.
std::optional<std::string> utf8ToCp1252(std::string_view utf8, std::string* badChar = nullptr);

// A text read from a file: UTF-8 (a leading byte-order mark is dropped), or
// Windows-1252 when the bytes are not valid UTF-8.
std::string decodeFileText(std::string_view bytes);

// ASCII-only case folding, enough for keywords and option words.
std::string asciiLower(std::string_view s);
std::string asciiUpper(std::string_view s);

// Case-insensitive comparison with exactly the folding the database engine
// uses for text columns (ASCII letters), so that a comparison made in code
// and one made by a query never disagree.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Leading and trailing blanks (spaces only, as the editor's trimming does).
std::string trimBlanks(std::string_view s);

// Text for an HTML page: & < > " as entities, everything else as it is.
std::string escapeHtml(std::string_view text);

} // namespace rav::text
