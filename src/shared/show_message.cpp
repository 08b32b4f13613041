#include "show_message.h"

#include "host_utility.h"

#include <array>
#include <string_view>

namespace rav
{
namespace
{

enum class ExtraPlace { None, After, Before };

struct CatalogueEntry {
    int code;
    const char* id;
    const char* defaultText;
    ExtraPlace extra;
};

// Codes the shared module knows. Entries whose text takes no extra ignore
// the caller's extra text, so a caller cannot change a fixed message.
constexpr std::array<CatalogueEntry, 16> kCatalogue = { {
    { 1, "3789", "Field Name must be unique", ExtraPlace::None },
    { 2, "37125", "No Record in External Database, File not created", ExtraPlace::None },
    { 3, "37118", "Maximum Rows is ", ExtraPlace::After },
    { 4, "37119", "Minimum Rows is 1.", ExtraPlace::None },
    { 5, "37165", "Starting Range not specified ", ExtraPlace::None },
    { 6, "3764", "Ending Range not specified ", ExtraPlace::None },
    { 7, "99892", " missing or invalid", ExtraPlace::Before },
    { 8, "37126", "No Records found!", ExtraPlace::None },
    { 9, "3788", "Field Length Exceeded!", ExtraPlace::None },
    { 10, "37124", "No Matching Records", ExtraPlace::None },
    { 11, "37139", "Record not found!", ExtraPlace::None },
    { 12, "37145", "Select a field as External Index Code", ExtraPlace::None },
    { 13, "37123", "No fields defined!", ExtraPlace::None },
    { 14, "3734", "Can't read the Part: ", ExtraPlace::After },
    { 15, "3733", "Can't chage the Part: ", ExtraPlace::After },
    { 100, "37169", "System Error: ", ExtraPlace::After },
} };

} // namespace

std::string catalogueMessageTitle()
{
    const HostUtility& host = HostUtility::instance();
    // The qualifier between the parentheses is never set by the editor.
    return host.GetLocalMessage("Dodiv 2000 - ", "99607")
        + host.GetLocalMessage("List of Material Editor", "") + " ()";
}

std::optional<UserMessage> catalogueMessage(int code, const std::string& extra)
{
    for (const CatalogueEntry& entry : kCatalogue) {
        if (entry.code != code)
            continue;
        const std::string looked = HostUtility::instance().GetLocalMessage(entry.defaultText, entry.id);
        UserMessage message;
        message.kind = MessageKind::Exclamation;
        message.id = entry.id;
        switch (entry.extra) {
        case ExtraPlace::None:
            message.text = looked;
            break;
        case ExtraPlace::After:
            message.text = looked + extra;
            break;
        case ExtraPlace::Before:
            message.text = extra + looked;
            break;
        }
        message.title = catalogueMessageTitle();
        return message;
    }
    return std::nullopt;
}

bool ShowMessage(int code, const std::string& extra, MessageSink& sink)
{
    const auto message = catalogueMessage(code, extra);
    if (message)
        sink.show(*message);
    return message.has_value();
}

std::string FormatMessage(const char* defaultText, const char* id, const std::vector<std::string>& args)
{
    const std::string text = HostUtility::instance().GetLocalMessage(defaultText, id);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const auto index = static_cast<std::size_t>(next - '1');
        if (text[i] == '%' && next >= '1' && next <= '9' && index < args.size()) {
            out += args[index];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string GroupedCount(std::int64_t count)
{
    // The separator is a message of its own, so each language brings its own.
    const std::string separator = HostUtility::instance().GetLocalMessage(",", "916000");
    const std::string digits = std::to_string(count < 0 ? -count : count);
    std::string out = count < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += separator;
        out += digits[i];
    }
    return out;
}

} // namespace rav
