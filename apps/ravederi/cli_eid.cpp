// ravederi eid: External Info Database files from the command line. Each
// sub-command is one row of kCommands; further operations add a row and a
// usage line.
#include "cli.h"
#include "database.h"
#include "eid_format.h"
#include "recordset.h"

#include <cstdlib>
#include <iostream>
#include <string_view>

namespace rav::cli
{
namespace
{

const char* const kUsage
    = "ravederi eid create FILE --field NAME:SIZE [--field NAME:SIZE ...] --eic NAME\n"
      "                                             create an EID with these fields and EIC field\n"
      "ravederi eid info FILE                       tell whether FILE is an EID; its fields, EIC field, "
      "records\n"
      "ravederi eid query FILE \"SELECT ...\"         run a query, print a header and tab-separated rows\n";

// Tabs and line ends inside a value would break the one-row-per-line output.
std::string cell(const db::Value& v)
{
    std::string s = v.value_or("");
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return s;
}

eid::EidField parseField(const std::string& fieldText)
{
    const auto colon = fieldText.rfind(':');
    if (colon == std::string::npos || colon + 1 == fieldText.size())
        throw UsageError { "--field needs NAME:SIZE, got '" + fieldText + "'" };
    const std::string sizeText = fieldText.substr(colon + 1);
    char* end = nullptr;
    const long size = std::strtol(sizeText.c_str(), &end, 10);
    if (*end != '\0')
        throw UsageError { "field size '" + sizeText + "' is not a number" };
    return eid::EidField { fieldText.substr(0, colon), static_cast<int>(size < -1 || size > 100000 ? -1 : size) };
}

int create(std::vector<std::string> args)
{
    std::vector<eid::EidField> fields;
    while (auto fieldText = takeOption(args, "--field"))
        fields.push_back(parseField(*fieldText));
    const auto eic = takeOption(args, "--eic");
    const auto words = positionals(args, 1, "FILE");
    if (fields.empty())
        throw UsageError { "at least one --field is needed" };
    if (!eic)
        throw UsageError { "--eic is needed" };
    std::string error;
    if (!eid::CreateEidDatabase(words[0], fields, *eic, &error)) {
        std::cerr << "ravederi: Database creation error : " << error << '\n';
        return Failed;
    }
    return Ok;
}

int info(std::vector<std::string> args)
{
    const auto words = positionals(args, 1, "FILE");
    if (!eid::IsEidDatabase(words[0])) {
        std::cout << "recognised: no\n";
        std::cerr << "ravederi: " << words[0] << " is not an EID file (or it is in use)\n";
        return Failed;
    }
    db::Database database = db::Database::open(words[0], db::OpenMode::Shared);
    const db::TableDef def = database.tableDef(eid::kDeviceTable);
    std::cout << "recognised: yes\n";
    for (std::size_t i = 0; i < def.fields.size(); ++i)
        std::cout << "field " << i << ": " << def.fields[i].name << ' ' << def.fields[i].size << '\n';
    std::string eicField;
    try {
        eicField = eid::EicFieldName(database);
    } catch (const db::Error&) {
        eicField = "(none)";
    }
    std::cout << "eic: " << eicField << '\n';
    std::cout << "records: " << database.openRecordset(eid::kDeviceTable).recordCount() << '\n';
    return Ok;
}

int query(std::vector<std::string> args)
{
    const auto words = positionals(args, 2, "FILE \"SELECT ...\"");
    db::Database database = db::Database::open(words[0], db::OpenMode::Shared);
    db::Recordset rs = database.openRecordset(words[1]);
    for (int i = 0; i < rs.fieldCount(); ++i)
        std::cout << (i ? "\t" : "") << rs.fieldInfo(i).name;
    std::cout << '\n';
    for (long p = 0; p < rs.recordCount(); ++p) {
        const auto row = rs.rowAt(p);
        for (std::size_t i = 0; i < row.size(); ++i)
            std::cout << (i ? "\t" : "") << cell(row[i]);
        std::cout << '\n';
    }
    return Ok;
}

struct SubCommand {
    std::string_view name;
    int (*run)(std::vector<std::string> args);
};

const SubCommand kCommands[] = {
    { "create", create },
    { "info", info },
    { "query", query },
};

int run(std::vector<std::string> args)
{
    if (args.empty())
        throw UsageError { "eid needs a command" };
    const std::string command = args[0];
    args.erase(args.begin());
    for (const auto& c : kCommands)
        if (c.name == command)
            return c.run(std::move(args));
    throw UsageError { "unknown eid command '" + command + "'" };
}

const Registrar registrar({ "eid", kUsage, run });

} // namespace
} // namespace rav::cli
