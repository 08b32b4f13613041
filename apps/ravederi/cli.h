// The command-line tool's plumbing: command groups, argument helpers, and
// sinks that turn progress and messages into terminal output.
#pragma once

#include "sinks.h"
#include "zareza2v.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace rav::cli {

// Exit statuses: 0 success, 1 the operation failed (one clear line on
// stderr), 2 the arguments were wrong (usage on stderr).
enum Exit : int { Ok = 0, Failed = 1, Usage = 2 };

// Thrown by argument helpers; main prints the message and the group's usage.
struct UsageError {
    std::string message;
};

using Handler = std::function<int(std::vector<std::string> args)>;

struct CommandGroup {
    std::string name;  // first word on the command line ("eid")
    std::string usage; // lines of usage text, each starting with "ravederi "
    Handler run;       // gets the words after the group's name
};

// Called from a static object in each cli_*.cpp.
struct Registrar {
    explicit Registrar(CommandGroup group);
};
const std::vector<CommandGroup>& groups();

// The kernel's project, open for the object's life and closed on every way
// out. Throws std::runtime_error with the kernel's reason when it won't open.
class OpenProject
{
public:
    explicit OpenProject(const std::string& file)
    {
        if (Z_OpenProject(file.c_str()) == 0)
            throw std::runtime_error(Z_LastError());
    }
    ~OpenProject() { Z_CloseProject(); }
    OpenProject(const OpenProject&) = delete;
    OpenProject& operator=(const OpenProject&) = delete;
};

// Takes the value following `option` out of `args` (repeatable options are
// taken one at a time). Throws UsageError when the option has no value.
std::optional<std::string> takeOption(std::vector<std::string>& args, const std::string& option);
// The value of --delimiter (or `fallback`): TAB, SPACE (any case) or one
// character - one byte when `oneByte` (EID text files), else one UTF-8
// character. Anything else, the empty text included, is refused with a
// UsageError rather than cut to its first character.
std::string takeDelimiter(std::vector<std::string>& args, const std::string& fallback, bool oneByte);
// Removes a flag from `args`; true when it was present.
bool takeFlag(std::vector<std::string>& args, const std::string& flag);
// After options are taken: the remaining words must be exactly `names`.
std::vector<std::string> positionals(const std::vector<std::string>& args, std::size_t count,
                                     const std::string& what);

// Messages go to stderr with a prefix for their kind; questions are refused
// (the tool never asks), so callers offer a flag instead.
class StderrMessageSink final : public MessageSink {
public:
    void show(const UserMessage& message) override;
    int shown = 0;
};

// A progress bar on stderr while it is a terminal; silent otherwise, so
// pipelines and logs stay clean.
class TerminalProgress final : public ProgressSink {
public:
    TerminalProgress();
    ~TerminalProgress() override;
    void setCaption(const std::string& caption) override;
    void setRange(std::int64_t minimum, std::int64_t maximum) override;
    void setValue(std::int64_t value) override;
    void finish();

private:
    void draw(bool force);
    bool enabled_ = false;
    bool drawn_ = false;
    std::string caption_;
    std::int64_t min_ = 0, max_ = 0, value_ = 0;
    int lastPercent_ = -1;
};

} // namespace rav::cli
