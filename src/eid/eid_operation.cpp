#include "eid_operation.h"

#include "database.h"
#include "eid_format.h"
#include "eid_table.h"
#include "host_utility.h"
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

std::string QuoteName(const std::string& name)
{
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    out += '"';
    return out;
}

std::string_view ColumnText(const db::Statement& stmt, int column)
{
    return stmt.columnText(column).value_or(std::string_view());
}

} // namespace detail

} // namespace rav::eid
