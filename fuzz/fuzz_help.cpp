// The help file reader, the topic renderer and the window placement macro.
// A placed window always lies inside the screen it was mapped onto.
#include "fuzz_support.h"
#include "help_document.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const rav::help::HelpDocument document = rav::help::ParseHelpDocument(text);
    for (const auto& [number, topic] : document.topics) {
        rav::fuzz::check(number == topic.number, "topic filed under another number");
        (void)rav::help::RenderTopicHtml(document, number);
    }
    (void)rav::help::RenderTopicHtml(document, -1);

    rav::help::HelpWindowPosition position;
    if (rav::help::ParsePositionWindow(text, position)) {
        const rav::help::PixelRect screen { 10, 20, 1920, 1080 };
        const rav::help::PixelRect r = rav::help::MapHelpPosition(position, screen);
        rav::fuzz::check(r.x >= screen.x && r.y >= screen.y && r.width >= 0 && r.height >= 0
                && r.x + r.width <= screen.x + screen.width && r.y + r.height <= screen.y + screen.height,
            "window outside the screen");
    }
    return 0;
}
