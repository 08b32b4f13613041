#include "project_model.h"

namespace rav::project
{

namespace
{
// The device-text separator, byte 0x80 in Windows-1252, as UTF-8.
constexpr std::string_view kSeparator = "\xE2\x82\xAC";
} // namespace

std::string deviceText(const Device& device)
{
    std::string text = device.firstWord;
    if (!device.tokens)
        return text;
    text += ' ';
    for (std::size_t i = 0; i < device.tokens->size(); ++i) {
        if (i > 0)
            text += kSeparator;
        text += (*device.tokens)[i];
    }
    return text;
}

void splitDeviceText(const std::string& text, Device& device)
{
    const std::size_t blank = text.find(' ');
    if (blank == std::string::npos) {
        device.firstWord = text;
        device.tokens.reset();
        return;
    }
    device.firstWord = text.substr(0, blank);
    std::vector<std::string> tokens;
    std::size_t from = blank + 1;
    for (;;) {
        const std::size_t sep = text.find(kSeparator, from);
        if (sep == std::string::npos) {
            tokens.push_back(text.substr(from));
            break;
        }
        tokens.push_back(text.substr(from, sep - from));
        from = sep + kSeparator.size();
    }
    device.tokens = std::move(tokens);
}

} // namespace rav::project
