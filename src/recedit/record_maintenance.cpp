#include "record_maintenance.h"

#include "database.h"
#include "eid_format.h"
#include "host_utility.h"
#include "recordset.h"
#include "textcodec.h"
#include "toolbox_queries.h"
#include "values.h"

#include <cmath>

namespace rav::recedit
{

namespace
{

std::string local(const char* text, const char* id)
{
    return HostUtility::instance().GetLocalMessage(text, id);
}

} // namespace

AddResult AddRecord(
    const std::string& eidFile, db::Recordset& edited, const AskValue& ask, MessageSink& messages)
{
    AddResult result;
    try {
        // A connection of the command's own: it only reads the EIC column,
        // so it opens shared beside the grid's connection.
        db::Database own = db::Database::open(eidFile, db::OpenMode::Shared);
        db::Recordset device = own.openRecordset(eid::kDeviceTable);
        const std::string eic = eid::EicFieldName(own);

        std::string value = ask(local("Give the Value for field : [", "5448") + eic + "]");
        if (text::trimBlanks(value).empty()) {
            result.outcome = AddOutcome::Blank;
            return result;
        }
        const int size = device.fieldInfo(device.fieldIndex(eic)).size;
        if (size > 0)
            value = text::utf8Left(value, static_cast<std::size_t>(size));
        result.value = value;

        const std::string criteria = EicCriteria(eic, value);
        if (device.findFirst(criteria)) {
            UserMessage m;
            m.kind = MessageKind::Information;
            m.id = "5449";
            m.text = local("Specified value : ", "5449") + value
                + local(" , exists in database. Enter a unique value to add a new record", "5450");
            messages.show(m);
            result.outcome = AddOutcome::Duplicate;
            return result;
        }
        edited.addNew();
        edited.setValue(eic, value);
        edited.update();
        edited.findFirst(criteria);
        edited.edit();
        result.position = edited.absolutePosition();
        result.outcome = AddOutcome::Added;
    } catch (const std::exception& e) {
        if (edited.isOpen() && edited.editMode() == db::EditMode::AddNew)
            edited.cancelUpdate();
        result.outcome = AddOutcome::Failed;
        result.error = e.what();
    }
    return result;
}

bool DeleteRecord(db::Recordset& rs, MessageSink& messages)
{
    UserMessage question;
    question.kind = MessageKind::Question;
    question.id = "5452";
    question.text = local("Are you sure to delete the selected record?", "5452");
    if (!messages.confirm(question))
        return false;
    rs.remove();
    if (rs.eof()) {
        if (!rs.bof())
            rs.moveLast();
    } else {
        rs.moveNext();
        if (rs.eof() && rs.recordCount() > 0)
            rs.moveLast();
    }
    return true;
}

void MoveRecord(db::Recordset& rs, MoveCommand command)
{
    try {
        switch (command) {
        case MoveCommand::First:
            if (!rs.bof())
                rs.moveFirst();
            break;
        case MoveCommand::Previous:
            if (!rs.bof()) {
                rs.movePrevious();
                if (rs.bof())
                    rs.moveNext();
            }
            break;
        case MoveCommand::Next:
            if (!rs.eof()) {
                rs.moveNext();
                if (rs.eof())
                    rs.movePrevious();
            }
            break;
        case MoveCommand::Last:
            if (!rs.eof())
                rs.moveLast();
            break;
        }
    } catch (const std::exception&) {
        // Moving never reports: an impossible move leaves the record as it was.
    }
}

long JumpToPosition(db::Recordset& rs, const std::string& typed)
{
    try {
        const double wanted = std::nearbyint(NumericValue(typed));
        if (wanted >= 0 && wanted < static_cast<double>(rs.recordCount()))
            rs.setAbsolutePosition(static_cast<long>(wanted));
        return rs.absolutePosition();
    } catch (const std::exception&) {
        return -1;
    }
}

BrowseState FollowRecord(const db::Recordset* rs, const std::string& eicField)
{
    BrowseState s;
    if (!rs || !rs->isOpen())
        return s;
    try {
        s.position = rs->absolutePosition();
        s.records = rs->recordCount();
        const long last = s.records - 1;
        s.backEnabled = !rs->bof() && s.position != 0;
        s.forwardEnabled = !rs->eof() && s.position != last;
        s.deleteEnabled = s.position >= 0;
        if (s.position >= 0) {
            const int eic = eicField.empty() ? -1 : rs->fieldIndex(eicField);
            if (eic >= 0)
                if (const db::Value v = rs->value(eic))
                    s.eic = *v;
        }
        s.editPending = rs->editMode() != db::EditMode::None;
    } catch (const std::exception&) {
        // The handler that uses this ignores errors; what was read stays.
    }
    return s;
}

} // namespace rav::recedit
