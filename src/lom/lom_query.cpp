#include "lom_query.h"

#include "textcodec.h"

#include <algorithm>

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

std::vector<int> MoveItems(std::vector<int>& items, std::vector<int> selected, int delta)
{
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    const int count = static_cast<int>(items.size());
    std::erase_if(selected, [count](int r) { return r < 0 || r >= count; });
    if (selected.empty() || (delta < 0 && selected.front() == 0) || (delta > 0 && selected.back() == count - 1))
        return selected;
    // Each selected item swaps with its neighbour on the far side, walking
    // from the edge it moves towards so a block moves as one.
    if (delta < 0) {
        for (int& r : selected) {
            std::swap(items[static_cast<std::size_t>(r)], items[static_cast<std::size_t>(r - 1)]);
            --r;
        }
    } else {
        for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
            std::swap(items[static_cast<std::size_t>(*it)], items[static_cast<std::size_t>(*it + 1)]);
            ++*it;
        }
    }
    return selected;
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
