// Association of the project's parts with EID records. It works in two
// stages: first the chosen EIC (and the chosen record's values) go into the
// selected part's row of the project view database, a temporary copy of the
// project's devices; then the library update writes the EIC of every row
// into the project itself through the kernel.
//
// Project view rows: field1 the part's name, field3 its EIC, field<i+6> the
// value of the EID column with ordinal i of the associated record.
#pragma once

#include "eic_writeback.h"
#include "lom_build.h"
#include "sinks.h"

#include <string>
#include <vector>

namespace rav::db
{
class Database;
class Recordset;
} // namespace rav::db
namespace rav::lom
{
class FieldCatalogue;
}

namespace rav::recedit
{

// Columns of the project view that association reads and writes.
inline constexpr const char* kPartColumn = "field1";
inline constexpr const char* kEicColumn = "field3";
// The project view column of EID column ordinal i.
std::string EidValueColumn(int ordinal);

// True when both record sets are open and have a current row: only then
// can a part be associated (the Associate buttons follow this).
bool BothSelected(const db::Recordset* projectView, const db::Recordset* searchResult);

// Automatic mode: the current project-view row gets the EIC of the current
// search-result row and every non-Null value of that row (Null values keep
// what the part had). False, and nothing written, without a current row in
// either set. Engine errors propagate.
bool AssociateAutomatic(
    db::Recordset& projectView, const db::Recordset& searchResult, const std::string& eicField);

enum class ManualOutcome {
    NoPart, // the part's name is blank: nothing done
    NoEic, // the typed EIC is blank: nothing done
    Associated, // the EIC was found among the search results and copied as in automatic mode
    AssociatedWithoutRecord, // not found, answered Yes: EIC set, EID values emptied
    Declined, // not found, answered No: nothing changed
};

// Manual mode: `eic` (used as typed, blanks included) is looked up among
// the search results, which moves the search result to it; when it is not
// there, 5451 asks whether to store it anyway. Engine errors propagate.
ManualOutcome AssociateManual(db::Recordset& projectView, db::Recordset& searchResult,
    const std::string& eicField, const std::string& eic, MessageSink& messages);

// Builds the tool-box field catalogue of `eidFile` into `catalogue` and the
// project view database from the open project's devices, in `tempDir`.
// A catalogue that cannot be built leaves the build to fail on the EID.
lom::BuildResult BuildProjectView(const std::string& eidFile, const std::string& tempDir,
    lom::FieldCatalogue& catalogue, ProgressSink& progress, MessageSink& messages);

struct LibraryUpdateResult {
    long rows = 0; // rows visited
    long updates = 0; // calls of the device update (parts with an EIC)
    bool cancelled = false; // stopped by the cancel flag
};

// What UpdateProjectLibrary would change: old code -> new code for every
// device whose code differs; shown to the user before writing.
std::vector<kernel::EicChange> PlanProjectLibraryUpdate(db::Database& projectView);
// The question asked before the update: the count, the changes (the first
// 30 of a longer list and how many more).
std::string ConfirmWriteBackText(const std::vector<kernel::EicChange>& changes);

// The library update as the user runs it is three steps - ask, write,
// report - and the window puts its progress window around the middle one.
//
// Asks before writing `plan`, No being the default answer; with nothing to
// change it says so instead. True only when the user said Yes.
bool ConfirmProjectLibraryUpdate(const std::vector<kernel::EicChange>& plan, MessageSink& messages);
// Tells how the update of `planned` changes ended: how many devices took
// their code, or where a cancel stopped it.
void ReportProjectLibraryUpdate(
    std::size_t planned, const LibraryUpdateResult& result, MessageSink& messages);

// Writes the EIC of every row of the project view (`projectView`, table
// Device) into the project's device of that name, trimmed; rows without a
// part name or an EIC are skipped, so no EIC is ever removed. Progress:
// caption 5453, one step per row. Polls and clears the cancel flag; parts
// written before a cancel keep their EIC. All of it is one journalled
// write-back, which `ravederi project undo` takes back. Engine errors
// propagate.
LibraryUpdateResult UpdateProjectLibrary(
    db::Database& projectView, ProgressSink& progress, MessageSink& messages);

} // namespace rav::recedit
