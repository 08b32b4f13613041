// The editor's help file (Ravederi.HLP): UTF-8 text of numbered topics.
//
//   # a comment line (only at the start of a line)
//   @topic 0 List of Materials Editor      <- starts topic 0 with its title
//   A paragraph runs over one or more lines
//   and ends at a blank line.
//
//   == A sub-heading
//   - a bullet item
//   - another one, with a link to [[13302|the EID wizard]]
//
// Topic numbers are the help topics the windows ask for; text before the
// first @topic line is not allowed (apart from comments and blank lines).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace rav::help
{

struct HelpTopic {
    std::int32_t number = 0;
    std::string title;
    std::vector<std::string> lines; // the body as written
};

struct HelpDocument {
    std::map<std::int32_t, HelpTopic> topics;
    // One entry per line that could not be read ("line 12: ..."); the
    // topics that could be read are kept.
    std::vector<std::string> errors;
};

HelpDocument ParseHelpDocument(std::string_view text);
// Reads and parses a file; a file that cannot be read gives an error entry.
HelpDocument LoadHelpDocument(const std::string& fileName);

// The topic as rich text (an HTML subset), links as "topic:N". A topic the
// document lacks gives a short page that says so and links to topic 0.
std::string RenderTopicHtml(const HelpDocument& document, std::int32_t topic);

// The window placement macro of the help engine:
// PositionWindow(x, y, width, height, state, "name"), lengths in 1/1024 of
// the screen's width (x, width) and height (y, height).
struct HelpWindowPosition {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int state = 1; // 1 normal, 2 minimised, 3 maximised
    std::string name;
};
bool ParsePositionWindow(std::string_view macro, HelpWindowPosition& position);

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
// The macro's rectangle on a screen area (pixels), kept inside that area.
PixelRect MapHelpPosition(const HelpWindowPosition& position, const PixelRect& screen);

} // namespace rav::help
