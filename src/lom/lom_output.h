// Writing a List of Materials table (lom_table.h) as a file for people:
// plain text in the LOM's own line form, CSV (RFC 4180), an XLSX workbook,
// or one self-contained HTML page. Every LOM file, the classic one
// included, goes to a temporary name in its folder and is renamed over the
// target only when complete, so a crash or a full disk never leaves half a
// file under the final name and an older file stays until then.
#pragma once

#include "lom_table.h"

#include <optional>
#include <cstdint>
#include <string>
#include <string_view>

namespace rav::lom
{

enum class LomFormat { Text, Csv, Xlsx, Html };

// "text", "csv", "xlsx", "html" (any case); nullopt for anything else.
std::optional<LomFormat> ParseLomFormat(std::string_view name);
// By the file name's extension (.csv, .xlsx, .html/.htm); Text otherwise.
LomFormat FormatOfFileName(std::string_view fileName);
const char* FormatName(LomFormat format);

// A new file under a unique temporary name beside `target`. The constructor
// throws std::runtime_error (one line, naming the target) when the folder
// cannot take a file or the target exists and may not be written. commit()
// renames it over the target; otherwise the destructor removes it.
class AtomicOutput
{
public:
    explicit AtomicOutput(std::string target);
    ~AtomicOutput();
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    const std::string& tempName() const { return temp_; }
    const std::string& target() const { return target_; }
    void commit(); // throws std::runtime_error
    bool committed() const { return committed_; }

private:
    std::string target_;
    std::string temp_;
    bool committed_ = false;
};

// "-" as an output name: the LOM is written, by the usual code, to a file
// in a private temporary folder (path()), and copyOut() then copies it to
// standard output. The folder goes with the object.
class StdoutTarget
{
public:
    StdoutTarget(); // throws std::runtime_error
    ~StdoutTarget();
    StdoutTarget(const StdoutTarget&) = delete;
    StdoutTarget& operator=(const StdoutTarget&) = delete;

    const std::string& path() const { return path_; }
    void copyOut(); // throws std::runtime_error

private:
    std::string dir_;
    std::string path_;
};

struct WriteOptions {
    LomFormat format = LomFormat::Text;
    std::string delimiter = "|"; // text format only
    std::string title = "List of Materials"; // HTML page and XLSX sheet
    std::int64_t eidChange = -1; // >= 0: stated in the HTML and XLSX metadata
    // When that change was made (Unix time): the XLSX file's creation time,
    // so that a list rebuilt as of the change is the same file byte for byte.
    std::int64_t eidChangeTime = 0;
};

// Writes the table to `file` through AtomicOutput ("-": standard output).
// Errors name `file`, never the temporary name. Throws
// std::runtime_error with a one-line message on failure; the target is
// then untouched.
void WriteLomTable(const LomTable& table, const WriteOptions& options, const std::string& file);

} // namespace rav::lom
