#include "lom_query.h"

#include "textcodec.h"

namespace rav::lom
{

std::string ResolveDelimiter(const std::string& text, std::string* boxText)
{
    const std::string lower = rav::text::asciiLower(text);
    std::string delimiter;
    std::string shown = text;
    if (lower == "space") {
        delimiter = " ";
    } else if (lower == "tab") {
        delimiter = "\t";
    } else if (text.empty()) {
        delimiter = ",";
        shown = ",";
    } else {
        delimiter = rav::text::utf8Left(text, 1);
        shown = delimiter;
    }
    if (boxText)
        *boxText = shown;
    return delimiter;
}

LomQuery makeQueryString(const FieldCatalogue& catalogue, const QueryChoice& choice)
{
    LomQuery q;
    q.captions = SelectedCaptions(catalogue, choice.selected);
    std::string columns;
    for (std::size_t i = 0; i < choice.selected.size(); ++i) {
        if (i > 0)
            columns += ',';
        columns += "Device.field" + std::to_string(choice.selected[i]);
    }
    q.delimiter = ResolveDelimiter(choice.delimiterText, &q.delimiterBoxText);
    q.sql = "SELECT " + columns + " FROM Device";
    if (choice.sortNumber > 0)
        q.sql += " ORDER BY Device.field" + std::to_string(choice.sortNumber) + (choice.descending ? " DESC" : "");
    q.sql += ";";
    return q;
}

} // namespace rav::lom
