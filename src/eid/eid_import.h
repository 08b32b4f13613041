// The import of a delimited text file into an EID: each non-blank line
// becomes a record of table `Device` (its n-th value in the n-th column),
// or overwrites the record with the same EIC, and every line that is
// refused is written to a log file with the reason.
#pragma once

#include "eid_operation.h"
#include "sinks.h"

#include <string>
#include <vector>

namespace rav::eid
{

struct ImportOptions {
    std::string eidFile; // opened exclusively for the whole import
    std::string textFile;
    std::string delimiterText = ","; // as typed in the delimiter combo
    bool trim = false; // cut values to their column's size instead of refusing the line
    bool overwrite = false; // a line whose EIC exists replaces that record instead of being logged
    // The first non-blank line names the columns and is not imported. Off
    // unless asked: the text files have no header line.
    bool header = false;
    // The range of lines to import: from the first line whose value in the
    // range column's position equals the start value through the next line
    // whose value there equals the end value. `sortField` is not used.
    Range range;
    std::string tempDir; // where "import.log" goes when the log beside the text file cannot be made
};

// The log's name: the text file's name with its last three characters
// replaced by "log" (Part.txt -> Part.log, Data.text -> Data.tlog).
std::string ImportLogName(const std::string& textFile);

// Runs the import. Ends quietly (completed false, `failure` set) when the
// EID cannot be opened, the text file has vanished, no log file can be made,
// or the database refuses a record; the records stored before that stay
// stored. An unreadable text file is reported through `messages` (99365).
// Every file and the database are closed on return. On a server EID the
// checked lines are merged in one pass on the server (same counts, log and
// history as line by line); with overwrite, a record someone else changed
// or deleted after the import read it is not overwritten: the line is
// logged with the difference and counted in `conflicts`.
OperationResult ImportTextFile(const ImportOptions& options, MessageSink& messages, ProgressSink& progress);

// Adds records, each its values in the table's column order, to the EID
// in one transaction: the path of imports from other databases, whose
// records come as values rather than text lines. Nothing is logged; a
// record the database refuses (a duplicate EIC, a value too long) ends the
// run with `failure` naming its position, and nothing is kept then.
OperationResult StoreRecords(
    const std::string& eidFile, const std::vector<std::vector<std::string>>& records, ProgressSink& progress);

// The question asked before an operation runs with the overwrite option
// selected; true when the user agrees.
bool ConfirmMassUpdate(MessageSink& messages);

} // namespace rav::eid
