#include "eid_import.h"

#include "database.h"
#include "eid_table.h"
#include "host_utility.h"
#include "line_tokenizer.h"
#include "text_file.h"
#include "textcodec.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sqlite3.h>
#include <system_error>
#include <utility>

namespace rav::eid
{

namespace
{

std::string OneLine(std::initializer_list<std::string_view> parts)
{
    std::string s;
    for (std::string_view p : parts)
        s += p;
    return s;
}

// Binds a text that the caller keeps alive until the statement is reset.
// The statements of one import, prepared once against the open EID.
class DeviceWriter
{
public:
    DeviceWriter(db::Database& db, const detail::DeviceColumns& cols)
        : db_(db)
        , cols_(cols)
        , versioned_(HasVersions(db))
    {
        const std::string eic = db::quoteIdent(cols.names[static_cast<std::size_t>(cols.eicOrdinal)]);
        std::string names, params, sets;
        for (int i = 0; i < cols.count(); ++i) {
            const std::string n = db::quoteIdent(cols.names[static_cast<std::size_t>(i)]);
            const std::string p = "?" + std::to_string(i + 1);
            names += (i ? "," : "") + n;
            params += (i ? "," : "") + p;
            sets += (i ? "," : "") + n + "=" + p;
        }
        // The EIC column compares without regard to case and carries the
        // unique index, so this is one index probe. On a server the record's
        // version and values come along: an overwrite is refused when
        // someone else changed the record in between.
        find_ = db.prepare("SELECT rowid" + (versioned_ ? ", rav_version, " + names : std::string()) + " FROM Device WHERE "
            + eic + " = ?1");
        insert_ = db.prepare("INSERT INTO Device (" + names + ") VALUES (" + params + ")");
        update_ = db.prepare("UPDATE Device SET " + sets + " WHERE rowid = ?" + std::to_string(cols.count() + 1)
            + (versioned_ ? " AND rav_version = ?" + std::to_string(cols.count() + 2) : std::string()));
        if (versioned_)
            reread_ = db.prepare("SELECT " + names + " FROM Device WHERE rowid = ?1");
    }

    // Row id of the record whose EIC equals `eic`, or nothing.
    std::optional<sqlite3_int64> find(std::string_view eic)
    {
        find_.bindView(1, eic);
        std::optional<sqlite3_int64> id;
        if (find_.step()) {
            id = find_.columnInt(0);
            if (versioned_) {
                version_ = find_.columnInt(1);
                original_.clear();
                for (int i = 0; i < cols_.count(); ++i)
                    original_.push_back(find_.column(i + 2));
            }
        }
        find_.reset();
        return id;
    }

    // Stores `values` (one per column) as a new record or over record `id`
    // (found last). Throws db::ConflictError when someone else changed or
    // deleted that record since.
    void store(const std::vector<std::string_view>& values, std::optional<sqlite3_int64> id)
    {
        db::Statement& st = id ? update_ : insert_;
        for (int i = 0; i < cols_.count(); ++i)
            st.bindView(i + 1, values[static_cast<std::size_t>(i)]);
        if (id)
            st.bind(cols_.count() + 1, static_cast<std::int64_t>(*id));
        if (id && versioned_)
            st.bind(cols_.count() + 2, version_);
        try {
            st.step();
        } catch (...) {
            st.reset();
            throw;
        }
        st.reset();
        if (id && versioned_ && db_.changes() == 0)
            conflict(values, *id);
    }

private:
    // Tables the engine made on a server carry a version per record; a
    // table made by another tool may not. Asked before any transaction, so
    // that the refusal of the question spoils nothing.
    static bool HasVersions(db::Database& db)
    {
        if (db.backend() != db::Backend::Server)
            return false;
        try {
            db.prepare("SELECT rav_version FROM Device LIMIT 0").step();
            return true;
        } catch (const db::Error&) {
            return false;
        }
    }

    [[noreturn]] void conflict(const std::vector<std::string_view>& values, sqlite3_int64 id)
    {
        std::vector<db::Value> mine, theirs;
        for (const std::string_view v : values)
            mine.emplace_back(std::string(v));
        reread_.bind(1, static_cast<std::int64_t>(id));
        const bool exists = reread_.step();
        for (int i = 0; exists && i < cols_.count(); ++i)
            theirs.push_back(reread_.column(i));
        reread_.reset();
        throw db::makeConflict(cols_.names, &mine, exists ? &theirs : nullptr, original_);
    }

