// How tall the query dialog grows for its prompt. Lengths in twips.
#pragma once

#include <string_view>

namespace rav::dialogs
{

struct QueryLayoutInput {
    long labelWidth = 0; // the prompt label's width
    int promptLines = 1; // lines of the prompt split at CR LF
    long promptWidth = 0; // the prompt's text width on one line
    long textHeight = 0; // height of one line of text
    long inputHeight = 0; // height of the input box
    long screenHeight = 0;
};

struct QueryLayout {
    long height = 0; // the dialog's height
    int lines = 0; // text lines the prompt is given room for
};

// Lines = prompt lines + the prompt's width over the usable width (the
// label less 120, to the nearest whole number) + 3; height = lines of text
// plus the input box, at least 2000, and 1200 short of a screen lower than that.
QueryLayout LayOutQuery(const QueryLayoutInput& in);

// Number of lines of a text split at CR LF (an empty text is one line).
int CountCrLfLines(std::string_view text);

// The prompt label's height and the input control's top inside a dialog
// whose inner height is `innerHeight`.
inline long PromptHeight(long innerHeight, long inputHeight)
{
    return innerHeight - inputHeight - 120;
}
inline long InputTop(long innerHeight, long inputHeight)
{
    return innerHeight - inputHeight - 60;
}

} // namespace rav::dialogs
