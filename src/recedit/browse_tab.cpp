#include "browse_tab.h"

#include "data_source.h"
#include "recordset.h"

namespace rav::recedit
{

AddResult BrowseTab::add(const std::string& eidFile, const AskValue& ask, MessageSink& messages)
{
    db::Recordset* rs = source_.recordset();
    if (!rs)
        return { AddOutcome::Failed, {}, -1, "no record set" };
    AddResult result = AddRecord(eidFile, *rs, ask, messages);
    if (result.outcome == AddOutcome::Added)
        source_.notifyRecordChanged();
    return result;
}

bool BrowseTab::remove(MessageSink& messages)
{
    db::Recordset* rs = source_.recordset();
    if (!rs || !DeleteRecord(*rs, messages))
        return false;
    // The grids drop the deleted row; the position stays the one the
    // deletion moved to.
    const long position = rs->absolutePosition();
    source_.refresh();
    if (position >= 0)
        source_.setPosition(position);
    return true;
}

void BrowseTab::move(MoveCommand command)
{
    if (db::Recordset* rs = source_.recordset()) {
        MoveRecord(*rs, command);
        source_.notifyRecordChanged();
    }
}

long BrowseTab::jump(const std::string& typed)
{
    db::Recordset* rs = source_.recordset();
    if (!rs)
        return -1;
    const long position = JumpToPosition(*rs, typed);
    source_.notifyRecordChanged();
    return position;
}

BrowseState BrowseTab::state(const std::string& eicField) const
{
    return FollowRecord(source_.recordset(), eicField);
}

} // namespace rav::recedit