    db::Database& db_;
    const detail::DeviceColumns& cols_;
    const bool versioned_;
    db::Statement find_, insert_, update_, reread_;
    std::int64_t version_ = 0; // of the record found last, with its values
    std::vector<db::Value> original_;
};

struct ImportState {
    const ImportOptions& options;
    const detail::DeviceColumns& cols;
    char delimiter;
    bool server; // whose text cannot hold a NUL
    DeviceWriter& writer;
    TextFile& log;
    OperationResult& result;
    // Reused for every line so that the loop does not allocate.
    std::vector<std::string_view> values;
    std::vector<std::string> cut;
};

using Reason = const char* const (*)[2];

// The line as the log quotes it: a short line carries the fields-missing note.
std::string LogText(const ImportState& st, const std::string& line, const LineTokenizer& tok)
{
    if (tok.Count() >= static_cast<std::size_t>(st.cols.count()))
        return line;
    return OneLine({ line, std::string_view(&st.delimiter, 1), Text(msg::kFieldsMissing) });
}

void WriteLogLine(ImportState& st, const std::string& logText, std::string_view reason)
{
    st.log.WriteText(OneLine({ logText, std::string_view(&st.delimiter, 1), reason, "\r\n" }));
}

// Checks one split line and cuts its values to their columns into
// `st.values`: the reason it is refused, or null when it may be stored.
Reason CheckRecord(ImportState& st, const LineTokenizer& tok)
{
    const detail::DeviceColumns& cols = st.cols;
    const std::size_t n = tok.Count();
    const std::size_t c = static_cast<std::size_t>(cols.count());

    bool tooLong = false;
    for (std::size_t i = 1; i <= n && i <= c; ++i) {
        const std::string_view v = tok.Item(i);
        // Byte count bounds the character count, so most values skip the scan.
        if (v.size() > static_cast<std::size_t>(cols.sizes[i - 1])
            && text::utf8Length(v) > static_cast<std::size_t>(cols.sizes[i - 1])) {
            tooLong = true;
            break;
        }
    }
    if (tooLong && !st.options.trim)
        return &msg::kTooLong;

    const std::size_t eicPos = static_cast<std::size_t>(cols.eicOrdinal) + 1;
    if (text::trimBlanks(tok.Item(eicPos)).empty())
        return &msg::kBadIndex;

    // Every value is cut to its column; with trimming off only the values
    // past the line's end (empty) and the EIC can be affected.
    for (std::size_t i = 0; i < c; ++i) {
        const std::string_view v = tok.Item(i + 1);
        const std::size_t size = static_cast<std::size_t>(cols.sizes[i]);
        if (v.size() > size && text::utf8Length(v) > size) {
            st.cut[i] = text::utf8Left(v, size);
            st.values[i] = st.cut[i];
        } else {
            st.values[i] = v;
        }
        // A file stores such a value whole; a server would keep only what
        // comes before the NUL, so the line is refused instead.
        if (st.server && st.values[i].find('\0') != std::string_view::npos)
            return &msg::kNulOnServer;
    }
    return nullptr;
}

// One non-blank line, already split. Refused lines go to the log; a record
// the database refuses throws.
void ImportRecord(ImportState& st, const std::string& line, const LineTokenizer& tok)
{
    if (const Reason reason = CheckRecord(st, tok)) {
        WriteLogLine(st, LogText(st, line, tok), Text(*reason));
        ++st.result.logged;
        return;
    }
    const std::size_t eicPos = static_cast<std::size_t>(st.cols.eicOrdinal) + 1;
    const std::optional<sqlite3_int64> existing = st.writer.find(st.values[eicPos - 1]);
    if (existing && !st.options.overwrite) {
        WriteLogLine(st, LogText(st, line, tok), Text(msg::kDuplicate));
        ++st.result.logged;
        return;
    }
    try {
        st.writer.store(st.values, existing);
    } catch (const db::ConflictError& e) {
        WriteLogLine(st, LogText(st, line, tok), e.what());
        ++st.result.logged;
        ++st.result.conflicts;
        return;
    }
    if (existing)
        ++st.result.overwritten;
    else
        ++st.result.added;
    // Stored, but values were left out: said in the log, never silently.
    if (tok.Count() > static_cast<std::size_t>(st.cols.count())) {
        WriteLogLine(st, LogText(st, line, tok), Text(msg::kTooManyFields));
        ++st.result.tooManyFields;
    }
}

// Where the lines to import are: blank lines, the header line and the lines
// outside the range are passed over; `each` gets the others, split, with
// their number (blank lines counted).
template <class Each>
void ForEachLine(const ImportOptions& options, std::size_t rangePos, char delimiter, TextFile& input,
    OperationResult& result, ProgressSink& progress, Each each)
{
    bool inRange = !options.range.enabled();
    bool header = options.header;
    LineTokenizer tok;
    std::string line;
    while (input.ReadTextLine(line)) {
        ++result.linesRead;
        progress.setValue(input.position());
        if (text::trimBlanks(line).empty()) {
            ++result.blankLines;
            continue;
        }
        if (std::exchange(header, false))
            continue; // the column names
        tok.Split(line, delimiter);
        if (!inRange && text::equalsIgnoreCase(tok.Item(rangePos), options.range.startValue))
            inRange = true;
        if (!inRange)
            continue;
        each(line, tok, result.linesRead);
        if (options.range.enabled() && text::equalsIgnoreCase(tok.Item(rangePos), options.range.endValue))
            break;
    }
}

// Progress of the reading of the file, drawn on the first part of the bar:
// on a server the writing, reported afterwards, takes most of the time.
class ReadingShare final : public ProgressSink
{
public:
    explicit ReadingShare(ProgressSink& bar)
        : bar_(bar)
    {
    }
    void setValue(std::int64_t value) override { bar_.setValue(value / kParts); }
    static constexpr std::int64_t kParts = 5; // the reading's share is one of them

private:
    ProgressSink& bar_;
};

// The import of a server EID: the checked lines stream to the server and
// are merged there in one pass (BulkMerge), and the log is written
// afterwards in line order from a second reading of the text file, since
// which lines are duplicates or met someone else's change is known only
// then. Counts and log lines are those of the line-by-line import.
void ImportMerged(ImportState& st, db::Database& db, TextFile& input, std::size_t rangePos, std::int64_t length,
    ProgressSink& progress)
{
    const ImportOptions& options = st.options;
    OperationResult& result = st.result;
    struct Entry {
        std::int64_t line;
        std::string reason;
        bool refusal;
    };
    std::vector<Entry> entries;
    std::vector<std::int64_t> longLines; // more values than columns
    db::BulkMerge merge(db, "Device", st.cols.names[static_cast<std::size_t>(st.cols.eicOrdinal)], options.overwrite);
    ReadingShare reading(progress);
    ForEachLine(options, rangePos, st.delimiter, input, result, reading,
        [&](const std::string&, const LineTokenizer& tok, std::int64_t number) {
            if (const Reason reason = CheckRecord(st, tok)) {
                entries.push_back({ number, Text(*reason), true });
                return;
            }
            merge.add(number, st.values);
            if (tok.Count() > static_cast<std::size_t>(st.cols.count()))
                longLines.push_back(number);
        });
    const std::int64_t read = length / ReadingShare::kParts;
    const db::BulkMerge::Outcome outcome = merge.finish([&](std::int64_t done, std::int64_t total) {
        progress.setValue(read + (length - read) * done / total);
    });
    progress.setValue(length);
    result.added = outcome.added;
    result.overwritten = outcome.overwritten;
    std::size_t r = 0;
    for (const std::int64_t number : longLines) {
        while (r < outcome.refused.size() && outcome.refused[r].tag < number)
            ++r;
        if (r < outcome.refused.size() && outcome.refused[r].tag == number)
            continue; // refused: nothing was stored to note
        entries.push_back({ number, Text(msg::kTooManyFields), false });
        ++result.tooManyFields;
    }
    for (const auto& refusal : outcome.refused) {
        entries.push_back({ refusal.tag, refusal.conflict ? refusal.conflict->what() : Text(msg::kDuplicate), true });
        if (refusal.conflict)
            ++result.conflicts;
    }
    if (entries.empty())
        return;
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.line < b.line; });
    input.CloseTextFile(false);
    if (!input.OpenTextForInput(options.textFile))
        throw std::runtime_error("Can't read file: " + options.textFile + ": " + input.errorDescription());
    LineTokenizer tok;
    std::string line;
    std::int64_t number = 0;
    for (std::size_t e = 0; e < entries.size() && input.ReadTextLine(line);) {
        if (++number != entries[e].line)
            continue;
        tok.Split(line, st.delimiter);
        for (; e < entries.size() && entries[e].line == number; ++e) {
            WriteLogLine(st, LogText(st, line, tok), entries[e].reason);
            result.logged += entries[e].refusal ? 1 : 0;
        }
    }
}

} // namespace

