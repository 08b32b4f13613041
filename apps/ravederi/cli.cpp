#include "cli.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace rav::cli {

namespace {
std::vector<CommandGroup>& registry()
{
    static std::vector<CommandGroup> all;
    return all;
}
} // namespace

Registrar::Registrar(CommandGroup group)
{
    auto& all = registry();
    all.push_back(std::move(group));
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
}

const std::vector<CommandGroup>& groups() { return registry(); }

std::optional<std::string> takeOption(std::vector<std::string>& args, const std::string& option)
{
    auto it = std::find(args.begin(), args.end(), option);
    if (it == args.end())
        return std::nullopt;
    if (it + 1 == args.end())
        throw UsageError{option + " needs a value"};
    std::string value = *(it + 1);
    args.erase(it, it + 2);
    return value;
}

std::string takeDelimiter(std::vector<std::string>& args, const std::string& fallback, bool oneByte)
{
    const auto value = takeOption(args, "--delimiter");
    if (!value)
        return fallback;
    std::string word = *value;
    for (char& c : word)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word == "tab" || word == "space")
        return *value;
    // One UTF-8 character: a lead byte and only continuation bytes after it.
    const bool one = !value->empty()
        && (value->size() == 1
            || (!oneByte && (static_cast<unsigned char>((*value)[0]) & 0xC0) == 0xC0
                && std::all_of(value->begin() + 1, value->end(),
                    [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; })
                && value->size() <= 4));
    if (!one)
        throw UsageError { "--delimiter is one character, TAB or SPACE, not \"" + *value + "\"" };
    return *value;
}

bool takeFlag(std::vector<std::string>& args, const std::string& flag)
{
    auto it = std::find(args.begin(), args.end(), flag);
    if (it == args.end())
        return false;
    args.erase(it);
    return true;
}

std::vector<std::string> positionals(const std::vector<std::string>& args, std::size_t count,
                                     const std::string& what)
{
    for (const auto& a : args)
        if (a.size() > 1 && a[0] == '-' && a[1] == '-')
            throw UsageError{"unknown option " + a};
    if (args.size() != count)
        throw UsageError{"expected " + what};
    return args;
}

void StderrMessageSink::show(const UserMessage& message)
{
    ++shown;
    const char* prefix = "";
    switch (message.kind) {
    case MessageKind::Critical: prefix = "error: "; break;
    case MessageKind::Exclamation: prefix = "warning: "; break;
    case MessageKind::Question: prefix = "question: "; break;
    case MessageKind::Information: prefix = ""; break;
    }
    std::cerr << "ravederi: " << prefix << message.text << '\n';
}

TerminalProgress::TerminalProgress() : enabled_(isatty(STDERR_FILENO) != 0) {}

TerminalProgress::~TerminalProgress() { finish(); }

void TerminalProgress::setCaption(const std::string& caption)
{
    caption_ = caption;
    draw(true);
}

void TerminalProgress::setRange(std::int64_t minimum, std::int64_t maximum)
{
    min_ = minimum;
    max_ = maximum;
    lastPercent_ = -1;
}

void TerminalProgress::setValue(std::int64_t value)
{
    value_ = value;
    draw(false);
}

void TerminalProgress::draw(bool force)
{
    if (!enabled_)
        return;
    const std::int64_t span = max_ - min_;
    int percent = span > 0 ? static_cast<int>(100 * std::clamp<std::int64_t>(value_ - min_, 0, span) / span) : 0;
    if (!force && percent == lastPercent_)
        return;
    lastPercent_ = percent;
    constexpr int width = 30;
    const int filled = percent * width / 100;
    std::fprintf(stderr, "\r%-24.24s [%s%s] %3d%%", caption_.c_str(), std::string(filled, '#').c_str(),
                 std::string(width - filled, '.').c_str(), percent);
    std::fflush(stderr);
    drawn_ = true;
}

void TerminalProgress::finish()
{
    if (drawn_) {
        std::fputc('\n', stderr);
        drawn_ = false;
    }
}

} // namespace rav::cli
