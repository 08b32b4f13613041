#include "access_import.h"

#include "database.h"
#include "eid_import.h"
#include "textcodec.h"

#include <filesystem>
#include <unistd.h>
#include <unordered_map>

namespace rav::eid
{

namespace
{

// The EID's index compares with SQLite's NOCASE: ASCII letters only.
std::string foldAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string inQuotes(const std::string& s)
{
    return "\"" + s + "\"";
}

} // namespace

AccessImportPlan PlanAccessImport(const AccessTable& table, const std::string& eicColumn)
{
    const std::string where = "table " + inQuotes(table.name) + ": ";
    if (table.columns.empty())
        throw AccessError(where + "it has no columns");
    if (table.columns.size() > static_cast<std::size_t>(kMaxEidFields))
        throw AccessError(where + "it has " + std::to_string(table.columns.size())
            + " columns; an EID holds at most " + std::to_string(kMaxEidFields));

    AccessImportPlan plan;
    for (const AccessColumn& c : table.columns) {
        if (c.size <= 0)
            throw AccessError(where + "column " + inQuotes(c.name) + " (" + c.typeName
                + ") has no text form an EID can hold");
        if (c.size > db::kMaxFieldSize)
            throw AccessError(where + "column " + inQuotes(c.name) + " is " + c.typeName + "("
                + std::to_string(c.size) + "), wider than the " + std::to_string(db::kMaxFieldSize)
                + " characters of an EID field");
        plan.fields.push_back({ c.name, c.size });
    }

    int eic = -1;
    if (!eicColumn.empty()) {
        for (std::size_t i = 0; i < table.columns.size() && eic < 0; ++i)
            if (text::equalsIgnoreCase(table.columns[i].name, eicColumn))
                eic = static_cast<int>(i);
        if (eic < 0)
            throw AccessError(where + "it has no column " + inQuotes(eicColumn));
    } else if (table.primaryKey >= 0 && static_cast<std::size_t>(table.primaryKey) < table.columns.size()) {
        eic = table.primaryKey;
    } else {
        for (std::size_t i = 0; i < table.columns.size() && eic < 0; ++i)
            if (!table.columns[i].converted)
                eic = static_cast<int>(i);
        if (eic < 0)
            throw AccessError(where + "it has no primary key and no text column; name the EIC column");
    }
    plan.eicField = table.columns[static_cast<std::size_t>(eic)].name;
    if (std::string problem = ValidateFieldList(plan.fields, plan.eicField); !problem.empty())
        throw AccessError(where + problem);

    std::unordered_map<std::string, std::size_t> seen;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const auto& row = table.rows[r];
        const std::string at = where + "row " + std::to_string(r + 1) + ": ";
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::size_t length = text::utf8Length(row[i]);
            if (length > static_cast<std::size_t>(table.columns[i].size))
                throw AccessError(at + "column " + inQuotes(table.columns[i].name) + " holds "
                    + std::to_string(length) + " characters, more than its field's "
                    + std::to_string(table.columns[i].size));
        }
        const std::string& code = row[static_cast<std::size_t>(eic)];
        if (text::trimBlanks(code).empty())
            throw AccessError(at + "the EIC column " + inQuotes(plan.eicField) + " is empty");
        const auto [it, fresh] = seen.emplace(foldAscii(code), r);
        if (!fresh)
            throw AccessError(where + "rows " + std::to_string(it->second + 1) + " and "
                + std::to_string(r + 1) + " have the same EIC " + inQuotes(code) + " in column "
                + inQuotes(plan.eicField));
    }
    return plan;
}

AccessImportResult ImportAccessTable(const std::string& accessFile, const std::string& table,
    const std::string& eidFile, const std::string& eicColumn, ProgressSink& progress)
{
    progress.setCaption("Reading " + table + " ...");
    const AccessTable t = ReadAccessTable(accessFile, table);
    AccessImportResult result { PlanAccessImport(t, eicColumn), 0 };

    const std::filesystem::path target = std::filesystem::absolute(eidFile);
    const std::string temp
        = (target.parent_path() / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid())))
              .string();
    const auto discard = [&] {
        try {
            db::removeDatabaseFile(temp);
        } catch (const std::exception&) {
        }
    };
    // Messages name the file asked for, never the hidden temporary one.
    const auto named = [&](std::string text) {
        for (std::size_t at; (at = text.find(temp)) != std::string::npos;)
            text.replace(at, temp.size(), eidFile);
        return text;
    };
    std::string error;
    if (!CreateEidDatabase(temp, result.plan.fields, result.plan.eicField, &error)) {
        discard();
        throw AccessError("cannot create " + eidFile + ": " + named(error));
    }
    const OperationResult stored = StoreRecords(temp, t.rows, progress);
    if (!stored.completed) {
        discard();
        throw AccessError(eidFile + ": " + named(stored.failure));
    }
    try {
        db::removeDatabaseFile(target.string()); // refused while the EID is open elsewhere
        std::error_code ec;
        std::filesystem::rename(temp, target, ec);
        if (ec)
            throw std::runtime_error(ec.message());
    } catch (const std::exception& e) {
        discard();
        throw AccessError("cannot replace " + eidFile + ": " + named(e.what()));
    }
    result.records = stored.added;
    return result;
}

} // namespace rav::eid