std::string ImportLogName(const std::string& textFile)
{
    // Characters, not bytes, so that a name ending in a non-ASCII
    // character is not cut inside it.
    const std::size_t chars = text::utf8Length(textFile);
    const std::size_t keep = chars > 3 ? chars - 3 : 0;
    return text::utf8Left(textFile, keep) + "log";
}

OperationResult StoreRecords(
    const std::string& eidFile, const std::vector<std::vector<std::string>>& records, ProgressSink& progress)
{
    OperationResult result;
    db::Database db;
    std::optional<db::Transaction> tx;
    std::size_t at = 0;
    try {
        db = db::Database::open(eidFile, db::OpenMode::Exclusive);
        const detail::DeviceColumns cols = detail::ReadDeviceColumns(db);
        detail::UseBulkCache(db);
        DeviceWriter writer(db, cols);
        progress.setCaption(Text(msg::kImporting));
        progress.setRange(0, static_cast<std::int64_t>(records.size()));
        std::vector<std::string_view> values(static_cast<std::size_t>(cols.count()));
        tx.emplace(db);
        for (; at < records.size(); ++at) {
            const auto& record = records[at];
            for (std::size_t i = 0; i < values.size(); ++i)
                values[i] = i < record.size() ? std::string_view(record[i]) : std::string_view();
            writer.store(values, std::nullopt);
            ++result.added;
            if (at % 1024 == 0)
                progress.setValue(static_cast<std::int64_t>(at));
        }
        tx->commit();
        tx.reset();
        progress.setValue(static_cast<std::int64_t>(records.size()));
        result.processed = result.added;
        result.completed = true;
    } catch (const std::exception& e) {
        tx.reset(); // rolled back: the caller discards the file
        result.added = 0;
        result.failure = "record " + std::to_string(at + 1) + ": " + e.what();
    }
    return result;
}

