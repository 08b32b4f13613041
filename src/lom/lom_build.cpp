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

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <unistd.h>
#include <unordered_map>
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

// Binds a text of `size` bytes that outlives the next step, without a
// copy. Its length is given, so neither side measures it again; the
// temporary table's size rule is checked by checkSize, not by the engine,
// which would want the texts NUL-terminated for it.
void bindInPlace(sqlite3_stmt* statement, int index, const char* text, std::size_t size)
{
    sqlite3_bind_text64(statement, index, text, size, SQLITE_STATIC, SQLITE_UTF8);
}

// SQLite's length() of a text: characters up to the first NUL, a lead
// byte and its continuation bytes counting one. The temporary table's size
// rule is checked here, once per value, instead of by a CHECK per column
// and row inside the engine.
std::size_t sqliteLength(const char* z)
{
    std::size_t n = 0;
    while (*z) {
        ++n;
        if (static_cast<unsigned char>(*z++) >= 0xC0)
            while ((static_cast<unsigned char>(*z) & 0xC0) == 0x80)
                ++z;
    }
    return n;
}

void checkSize(const char* text, std::size_t size, int column)
{
    if (size > static_cast<std::size_t>(db::kMaxFieldSize) && sqliteLength(text) > db::kMaxFieldSize)
        throw db::Error("value too long for field field" + std::to_string(column) + " (size "
            + std::to_string(db::kMaxFieldSize) + ")");
}

bool isBlank(const std::string& text)
{
    return text.find_first_not_of(' ') == std::string::npos;
}

// ASCII letters folded, as the EIC index compares: probes in this order walk
// the index front to back.
bool nocaseLess(const std::string* a, const std::string* b)
{
    const auto fold = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u;
    };
    const std::size_t n = std::min(a->size(), b->size());
    for (std::size_t i = 0; i < n; ++i)
        if (fold((*a)[i]) != fold((*b)[i]))
            return fold((*a)[i]) < fold((*b)[i]);
    return a->size() < b->size();
}

// The EID records of the codes the parts carry, each looked up once: a
// design uses one code for many parts, and the EID cannot change under the
// build's read transaction, so a code's record is the same for every part.
// A code and its record's values are kept together in blocks that never
// move, each value NUL-terminated and ready to be bound in place: [code
// size, code, found flag, then per column its size (-1: Null), bytes, NUL].
// An open-addressed table finds a code's entry. A large design brings tens
// of thousands of codes, so a map of strings and a growing buffer would
// cost the build several times the values' own size.
class EidRecords
{
public:
    // A block's codes are looked up at once (Database::lookupKeys): one
    // round trip to a server, one statement on a file, instead of one per
    // code.
    EidRecords(db::Database& eid, std::string eicField, int columns)
        : eid_(eid)
        , eicField_(std::move(eicField))
        , columns_(columns)
    {
    }

    // Looks up the codes of `codes` not seen before, in index order.
    void fetch(const std::vector<const std::string*>& codes)
    {
        pending_.clear();
        for (const std::string* code : codes)
            if (!find(*code))
                pending_.push_back(code);
        // A block brings a code once per part that carries it: each is
        // looked up once. (Byte order finds the repeats cheaply; the few
        // codes left are then put in index order.)
        const auto bytesLess = [](const std::string* a, const std::string* b) { return *a < *b; };
        const auto same = [](const std::string* a, const std::string* b) { return *a == *b; };
        std::sort(pending_.begin(), pending_.end(), bytesLess);
        pending_.erase(std::unique(pending_.begin(), pending_.end(), same), pending_.end());
        std::sort(pending_.begin(), pending_.end(), nocaseLess);
        // A few hundred codes a look-up: as fast as more, and the keys'
        // text and the engine's copies of it stay small.
        constexpr std::size_t kKeysPerLookup = 512;
        std::vector<std::string_view> keys;
        for (std::size_t from = 0; from < pending_.size(); from += kKeysPerLookup) {
            const std::size_t to = std::min(pending_.size(), from + kKeysPerLookup);
            keys.clear();
            for (std::size_t i = from; i < to; ++i)
                keys.push_back(*pending_[i]);
            db::Statement rows = eid_.lookupKeys(eid::kDeviceTable, eicField_, keys);
            // A record twice for a code: the first one found counts.
            while (rows.step()) {
                const std::string& code = *pending_[from + static_cast<std::size_t>(rows.columnInt(0))];
                if (!find(code))
                    keep(code, &rows, 1);
            }
        }
        for (const std::string* code : pending_)
            if (!find(*code))
                keep(*code, nullptr, 0); // no record
    }

