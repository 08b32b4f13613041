// ravederi eid: External Info Database files from the command line. Each
// sub-command is one row of kCommands; further operations add a row and a
// usage line.
#include "access_import.h"
#include "cli.h"
#include "database.h"
#include "eid_export.h"
#include "eid_format.h"
#include "eid_import.h"
#include "host_utility.h"
#include "lom_settings.h"
#include "recordset.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string_view>

namespace rav::cli
{
int eidCopy(std::vector<std::string> args); // cli_eid_copy.cpp
int eidHistory(std::vector<std::string> args); // cli_eid_history.cpp
int eidRevert(std::vector<std::string> args);

namespace
{

const char* const kUsage
    = "ravederi eid create FILE --field NAME:SIZE [--field NAME:SIZE ...] --eic NAME\n"
      "                                             create an EID with these fields and EIC field\n"
      "ravederi eid info FILE                       tell whether FILE is an EID; its fields, EIC field, "
      "records\n"
      "ravederi eid query FILE \"SELECT ...\"         run a query, print a header and tab-separated rows\n"
      "ravederi eid import FILE.eid TEXT [--delimiter D] [--header] [--trim] [--overwrite] [--range FIELD START END]\n"
      "                                             add the lines of TEXT as records; refused lines go to\n"
      "                                             TEXT's name with \"log\" for its last three characters\n"
      "ravederi eid export FILE.eid TEXT [--delimiter D] [--range FIELD START END [--sort FIELD] "
      "[--to-end]]\n"
      "                                             write the records (or a range of them) to TEXT\n"
      "ravederi eid remove FILE.eid [--range FIELD START END [--sort FIELD] [--to-end]]\n"
      "                                             delete every record, or a range of them\n"
      "ravederi eid access-tables FILE.mdb          list the tables of an Access (Jet 3 or 4) file\n"
      "ravederi eid import-access FILE.mdb TABLE OUT.eid [--eic COLUMN]\n"
      "                                             make an EID of an Access table; the EIC column is\n"
      "                                             COLUMN, else the primary key, else the first text column\n"
      "ravederi eid copy SRC DST                    copy a whole EID; either side a file or a server name\n"
      "                                             postgresql://USER@HOST:PORT/DB?table=Device[&schema=S]\n"
      "ravederi eid history EID [CODE]              the changes a server EID recorded, or those of one record\n"
      "ravederi eid revert EID CODE --to CHANGE     restore a record of a server EID to an earlier change\n"
      "    D is TAB, SPACE or one character (default \",\"); a range runs in the order of --sort\n"
      "    (default: the range field) from the first record whose FIELD is START through the\n"
      "    next one whose FIELD is END; --to-end accepts an END that no record has\n";

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
        std::error_code ec;
        if (!std::filesystem::exists(words[0], ec))
            std::cerr << "ravederi: the EID file " << words[0] << " was not found\n";
        else
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

// Takes "--range FIELD START END" out of `args`.
std::optional<eid::Range> takeRange(std::vector<std::string>& args)
{
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it != "--range")
            continue;
        if (args.end() - it < 4)
            throw UsageError { "--range needs FIELD START END" };
        eid::Range range { it[1], it[2], it[3], {} };
        args.erase(it, it + 4);
        if (range.field.empty())
            throw UsageError { "--range needs a field name" };
        return range;
    }
    return std::nullopt;
}

// The range options of an export or a removal. The check is the wizard's,
// made before anything runs; where the wizard would ask about an end value
// that no record has, the tool wants --to-end. Returns an exit status when
// the range cannot be run.
std::optional<int> takeCheckedRange(
    std::vector<std::string>& args, const std::string& file, eid::Range& range)
{
    const auto sort = takeOption(args, "--sort");
    const bool toEnd = takeFlag(args, "--to-end");
    if (auto r = takeRange(args))
        range = *r;
    else if (sort || toEnd)
        throw UsageError { "--sort and --to-end go with --range" };
    if (!range.enabled())
        return std::nullopt;
    range.sortField = sort.value_or(range.field);
    eid::RangeLocation loc;
    try {
        loc = eid::LocateRange(file, range);
    } catch (const std::exception& e) {
        std::cerr << "ravederi: " << file << ": " << e.what() << '\n';
        return Failed;
    }
    if (loc.start < 0) {
        std::cerr << "ravederi: " << eid::Text(eid::msg::kStartNotFound) << " (" << range.field << " = \""
                  << range.startValue << "\")\n";
        return Failed;
    }
    // A start record that has the end value ends the run by itself.
    if (loc.end < 0 && !loc.startIsEnd && !toEnd) {
        std::cerr << "ravederi: " << eid::Text(eid::msg::kEndNotFound) << " (" << range.field << " = \""
                  << range.endValue << "\"); add --to-end to run to the last record\n";
        return Failed;
    }
    return std::nullopt;
}

