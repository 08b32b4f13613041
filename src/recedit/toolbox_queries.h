// The tool box's query texts: the filters and sorts of the EID edit grid
// and the project view, the search that fills the search-result grid from a
// value of the selected project part, and the field lists they read.
//
// Every text is in the engine's query dialect. Values are written between
// double quotes, so every comparison is textual (all EID columns are text);
// a double quote inside a value is doubled, which the dialect reads back as
// one quote, so no value can change the shape of the statement. A value
// without quotes gives exactly the text the user would write by hand.
#pragma once

#include <string>
#include <vector>

namespace rav::db
{
class Recordset;
}
namespace rav::lom
{
class FieldCatalogue;
}

namespace rav::recedit
{

// The comparison operators of the three operator lists, in list order.
inline const std::vector<std::string>& Operators()
{
    static const std::vector<std::string> ops { "Like", "<=", ">=", "=", "<>", "<", ">" };
    return ops;
}

// A value as it goes between the double quotes of a query text.
std::string QuotedValue(const std::string& value);

// The project view filter over the project view database: rows whose column
// field<whereNumber> compares with `value`, ordered by field<sortNumber>.
std::string makeMyQuerySTr(int whereNumber, const std::string& op, const std::string& value, int sortNumber);

// The EID view filter over the EID: the column of catalogue entry
// `whereEntry` compared with `value`, ordered by the column of `sortEntry`.
// Entries must be EID entries of the catalogue (their field name is used).
std::string makeFindQuerySTr(const lom::FieldCatalogue& catalogue, int whereEntry, const std::string& op,
    const std::string& value, int sortEntry);

// The automatic-mode search: the value of column field<sourceNumber> of the
// current row of the project view (Null gives ""), compared by `op` with the
// EID column of catalogue entry `searchedEntry`; with Like the value is
// wrapped in stars so it matches anywhere. Ordered by the EIC. Empty when
// the project view has no current row (or is not open).
std::string makeSearchQuerySTr(const db::Recordset* projectView, const lom::FieldCatalogue& catalogue,
    int sourceNumber, const std::string& op, int searchedEntry, const std::string& eicField);

// The whole EID in EIC order (what manual association offers to pick from).
std::string WholeEidQuery(const std::string& eicField);

// A find criteria matching one EIC: [<eic>] = "<value>".
std::string EicCriteria(const std::string& eicField, const std::string& value);

// One item of a field list: what it shows and the catalogue number it carries.
struct ListItem {
    std::string caption;
    int number = 0;
    bool operator==(const ListItem&) const = default;
};

// The contents of the tool box's field lists after FillFieldLists: every
// catalogue entry for the project view lists, the EID entries (beyond the
// five project attributes) for the EID view and association lists, and
// which commands the lists allow. Each list starts with its first item
// selected; the operator lists start with "Like" and the value boxes with "*".
struct FieldLists {
    std::vector<ListItem> projectItems; // cboWhere1, cboSort
    std::vector<ListItem> eidItems; // cboFields, cboFieldSort, cboFind(0), cboFind(2)
    bool refreshEnabled = false; // cmdRefresh: project lists not empty
    bool findEnabled = false; // cmdFind: association lists not empty
    bool filterEnabled = false; // cmdFilter: EID view lists not empty
};
FieldLists FillFieldLists(const lom::FieldCatalogue& catalogue);

// The initial text of the filter value boxes.
inline constexpr const char* kAnyValue = "*";

} // namespace rav::recedit
