#include "help_topic.h"

#include <filesystem>
#include <limits>
#include <system_error>

namespace rav::shell
{

namespace
{

// Signed 32-bit arithmetic with overflow detection.
bool fits(long long value)
{
    return value >= std::numeric_limits<std::int32_t>::min()
        && value <= std::numeric_limits<std::int32_t>::max();
}

} // namespace

std::optional<std::int32_t> HelpTopicNumber(long m, long s, long t, long u)
{
    for (long v : { m, s, t, u })
        if (!fits(v))
            return std::nullopt;
    long long topic = 0;
    if (u != 0) {
        if (m == 0 || s == 0 || t == 0)
            return 0;
        topic = (m - 1LL) * 13301 + 4 + (s - 1LL) * 133 + (t - 1LL) * 12 + (u - 1LL);
    } else if (t != 0) {
        if (m == 0 || s == 0)
            return 0;
        topic = (m - 1LL) * 13301 + 3 + (s - 1LL) * 133 + (t - 1LL) * 12;
    } else if (s != 0) {
        if (m == 0)
            return 0;
        topic = (m - 1LL) * 13301 + 2 + (s - 1LL) * 133;
    } else {
        if (m == 0)
            return 0;
        topic = (m - 1LL) * 13301 + 1;
    }
    if (!fits(topic))
        return std::nullopt;
    return static_cast<std::int32_t>(topic);
}

std::string HelpLimitMessage(long m, long s, long t, long u)
{
    std::string message = m > 11 ? "Menu No: exceeds 11" : "";
    if (s > 100)
        message += " SubMenu No. exceeds 100";
    if (t > 11)
        message += " Tool No: exceeds 11";
    if (u > 11)
        message += " SubTool No: exceeds 11";
    return message;
}

std::string LocalisedHelpFile(const std::string& helpFile, const std::string& language,
    const std::function<bool(const std::string&)>& exists)
{
    if (language.empty() || language == "en")
        return helpFile;
    // The language goes before the extension, so both files sort together.
    const std::size_t slash = helpFile.find_last_of("/\\");
    const std::size_t dot = helpFile.rfind('.');
    const std::size_t stemEnd
        = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : helpFile.size();
    const std::string candidate = helpFile.substr(0, stemEnd) + "." + language + helpFile.substr(stemEnd);
    const bool found = exists ? exists(candidate) : [&] {
        std::error_code error;
        return std::filesystem::is_regular_file(std::filesystem::path(candidate), error);
    }();
    return found ? candidate : helpFile;
}

} // namespace rav::shell
