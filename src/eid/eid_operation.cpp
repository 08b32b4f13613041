#include "eid_operation.h"

#include "database.h"
#include "eid_format.h"
#include "eid_table.h"
#include "host_utility.h"
#include "show_message.h"
#include "textcodec.h"

#include <sqlite3.h>

namespace rav::eid
{

Delimiter ResolveDelimiter(const std::string& comboText)
{
    const std::string word = text::asciiLower(comboText);
    if (word == "space")
        return { ' ', comboText };
    if (word == "tab")
        return { '\t', comboText };
    if (comboText.empty())
        return { ',', "," };
    return { comboText.front(), comboText.substr(0, 1) };
}

std::string Text(const char* const (&message)[2])
{
    return HostUtility::instance().GetLocalMessage(message[1], message[0]);
}

namespace detail
{

int DeviceColumns::ordinal(const std::string& name) const
{
    for (int i = 0; i < count(); ++i) {
        if (text::equalsIgnoreCase(names[static_cast<std::size_t>(i)], name))
            return i;
    }
    throw db::Error("Table Device has no field named '" + name + "'");
}

DeviceColumns ReadDeviceColumns(const db::Database& db)
{
    const db::TableDef def = db.tableDef(kDeviceTable);
    DeviceColumns cols;
    for (const db::FieldDef& f : def.fields) {
        cols.names.push_back(f.name);
        cols.sizes.push_back(f.size);
    }
    if (cols.names.empty())
        throw db::Error("Table Device has no fields");
    cols.eicOrdinal = cols.ordinal(EicFieldName(db));
    return cols;
}

void KeepWorkDone(std::optional<rav::db::Transaction>& tx) noexcept
{
    if (!tx)
        return;
    try {
        tx->commit();
    } catch (const std::exception&) {
        // The transaction is gone already.
    }
    tx.reset();
}

void UseBulkCache(db::Database& db)
{
    db.executeNative("PRAGMA cache_size = -65536"); // KiB
}

std::string_view ColumnText(const db::Statement& stmt, int column)
{
    return stmt.columnText(column).value_or(std::string_view());
}

} // namespace detail

OperationReport ReportOperation(
    Operation operation, const OperationResult& result, const std::string& eidFile, const std::string& textFile)
{
    OperationReport report;
    UserMessage& m = report.message;
    m.kind = MessageKind::Information;
    if (!result.completed) {
        m.kind = MessageKind::Exclamation;
        const std::string why = result.failure.empty() ? "unknown error" : result.failure;
        switch (operation) {
        case Operation::Import:
            m.id = "916008";
            m.text = FormatMessage("The import stopped after %2 records were stored: %1", "916008",
                { why, GroupedCount(result.added + result.overwritten) });
            break;
        case Operation::Export:
            m.id = "916009";
            m.text = FormatMessage("The export stopped: %1", "916009", { why });
            break;
        case Operation::Remove:
            m.id = "916010";
            m.text = FormatMessage("The removal stopped after %2 records were deleted: %1", "916010",
                { why, GroupedCount(result.processed) });
            break;
        }
        return report;
    }
    switch (operation) {
    case Operation::Import: {
        const std::int64_t stored = result.added + result.overwritten;
        const std::string lines = GroupedCount(result.linesRead - result.blankLines);
        if (stored == 0) {
            m.kind = MessageKind::Exclamation;
            report.offerLog = result.logged > 0 && !result.logFile.empty();
            m.id = report.offerLog ? "916007" : "916006";
            m.text = report.offerLog
                ? FormatMessage("No record was stored: of %1 lines read from %2, %3 were refused and logged "
                                "to %4. Open the log?",
                      "916007", { lines, textFile, GroupedCount(result.logged), result.logFile })
                : FormatMessage("No record was stored: %2 holds no lines to import (%1 read).", "916006",
                      { lines, textFile });
            if (report.offerLog)
                m.kind = MessageKind::Question;
            break;
        }
        m.id = "916005";
        m.text = FormatMessage("%1 lines read from %2: %3 records stored in %4 (%5 overwritten), %6 lines logged.",
            "916005",
            { lines, textFile, GroupedCount(stored), eidFile, GroupedCount(result.overwritten),
                GroupedCount(result.logged) });
        break;
    }
    case Operation::Export:
        m.id = "916004";
        m.text = FormatMessage(
            "%1 records exported from %2 to %3.", "916004", { GroupedCount(result.processed), eidFile, textFile });
        break;
    case Operation::Remove:
        m.id = "916003";
        m.text
            = FormatMessage("%1 records deleted from %2.", "916003", { GroupedCount(result.processed), eidFile });
        break;
    }
    return report;
}

} // namespace rav::eid
