// One List of Materials run from start to end, the same for the wizard and
// `ravederi lom`: the options in, the temporary database built, the chosen
// output written (the classic LOM text, or a table for people), the result
// out. Progress and cancelling go through the usual sinks; the job shows
// no window and prints nothing.
#pragma once

#include "lom_build.h"
#include "lom_catalogue.h"
#include "lom_output.h"
#include "lom_profile.h"
#include "lom_purchase.h"
#include "lom_table.h"
#include "sinks.h"

#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace rav::lom
{

struct LomJobOptions {
    std::string eidFile;
    std::string tempDir; // where the temporary database goes; empty: the system's
    std::string outputFile; // empty: nothing is written (a check only)
    LomFormat format = LomFormat::Text;
    std::vector<int> fields; // catalogue numbers in column order; unused with a profile
    // Catalogue number of the sort field; 0: the first field for the
    // classic file, the part name for a table.
    int sortField = 0;
    bool descending = false; // the sort order reversed
    std::string delimiterText = "|"; // as typed in the delimiter box
    bool group = false;
    // The headers of the grouped table's first two columns (the wizard
    // gives them in the user's language).
    std::string quantityHeader = "Quantity";
    std::string partsHeader = "Parts";
    std::vector<int> groupFields; // empty: EIC, value and package
    long multiplier = 1;
    DnpMode dnp = DnpMode::Include;
    std::string dnpAttribute = "DNP"; // the part attribute that marks do-not-place
    std::optional<Profile> profile;
    bool check = false;
    bool strict = false; // with check: problems found means nothing is written
    bool includeExcluded = false; // list the parts the design excludes from lists too
    db::Database* eid = nullptr; // eidFile already open, for the build to use (see BuildOptions)
};

struct LomJobResult {
    bool built = false; // the temporary database was built
    bool noParts = false; // the project has no placed parts (the message is out already)
    bool written = false; // the output file is complete under its name
    long lines = 0; // lines written (or that a table holds)
    long parts = 0; // placed parts counted in a table's quantities
    long excluded = 0; // parts left out as the design excludes them from lists
    std::vector<std::string> problems; // the checks' findings
    bool stoppedByCheck = false; // strict check found problems: nothing written
    // What went wrong, in one line; empty on success. `errorShown`: the
    // message sink has shown it already.
    std::string error;
    bool errorShown = false;
    std::int64_t eidChange = -1; // see BuildResult
};

// The classic LOM text file (its own line form, the query's sort rule) is
// written for plain text output without grouping, profile or do-not-place.
bool IsClassicLom(const LomJobOptions& options);

// The table's columns, grouping and sort for the options: the profile's
// columns, else Quantity and Parts when grouping, then the chosen fields.
// Throws std::invalid_argument when the profile names an unknown field.
TableOptions MakeTableOptions(const FieldCatalogue& catalogue, const LomJobOptions& options);

// The page title of HTML and XLSX output: names the open project.
std::string LomTitle();

// Builds the temporary database for the options (marking do-not-place
// parts when they are left out or set apart).
BuildResult BuildLomJobDatabase(
    const FieldCatalogue& catalogue, const LomJobOptions& options, ProgressSink& progress, MessageSink& messages);

// Writes the output (and runs the checks) from a temporary database built
// before; `built` names it. Never throws: failures end up in `error` (a
// Cancel, seen through the cancel flag, too: nothing is written then).
LomJobResult WriteLomJob(const FieldCatalogue& catalogue, const LomJobOptions& options, const BuildResult& built,
    ProgressSink& progress, MessageSink& messages);

// The lines the output will hold, under their column headers, in the
// output's order: the classic file's rows in its query's order (line
// numbers left out), else the table. Throws db::Error or
// std::invalid_argument when the database or the options do not fit.
// Reading lets the caller's events run now and then (progress.yield());
// when the cancel flag is raised meanwhile it throws LomJobCancelled.
struct LomJobCancelled : std::exception {
    const char* what() const noexcept override { return "cancelled"; }
};
LomTable LomJobLines(
    const FieldCatalogue& catalogue, const LomJobOptions& options, const BuildResult& built, ProgressSink& progress);

// The column of those lines that the output is sorted by; -1 when none
// is (a table in part-name order).
int LomJobSortColumn(const FieldCatalogue& catalogue, const LomJobOptions& options);

// A click on the header of column `column` of those lines: that column's
// field becomes the sort field, ascending; a click on the sort column
// reverses the order. Columns that are no field (quantity, part names)
// change nothing. Returns whether the options changed.
bool SortByColumn(const FieldCatalogue& catalogue, LomJobOptions& options, int column);

// The whole run: build, write, delete the temporary database.
LomJobResult RunLomJob(
    const FieldCatalogue& catalogue, const LomJobOptions& options, ProgressSink& progress, MessageSink& messages);

// One board of a purchase list: the open project's lines, grouped as
// `options` say (grouping is implied), its quantities for one board.
struct PurchaseBoard {
    BoardList board;
    PurchaseLayout layout; // the visible columns; sort and spares left to the caller
    LomJobResult result; // built, noParts, excluded, problems, error as for one list
};

// Builds the temporary database of the open project, reads its lines as
// one board (label and count left to the caller), runs the checks when
// asked, and deletes the database. Never throws: failures end up in
// `result.error`.
PurchaseBoard ReadPurchaseBoard(
    const FieldCatalogue& catalogue, const LomJobOptions& options, ProgressSink& progress, MessageSink& messages);

// Merges the boards and writes the purchase list as `options` say (a
// table format; the classic file has no quantities). `title` heads HTML and
// XLSX. Never throws: failures end up in `error`.
LomJobResult WritePurchaseList(const std::vector<BoardList>& boards, const PurchaseLayout& layout,
    const LomJobOptions& options, const std::string& title, ProgressSink& progress);

} // namespace rav::lom
