#include "eid_copy.h"

#include "database.h"
#include "eid_format.h"
#include "eid_table.h"

#include <filesystem>

namespace rav::eid
{

namespace
{

std::int64_t copyRows(db::Database& from, db::Database& to, const db::TableDef& def)
{
    std::string names, marks;
    for (std::size_t i = 0; i < def.fields.size(); ++i) {
        names += (i ? "," : "") + db::quoteIdent(def.fields[i].name);
        marks += (i ? ",?" : "?") + std::to_string(i + 1);
    }
    // Row order is the order records were added, which exports and ranges
    // use to break ties; adding them in that order keeps it.
    db::Statement rows = from.prepare("SELECT " + names + " FROM Device ORDER BY rowid");
    db::Statement insert = to.prepare("INSERT INTO Device (" + names + ") VALUES (" + marks + ")");
    std::int64_t copied = 0;
    const int n = static_cast<int>(def.fields.size());
    while (rows.step()) {
        for (int i = 0; i < n; ++i) {
            const auto v = rows.columnText(i);
            if (v)
                insert.bindView(i + 1, *v);
            else
                insert.bind(i + 1, db::Value());
        }
        insert.step();
        insert.reset();
        ++copied;
    }
    return copied;
}

} // namespace

std::int64_t CopyEid(const std::string& source, const std::string& target)
{
    db::Database from = db::Database::open(source, db::OpenMode::Shared);
    const db::TableDef def = from.tableDef(kDeviceTable);
    EicFieldName(from); // refuses a Device table without the EIC index
    const bool toServer = db::isServerName(target);
    if (!toServer && std::filesystem::exists(target))
        throw db::Error("cannot copy to " + target + ": the file exists");
    const std::string building = toServer ? target : target + ".new";
    if (!toServer)
        db::removeDatabaseFile(building);
    std::int64_t copied = 0;
    db::Database to = db::Database::create(building, db::kGeneralLocale,
        static_cast<db::FormatVersion>(from.formatVersion() ? from.formatVersion() : 30));
    try {
        db::Transaction tx(to);
        to.setApplicationId(kEidApplicationId);
        to.createTable(def);
        copied = copyRows(from, to, def);
        tx.commit();
        to.close();
        if (!toServer)
            db::replaceDatabaseFile(building, target);
    } catch (...) {
        to.close();
        if (toServer) {
            try {
                db::removeDatabaseFile(target);
            } catch (const db::Error&) {
                // Nothing was made, or the server is gone: nothing to take away.
            }
        } else {
            db::removeDatabaseFile(building);
        }
        throw;
    }
    return copied;
}

} // namespace rav::eid
