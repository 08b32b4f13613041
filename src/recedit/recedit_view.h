// What the record editor and its tool box show that does not need a widget
// to work out: the grid captions, the project view's column captions, and
// where the two windows open when no placement is stored. Lengths in twips.
#pragma once

#include <string>
#include <vector>

namespace rav::lom
{
class FieldCatalogue;
}

namespace rav::recedit
{

// "Edit EID file : <file>" (5440) over the EID edit grid.
std::string RecEdCaption(const std::string& eidFile);
// "Database Search Result for EID file : <file>" (5421) over the search results.
std::string SearchResultCaption(const std::string& eidFile);
// "Project : <name>(<directory>)" (10124) over the project view.
std::string ProjectViewCaption(const std::string& projectName, const std::string& projectDirectory);

// What the EID edit grid's filter shows: empty when it lets every record
// through (Like "*"), else the field, the comparison and the value.
std::string FilterDescription(const std::string& field, const std::string& op, const std::string& value);
// The line under the EID edit grid: the number of records it shows and the
// filter that chose them, so that a filtered grid is never taken for the
// whole file.
std::string RecEdStatus(long records, const std::string& filter);

// The caption of each project view column: the caption of the catalogue
// entry whose number is the column name without its "field" prefix; a
// column that names no entry keeps its own name.
std::vector<std::string> ProjectViewColumnCaptions(
    const lom::FieldCatalogue& catalogue, const std::vector<std::string>& columnNames);

struct TwipsRect {
    long left = 0;
    long top = 0;
    long width = 0;
    long height = 0;
    bool operator==(const TwipsRect&) const = default;
};

// The record editor without stored placement: the work area right of the
// host's main window (`mainWidth` wide), from the top down; when the main
// window leaves no room, from the middle of the work area.
TwipsRect DefaultRecEditRect(long workLeft, long workRight, long workBottom, long mainWidth);

// The tool box without stored placement: its design size in the lower
// right corner of the work area.
TwipsRect DefaultToolBoxRect(long workWidth, long workHeight, long width, long height);

// The associate tab: the two grids above and below the splitter bar.
struct AssociateLayout {
    long splitterTop = 0;
    TwipsRect wholeView; // the project view grid
    TwipsRect searchResult; // the search result grid
};
// `clientWidth` and `clientHeight`: the tab page's inner size; `splitterTop`
// and `splitterHeight`: the bar as it stands. A bar below the usable height
// goes 1000 above it.
AssociateLayout LayOutAssociateTab(
    long clientWidth, long clientHeight, long splitterTop, long splitterHeight);

} // namespace rav::recedit
