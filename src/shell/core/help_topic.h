// Help topics: a place in the editor is named by up to four numbers (menu,
// sub-menu, tool, sub-tool; 0 = not given) that map to one topic number of
// the help file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace rav::shell
{

// The topic of (m, s, t, u), 32-bit arithmetic: nothing when it overflows.
// A missing outer level while an inner one is given gives topic 0.
std::optional<std::int32_t> HelpTopicNumber(long m, long s, long t, long u);

// The limit message: empty when m <= 11, s <= 100, t <= 11 and u <= 11.
// Otherwise "Menu No: exceeds 11" for m, and each further failed limit
// appends a blank and its text, even to an empty message (so a message
// without the menu part begins with a blank).
std::string HelpLimitMessage(long m, long s, long t, long u);

// The help file of `language`: "Ravederi.de.HLP" beside "Ravederi.HLP"
// when `exists` says it is there (by default: the file exists), otherwise
// `helpFile` itself, so a language without a help file of its own gets the
// English one. English and an empty language always get `helpFile`.
std::string LocalisedHelpFile(const std::string& helpFile, const std::string& language,
    const std::function<bool(const std::string&)>& exists = {});

// The help places of the editor's windows, as (menu, sub-menu) pairs that
// the help file has topics for. Menu 0 is the main window.
namespace help_place
{
inline constexpr long kMainWindow = 0;
inline constexpr long kLomWizard = 1; // sub-menus 1-3: its pages
inline constexpr long kEidWizard = 2; // sub-menus: 1 first page, 2-3 creation, 4-6 edit steps
inline constexpr long kRecordEditor = 3; // sub-menus 1-2: its tabs
inline constexpr long kToolBox = 4; // sub-menus 1-4: its tabs
} // namespace help_place

// The macro that places the help window: 1/1024 units of the screen.
inline constexpr const char* kHelpWindowMacro = "PositionWindow(600, 150, 400, 800, 1, \"main\")";

} // namespace rav::shell
