// What the three edit operations on an existing EID (import, export, range
// removal) have in common: the delimiter words of the text file, the range
// that limits an operation, the messages they show and the result they hand
// back. Plain options in, a result out; messages and questions go through a
// MessageSink, progress through a ProgressSink, so the wizard, the
// command-line tool and the tests run the same code.
#pragma once

#include "sinks.h"

#include <cstdint>
#include <string>

namespace rav::eid
{

// The operations of the wizard's edit path, numbered as its option group.
enum class Operation { Remove = 0, Export = 1, Import = 2 };

// The delimiter a text of the delimiter combo stands for, and the text the
// combo shows afterwards: "tab" and "space" (any letter case) are the tab
// character and one blank; an empty text is ","; any other text is its
// first character (so "|x" is the vertical bar, and the combo shows "|").
struct Delimiter {
    char character = ',';
    std::string shown = ",";
};
Delimiter ResolveDelimiter(const std::string& comboText);

// The words the delimiter combo offers, in its order.
inline constexpr const char* kDelimiterWords[] = { "TAB", "SPACE", ";", ",", ":" };

// The records (export, removal) or text lines (import) an operation works
// on, when it is limited to a range. Values compare without regard to
// letter case. An empty `field` means no range: every record, every line.
struct Range {
    std::string field; // column whose value marks the first and the last record
    std::string startValue;
    std::string endValue;
    std::string sortField; // export and removal: the order the range is taken in
    bool enabled() const { return !field.empty(); }
};

// Message ids and default texts of the operations.
namespace msg
{
inline constexpr const char* kFieldsMissing[2] = { "5433", "Fields missing" };
inline constexpr const char* kTooLong[2] = { "5434", "String length higher than field Size" };
inline constexpr const char* kBadIndex[2] = { "5435", "Index field not proper" };
inline constexpr const char* kDuplicate[2] = { "5436", "duplicate index found" };
inline constexpr const char* kDeleting[2] = { "5437", "Deleting ..." };
// A note, not a rejection: the line was stored without its extra values.
inline constexpr const char* kTooManyFields[2]
    = { "5492", "More fields than the table has columns: the values after the last column were not stored" };
// A server's text cannot hold a NUL: the line is refused rather than
// stored cut at it.
inline constexpr const char* kNulOnServer[2] = { "5470", "NUL character in a value, which the server cannot store" };
inline constexpr const char* kExporting[2] = { "5438", "Exporting ..." };
inline constexpr const char* kImporting[2] = { "5439", "Importing ..." };
inline constexpr const char* kStartNotFound[2]
    = { "548", "Specified Start condition cannot be found in the database!" };
inline constexpr const char* kEndNotFound[2]
    = { "547", "Specified End condition cannot be found in the database!" };
inline constexpr const char* kUseEndOfDatabase[2]
    = { "546", "Is it okay to use the end of database as end condition?" };
inline constexpr const char* kMassUpdate1[2]
    = { "5413", "You have selected mass update with overwrite identical EICs option" };
inline constexpr const char* kMassUpdate2[2]
    = { "5414", "This may result in existing data getting updated with new data" };
inline constexpr const char* kMassUpdate3[2] = { "5415", "Are you sure to continue?" };
} // namespace msg

// The text of a message in the user's language.
std::string Text(const char* const (&message)[2]);

// How an operation ended. `completed` is the wizard's done flag: the
// operation ran to its end (the end of the file or set, or the end of the
// range). When it did not, `failure` says why, for callers that report it
// (the wizard itself ends quietly, as the operation's users expect).
struct OperationResult {
    bool completed = false;
    std::string failure;

    // Import: lines read (blank ones included), blank lines skipped, records
    // added, records overwritten, lines written to the log.
    std::int64_t linesRead = 0;
    std::int64_t blankLines = 0;
    // Import: lines with more values than the table has columns; they are
    // stored without the extra values and noted in the log.
    std::int64_t tooManyFields = 0;
    std::int64_t added = 0;
    std::int64_t overwritten = 0;
    std::int64_t logged = 0;
    // Import into a server EID with overwrite: lines refused (and logged)
    // because someone else changed or deleted their record meanwhile.
    std::int64_t conflicts = 0;
    std::string logFile; // where the log went; empty when none was opened

    // Export and removal: records written or deleted.
    std::int64_t processed = 0;
};

// What the user is told when an operation has ended: what it read, stored,
// logged, exported or deleted, or why it stopped, in one sentence. An
// import that stored nothing says so and, when it wrote a log, asks
// whether to open it (`offerLog`; the message is then a question).
struct OperationReport {
    UserMessage message;
    bool offerLog = false;
};
OperationReport ReportOperation(
    Operation operation, const OperationResult& result, const std::string& eidFile, const std::string& textFile);

} // namespace rav::eid
