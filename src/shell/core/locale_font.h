// The interface font from the system locale. Locales are named by the
// suite's 16-bit locale identifiers: primary language in the low 10 bits,
// sub-language above (0x0411 Japanese, 0x0409 English - United States).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace rav::shell
{

// The locale name the process runs under: LC_ALL, else LC_CTYPE, else LANG
// ("de_DE.UTF-8"); "C" when none is set. Read anew at every call.
std::string CurrentLocaleName();

// "ja_JP.UTF-8" -> 0x0411, "zh_TW" -> 0x0404, "de" -> 0x0407 (a language
// without territory takes its default sub-language). "C", "POSIX" and
// unknown languages give 0x0409, the suite's neutral English.
std::uint32_t LcidFromLocaleName(std::string_view localeName);

// The character set of the locale's 8-bit code page (0 western, 128
// Japanese, 129 Korean, 134 simplified and 136 traditional Chinese, 161
// Greek, 162 Turkish, 177 Hebrew, 178 Arabic, 186 Baltic, 204 Cyrillic,
// 222 Thai, 238 central European, 163 Vietnamese); 0 when the locale has no
// 8-bit code page or is unknown.
int CharsetForLcid(std::uint32_t lcid);

// The character set of the user's locale.
int GetLocaleCharset();

// The scripts the font table distinguishes.
enum class FontScript { Western, Japanese, SimplifiedChinese, TraditionalChinese, Korean };

struct FontChoice {
    std::string FontFace;
    int FontSize = 8;
    int Charset = 0;
    FontScript script = FontScript::Western;
};

// Chooses the font for a locale identifier.
// - Chinese (primary 4): sub-languages 1 (Taiwan), 3 (Hong Kong) and 5
//   (Macao) take the traditional face, 2 (PRC) and 4 (Singapore) the
//   simplified one; other sub-languages follow the simplified row.
// - Japanese (17) and Korean (18, every sub-language) take their rows.
// - Every other language tries "MS Sans Serif", "Arial", "System" in that
//   order, size 8, with `userCharset`.
// `fontExists` is asked whether a face is installed and may correct its
// spelling; when a table face is missing, `fallbackFace` names an installed
// face for the script (for Western, the platform's general font).
FontChoice ChooseLocaleFont(std::uint32_t lcid, int userCharset,
    const std::function<bool(std::string& face)>& fontExists,
    const std::function<std::string(FontScript)>& fallbackFace);

} // namespace rav::shell