    // Binds the values of the record of `code` (fetched before) from
    // parameter `first` on; a code without record binds nothing. Checks
    // every value's size first, so a refused record binds nothing either.
    void bind(sqlite3_stmt* insert, int first, const std::string& code, int firstColumn) const
    {
        const char* entry = find(code);
        if (!entry)
            return;
        const char* values = entry + sizeof(std::uint32_t) + code.size();
        if (*values++ == 0)
            return;
        for (int pass = 0; pass < 2; ++pass) {
            const char* at = values;
            for (int j = 0; j < columns_; ++j) {
                const std::int32_t size = get<std::int32_t>(at);
                if (size < 0)
                    continue;
                if (pass == 0)
                    checkSize(at, static_cast<std::size_t>(size), firstColumn + j);
                else
                    bindInPlace(insert, first + j, at, static_cast<std::size_t>(size));
                at += size + 1;
            }
        }
    }

private:
    // Keeps `code` with the record the statement is on (its fields from
    // column `first` on), or as a code without record when `row` is null.
    void keep(const std::string& code, const db::Statement* row, int first)
    {
        std::size_t size = sizeof(std::uint32_t) + code.size() + 1;
        if (row)
            for (int j = 0; j < columns_; ++j) {
                const auto text = row->columnText(first + j);
                size += sizeof(std::int32_t) + (text ? text->size() + 1 : 0);
            }
        char* entry = allocate(size);
        char* at = entry;
        put(at, static_cast<std::uint32_t>(code.size()));
        std::memcpy(at, code.data(), code.size());
        at += code.size();
        *at++ = row ? 1 : 0;
        if (row)
            for (int j = 0; j < columns_; ++j) {
                const auto text = row->columnText(first + j);
                put(at, text ? static_cast<std::int32_t>(text->size()) : -1);
                if (text) {
                    std::memcpy(at, text->data(), text->size());
                    at += text->size();
                    *at++ = '\0';
                }
            }
        insert(entry);
    }

    template <class T> static void put(char*& at, T value)
    {
        std::memcpy(at, &value, sizeof value);
        at += sizeof value;
    }
    template <class T> static T get(const char*& at)
    {
        T value;
        std::memcpy(&value, at, sizeof value);
        at += sizeof value;
        return value;
    }
    static std::string_view codeOf(const char* entry)
    {
        const std::uint32_t size = get<std::uint32_t>(entry);
        return { entry, size };
    }

    char* allocate(std::size_t size)
    {
        if (blocks_.empty() || size > kBlock - used_) {
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(std::max(size, kBlock)));
            used_ = size > kBlock ? kBlock : 0;
            if (size > kBlock)
                return blocks_.back().get();
        }
        char* at = blocks_.back().get() + used_;
        used_ += size;
        return at;
    }

    const char* find(std::string_view code) const
    {
        if (table_.empty())
            return nullptr;
        for (std::size_t i = std::hash<std::string_view>()(code) & (table_.size() - 1);;
             i = (i + 1) & (table_.size() - 1)) {
            if (!table_[i] || codeOf(table_[i]) == code)
                return table_[i];
        }
    }

    void insert(const char* entry)
    {
        if (2 * (count_ + 1) > table_.size()) {
            std::vector<const char*> old(std::max<std::size_t>(64, 2 * table_.size()), nullptr);
            old.swap(table_);
            for (const char* e : old)
                if (e)
                    place(e);
        }
        place(entry);
        ++count_;
    }
    void place(const char* entry)
    {
        std::size_t i = std::hash<std::string_view>()(codeOf(entry)) & (table_.size() - 1);
        while (table_[i])
            i = (i + 1) & (table_.size() - 1);
        table_[i] = entry;
    }

    static constexpr std::size_t kBlock = 64 * 1024;
    db::Database& eid_;
    std::string eicField_;
    int columns_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t used_ = 0; // bytes used of the last block
    std::vector<const char*> table_; // entries by code hash, a power of two long
    std::size_t count_ = 0;
    std::vector<const std::string*> pending_;
};