bool ConfirmMassUpdate(MessageSink& messages)
{
    UserMessage m;
    m.kind = MessageKind::Question;
    m.id = msg::kMassUpdate1[0];
    m.text = Text(msg::kMassUpdate1) + "\n" + Text(msg::kMassUpdate2) + "\n" + Text(msg::kMassUpdate3);
    return messages.confirm(m);
}

OperationResult ImportTextFile(const ImportOptions& options, MessageSink& messages, ProgressSink& progress)
{
    OperationResult result;
    // Declared first so that they close last: the files, then the database.
    TextFile input(messages);
    TextFile log(messages);
    db::Database db;
    std::optional<db::Transaction> tx;
    try {
        db = db::Database::open(options.eidFile, db::OpenMode::Exclusive);
        const detail::DeviceColumns cols = detail::ReadDeviceColumns(db);
        detail::UseBulkCache(db);
        const Delimiter delim = ResolveDelimiter(options.delimiterText);
        std::size_t rangePos = 0;
        if (options.range.enabled())
            rangePos = static_cast<std::size_t>(cols.ordinal(options.range.field)) + 1;

        std::error_code ec;
        const auto length = std::filesystem::file_size(options.textFile, ec);
        if (ec) {
            result.failure = "Can't read the length of " + options.textFile + ": " + ec.message();
            return result;
        }
        progress.setCaption(Text(msg::kImporting));
        progress.setRange(0, static_cast<std::int64_t>(length));
        progress.setValue(1);

        if (!input.OpenTextForInput(options.textFile)) {
            result.failure = "Can't read file: " + options.textFile + ": " + input.errorDescription();
            return result;
        }
        std::string logName = ImportLogName(options.textFile);
        if (!log.OpenTextForOutput(logName)) {
            logName = options.tempDir;
            HostUtility::instance().AddPathSeparator(logName);
            logName += "import.log";
            if (options.tempDir.empty() || !log.OpenTextForOutput(logName)) {
                result.failure = "Can't create the import log " + ImportLogName(options.textFile);
                return result;
            }
        }
        result.logFile = logName;

        DeviceWriter writer(db, cols);
        ImportState st { options, cols, delim.character, db.backend() == db::Backend::Server, writer, log, result, {}, {} };
        st.values.resize(static_cast<std::size_t>(cols.count()));
        st.cut.resize(static_cast<std::size_t>(cols.count()));

        // One transaction for the whole file: every index page is journaled
        // once. It is committed on every way out, a failing line included,
        // so what was stored before stays stored.
        tx.emplace(db);
        bool merged = false;
        if (db.backend() == db::Backend::Server) {
            try {
                ImportMerged(st, db, input, rangePos, static_cast<std::int64_t>(length), progress);
                merged = true;
            } catch (const db::Error&) {
                // The server refused a record (or a value a stricter writer
                // forbids): nothing of the merge was kept, and the import
                // runs line by line, stopping at that line as on a file.
                result = OperationResult { .logFile = result.logFile };
                input.CloseTextFile(false);
                if (!input.OpenTextForInput(options.textFile)) {
                    result.failure = "Can't read file: " + options.textFile + ": " + input.errorDescription();
                    return result;
                }
            }
        }
        if (!merged)
            ForEachLine(options, rangePos, delim.character, input, result, progress,
                [&st](const std::string& line, const LineTokenizer& tok, std::int64_t) { ImportRecord(st, line, tok); });
        tx->commit();
        tx.reset();
        if (input.error()) {
            result.failure = "Can't read file: " + options.textFile + ": " + input.errorDescription();
            return result;
        }
        log.CloseTextFile(false);
        result.completed = true;
    } catch (const std::exception& e) {
        detail::KeepWorkDone(tx); // records stored before the failing line stay stored
        result.completed = false;
        result.failure = e.what();
    }
    return result;
}

} // namespace rav::eid