int endedEarly(const char* what, const eid::OperationResult& r)
{
    std::cerr << "ravederi: " << what
              << " ended early: " << (r.failure.empty() ? "unknown failure" : r.failure) << '\n';
    return Failed;
}

int importText(std::vector<std::string> args)
{
    eid::ImportOptions o;
    o.delimiterText = takeDelimiter(args, ",", true);
    o.trim = takeFlag(args, "--trim");
    o.header = takeFlag(args, "--header");
    o.overwrite = takeFlag(args, "--overwrite");
    if (auto range = takeRange(args))
        o.range = *range;
    const auto words = positionals(args, 2, "FILE.eid TEXT");
    o.eidFile = words[0];
    o.textFile = words[1];
    // The editor's own temporary folder, where the log goes when it cannot
    // go beside the text file.
    shell::ShellState folders;
    shell::EnsureTempDir(folders, HostUtility::instance());
    o.tempDir = folders.TempDir;

    StderrMessageSink messages;
    TerminalProgress progress;
    const eid::OperationResult r = eid::ImportTextFile(o, messages, progress);
    progress.finish();
    if (!r.completed) {
        if (r.added + r.overwritten > 0)
            std::cerr << "ravederi: " << r.added + r.overwritten << " records were stored before that\n";
        return endedEarly("import", r);
    }
    std::cout << r.linesRead << " lines read, " << r.added << " stored, " << r.overwritten << " overwritten, "
              << r.logged << " logged";
    if (r.tooManyFields > 0)
        std::cout << ", " << r.tooManyFields << " with too many fields (stored, and logged)";
    if (r.conflicts > 0)
        std::cout << ", " << r.conflicts << " refused because someone else changed their record meanwhile (logged)";
    std::cout << " (log: " << r.logFile << ")\n";
    return Ok;
}

int exportText(std::vector<std::string> args)
{
    eid::ExportOptions o;
    o.delimiterText = takeDelimiter(args, ",", true);
    std::vector<std::string> rest = args;
    eid::Range range;
    // The file names are needed for the check, so the positionals are
    // found first on a copy without the range options.
    {
        std::vector<std::string> probe = args;
        (void)takeOption(probe, "--sort");
        (void)takeFlag(probe, "--to-end");
        (void)takeRange(probe);
        const auto words = positionals(probe, 2, "FILE.eid TEXT");
        o.eidFile = words[0];
        o.textFile = words[1];
    }
    if (auto status = takeCheckedRange(rest, o.eidFile, range))
        return *status;
    o.range = range;

    StderrMessageSink messages;
    TerminalProgress progress;
    const eid::OperationResult r = eid::ExportTextFile(o, messages, progress);
    progress.finish();
    if (!r.completed)
        return endedEarly("export", r);
    // The export goes on past a line it could not write (as the wizard
    // does), but a text file with lines missing is a failed export.
    if (messages.shown > 0)
        return Failed;
    std::cout << r.processed << " records exported to " << o.textFile << '\n';
    return Ok;
}

int removeRecords(std::vector<std::string> args)
{
    eid::RemoveOptions o;
    {
        std::vector<std::string> probe = args;
        (void)takeOption(probe, "--sort");
        (void)takeFlag(probe, "--to-end");
        (void)takeRange(probe);
        o.eidFile = positionals(probe, 1, "FILE.eid")[0];
    }
    if (auto status = takeCheckedRange(args, o.eidFile, o.range))
        return *status;

    TerminalProgress progress;
    const eid::OperationResult r = eid::RemoveRecords(o, progress);
    progress.finish();
    if (!r.completed) {
        if (r.processed > 0)
            std::cerr << "ravederi: " << r.processed << " records were removed before that\n";
        return endedEarly("removal", r);
    }
    std::cout << r.processed << " records removed\n";
    return Ok;
}

int accessTables(std::vector<std::string> args)
{
    const auto words = positionals(args, 1, "FILE.mdb");
    for (const std::string& name : eid::AccessTableNames(words[0]))
        std::cout << name << '\n';
    return Ok;
}

int importAccess(std::vector<std::string> args)
{
    const std::string eic = takeOption(args, "--eic").value_or("");
    const auto words = positionals(args, 3, "FILE.mdb TABLE OUT.eid");
    TerminalProgress progress;
    const eid::AccessImportResult r = eid::ImportAccessTable(words[0], words[1], words[2], eic, progress);
    progress.finish();
    std::cout << r.records << " records imported into " << words[2] << " (" << r.plan.fields.size()
              << " fields, EIC field " << r.plan.eicField << ")\n";
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
    { "import", importText },
    { "export", exportText },
    { "remove", removeRecords },
    { "access-tables", accessTables },
    { "import-access", importAccess },
    { "copy", eidCopy },
    { "history", eidHistory },
    { "revert", eidRevert },
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
