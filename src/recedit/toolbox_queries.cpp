#include "toolbox_queries.h"

#include "lom_catalogue.h"
#include "db_types.h"
#include "recordset.h"

namespace rav::recedit
{

namespace
{

// The bracketed column of a catalogue entry, as [Device]![Name].
std::string deviceColumn(const lom::FieldCatalogue& catalogue, int entry)
{
    return "[Device]!" + db::quoteBracketName(catalogue.entry(entry).fieldName);
}

} // namespace

std::string QuotedValue(const std::string& value)
{
    std::string out;
    out.reserve(value.size() + 2);
    out += '"';
    for (const char c : value) {
        out += c;
        if (c == '"')
            out += '"';
    }
    out += '"';
    return out;
}

std::string makeMyQuerySTr(int whereNumber, const std::string& op, const std::string& value, int sortNumber)
{
    return "SELECT * FROM Device WHERE field" + std::to_string(whereNumber) + " " + op + " "
        + QuotedValue(value) + " ORDER BY Device.field" + std::to_string(sortNumber) + ";";
}

std::string makeFindQuerySTr(const lom::FieldCatalogue& catalogue, int whereEntry, const std::string& op,
    const std::string& value, int sortEntry)
{
    return "SELECT * FROM Device WHERE " + deviceColumn(catalogue, whereEntry) + " " + op + " "
        + QuotedValue(value) + " ORDER BY " + deviceColumn(catalogue, sortEntry) + ";";
}

std::string makeSearchQuerySTr(const db::Recordset* projectView, const lom::FieldCatalogue& catalogue,
    int sourceNumber, const std::string& op, int searchedEntry, const std::string& eicField)
{
    if (!projectView || !projectView->isOpen() || projectView->absolutePosition() < 0)
        return {};
    std::string value;
    const int source = projectView->fieldIndex("field" + std::to_string(sourceNumber));
    if (source >= 0)
        if (const db::Value v = projectView->value(source))
            value = *v;
    std::string lower = op;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (lower == "like")
        value = "*" + value + "*";
    return "SELECT * FROM Device WHERE [Device]!" + db::quoteBracketName(catalogue.entry(searchedEntry).fieldName) + " "
        + op + " " + QuotedValue(value) + " ORDER BY Device!" + db::quoteBracketName(eicField) + ";";
}

std::string WholeEidQuery(const std::string& eicField)
{
    return "SELECT * FROM Device ORDER BY [Device]!" + db::quoteBracketName(eicField) + ";";
}

std::string EicCriteria(const std::string& eicField, const std::string& value)
{
    return db::quoteBracketName(eicField) + " = " + QuotedValue(value);
}

FieldLists FillFieldLists(const lom::FieldCatalogue& catalogue)
{
    FieldLists lists;
    for (int k = 1; k <= catalogue.size(); ++k) {
        const lom::CatalogueEntry& e = catalogue.entry(k);
        lists.projectItems.push_back({ e.caption, k });
        if (k > lom::kToolBoxProjectFields)
            lists.eidItems.push_back({ e.caption, k });
    }
    lists.refreshEnabled = !lists.projectItems.empty();
    lists.findEnabled = !lists.eidItems.empty();
    lists.filterEnabled = !lists.eidItems.empty();
    return lists;
}

} // namespace rav::recedit