// The two builds differ only in where the parts come from and how many
// project columns lead a row.
enum class BuildKind { Lom, ProjectView };

// The project columns of a row, in column order: the first `count` of them.
struct ProjectValues {
    std::array<const std::string*, kLomProjectFields> values;
    std::size_t count;
};
ProjectValues projectValues(const kernel::PartRecord& p, BuildKind kind)
{
    if (kind == BuildKind::Lom)
        return { { &p.PartName, &p.FullName, &p.Eic, &p.SimRef, &p.Package, &p.CompName, &p.Description,
                     &p.Value },
            kLomProjectFields };
    return { { &p.PartName, &p.FullName, &p.Eic, &p.SimRef, &p.Package }, kToolBoxProjectFields };
}

// INSERT INTO Device of `rows` rows of field1..fieldN; the parameter of row
// r (0-based), column k is r * N + k.
std::string insertSql(int fieldCount, int rows)
{
    std::string sql = "INSERT INTO \"Device\" (";
    for (int k = 1; k <= fieldCount; ++k)
        sql += (k > 1 ? ",field" : "field") + std::to_string(k);
    sql += ") VALUES ";
    for (int r = 0; r < rows; ++r) {
        sql += r ? ",(" : "(";
        for (int k = 1; k <= fieldCount; ++k)
            sql += (k > 1 ? ",?" : "?") + std::to_string(r * fieldCount + k);
        sql += ")";
    }
    return sql;
}

