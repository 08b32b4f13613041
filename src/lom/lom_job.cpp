#include "lom_job.h"

#include "database.h"
#include "host_utility.h"
#include "lom_query.h"
#include "project_parts.h"
#include "textcodec.h"

#include <algorithm>
#include <exception>

namespace rav::lom
{

namespace
{

std::string message(const char* defaultText, const char* id)
{
    return HostUtility::instance().GetLocalMessage(defaultText, id);
}

// Catalogue number of the EID's EIC column (0: not found), so the checks
// can tell parts without a record.
int eicColumnOf(const FieldCatalogue& catalogue, const std::string& eicFieldName)
{
    int column = 0;
    for (int k = 1; k <= catalogue.size(); ++k)
        if (!catalogue.entry(k).fieldName.empty()
            && text::equalsIgnoreCase(catalogue.entry(k).fieldName, eicFieldName))
            column = k;
    return column;
}

// The classic file sorts by one of its fields, the first by default.
int classicSortField(const LomJobOptions& options)
{
    return options.sortField != 0 ? options.sortField : (options.fields.empty() ? 0 : options.fields.front());
}

} // namespace

bool IsClassicLom(const LomJobOptions& options)
{
    return options.format == LomFormat::Text && !options.group && !options.profile
        && options.dnp == DnpMode::Include;
}

TableOptions MakeTableOptions(const FieldCatalogue& catalogue, const LomJobOptions& options)
{
    TableOptions table;
    table.group = options.group || (options.profile && options.profile->group);
    table.multiplier = options.multiplier;
    table.dnp = options.dnp;
    table.groupFields = options.groupFields;
    table.sortField = options.sortField;
    table.sortDescending = options.descending;
    if (options.profile) {
        table.columns = ResolveProfile(*options.profile, catalogue);
        return table;
    }
    if (table.group) {
        table.columns.push_back({ "Quantity", { ColumnSource::Kind::Quantity } });
        table.columns.push_back({ "Parts", { ColumnSource::Kind::Parts } });
    }
    for (int number : options.fields)
        table.columns.push_back({ catalogue.entry(number).caption, { ColumnSource::Kind::Field, number } });
    return table;
}

std::string LomTitle()
{
    auto& project = kernel::ProjectParts::instance();
    return project.OpenProjectInfo() ? "List of Materials - " + project.ProjectName() : "List of Materials";
}

BuildResult BuildLomJobDatabase(
    const FieldCatalogue& catalogue, const LomJobOptions& options, ProgressSink& progress, MessageSink& messages)
{
    BuildOptions build { options.eidFile, options.tempDir, catalogue.size() };
    if (options.dnp != DnpMode::Include)
        build.markAttribute = options.dnpAttribute;
    build.includeExcluded = options.includeExcluded;
    return BuildLomDatabase(build, progress, messages);
}

LomJobResult WriteLomJob(const FieldCatalogue& catalogue, const LomJobOptions& options, const BuildResult& built,
    ProgressSink& progress, MessageSink& messages)
{
    LomJobResult result;
    result.built = true;
    result.excluded = built.excluded;
    result.eidChange = built.eidChange;
    const bool classic = IsClassicLom(options);
    try {
        const TableOptions table = MakeTableOptions(catalogue, options);
        std::optional<LomTable> lines;
        if (!classic || options.check) {
            if (!options.outputFile.empty())
                progress.setCaption(message("Making LOM file ...", "541"));
            const auto parts = ReadPartRows(built.tempDbName, catalogue.size(), built.marked,
                eicColumnOf(catalogue, built.eicFieldName), &table);
            lines = MakeLomTable(parts, table);
            result.lines = static_cast<long>(lines->rows.size());
            result.parts = lines->parts;
            if (options.check) {
                result.problems = CheckLom(parts, *lines, table);
                if (options.strict && !result.problems.empty()) {
                    result.stoppedByCheck = true;
                    return result;
                }
            }
        }
        if (options.outputFile.empty())
            return result;
        if (classic) {
            // The classic file sorts by one of its fields, the first by default.
            QueryChoice choice;
            choice.delimiterText = options.delimiterText;
            choice.selected = options.fields;
            choice.sortNumber = classicSortField(options);
            choice.descending = options.descending;
            const LomQuery query = makeQueryString(catalogue, choice);
            // "-": standard output, through a private temporary file.
            std::optional<StdoutTarget> toStdout;
            if (options.outputFile == "-")
                toStdout.emplace();
            const LomFileResult written = CreateLomFile(
                { built.tempDbName, query.sql, query.delimiter, toStdout ? toStdout->path() : options.outputFile },
                progress, messages);
            if (toStdout && written.fileCreated && written.complete)
                toStdout->copyOut();
            result.lines = written.lines;
            result.written = written.fileCreated && written.complete;
            if (!written.fileCreated)
                result.error = written.error.empty() ? "cannot create " + options.outputFile : written.error;
            else if (!written.complete) {
                // A line that could not be written has been reported already.
                result.errorShown = written.error.empty();
                result.error = written.error.empty() ? "cannot write " + options.outputFile : written.error;
            }
            return result;
        }
        WriteOptions write;
        write.format = options.format;
        write.delimiter = ResolveDelimiter(options.delimiterText);
        write.title = LomTitle();
        write.eidChange = built.eidChange;
        WriteLomTable(*lines, write, options.outputFile);
        progress.setCaption(message("LOM file Created", "37110"));
        result.written = true;
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    return result;
}

LomTable LomJobLines(const FieldCatalogue& catalogue, const LomJobOptions& options, const BuildResult& built)
{
    if (!IsClassicLom(options)) {
        const TableOptions table = MakeTableOptions(catalogue, options);
        return MakeLomTable(ReadPartRows(built.tempDbName, catalogue.size(), built.marked,
                                eicColumnOf(catalogue, built.eicFieldName), &table),
            table);
    }
    QueryChoice choice;
    choice.selected = options.fields;
    choice.sortNumber = classicSortField(options);
    choice.descending = options.descending;
    const LomQuery query = makeQueryString(catalogue, choice);
    LomTable lines;
    lines.headers = query.captions;
    db::Database temp = db::Database::open(built.tempDbName, db::OpenMode::Shared);
    db::Statement rows = temp.prepareSelect(query.sql);
    const int columns = rows.columnCount();
    lines.headers.resize(static_cast<std::size_t>(columns));
    while (rows.step()) {
        std::vector<std::string> row;
        for (int c = 0; c < columns; ++c)
            row.emplace_back(rows.columnText(c).value_or(""));
        lines.rows.push_back(std::move(row));
    }
    lines.separateFrom = lines.rows.size();
    lines.parts = static_cast<long>(lines.rows.size());
    return lines;
}

int LomJobSortColumn(const FieldCatalogue& catalogue, const LomJobOptions& options)
{
    const int field = IsClassicLom(options) ? classicSortField(options) : options.sortField;
    if (field == 0)
        return -1;
    const TableOptions table = MakeTableOptions(catalogue, options);
    for (std::size_t c = 0; c < table.columns.size(); ++c)
        if (table.columns[c].source.kind == ColumnSource::Kind::Field && table.columns[c].source.field == field)
            return static_cast<int>(c);
    return -1;
}

bool SortByColumn(const FieldCatalogue& catalogue, LomJobOptions& options, int column)
{
    const TableOptions table = MakeTableOptions(catalogue, options);
    if (column < 0 || static_cast<std::size_t>(column) >= table.columns.size())
        return false;
    const ColumnSource& source = table.columns[static_cast<std::size_t>(column)].source;
    if (source.kind != ColumnSource::Kind::Field)
        return false;
    if (column == LomJobSortColumn(catalogue, options)) {
        options.descending = !options.descending;
    } else {
        options.sortField = source.field;
        options.descending = false;
    }
    return true;
}

LomJobResult RunLomJob(
    const FieldCatalogue& catalogue, const LomJobOptions& options, ProgressSink& progress, MessageSink& messages)
{
    const BuildResult built = BuildLomJobDatabase(catalogue, options, progress, messages);
    struct TempRemover {
        std::string name;
        ~TempRemover() { DeleteTempDatabase(name); }
    } remover { built.tempDbName };
    if (!built.built) {
        LomJobResult result;
        result.noParts = built.noParts;
        result.errorShown = built.noParts;
        if (!built.noParts)
            result.error = "cannot build the List of Materials: " + built.error;
        return result;
    }
    return WriteLomJob(catalogue, options, built, progress, messages);
}

} // namespace rav::lom
