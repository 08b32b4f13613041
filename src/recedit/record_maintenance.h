// Record maintenance of the EID edit grid: adding a record with a new,
// unique EIC, deleting the current record, moving among the records and
// jumping to a typed position, and the state of the Browse controls that
// follows the grid's current record.
//
// Every operation works on the record set the grid is bound to (a dynaset
// over the current EID); positions are its absolute positions, zero-based,
// -1 when there is no current record.
#pragma once

#include "sinks.h"

#include <functional>
#include <string>

namespace rav::db
{
class Recordset;
}

namespace rav::recedit
{

// ---- Adding -------------------------------------------------------------------

enum class AddOutcome {
    Added, // the record was written and is in edit mode in the grid's set
    Blank, // the answer was empty or blank: nothing added
    Duplicate, // a record with that EIC exists: messages 5449/5450 shown
    Failed, // a database error ended the command quietly (`error` says what)
};

struct AddResult {
    AddOutcome outcome = AddOutcome::Failed;
    std::string value; // the EIC as written (cut to the column size)
    long position = -1; // the new record's position in the grid's set
    std::string error;
};

// Asks for the new EIC with the prompt it is given ("Give the Value for
// field : [<EIC field>]") and returns the answer; "" when cancelled.
using AskValue = std::function<std::string(const std::string& prompt)>;

// Adds a record with a new EIC to `edited`, the grid's record set over
// `eidFile`. A connection of its own finds the EIC field and checks that no
// record has the answer as its EIC. The answer is cut to the EIC column's
// size; blanks around it are kept (they only decide whether it is blank).
// Afterwards the new record is current in `edited` and in edit mode, so the
// user fills the other columns and commits them.
AddResult AddRecord(
    const std::string& eidFile, db::Recordset& edited, const AskValue& ask, MessageSink& messages);

// ---- Deleting -------------------------------------------------------------------

// Asks 5452 and, on Yes, deletes the current record of `rs` and goes to the
// record that followed it, or to the new last record when it was the last.
// Returns whether a record was deleted. Engine errors propagate.
bool DeleteRecord(db::Recordset& rs, MessageSink& messages);

// ---- Moving and jumping ---------------------------------------------------------

enum class MoveCommand { First = 0, Previous = 1, Next = 2, Last = 3 };

// The move buttons |<, <<, >>, >|. Never steps off the records: a move
// that would leave the set comes back to the record at that end. Errors
// are ignored.
void MoveRecord(db::Recordset& rs, MoveCommand command);

// Goes to the position typed in the position box (its leading number; 0
// when there is none). A position outside the set changes nothing. Returns
// the position now current. Errors are ignored.
long JumpToPosition(db::Recordset& rs, const std::string& typed);

// ---- Following the grid -----------------------------------------------------------

// What the Browse and EID View controls show for the grid's current record.
struct BrowseState {
    long position = -1; // txtMove
    long records = 0; // in the set: the count under the EID grid
    bool backEnabled = false; // cmdMove(0), cmdMove(1): not at the first record
    bool forwardEnabled = false; // cmdMove(2), cmdMove(3): not at the last record
    bool deleteEnabled = false; // cmdDelete: a current record
    std::string eic; // txtField: the current record's EIC, "" when none or Null
    // The set is in edit or add mode: moves disabled, cmdAdd shows
    // "&Update", txtMove locked, cmdFilter and cmdFile disabled.
    bool editPending = false;
};
// `rs` may be null or closed (no record set): everything off.
BrowseState FollowRecord(const db::Recordset* rs, const std::string& eicField);

} // namespace rav::recedit
