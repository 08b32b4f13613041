// The state of the EID wizard without its widgets: the field list of a new
// EID (what the creation pages edit) and the wizard's step logic (which page
// Next leads to, what Next and Back need). The window only shows this state
// and passes the user's input in.
#pragma once

#include "eid_format.h"
#include "eid_operation.h"

#include <optional>
#include <string>
#include <vector>

namespace rav::eid
{

// The fields of a new EID in creation order, followed by one entry row (the
// row a new field is typed into). Rows count from 0: rows 0..count()-1 are
// fields, row count() is the entry row.
class EidFieldList
{
public:
    int count() const { return static_cast<int>(fields_.size()); }
    int rows() const { return count() + 1; }
    const std::vector<EidField>& fields() const { return fields_; }
    std::vector<std::string> names() const;
    bool isEntryRow(int row) const { return row == count(); }

    // The row the entry boxes edit; the entry row unless the user picked a field.
    int current() const { return current_; }
    bool setCurrent(int row); // false (and no change) outside 0..count()

    // Commits a name and a size as typed (the number at the start of the
    // text counts) to the current row, with the wizard's rules: a size of 1
    // to 255, a name without blanks that no other field has in any letter
    // case. A field row is changed in place; the entry row becomes a field
    // and a new entry row follows it. Either way the entry row becomes
    // current. A refused entry changes nothing.
    FieldEntryError commit(const std::string& name, const std::string& sizeText);
    // Removes the current field; the rows below move up and the entry row
    // becomes current. False on the entry row.
    bool removeCurrent();

    // The field chosen as EIC field: an index into fields(), -1 for none.
    // It stays on its field while others are removed.
    int eicField() const { return eic_; }
    void setEicField(int index);
    std::string eicName() const;

private:
    std::vector<EidField> fields_;
    int current_ = 0;
    int eic_ = -1;
};

// The message that refuses an entry, and the box the user must correct.
struct FieldRefusal {
    const char* id;
    const char* text; // English default
    bool sizeBox; // else the name box
};
std::optional<FieldRefusal> RefusalOf(FieldEntryError error);

// ---- The wizard's steps ----------------------------------------------------
// The step is -1 on the first page, else the index of the shown page of the
// path chosen when the first page was left.
enum class WizardPath { None, Create, Edit };

inline constexpr int kCreatePages = 2;
inline constexpr int kEditPages = 3;
int PageCount(WizardPath path);

// What the wizard knows when it decides whether Next may be pressed.
struct WizardChoices {
    WizardPath path = WizardPath::None;
    int step = -1;
    // First page.
    bool createNew = true;
    std::string newFile; // the name for a new EID
    bool existingIsEid = false; // the chosen existing file passed IsEidDatabase
    // Creation path.
    int fieldCount = 0;
    // Edit path.
    Operation operation = Operation::Remove;
    std::string textFile; // the operation's text file (import or export)
};

bool NextAllowed(const WizardChoices& choices);
inline bool BackAllowed(int step)
{
    return step >= 1; // the first page never comes back
}

enum class NextAction {
    ShowPage, // show page step + 1 of the path (from the first page: page 0 of the chosen path)
    CreateFile, // the creation's last page: build the EID
    RunOperation, // the edit path's last page: run the chosen operation
};
NextAction ActionOfNext(WizardPath path, int step);

// The help sub-menu of a page: 1 the first page, 2-3 the creation pages,
// 4-6 the edit pages.
long HelpSubMenu(WizardPath path, int step);

} // namespace rav::eid
