// The List of Materials build: the project's parts, one row each, written
// with the matching EID record into a temporary database (table Device,
// columns field1..fieldN, fieldk holding catalogue entry k), and the LOM
// text file written from that database by the LOM query. The tool box's
// project view is the same build over the project's devices.
//
// The builds run on the caller's thread; after each row they call
// ProgressSink::yield() (where a window lets its events run) and poll the
// process-wide cancel flag, which they clear when they stop.
#pragma once

#include "sinks.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rav::db
{
class Database;
}

namespace rav::lom
{

// Values the LOM wizard, the preview and the tool box share.
struct LomState {
    std::string tempDbName; // the temporary database last built (either build)
    bool lomDatabaseBuilt = false; // the LOM database matches the current EID
    std::string eicFieldName; // EIC field of the EID of the last build
};
LomState& lomState();

struct BuildOptions {
    std::string eidFile; // the current EID (DBaseName)
    std::string tempDir; // where the temporary database goes (TempDir); empty: the system's
    // Columns field1..fieldN of the temporary database: the last position of
    // the field catalogue built from the same EID.
    int fieldCount = 0;
    // A part attribute (ProjectParts::ReadComponentAttribute) whose being
    // set marks a part do-not-place; empty: nothing is read or marked.
    std::string markAttribute;
    // Design fields as columns: (column number, part attribute name); each
    // part's column holds its value of that attribute (Null without).
    std::vector<std::pair<int, std::string>> attributeColumns;
    // Parts whose attribute kExcludeAttribute is set (KiCad's "exclude from
    // BOM") get no row unless this is true.
    bool includeExcluded = false;
    // The EID already open (as the catalogue read it), used instead of
    // opening eidFile again; null: eidFile is opened. Its transactions must
    // all be ended.
    db::Database* eid = nullptr;
};

inline constexpr const char* kExcludeAttribute = "exclude_from_bom";

struct BuildResult {
    // True when the temporary database was built, a cancelled build
    // included. False: no parts (message 37122 shown) or a failure (quiet;
    // `error` says what, rows saved before it stay).
    bool built = false;
    bool noParts = false;
    bool cancelled = false;
    std::string tempDbName; // named whenever the build got that far, built or not
    std::string eicFieldName; // the EID's EIC field, once found
    // For an EID on a server: the newest change the build saw (rebuild with
    // `as_of`); -1 for a file or an EID that keeps no history.
    std::int64_t eidChange = -1;
    std::int64_t eidChangeTime = 0; // when that change was made (Unix time; 0 for none)
    long rows = 0; // rows saved
    long excluded = 0; // parts left out as excluded from lists
    std::vector<char> marked; // per row in build order, with markAttribute: the part is marked
    std::string error;
};

// One row per placed layout component (but those excluded from lists, see
// BuildOptions::includeExcluded): field1..field8 = PartName, FullName,
// Eic, SimRef, Package, CompName, Description, Value; field9.. = the EID
// record whose EIC equals the part's (Null when there is none).
BuildResult BuildLomDatabase(const BuildOptions& options, ProgressSink& progress, MessageSink& messages);
// One row per device of the project: field1..field5 = PartName, FullName,
// Eic, SimRef, Package; field6.. = the EID record.
BuildResult BuildProjectViewDatabase(
    const BuildOptions& options, ProgressSink& progress, MessageSink& messages);

// The names of the fields the placed parts of the open project carry from
// their design (their attribute texts), in first-seen order, each once
// (names compare without regard to ASCII case).
std::vector<std::string> ListDesignFields();

// Replaces table Device of `database` by one of `fieldCount` Text(255)
// columns field1..fieldN (zero-length allowed, no index, no key). Returns
// false (and changes nothing it could not) on failure; never throws.
bool CreateDeviceTable(db::Database& database, int fieldCount);

// A new, unique, empty file "LOM??????.tmp" in `tempDir` (the system's
// temporary folder when empty), created the way mkstemp does; "" when it
// cannot be created.
std::string MakeTempDbName(const std::string& tempDir);

// Deletes the file named by `tempDbName` when the name is not blank and the
// file exists (a wizard closing, the record editor unloading). Errors are
// ignored: a file still open elsewhere stays.
void DeleteTempDatabase(const std::string& tempDbName);

struct LomFileOptions {
    std::string tempDbName; // the temporary database to read
    std::string query; // the LOM query (makeQueryString)
    std::string delimiter; // the LOM delimiter (makeQueryString)
    std::string outputFile; // the LOM file; an existing one is replaced once the new one is complete
};

struct LomFileResult {
    bool fileCreated = false; // the output file could be opened
    bool complete = false; // every row was written
    long lines = 0; // lines written
    std::string error; // what ended the writing early (quiet failures)
};

// Writes one line per row of the query: a blank, the 1-based row number,
// then for each column the delimiter and the value (Null adds nothing),
// ended by CR LF. Progress shows "Making LOM file ..." and finally
// "LOM file Created". A file that cannot be created writes nothing; a line
// that cannot be written shows 99335 through `messages`; a temporary
// database or query that fails ends the writing quietly.
LomFileResult CreateLomFile(const LomFileOptions& options, ProgressSink& progress, MessageSink& messages);

} // namespace rav::lom