BuildResult build(BuildKind kind, const BuildOptions& options, ProgressSink& progress, MessageSink& messages)
{
    BuildResult result;
    auto& parts = kernel::ProjectParts::instance();
    const int projectColumns = kind == BuildKind::Lom ? kLomProjectFields : kToolBoxProjectFields;

    // 1. The parts, or the one message this build shows. The layout
    // components are collected a block at a time (the first block now): a
    // record is needed only until its row is saved, and a large design's
    // records all at once would be most of the build's memory. The rows and
    // their order are those of the whole collection.
    constexpr std::size_t kBlock = 2048;
    kernel::ProjectParts::LayoutCursor cursor;
    std::size_t count = 0;
    try {
        if (kind == BuildKind::Lom) {
            parts.CollectLayoutBlock(cursor, kBlock);
            if (parts.HasParts())
                count = parts.CountLayoutComponents();
        } else {
            parts.CollectProjectDevices();
            count = parts.PartList().Count();
        }
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

    try {
        // 3-5. The EID, the temporary database and its table.
        db::Database opened;
        if (!options.eid)
            opened = db::Database::open(options.eidFile, db::OpenMode::Shared);
        db::Database& eid = options.eid ? *options.eid : opened;
        const db::TableDef eidTable = eid.tableDef(eid::kDeviceTable);
        result.eicFieldName = eid::EicFieldName(eid);
        const int eidColumns = static_cast<int>(eidTable.fields.size());
        if (options.fieldCount < projectColumns + eidColumns)
            throw db::Error("the field catalogue has " + std::to_string(options.fieldCount)
                + " fields, fewer than the project and the EID need");

        // A scratch file: nothing to recover after a crash, so no journal
        // file and no waiting for the disk - from its header on.
        db::Database temp = db::Database::createScratch(result.tempDbName);
        // Rows are only appended: full pages can go to the file as soon as
        // they are full, so a small cache does, whatever the project's size.
        temp.executeNative("PRAGMA cache_size=-512");
        if (!CreateDeviceTable(temp, options.fieldCount))
            throw db::Error("cannot create table Device in " + result.tempDbName);
        // The EID is probed once per code, in index order, so pages are
        // reused while they are cached: half of SQLite's small default cache
        // does as well. A mapped EID would count every page it touched as
        // the process's memory.
        if (eid.backend() == db::Backend::File)
            eid.executeNative("PRAGMA cache_size=-1024");

        // The per-part look-up is one probe of the EIC's unique index. A read
        // transaction keeps the EID's lock and page cache across the probes
        // instead of taking the file lock again for every part.
        // On a server, one snapshot for every probe, so the list is the EID
        // as of one change, whatever others save meanwhile; that change is
        // stated.
        std::optional<db::Transaction> eidRead;
        result.eidChange = eid::BeginStampedRead(eid, eidRead);
        result.eidChangeTime = result.eidChange > 0 ? eid::ChangeTime(eid, result.eidChange) : 0;
        // The size rule of the temporary table's columns is checked here
        // (checkSize) rather than by the engine for each column of each row.
        // Set before the inserts are prepared: changing it sends every
        // prepared statement of the connection back to be prepared again.
        temp.executeNative("PRAGMA ignore_check_constraints=ON");
        // Rows go in several at a time: one INSERT of a few rows costs
        // hardly more than one of a single row. Rows that do not fill a
        // batch go in one by one.
        const int batchRows = std::clamp(30000 / options.fieldCount, 1, 16);
        db::Statement batch = temp.prepare(insertSql(options.fieldCount, batchRows));
        db::Statement single = temp.prepare(insertSql(options.fieldCount, 1));

        // 6.
        progress.setCaption(message("Creating Temp. Def ...", "5445"));
        progress.setRange(0, static_cast<std::int64_t>(count));
        progress.setValue(1);

        // 7. Rows go in inside one transaction; rows saved before a failure
        // or a cancel are committed all the same. Parts are taken a block
        // at a time: their details are read, the codes the block brings in
        // are looked up (each once, in index order), then the rows are
        // saved, with progress and the cancel flag per row.
        EidRecords records(eid, result.eicFieldName, eidColumns);
        // The parts of the block that get a row, by slot, with the values of
        // their design fields shown as columns: (column number, value).
        std::vector<std::size_t> included;
        std::vector<std::vector<std::pair<int, std::string>>> designFields;
        // Binds part i's values from parameter base + 1 on; throws, binding
        // nothing, when a value is too long for its column. The texts
        // outlive the step, so SQLite uses them in place.
        auto bindRow = [&](sqlite3_stmt* statement, int base, std::size_t slot) {
            const kernel::PartRecord& part = parts.PartList()[included[slot]];
            const ProjectValues row = projectValues(part, kind);
            for (std::size_t c = 0; c < row.count; ++c)
                checkSize(row.values[c]->c_str(), row.values[c]->size(), static_cast<int>(c + 1));
            for (const auto& [column, value] : designFields[slot])
                checkSize(value.c_str(), value.size(), column);
            if (!isBlank(part.Eic))
                records.bind(statement, base + projectColumns + 1, part.Eic, projectColumns + 1);
            for (std::size_t c = 0; c < row.count; ++c)
                bindInPlace(
                    statement, base + static_cast<int>(c + 1), row.values[c]->c_str(), row.values[c]->size());
            for (const auto& [column, value] : designFields[slot])
                bindInPlace(statement, base + column, value.c_str(), value.size());
        };
        std::vector<std::size_t> pending; // slots of the parts bound in `batch`, not saved yet
        // Saves the pending parts one by one (after a batch failed, up to the
        // part that fails).
        auto savePending = [&] {
            batch.reset();
            for (const std::size_t slot : pending) {
                bindRow(single.handle(), 0, slot);
                single.step();
                single.reset(); // clears the bindings: the next row starts all Null
                ++result.rows;
            }
            pending.clear();
        };
        std::vector<const std::string*> codes;
        // The block's parts are PartList()[first..last]; part i of the block
        // is part offset + i of the build.
        std::size_t first = 1, last = 0, offset = 0;
        auto nextBlock = [&] {
            if (kind == BuildKind::ProjectView) {
                first = last + 1;
                last = std::min(count, last + kBlock);
                return first <= last;
            }
            if (last > 0) { // the first block was collected with the message check
                offset += last;
                if (!parts.CollectLayoutBlock(cursor, kBlock))
                    return false;
            }
            last = parts.PartList().Count();
            return last > 0;
        };
        db::Transaction transaction(temp);
        try {
            bool stop = false;
            while (!stop && nextBlock()) {
                codes.clear();
                included.clear();
                designFields.clear();
                for (std::size_t i = first; i <= last; ++i) {
                    if (kind == BuildKind::Lom) {
                        parts.ReadPartDetails(i);
                        // Left out of the lists as the design asks ("exclude
                        // from BOM"), unless the user wants them.
                        if (!options.includeExcluded
                            && kernel::AttributeIsSet(parts.ReadComponentAttribute(
                                parts.PartList()[i].Handle, kExcludeAttribute))) {
                            ++result.excluded;
                            continue;
                        }
                        if (!options.markAttribute.empty())
                            result.marked.push_back(kernel::AttributeIsSet(parts.ReadComponentAttribute(
                                parts.PartList()[i].Handle, options.markAttribute)));
                    }
                    included.push_back(i);
                    designFields.emplace_back();
                    if (!options.attributeColumns.empty()) {
                        const auto attributes = parts.ReadComponentAttributes(parts.PartList()[i].Handle);
                        for (const auto& [column, name] : options.attributeColumns)
                            for (const auto& [n, v] : attributes)
                                if (text::equalsIgnoreCase(n, name)) {
                                    designFields.back().emplace_back(column, v);
                                    break;
                                }
                    }
                    const std::string& eic = parts.PartList()[i].Eic;
                    if (!isBlank(eic))
                        codes.push_back(&eic);
                }
                records.fetch(codes);
                for (std::size_t k = 0; k < included.size(); ++k) {
                    progress.setValue(static_cast<std::int64_t>(offset + included[k]));
                    try {
                        bindRow(batch.handle(), static_cast<int>(pending.size()) * options.fieldCount, k);
                        pending.push_back(k);
                        if (pending.size() == static_cast<std::size_t>(batchRows)) {
                            batch.step();
                            batch.reset(); // clears the bindings: the next rows start all Null
                            result.rows += batchRows;
                            pending.clear();
                        }
                    } catch (const std::exception&) {
                        savePending(); // the rows before the one refused
                        throw;
                    }
                    progress.yield();
                    if (cancelFlag().load()) {
                        savePending();
                        result.cancelled = true;
                        stop = true;
                        break;
                    }
                }
                // The next block's look-ups may move the EID values bound.
                savePending();
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

std::vector<std::string> ListDesignFields()
{
    auto& parts = kernel::ProjectParts::instance();
    std::vector<std::string> names, folded;
    kernel::ProjectParts::LayoutCursor cursor;
    while (parts.CollectLayoutBlock(cursor, 2048))
        for (std::size_t i = 1; i <= parts.PartList().Count(); ++i)
            for (const auto& [name, value] : parts.ReadComponentAttributes(parts.PartList()[i].Handle)) {
                std::string lower = text::asciiLower(name);
                if (std::find(folded.begin(), folded.end(), lower) == folded.end()) {
                    folded.push_back(std::move(lower));
                    names.push_back(name);
                }
            }
    return names;
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
            sqlite3_stmt* const handle = rows.handle();
            std::string line;
            bool ok = true;
            for (long pos = 0; ok && rows.step(); ++pos) {
                progress.setValue(pos);
                // A window's Cancel stops the writing too: the file stays as
                // it was (the new one is never put in its place).
                progress.yield();
                if (cancelFlag().load()) {
                    result.error = "cancelled";
                    ok = false;
                    break;
                }
                char number[24];
                number[0] = ' ';
                const auto end = std::to_chars(number + 1, number + sizeof number, pos + 1).ptr;
                line.assign(number, end);
                // Each value goes from SQLite's row straight into the line;
                // Null (no text) adds nothing.
                for (int c = 0; c < columns; ++c) {
                    line += options.delimiter;
                    if (const auto* text = sqlite3_column_text(handle, c))
                        line.append(reinterpret_cast<const char*>(text),
                            static_cast<std::size_t>(sqlite3_column_bytes(handle, c)));
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
