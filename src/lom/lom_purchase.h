// One purchase list for several boards: the grouped lines of each board's
// project, each board's quantities times the boards to build, added where
// the lines are the same part, with spares on top. No widgets and no
// database: the lines come in read already (lom_job reads them).
#pragma once

#include "lom_table.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace rav::lom
{

// A project and how many boards are built from it ("A.dpz:5").
struct ProjectCount {
    std::string path;
    long count = 1;
};

// Reads "PATH" or "PATH:COUNT". The text after the last ':' is a count
// only when it is all digits, so "dir:x/b.dpz" stays a path; a file that
// exists under the whole text is that file. Anything else after a ':' that
// is no existing file ("A.dpz:0", "A.dpz:-2", "A.dpz:five") is a bad count.
// Throws std::invalid_argument with a one-line message.
inline constexpr long kMaxBoards = 1000000;
ProjectCount ParseProjectCount(const std::string& text, const std::function<bool(const std::string&)>& exists);

// How a board names itself before its parts: the project file's name
// without folder and extension, or the path as given where two boards
// would otherwise share a name.
std::vector<std::string> BoardLabels(const std::vector<std::string>& paths);

// Spares per purchase line: `percent` of the needed quantity rounded up,
// but at least `minimum`.
struct SpareRule {
    long percent = 0;
    long minimum = 0;
    bool any() const { return percent > 0 || minimum > 0; }
};
long SparesFor(long quantity, const SpareRule& rule);

// One grouped line of one board.
struct BoardLine {
    std::vector<std::string> cells; // the visible columns
    // Lines of equal key on different boards are one purchase line: the
    // key one board groups by (code, value and package - without a code,
    // value and package - or the chosen group fields).
    std::string key;
    long quantity = 0; // parts on one board
    std::string parts; // their names as ranges
    bool apart = false; // a do-not-place line listed apart
    std::string eic;
    bool withoutRecord = false;
};

struct BoardList {
    std::string label;
    long count = 1; // boards to build
    std::vector<BoardLine> lines; // in the board's own order
    long parts = 0; // placed parts on one board
};

// The columns of every board's lines (all boards have the same ones).
struct PurchaseLayout {
    std::vector<std::string> headers;
    std::vector<bool> numeric;
    int quantityColumn = -1; // -1: none
    int partsColumn = -1; // -1: none
    int sortColumn = -1; // -1: first seen first (the first board's order, then new lines of the next)
    bool descending = false;
    long multiplier = 1; // on top of each board's count
    SpareRule spares;
    std::string sparesHeader = "Spares";
};

// The key of a line from its code, value and package: a placeholder code
// counts as none, as in the grouping of one board.
std::string PurchaseKey(const std::string& eic, const std::string& value, const std::string& package);

// The purchase list: one line per key and section (lines set apart stay
// apart), the quantity the sum over boards of quantity x count x
// multiplier plus spares, the part names per board ("A: C1-C6; B: C1, C2";
// the bare ranges when there is one board). A spare rule adds a numeric
// column after the quantity, saying how many of it are spares; lines set
// apart get none. The other cells come from the first board holding the
// line. Throws std::invalid_argument when a rule needs a quantity column
// and there is none.
LomTable MergeBoards(const std::vector<BoardList>& boards, const PurchaseLayout& layout);

} // namespace rav::lom
