#include "recedit_texts.h"

#include "host_utility.h"

namespace rav::recedit
{

std::string LocalText(const char* english, const char* id, std::initializer_list<std::string> args)
{
    std::string text = HostUtility::instance().GetLocalMessage(english, id);
    int n = 1;
    for (const std::string& arg : args) {
        const std::string place = "%" + std::to_string(n++);
        if (const auto at = text.find(place); at != std::string::npos)
            text.replace(at, place.size(), arg);
    }
    return text;
}

} // namespace rav::recedit
