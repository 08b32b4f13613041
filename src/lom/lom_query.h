// The List of Materials query: from the chosen fields, the sort field and
// the delimiter box, the SQL text that reads the rows back out of the
// temporary database, the delimiter of the LOM file and the captions the
// preview shows.
#pragma once

#include "lom_catalogue.h"

#include <string>
#include <vector>

namespace rav::lom
{

// What the user chose on the field page.
struct QueryChoice {
    std::vector<int> selected; // catalogue numbers, in output order
    int sortNumber = 0; // catalogue number of the sort field; 0: none chosen
    std::string delimiterText; // the delimiter box's text as typed
    bool descending = false; // the sort field's order reversed
};

struct LomQuery {
    std::string sql; // the dialect SELECT over table Device of the temporary database
    std::string delimiter; // what goes before every value of a LOM line
    // What the delimiter box shows afterwards: unchanged for "tab" and
    // "space", "," for an empty box, else the one character used.
    std::string delimiterBoxText;
    std::vector<std::string> captions; // SelectedCaptions of the choice
};

// The delimiter for a box text: "space" (any case) gives a blank, "tab" the
// tab character, an empty text ",", anything else its first character (its
// case kept). `boxText`, when given, receives what the box then shows.
std::string ResolveDelimiter(const std::string& text, std::string* boxText = nullptr);

// SELECT Device.field<a>,Device.field<b> FROM Device ORDER BY Device.field<s>;
// With no sort field chosen the ORDER BY part is left out, so the rows come
// in the order they were built.
LomQuery makeQueryString(const FieldCatalogue& catalogue, const QueryChoice& choice);

} // namespace rav::lom
