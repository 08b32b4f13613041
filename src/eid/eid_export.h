// The export of an EID's records to a delimited text file and the removal
// of records, of every record or of a range: the records from the first one
// (in the order of the sort column) whose range column equals the start
// value through the first one from there whose range column equals the end
// value, both ends included; when no record from the start on has the end
// value, through the last record.
#pragma once

#include "eid_operation.h"
#include "sinks.h"

#include <cstdint>
#include <string>

namespace rav::eid
{

// Where a range lies in the sorted records (0-based positions, -1: none).
struct RangeLocation {
    long start = -1; // first record whose range column equals the start value
    long end = -1; // first record after the start whose range column equals the end value
    bool startIsEnd = false; // the start record itself has the end value
};

// Finds the range without telling anyone. Throws rav::db::Error when the EID
// cannot be opened or a column of the range does not exist.
RangeLocation LocateRange(const std::string& eidFile, const Range& range);

// The outcome of the check made before an operation on a range runs.
enum class RangeCheck {
    Found, // start and end found
    ToEndOfSet, // end not found; the user agreed to run to the last record
    StartMissing, // 548 shown
    EndRefused, // end not found and the user said No
    Failed, // the EID could not be read (nothing shown; `description` says why)
};
inline bool RangeAccepted(RangeCheck r)
{
    return r == RangeCheck::Found || r == RangeCheck::ToEndOfSet;
}

// The check of the wizard: a start value that no record has is reported
// (message 548, information box); an end value that no record after the
// start has is asked about (547 and 546, Yes/No). For the import it is
// always Found: its range lies in the text file.
RangeCheck CheckRangeConditions(const std::string& eidFile, Operation operation, const Range& range,
    MessageSink& messages, std::string* description = nullptr);

struct ExportOptions {
    std::string eidFile;
    std::string textFile; // created, or emptied when it exists
    std::string delimiterText = ",";
    Range range;
};

// Writes one line per record: every column's value in column order (Null as
// empty), joined by the delimiter, ended by CR LF. A write failure is
// reported (99335) and the export goes on; a text file that cannot be
// created ends the export quietly.
OperationResult ExportTextFile(const ExportOptions& options, MessageSink& messages, ProgressSink& progress);

struct RemoveOptions {
    std::string eidFile;
    Range range;
};

// Deletes every record, or those of the range. Records deleted before a
// failure stay deleted.
OperationResult RemoveRecords(const RemoveOptions& options, ProgressSink& progress);

// How many records RemoveRecords would delete now: every record, or those
// of the range (0 when no record has its start value). Throws db::Error
// when the EID cannot be read.
std::int64_t CountRecordsToRemove(const RemoveOptions& options);

// The question asked before a removal, naming the file and how many
// records go ("Delete all 300,019 records from parts.eid?"); No is its
// default answer.
UserMessage RemovalQuestion(const RemoveOptions& options, std::int64_t count);

} // namespace rav::eid
