// The query dialect translator: any statement or criteria text either
// becomes SQL with as many placeholders as bound values, or is refused with
// the engine's Error; nothing else may escape.
#include "db_types.h"
#include "dialect.h"
#include "fuzz_support.h"

#include <algorithm>
#include <string_view>

using namespace rav::db;

namespace
{
TableDef deviceTable()
{
    TableDef t;
    t.name = "Device";
    for (const char* name : { "Code", "Name", "Note", "Part No", "Price", "Größe" })
        t.fields.push_back(FieldDef { name, 50 });
    return t;
}

void checkPlaceholders(const std::string& sql, std::size_t params)
{
    rav::fuzz::check(static_cast<std::size_t>(std::count(sql.begin(), sql.end(), '?')) == params,
        "placeholders differ from bound values in: " + sql);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const TableDef table = deviceTable();
    const dialect::TableLookup lookup = [](const std::string& name) -> const TableDef& {
        if ((name != "Device" && name != "device"))
            throw Error("no table " + name);
        return table;
    };
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        (void)dialect::tokenize(text);
    } catch (const Error&) {
    }
    try {
        (void)dialect::isSelect(text);
        const dialect::SelectPlan plan = dialect::parseSelect(text, lookup);
        for (int c : plan.columns)
            rav::fuzz::check(c >= 0 && c < static_cast<int>(table.fields.size()), "column out of range");
        checkPlaceholders(plan.where.sql, plan.where.params.size());
    } catch (const Error&) {
    }
    try {
        const dialect::Condition c = dialect::parseCriteria(text, table);
        checkPlaceholders(c.sql, c.params.size());
    } catch (const Error&) {
    }
    try {
        const dialect::ActionPlan plan = dialect::parseAction(text, lookup);
        for (const auto& [field, value] : plan.assignments)
            rav::fuzz::check(field >= 0 && field < static_cast<int>(table.fields.size()), "field out of range");
    } catch (const Error&) {
    }
    return 0;
}
