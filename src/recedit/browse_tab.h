// The tool box's "Browse" tab without widgets: record maintenance on the
// data source the EID grid is bound to. Each command changes the record set
// and tells the grids itself, so a window never edits a record set behind
// its grid's back; the tab's controls show state().
#pragma once

#include "record_maintenance.h"

#include <string>

namespace rav::grid
{
class DataSource;
}

namespace rav::recedit
{

class BrowseTab
{
public:
    explicit BrowseTab(grid::DataSource& source)
        : source_(source)
    {
    }

    // Adds a record with a new EIC to `eidFile` (see AddRecord); an added
    // record is current and in edit mode. Nothing happens without a record set.
    AddResult add(const std::string& eidFile, const AskValue& ask, MessageSink& messages);
    // Deletes the current record after asking (see DeleteRecord); the grids
    // reload on the record the deletion moved to. Engine errors propagate.
    bool remove(MessageSink& messages);
    void move(MoveCommand command);
    // Goes to a typed position; returns the position now current (-1: no record set).
    long jump(const std::string& typed);

    // What the tab's controls show for the current record.
    BrowseState state(const std::string& eicField) const;

private:
    grid::DataSource& source_;
};

} // namespace rav::recedit
