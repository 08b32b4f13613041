#include "lom_build.h"

#include "cancel_flag.h"
#include "database.h"
#include "eid_format.h"
#include "eid_history.h"
#include "host_utility.h"
#include "lom_catalogue.h"
#include "lom_output.h"
#include "project_parts.h"
#include "text_file.h"
#include "textcodec.h"

#include <sqlite3.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace rav::lom
{

namespace fs = std::filesystem;

namespace
{

std::string message(const char* defaultText, const char* id)
{
    return HostUtility::instance().GetLocalMessage(defaultText, id);
}

// Binds a NUL-terminated text of `size` bytes that outlives the next step,
// without a copy. Telling SQLite the text is terminated (length -1) matters:
// the columns' length CHECKs need terminated texts, and SQLite would
// otherwise copy every value once more to add the terminator. A text with a
// NUL inside keeps its explicit length.
void bindInPlace(sqlite3_stmt* statement, int index, const char* text, std::size_t size)
{
    if (std::strlen(text) == size)
        sqlite3_bind_text(statement, index, text, -1, SQLITE_STATIC);
    else
        sqlite3_bind_text64(statement, index, text, size, SQLITE_STATIC, SQLITE_UTF8);
}

// The two builds differ only in where the parts come from and how many
// project columns lead a row.
enum class BuildKind { Lom, ProjectView };

// The project columns of a row, in column order.
std::vector<const std::string*> projectValues(const kernel::PartRecord& p, BuildKind kind)
{
    if (kind == BuildKind::Lom)
        return { &p.PartName, &p.FullName, &p.Eic, &p.SimRef, &p.Package, &p.CompName, &p.Description,
            &p.Value };
    return { &p.PartName, &p.FullName, &p.Eic, &p.SimRef, &p.Package };
}

BuildResult build(BuildKind kind, const BuildOptions& options, ProgressSink& progress, MessageSink& messages)
{
    BuildResult result;
    auto& parts = kernel::ProjectParts::instance();
    const int projectColumns = kind == BuildKind::Lom ? kLomProjectFields : kToolBoxProjectFields;

    // 1. The parts, or the one message this build shows.
    try {
        if (kind == BuildKind::Lom)
            parts.CollectLayoutComponents();
        else
            parts.CollectProjectDevices();
    } catch (const std::exception& e) {
        result.error = e.what();
        return result;
    }
    if (!parts.HasParts()) {
        result.noParts = true;
        const char* defaultText = kind == BuildKind::Lom ? "No Part Used" : "No part used";
        messages.show({ MessageKind::Information, "37122", message(defaultText, "37122"), "" });
        return result;
    }

    // 2. A fresh name; the platform's empty placeholder file makes way for the database.
    result.tempDbName = MakeTempDbName(options.tempDir);
    if (result.tempDbName.empty()) {
        result.error = "cannot create a temporary file in " + options.tempDir;
        return result;
    }
    std::error_code ec;
    fs::remove(result.tempDbName, ec);

    const std::size_t count = parts.PartList().Count();
    try {
        // 3-5. The EID, the temporary database and its table.
        db::Database eid = db::Database::open(options.eidFile, db::OpenMode::Shared);
        const db::TableDef eidTable = eid.tableDef(eid::kDeviceTable);
        result.eicFieldName = eid::EicFieldName(eid);
        const int eidColumns = static_cast<int>(eidTable.fields.size());
        if (options.fieldCount < projectColumns + eidColumns)
            throw db::Error("the field catalogue has " + std::to_string(options.fieldCount)
                + " fields, fewer than the project and the EID need");

        db::Database temp = db::Database::create(result.tempDbName);
        // A scratch file: nothing to recover after a crash, so no journal
        // file and no waiting for the disk - from its first table on.
        temp.executeNative("PRAGMA synchronous=OFF");
        temp.executeNative("PRAGMA journal_mode=MEMORY");
        if (!CreateDeviceTable(temp, options.fieldCount))
            throw db::Error("cannot create table Device in " + result.tempDbName);
        // Caches of a fixed size (8 MiB each, whatever the project's size),
        // and the EID mapped rather than read() page by page for its probes.
        temp.executeNative("PRAGMA cache_size=-8192");
        eid.executeNative("PRAGMA cache_size=-8192");
        eid.executeNative("PRAGMA mmap_size=268435456");

        // The per-part look-up is one probe of the EIC's unique index. A read
        // transaction keeps the EID's lock and page cache across the probes
        // instead of taking the file lock again for every part.
        db::Transaction eidRead(eid);
        if (eid.backend() == db::Backend::Server) {
            // One snapshot for every probe, so the list is the EID as of one
            // change, whatever others save meanwhile; that change is stated.
            eid.executeNative("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY");
            result.eidChange = eid::LatestChange(eid);
        }
        db::Statement lookup = eid.prepare("SELECT * FROM " + db::quoteIdent(eid::kDeviceTable) + " WHERE "
            + db::quoteIdent(result.eicFieldName) + " = ?1 LIMIT 1");
        std::string insertSql = "INSERT INTO \"Device\" (";
        std::string params;
        for (int k = 1; k <= options.fieldCount; ++k) {
            insertSql += (k > 1 ? ",field" : "field") + std::to_string(k);
            params += (k > 1 ? ",?" : "?") + std::to_string(k);
        }
        db::Statement insert = temp.prepare(insertSql + ") VALUES (" + params + ")");
        sqlite3_stmt* const insertHandle = insert.handle();

        // 6.
        progress.setCaption(message("Creating Temp. Def ...", "5445"));
        progress.setRange(0, static_cast<std::int64_t>(count));
        progress.setValue(1);

        // 7. Rows go in inside one transaction; rows saved before a failure
        // or a cancel are committed all the same.
        db::Transaction transaction(temp);
        try {
            for (std::size_t i = 1; i <= count; ++i) {
                progress.setValue(static_cast<std::int64_t>(i));
                if (kind == BuildKind::Lom) {
                    parts.ReadPartDetails(i);
                    // Left out of the lists as the design asks ("exclude from
                    // BOM"), unless the user wants them.
                    if (!options.includeExcluded
                        && kernel::AttributeIsSet(
                            parts.ReadComponentAttribute(parts.PartList()[i].Handle, kExcludeAttribute))) {
                        ++result.excluded;
                        continue;
                    }
                    if (!options.markAttribute.empty())
                        result.marked.push_back(kernel::AttributeIsSet(
                            parts.ReadComponentAttribute(parts.PartList()[i].Handle, options.markAttribute)));
                }
                const kernel::PartRecord& part = parts.PartList()[i];
                // The texts outlive the step, so SQLite may use them in place;
                // EID values go from one statement to the other without a copy
                // of our own.
                const auto values = projectValues(part, kind);
                for (std::size_t c = 0; c < values.size(); ++c)
                    bindInPlace(insertHandle, static_cast<int>(c + 1), values[c]->c_str(), values[c]->size());
                bool probed = false;
                if (!text::trimBlanks(part.Eic).empty()) {
                    lookup.bindView(1, part.Eic);
                    probed = true;
                    if (lookup.step()) {
                        // The EID row stays put until the lookup is reset, after the insert.
                        for (int j = 0; j < eidColumns; ++j)
                            if (const auto text = lookup.columnText(j))
                                bindInPlace(insertHandle, projectColumns + j + 1,
                                    text->data() ? text->data() : "", text->size());
                    }
                }
                insert.step();
                insert.reset(); // clears the bindings: the next row starts all Null
                if (probed)
                    lookup.reset();
                ++result.rows;
                progress.yield();
                if (cancelFlag().load()) {
                    result.cancelled = true;
                    break;
                }
            }
        } catch (const std::exception& e) {
            result.error = e.what();
        }
        transaction.commit();
    } catch (const std::exception& e) {
        if (result.error.empty())
            result.error = e.what();
    }
    if (!result.error.empty())
        return result; // the quiet end: databases closed by their destructors

    // 8.
    cancelFlag().store(false);
    if (kind == BuildKind::Lom) {
        progress.setValue(0);
        progress.setCaption("");
    } else {
        progress.setValue(static_cast<std::int64_t>(count));
        progress.setCaption("");
    }
    result.built = true;
    return result;
}

} // namespace

LomState& lomState()
{
    static LomState state;
    return state;
}

BuildResult BuildLomDatabase(const BuildOptions& options, ProgressSink& progress, MessageSink& messages)
{
    return build(BuildKind::Lom, options, progress, messages);
}

BuildResult BuildProjectViewDatabase(
    const BuildOptions& options, ProgressSink& progress, MessageSink& messages)
{
    return build(BuildKind::ProjectView, options, progress, messages);
}

bool CreateDeviceTable(db::Database& database, int fieldCount)
{
    try {
        for (const auto& name : database.tableNames())
            if (text::equalsIgnoreCase(name, eid::kDeviceTable))
                database.dropTable(name);
        db::TableDef def;
        def.name = eid::kDeviceTable;
        for (int k = 1; k <= fieldCount; ++k)
            def.fields.push_back({ "field" + std::to_string(k), db::kMaxFieldSize, true, false });
        database.createTable(def);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string MakeTempDbName(const std::string& tempDir)
{
    std::error_code ec;
    fs::path dir = text::trimBlanks(tempDir).empty() ? fs::temp_directory_path(ec) : fs::path(tempDir);
    std::string pattern = (dir / "LOMXXXXXX.tmp").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = mkstemps(buffer.data(), 4);
    if (fd < 0)
        return {};
    ::close(fd);
    return std::string(buffer.data());
}

void DeleteTempDatabase(const std::string& tempDbName)
{
    if (text::trimBlanks(tempDbName).empty())
        return;
    std::error_code ec;
    if (!fs::exists(tempDbName, ec))
        return;
    try {
        db::removeDatabaseFile(tempDbName);
    } catch (const std::exception&) {
        // still open somewhere: it stays, as a file in the temporary folder
    }
}

LomFileResult CreateLomFile(const LomFileOptions& options, ProgressSink& progress, MessageSink& messages)
{
    LomFileResult result;
    // The rows are written once, front to back, so they are streamed in the
    // query's order rather than read one by one through a record set's keys.
    // One read transaction holds the count and the rows to the same state.
    db::Database temp;
    std::optional<db::Transaction> read;
    db::Statement rows;
    long count = 0;
    try {
        temp = db::Database::open(options.tempDbName, db::OpenMode::Shared);
        read.emplace(temp);
        count = temp.countSelect(options.query);
        rows = temp.prepareSelect(options.query);
    } catch (const std::exception& e) {
        result.error = e.what();
        return result;
    }

    // Written under a temporary name beside the target and renamed when
    // complete: a crash or a full disk leaves the previous file, never half
    // a new one.
    std::optional<AtomicOutput> target;
    try {
        target.emplace(options.outputFile);
    } catch (const std::exception& e) {
        result.error = e.what(); // not created: the end caption all the same
    }
    TextFile out(messages);
    result.fileCreated = target && out.OpenTextForOutput(target->tempName(), target->target());
    if (result.fileCreated) {
        try {
            progress.setRange(0, count);
            progress.setCaption(message("Making LOM file ...", "541"));
            progress.setValue(1);
            const int columns = rows.columnCount();
            std::string line;
            bool ok = true;
            for (long pos = 0; ok && rows.step(); ++pos) {
                progress.setValue(pos);
                char number[24];
                number[0] = ' ';
                const auto end = std::to_chars(number + 1, number + sizeof number, pos + 1).ptr;
                line.assign(number, end);
                for (int c = 0; c < columns; ++c) {
                    line += options.delimiter;
                    if (const auto value = rows.columnText(c))
                        line += *value;
                }
                line += "\r\n";
                ok = out.WriteText(line);
                if (ok)
                    ++result.lines;
            }
            result.complete = ok;
        } catch (const std::exception& e) {
            result.error = e.what();
            out.CloseTextFile(false);
            return result;
        }
    }
    progress.setCaption(message("LOM file Created", "37110"));
    out.CloseTextFile(false);
    if (out.error() && result.complete) {
        // a failure that showed only when the last buffer was written
        result.complete = false;
    }
    if (result.complete && target) {
        try {
            target->commit();
        } catch (const std::exception& e) {
            result.complete = false;
            result.error = e.what();
        }
    }
    return result;
}

} // namespace rav::lom
