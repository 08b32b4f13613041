#include "association.h"

#include "cancel_flag.h"
#include "database.h"
#include "eid_format.h"
#include "host_utility.h"
#include "lom_catalogue.h"
#include "project_parts.h"
#include "recordset.h"
#include "show_message.h"
#include "textcodec.h"
#include "toolbox_queries.h"

namespace rav::recedit
{

namespace
{

bool hasCurrentRow(const db::Recordset* rs)
{
    return rs && rs->isOpen() && rs->absolutePosition() >= 0;
}

// Steps shared by both modes: the part gets the EIC and the record's values.
void copyRecord(db::Recordset& projectView, const db::Recordset& searchResult, const std::string& eicField)
{
    projectView.edit();
    projectView.setValue(kEicColumn, searchResult.value(eicField));
    for (int i = 0; i < searchResult.fieldCount(); ++i)
        if (db::Value v = searchResult.value(i))
            projectView.setValue(EidValueColumn(i), std::move(v));
    projectView.update();
}

} // namespace

std::string EidValueColumn(int ordinal)
{
    return "field" + std::to_string(ordinal + lom::kToolBoxProjectFields + 1);
}

bool BothSelected(const db::Recordset* projectView, const db::Recordset* searchResult)
{
    return hasCurrentRow(projectView) && hasCurrentRow(searchResult);
}

bool AssociateAutomatic(
    db::Recordset& projectView, const db::Recordset& searchResult, const std::string& eicField)
{
    if (!BothSelected(&projectView, &searchResult))
        return false;
    copyRecord(projectView, searchResult, eicField);
    return true;
}

ManualOutcome AssociateManual(db::Recordset& projectView, db::Recordset& searchResult,
    const std::string& eicField, const std::string& eic, MessageSink& messages)
{
    std::string part;
    if (hasCurrentRow(&projectView))
        part = projectView.value(kPartColumn).value_or("");
    if (text::trimBlanks(part).empty())
        return ManualOutcome::NoPart;
    if (text::trimBlanks(eic).empty())
        return ManualOutcome::NoEic;

    if (searchResult.findFirst(EicCriteria(eicField, eic))) {
        if (BothSelected(&projectView, &searchResult))
            copyRecord(projectView, searchResult, eicField);
        return ManualOutcome::Associated;
    }
    UserMessage question;
    question.kind = MessageKind::Question;
    question.id = "5451";
    question.text = HostUtility::instance().GetLocalMessage(
                        "Specified EIC not found in the EID file. Continue Updating the Project Library "
                        "with the Specified EIC : ",
                        "5451")
        + eic;
    if (!messages.confirm(question))
        return ManualOutcome::Declined;
    if (!hasCurrentRow(&projectView))
        return ManualOutcome::Declined;
    projectView.edit();
    projectView.setValue(kEicColumn, eic);
    for (int i = 0; i < searchResult.fieldCount(); ++i)
        projectView.setValue(EidValueColumn(i), std::string());
    projectView.update();
    return ManualOutcome::AssociatedWithoutRecord;
}

lom::BuildResult BuildProjectView(const std::string& eidFile, const std::string& tempDir,
    lom::FieldCatalogue& catalogue, ProgressSink& progress, MessageSink& messages)
{
    lom::BuildToolBoxCatalogue(catalogue, eidFile);
    lom::BuildOptions options;
    options.eidFile = eidFile;
    options.tempDir = tempDir;
    options.fieldCount = catalogue.size();
    lom::BuildResult result = lom::BuildProjectViewDatabase(options, progress, messages);
    lom::LomState& state = lom::lomState();
    if (!result.tempDbName.empty())
        state.tempDbName = result.tempDbName;
    if (!result.eicFieldName.empty())
        state.eicFieldName = result.eicFieldName;
    return result;
}

std::vector<kernel::EicChange> PlanProjectLibraryUpdate(db::Database& projectView)
{
    std::vector<kernel::WantedCode> wanted;
    db::Recordset rs = projectView.openRecordset(eid::kDeviceTable);
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        const std::string part = rs.value(kPartColumn).value_or("");
        const std::string eic = text::trimBlanks(rs.value(kEicColumn).value_or(""));
        if (!part.empty() && !eic.empty())
            wanted.push_back({ part, eic });
    }
    return kernel::planEicChanges(wanted);
}

std::string ConfirmWriteBackText(const std::vector<kernel::EicChange>& changes)
{
    constexpr std::size_t kShown = 30;
    const std::vector<kernel::EicChange> head(
        changes.begin(), changes.begin() + static_cast<std::ptrdiff_t>(std::min(kShown, changes.size())));
    std::string text = FormatMessage("Write %1 codes into the project?", "61601",
                           { GroupedCount(static_cast<std::int64_t>(changes.size())) })
        + "\n\n" + kernel::describeChanges(head);
    if (changes.size() > kShown)
        text += FormatMessage("... and %1 more", "61603",
                    { GroupedCount(static_cast<std::int64_t>(changes.size() - kShown)) })
            + "\n";
    return text;
}

bool ConfirmProjectLibraryUpdate(const std::vector<kernel::EicChange>& plan, MessageSink& messages)
{
    if (plan.empty()) {
        UserMessage nothing;
        nothing.kind = MessageKind::Information;
        nothing.id = "61602";
        nothing.text
            = FormatMessage("Every device already has the code shown; nothing to write.", "61602", {});
        messages.show(nothing);
        return false;
    }
    UserMessage question;
    question.kind = MessageKind::Question;
    question.id = "61601";
    question.text = ConfirmWriteBackText(plan);
    question.noByDefault = true;
    return messages.confirm(question);
}

void ReportProjectLibraryUpdate(std::size_t planned, const LibraryUpdateResult& result, MessageSink& messages)
{
    UserMessage done;
    done.kind = MessageKind::Information;
    if (result.cancelled) {
        done.id = "61605";
        done.text = FormatMessage("Stopped after %1 of the project's devices; the codes written so far stay.",
            "61605", { GroupedCount(result.rows) });
    } else {
        done.id = "61604";
        done.text = FormatMessage("Codes written into the project: %1.", "61604",
            { GroupedCount(static_cast<std::int64_t>(planned)) });
    }
    messages.show(done);
}

LibraryUpdateResult UpdateProjectLibrary(
    db::Database& projectView, ProgressSink& progress, MessageSink& messages)
{
    LibraryUpdateResult result;
    // The id is stored with a trailing blank, which the look-up ignores.
    progress.setCaption(HostUtility::instance().GetLocalMessage("Updating Project Library...", "5453 "));
    std::int64_t value = 1;
    progress.setValue(value);
    db::Recordset rs = projectView.openRecordset(eid::kDeviceTable);
    if (rs.recordCount() > 0)
        rs.moveLast();
    progress.setRange(0, rs.recordCount());
    rs.moveFirst();
    auto& parts = kernel::ProjectParts::instance();
    kernel::WriteBack writeBack;
    while (!rs.eof()) {
        ++result.rows;
        const std::string part = rs.value(kPartColumn).value_or("");
        if (const db::Value code = rs.value(kEicColumn)) {
            const std::string eic = text::trimBlanks(*code);
            if (!part.empty() && !eic.empty()) {
                parts.UpdateDeviceEic(part, eic, messages);
                ++result.updates;
            }
        }
        progress.setValue(++value);
        progress.yield();
        rs.moveNext();
        if (cancelFlag().load()) {
            cancelFlag().store(false);
            result.cancelled = true;
            break;
        }
    }
    writeBack.commit();
    return result;
}

} // namespace rav::recedit
