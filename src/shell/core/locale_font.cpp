#include "locale_font.h"

#include <cmath>
#include <cstdlib>
#include <map>

namespace rav::shell
{

namespace
{

// Primary language ids of the suite's locale identifiers.
const std::map<std::string, std::uint32_t, std::less<>>& primaryLanguages()
{
    static const std::map<std::string, std::uint32_t, std::less<>> table = {
        { "ar", 0x01 },
        { "bg", 0x02 },
        { "ca", 0x03 },
        { "zh", 0x04 },
        { "cs", 0x05 },
        { "da", 0x06 },
        { "de", 0x07 },
        { "el", 0x08 },
        { "en", 0x09 },
        { "es", 0x0A },
        { "fi", 0x0B },
        { "fr", 0x0C },
        { "he", 0x0D },
        { "hu", 0x0E },
        { "is", 0x0F },
        { "it", 0x10 },
        { "ja", 0x11 },
        { "ko", 0x12 },
        { "nl", 0x13 },
        { "nb", 0x14 },
        { "no", 0x14 },
        { "pl", 0x15 },
        { "pt", 0x16 },
        { "ro", 0x18 },
        { "ru", 0x19 },
        { "hr", 0x1A },
        { "sk", 0x1B },
        { "sq", 0x1C },
        { "sv", 0x1D },
        { "th", 0x1E },
        { "tr", 0x1F },
        { "ur", 0x20 },
        { "id", 0x21 },
        { "uk", 0x22 },
        { "be", 0x23 },
        { "sl", 0x24 },
        { "et", 0x25 },
        { "lv", 0x26 },
        { "lt", 0x27 },
        { "fa", 0x29 },
        { "vi", 0x2A },
        { "eu", 0x2D },
        { "mk", 0x2F },
        { "af", 0x36 },
        { "hi", 0x39 },
        { "ms", 0x3E },
        { "gl", 0x56 },
    };
    return table;
}

// Identifiers whose sub-language is not the default one (1).
const std::map<std::string, std::uint32_t, std::less<>>& localeIdentifiers()
{
    static const std::map<std::string, std::uint32_t, std::less<>> table = {
        { "zh_TW", 0x0404 },
        { "zh_CN", 0x0804 },
        { "zh_HK", 0x0C04 },
        { "zh_SG", 0x1004 },
        { "zh_MO", 0x1404 },
        { "de_CH", 0x0807 },
        { "de_AT", 0x0C07 },
        { "de_LU", 0x1007 },
        { "en_GB", 0x0809 },
        { "en_AU", 0x0C09 },
        { "en_CA", 0x1009 },
        { "en_NZ", 0x1409 },
        { "en_IE", 0x1809 },
        { "en_ZA", 0x1C09 },
        { "es_MX", 0x080A },
        { "es_ES", 0x0C0A },
        { "es_AR", 0x2C0A },
        { "fr_BE", 0x080C },
        { "fr_CA", 0x0C0C },
        { "fr_CH", 0x100C },
        { "it_CH", 0x0810 },
        { "nl_BE", 0x0813 },
        { "nn_NO", 0x0814 },
        { "pt_PT", 0x0816 },
        { "sv_FI", 0x081D },
        { "ko_KR", 0x0412 },
        { "ja_JP", 0x0411 },
        { "en_US", 0x0409 },
        { "pt_BR", 0x0416 },
        { "sr_RS", 0x0C1A },
    };
    return table;
}

std::uint32_t primaryOf(std::uint32_t lcid)
{
    return lcid & 0x3FF;
}

// The sub-language as the identifier divided by 1024, to the nearest whole
// number (halves to even).
std::uint32_t subLanguageOf(std::uint32_t lcid)
{
    return static_cast<std::uint32_t>(std::nearbyint(static_cast<double>(lcid) / 1024.0));
}

const char* const kTraditionalFace = "\xE6\x96\xB0\xE7\xB4\xB0\xE6\x98\x8E\xE9\xAB\x94"; // 新細明體
const char* const kSimplifiedFace = "\xE5\xAE\x8B\xE4\xBD\x93"; // 宋体
// ＭＳ Ｐゴシック
const char* const kJapaneseFace
    = "\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF";
const char* const kKoreanFace = "\xEA\xB5\xB4\xEB\xA6\xBC"; // 굴림

} // namespace

std::string CurrentLocaleName()
{
    for (const char* var : { "LC_ALL", "LC_CTYPE", "LANG" }) {
        const char* value = std::getenv(var);
        if (value && *value)
            return value;
    }
    return "C";
}

std::uint32_t LcidFromLocaleName(std::string_view localeName)
{
    // Drop the code set and modifier: "de_DE.UTF-8@euro" -> "de_DE".
    const std::size_t cut = localeName.find_first_of(".@");
    std::string name(localeName.substr(0, cut));
    for (char& c : name)
        if (c == '-')
            c = '_';
    if (const auto it = localeIdentifiers().find(name); it != localeIdentifiers().end())
        return it->second;
    const std::string language = name.substr(0, name.find('_'));
    if (const auto it = primaryLanguages().find(language); it != primaryLanguages().end())
        return (1u << 10) | it->second;
    return 0x0409;
}

int CharsetForLcid(std::uint32_t lcid)
{
    switch (primaryOf(lcid)) {
    case 0x04: {
        const std::uint32_t sub = subLanguageOf(lcid);
        return (sub == 2 || sub == 4) ? 134 : 136;
    }
    case 0x11:
        return 128;
    case 0x12:
        return 129;
    case 0x05:
    case 0x0E:
    case 0x15:
    case 0x18:
    case 0x1A:
    case 0x1B:
    case 0x1C:
    case 0x24:
        return 238;
    case 0x02:
    case 0x19:
    case 0x22:
    case 0x23:
    case 0x2F:
        return 204;
    case 0x08:
        return 161;
    case 0x1F:
        return 162;
    case 0x0D:
        return 177;
    case 0x01:
    case 0x20:
    case 0x29:
        return 178;
    case 0x25:
    case 0x26:
    case 0x27:
        return 186;
    case 0x2A:
        return 163;
    case 0x1E:
        return 222;
    default:
        // Western languages use the western set (0); languages without an
        // 8-bit code page (Hindi) cannot be determined, which is 0 as well.
        return 0;
    }
}

int GetLocaleCharset()
{
    return CharsetForLcid(LcidFromLocaleName(CurrentLocaleName()));
}

FontChoice ChooseLocaleFont(std::uint32_t lcid, int userCharset,
    const std::function<bool(std::string& face)>& fontExists,
    const std::function<std::string(FontScript)>& fallbackFace)
{
    FontChoice choice;
    std::string tableFace;
    switch (primaryOf(lcid)) {
    case 0x04: {
        const std::uint32_t sub = subLanguageOf(lcid);
        const bool traditional = sub == 1 || sub == 3 || sub == 5;
        tableFace = traditional ? kTraditionalFace : kSimplifiedFace;
        choice.FontSize = 9;
        choice.Charset = traditional ? 136 : 134;
        choice.script = traditional ? FontScript::TraditionalChinese : FontScript::SimplifiedChinese;
        break;
    }
    case 0x11:
        tableFace = kJapaneseFace;
        choice.FontSize = 9;
        choice.Charset = 128;
        choice.script = FontScript::Japanese;
        break;
    case 0x12:
        tableFace = kKoreanFace;
        choice.FontSize = 9;
        choice.Charset = 129;
        choice.script = FontScript::Korean;
        break;
    default:
        choice.FontSize = 8;
        choice.Charset = userCharset;
        choice.script = FontScript::Western;
        for (const char* candidate : { "MS Sans Serif", "Arial", "System" }) {
            std::string face = candidate;
            if (fontExists(face)) {
                choice.FontFace = face;
                return choice;
            }
        }
        choice.FontFace = fallbackFace(FontScript::Western);
        return choice;
    }
    std::string face = tableFace;
    choice.FontFace = fontExists(face) ? face : fallbackFace(choice.script);
    return choice;
}

} // namespace rav::shell
