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

} // namespace rav
