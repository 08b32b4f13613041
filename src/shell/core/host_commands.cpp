#include "host_commands.h"

#include "shell_state.h"
#include "values.h"

#include <charconv>

namespace rav::shell
{

ParsedCommand ParseHostCommand(std::string_view command)
{
    ParsedCommand result;
    if (command.empty())
        return result;
    const FieldList fields = SplitFields(command);
    if (fields.count() < 1)
        return result;
    const std::string& target = fields.field(1);
    if (target != "All" && target != kAppName)
        return result;
    if (fields.count() < 2) {
        result.error = CommandError::SubscriptOutOfRange;
        return result;
    }
    const std::string& code = fields.field(2);
    if (code == "MX")
        result.code = HostCode::Maximise;
    else if (code == "MN")
        result.code = HostCode::Minimise;
    else if (code == "DF")
        result.code = HostCode::Default;
    else if (code == "EX")
        result.code = HostCode::Exit;
    else if (code == "UP")
        result.code = HostCode::Update;
    return result;
}

std::string ShellRequestText(int style, const std::string& commandLine)
{
    return "SHELL," + std::to_string(style) + "," + commandLine;
}

std::optional<ShellRequest> ParseShellRequest(std::string_view text)
{
    constexpr std::string_view prefix = "SHELL,";
    if (text.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    text.remove_prefix(prefix.size());
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    ShellRequest request;
    const std::string_view style = text.substr(0, comma);
    const auto [end, ec] = std::from_chars(style.data(), style.data() + style.size(), request.style);
    if (ec != std::errc() || end != style.data() + style.size())
        return std::nullopt;
    request.commandLine = std::string(text.substr(comma + 1));
    return request;
}

} // namespace rav::shell
