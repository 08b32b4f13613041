#include "lom_job.h"

#include "cancel_flag.h"
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
        table.columns.push_back({ options.quantityHeader, { ColumnSource::Kind::Quantity } });
        table.columns.push_back({ options.partsHeader, { ColumnSource::Kind::Parts } });
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
    build.eid = options.eid;
    for (int k = 1; k <= catalogue.size(); ++k)
        if (!catalogue.entry(k).attribute.empty())
            build.attributeColumns.emplace_back(k, catalogue.entry(k).attribute);
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
    // Between the steps of a table a window's events run, and its Cancel
    // ends the job before anything is written.
    const auto checkpoint = [&progress] {
        progress.yield();
        if (cancelFlag().load())
            throw LomJobCancelled();
    };
    try {
        const TableOptions table = MakeTableOptions(catalogue, options);
        WriteOptions write;
        write.format = options.format;
        write.delimiter = ResolveDelimiter(options.delimiterText);
        write.title = LomTitle();
        write.eidChange = built.eidChange;
        write.eidChangeTime = built.eidChangeTime;
        if (!classic && !options.check && !options.outputFile.empty()) {
            // Nothing to check: the lines go to the file as they are made.
            progress.setCaption(message("Making LOM file ...", "541"));
            progress.setRange(0, 3);
            progress.setValue(0);
            const LinesWritten written = WriteLomFromDatabase(
                { built.tempDbName, catalogue.size(), built.marked, eicColumnOf(catalogue, built.eicFieldName) },
                table, write, options.outputFile, [&] {
                    progress.setValue(2);
                    checkpoint();
                });
            result.lines = written.lines;
            result.parts = written.parts;
            progress.setValue(3);
            progress.setCaption(message("LOM file Created", "37110"));
            result.written = true;
            return result;
        }
        std::optional<LomTable> lines;
        if (!classic || options.check) {
            if (!options.outputFile.empty())
                progress.setCaption(message("Making LOM file ...", "541"));
            // Three steps, so the bar moves: rows read, lines made, written.
            progress.setRange(0, 3);
            progress.setValue(0);
            const int eicColumn = eicColumnOf(catalogue, built.eicFieldName);
            if (options.check) {
                // The checks look at every part: the rows are held.
                const auto parts = ReadPartRows(built.tempDbName, catalogue.size(), built.marked, eicColumn, &table);
                progress.setValue(1);
                checkpoint();
                lines = MakeLomTable(parts, table);
                result.problems = CheckLom(parts, *lines, table);
            } else {
                lines = ReadLomTable(built.tempDbName, catalogue.size(), built.marked, eicColumn, table);
            }
            progress.setValue(2);
            checkpoint();
            result.lines = static_cast<long>(lines->rows.size());
            result.parts = lines->parts;
            if (options.strict && !result.problems.empty()) {
                result.stoppedByCheck = true;
                return result;
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
        WriteLomTable(*lines, write, options.outputFile);
        progress.setValue(3);
        progress.setCaption(message("LOM file Created", "37110"));
        result.written = true;
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    return result;
}

LomTable LomJobLines(
    const FieldCatalogue& catalogue, const LomJobOptions& options, const BuildResult& built, ProgressSink& progress)
{
    const auto yield = [&progress] {
        progress.yield();
        if (cancelFlag().load())
            throw LomJobCancelled();
    };
    if (!IsClassicLom(options)) {
        const TableOptions table = MakeTableOptions(catalogue, options);
        progress.setRange(0, 2); // rows read, lines made
        LomTable lines = ReadLomTable(
            built.tempDbName, catalogue.size(), built.marked, eicColumnOf(catalogue, built.eicFieldName), table);
        progress.setValue(1);
        yield();
        progress.setValue(2);
        return lines;
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
    // Rows in steps: reading a large project's takes longer than a Cancel
    // press should wait.
    for (std::size_t n = 1; rows.step(); ++n) {
        if (n % 1024 == 0) {
            progress.setValue(static_cast<std::int64_t>(n));
            yield();
        }
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

PurchaseBoard ReadPurchaseBoard(
    const FieldCatalogue& catalogue, const LomJobOptions& options, ProgressSink& progress, MessageSink& messages)
{
    PurchaseBoard out;
    LomJobResult& result = out.result;
    const BuildResult built = BuildLomJobDatabase(catalogue, options, progress, messages);
    struct TempRemover {
        std::string name;
        ~TempRemover() { DeleteTempDatabase(name); }
    } remover { built.tempDbName };
    result.excluded = built.excluded;
    result.eidChange = built.eidChange;
    if (!built.built) {
        result.noParts = built.noParts;
        result.errorShown = built.noParts;
        if (!built.noParts)
            result.error = "cannot build the List of Materials: " + built.error;
        return out;
    }
    result.built = true;
    try {
        LomJobOptions grouped = options;
        grouped.group = true;
        TableOptions table = MakeTableOptions(catalogue, grouped);
        table.multiplier = 1; // the merge multiplies, by boards and multiplier
        // Behind the visible columns: the quantity and part names whether
        // shown or not, then what makes lines of two boards the same part.
        const std::size_t visible = table.columns.size();
        table.columns.push_back({ {}, { ColumnSource::Kind::Quantity } });
        table.columns.push_back({ {}, { ColumnSource::Kind::Parts } });
        const std::vector<int> keyFields
            = table.groupFields.empty() ? std::vector<int> { kFieldEic, kFieldValue, kFieldPackage } : table.groupFields;
        for (int f : keyFields)
            table.columns.push_back({ {}, { ColumnSource::Kind::Field, f } });
        const int eicColumn = eicColumnOf(catalogue, built.eicFieldName);
        LomTable lines;
        if (options.check) {
            const auto parts = ReadPartRows(built.tempDbName, catalogue.size(), built.marked, eicColumn, &table);
            lines = MakeLomTable(parts, table);
            result.problems = CheckLom(parts, lines, table);
        } else {
            lines = ReadLomTable(built.tempDbName, catalogue.size(), built.marked, eicColumn, table);
        }

        PurchaseLayout& layout = out.layout;
        for (std::size_t c = 0; c < visible; ++c) {
            layout.headers.push_back(lines.headers[c]);
            layout.numeric.push_back(lines.numeric[c]);
            if (table.columns[c].source.kind == ColumnSource::Kind::Quantity && layout.quantityColumn < 0)
                layout.quantityColumn = static_cast<int>(c);
            if (table.columns[c].source.kind == ColumnSource::Kind::Parts && layout.partsColumn < 0)
                layout.partsColumn = static_cast<int>(c);
        }
        out.board.parts = lines.parts;
        for (std::size_t r = 0; r < lines.rows.size(); ++r) {
            const auto& row = lines.rows[r];
            BoardLine line;
            line.cells.assign(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(visible));
            line.quantity = std::stol(row[visible]);
            line.parts = row[visible + 1];
            if (table.groupFields.empty()) {
                line.key = PurchaseKey(row[visible + 2], row[visible + 3], row[visible + 4]);
            } else {
                for (std::size_t k = visible + 2; k < row.size(); ++k)
                    line.key += row[k] + '\x1f';
            }
            line.apart = r >= lines.separateFrom;
            line.eic = r < lines.rowEic.size() ? lines.rowEic[r] : std::string();
            line.withoutRecord = r < lines.rowWithoutRecord.size() && lines.rowWithoutRecord[r] != 0;
            out.board.lines.push_back(std::move(line));
        }
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    return out;
}

LomJobResult WritePurchaseList(const std::vector<BoardList>& boards, const PurchaseLayout& layout,
    const LomJobOptions& options, const std::string& title, ProgressSink& progress)
{
    LomJobResult result;
    result.built = true;
    try {
        const LomTable merged = MergeBoards(boards, layout);
        result.lines = static_cast<long>(merged.rows.size());
        result.parts = merged.parts;
        if (options.outputFile.empty())
            return result;
        progress.setCaption(message("Making LOM file ...", "541"));
        WriteOptions write;
        write.format = options.format;
        write.delimiter = ResolveDelimiter(options.delimiterText);
        write.title = title;
        WriteLomTable(merged, write, options.outputFile);
        progress.setCaption(message("LOM file Created", "37110"));
        result.written = true;
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    return result;
}

} // namespace rav::lom
