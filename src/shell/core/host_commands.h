// The two string channels between the host and the editor: inbound
// commands ("RAVEDERI,UP", "All,MN") and outbound notifications
// ("SHUTDOWN", "SHELL,1,notepad a,b.txt").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rav::shell
{

// What an inbound command asks for.
enum class HostCode {
    Maximise, // "MX": main window normal, an open record editor maximised
    Minimise, // "MN": both minimised
    Default, // "DF": both normal
    Exit, // "EX": unload the editor
    Update, // "UP": refresh the modules
};

// Error numbers a command returns to the host; 0 is success.
enum class CommandError : int {
    None = 0,
    SubscriptOutOfRange = 9, // the target matched but the code field is missing
    ObjectNotSet = 91, // a window command before the main window was loaded
};

struct ParsedCommand {
    // Set when the command is for this editor and its code is known.
    std::optional<HostCode> code;
    CommandError error = CommandError::None;
};

// Splits at commas; field 1 must be "All" or "RAVEDERI" and field 2 one of
// the codes, both compared exactly (case matters). Fields after the second
// are ignored. Anything else is ignored without an error, except a matching
// target without a second field, which is a subscript error.
ParsedCommand ParseHostCommand(std::string_view command);

// "SHELL," + style as decimal text without blanks + "," + the command line,
// which passes unchanged, commas included.
std::string ShellRequestText(int style, const std::string& commandLine);

// The host's side of a SHELL request: the style and the command line, or
// nothing when the text is not a SHELL request.
struct ShellRequest {
    int style = 1;
    std::string commandLine;
};
std::optional<ShellRequest> ParseShellRequest(std::string_view text);

} // namespace rav::shell
