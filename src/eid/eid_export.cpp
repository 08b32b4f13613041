#include "eid_export.h"

#include "database.h"
#include "eid_table.h"
#include "show_message.h"
#include "text_file.h"
#include "textcodec.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <sqlite3.h>

namespace rav::eid
{

namespace
{

// The records of the sorted set, from the start of a range or from the
// first record, with the value of the range column beside each: what the
// export and the removal walk through.
//
//   Before --(range col = start)--> Inside --(range col = end)--> Done
//   Before --(no range)-----------> Inside --(last record)------> Done
//
// The record that moves the walk to Inside is the first of the range; the
// record that ends it is the last and is processed too, so the start
// record itself ends the range when it has the end value.
class RangeWalk
{
public:
    // With `batch` on a server, the rows come through a cursor that many at
    // a time, and the caller may write on the connection between rows; it
    // must be inside a transaction.
    RangeWalk(db::Database& db, const detail::DeviceColumns& cols, const Range& range,
        const std::string& selectList, int batch = 0)
        : range_(range)
    {
        std::string sql = "SELECT " + selectList;
        if (range.enabled()) {
            rangeColumn_ = cols.ordinal(range.field);
            const std::string sort
                = db::quoteIdent(cols.names[static_cast<std::size_t>(cols.ordinal(range.sortField))]);
            sql += ", " + db::quoteIdent(cols.names[static_cast<std::size_t>(rangeColumn_)]);
            // rowid breaks ties, so a range taken twice is the same range.
            sql += " FROM Device ORDER BY " + sort + " COLLATE NOCASE, rowid";
        } else {
            sql += " FROM Device ORDER BY rowid";
        }
        if (batch > 0 && db.backend() == db::Backend::Server) {
            db.executeNative("DECLARE rav_walk NO SCROLL CURSOR FOR " + sql);
            stmt_ = db.prepare("FETCH " + std::to_string(batch) + " FROM rav_walk");
            batch_ = batch;
        } else {
            stmt_ = db.prepare(sql);
        }
        rangeValueColumn_ = stmt_.columnCount() - 1;
    }

    // Moves to the next record of the range; false when the range is over.
    bool next()
    {
        if (state_ == State::Done)
            return false;
        while (step()) {
            ++position_;
            if (!range_.enabled()) {
                state_ = State::Inside;
                startFound_ = true;
                return true;
            }
            const std::string_view v = detail::ColumnText(stmt_, rangeValueColumn_);
            if (state_ == State::Before) {
                if (!text::equalsIgnoreCase(v, range_.startValue))
                    continue;
                state_ = State::Inside;
                startFound_ = true;
            }
            // The end test is made on the record being handed out: it is the
            // last one of the range.
            if (text::equalsIgnoreCase(v, range_.endValue))
                lastHandedOut_ = true;
            return true;
        }
        state_ = State::Done;
        return false;
    }
    // Call after processing the current record.
    void processed()
    {
        if (lastHandedOut_)
            state_ = State::Done;
    }
    bool startFound() const { return startFound_ || !range_.enabled(); }
    const db::Statement& row() const { return stmt_; }
    long position() const { return position_; }

private:
    // The next row; through a cursor, the next batch when one is used up.
    bool step()
    {
        if (stmt_.step()) {
            ++inBatch_;
            return true;
        }
        if (batch_ == 0 || inBatch_ < batch_)
            return false;
        stmt_.reset();
        inBatch_ = 0;
        return step();
    }

    enum class State { Before, Inside, Done };
    const Range& range_;
    db::Statement stmt_;
    int batch_ = 0;
    int inBatch_ = 0;
    int rangeColumn_ = -1;
    int rangeValueColumn_ = -1;
    State state_ = State::Before;
    bool lastHandedOut_ = false;
    bool startFound_ = false;
    long position_ = -1;
};

std::int64_t CountRecords(db::Database& db)
{
    db::Statement st = db.prepare("SELECT count(*) FROM Device");
    st.step();
    return st.columnInt(0);
}

// Shows each message id once: a disk that is full fails every later
// write too, and one box says all there is to say.
class OncePerIdSink final : public MessageSink
{
public:
    explicit OncePerIdSink(MessageSink& inner)
        : inner_(inner)
    {
    }
    void show(const UserMessage& m) override
    {
        if (m.id.empty() || shown_.insert(m.id).second)
            inner_.show(m);
    }
    bool confirm(const UserMessage& m) override { return inner_.confirm(m); }

private:
    MessageSink& inner_;
    std::set<std::string> shown_;
};

std::string SelectList(const detail::DeviceColumns& cols)
{
    std::string s;
    for (int i = 0; i < cols.count(); ++i)
        s += (i ? "," : "") + db::quoteIdent(cols.names[static_cast<std::size_t>(i)]);
    return s;
}

// A range removal on a server: the sorted walk comes through a cursor a
// batch at a time, and each batch's records go in one statement. Memory
// stays at one batch whatever the range, and the whole removal is one
// transaction, so a client killed halfway leaves every record in place.
// The cursor reads the set as it was when the walk began, as the key list
// of a file's removal does; each deleted record still makes its own
// history entry.
void RemoveOnServer(db::Database& db, const detail::DeviceColumns& cols, const Range& range,
    std::optional<db::Transaction>& tx, OperationResult& result, ProgressSink& progress)
{
    constexpr int kBatch = 10000;
    tx.emplace(db);
    RangeWalk walk(db, cols, range, "rowid", kBatch);
    db::Statement batch = db.prepare("DELETE FROM Device WHERE rowid = ANY(?1::int8[])");
    db::Statement one = db.prepare("DELETE FROM Device WHERE rowid = ?1");
    std::vector<std::int64_t> ids;
    auto remove = [&] {
        if (ids.empty())
            return;
        std::string array = "{";
        for (const std::int64_t id : ids)
            array += (array.size() > 1 ? "," : "") + std::to_string(id);
        batch.bind(1, db::Value(array + "}"));
        try {
            batch.step();
            batch.reset();
            result.processed += static_cast<std::int64_t>(ids.size());
        } catch (const db::Error&) {
            // Refused as a whole (another tool's rule): one by one, so that
            // the records before the refused one go, as on a file.
            batch.reset();
            for (const std::int64_t id : ids) {
                one.bind(1, id);
                one.step();
                one.reset();
                ++result.processed;
            }
        }
        ids.clear();
        progress.setValue(result.processed);
    };
    while (walk.next()) {
        ids.push_back(walk.row().columnInt(0));
        walk.processed();
        if (ids.size() >= static_cast<std::size_t>(kBatch))
            remove();
    }
    if (!walk.startFound()) {
        tx.reset(); // nothing was removed
        throw std::runtime_error("No record has the start value " + range.startValue);
    }
    remove();
    tx->commit();
    tx.reset();
}

} // namespace

RangeLocation LocateRange(const std::string& eidFile, const Range& range)
{
    db::Database db = db::Database::open(eidFile, db::OpenMode::Exclusive);
    const detail::DeviceColumns cols = detail::ReadDeviceColumns(db);
    const std::string rangeCol
        = db::quoteIdent(cols.names[static_cast<std::size_t>(cols.ordinal(range.field))]);
    const std::string sortCol
        = db::quoteIdent(cols.names[static_cast<std::size_t>(cols.ordinal(range.sortField))]);
    db::Statement st
        = db.prepare("SELECT " + rangeCol + " FROM Device ORDER BY " + sortCol + " COLLATE NOCASE, rowid");
    RangeLocation loc;
    for (long pos = 0; st.step(); ++pos) {
        const std::string_view v = detail::ColumnText(st, 0);
        if (loc.start < 0) {
            if (text::equalsIgnoreCase(v, range.startValue)) {
                loc.start = pos;
                loc.startIsEnd = text::equalsIgnoreCase(v, range.endValue);
            }
        } else if (text::equalsIgnoreCase(v, range.endValue)) {
            loc.end = pos;
            break;
        }
    }
    return loc;
}

RangeCheck CheckRangeConditions(const std::string& eidFile, Operation operation, const Range& range,
    MessageSink& messages, std::string* description)
{
    if (operation == Operation::Import)
        return RangeCheck::Found;
    RangeLocation loc;
    try {
        loc = LocateRange(eidFile, range);
    } catch (const std::exception& e) {
        if (description)
            *description = e.what();
        return RangeCheck::Failed;
    }
    if (loc.start < 0) {
        messages.show({ MessageKind::Information, msg::kStartNotFound[0], Text(msg::kStartNotFound), {} });
        return RangeCheck::StartMissing;
    }
    if (loc.end >= 0)
        return RangeCheck::Found;
    const UserMessage question { MessageKind::Question, msg::kEndNotFound[0],
        Text(msg::kEndNotFound) + "\n" + Text(msg::kUseEndOfDatabase), {} };
    return messages.confirm(question) ? RangeCheck::ToEndOfSet : RangeCheck::EndRefused;
}

OperationResult ExportTextFile(const ExportOptions& options, MessageSink& messages, ProgressSink& progress)
{
    OperationResult result;
    OncePerIdSink once(messages);
    TextFile out(once); // closes before the database
    db::Database db;
    try {
        db = db::Database::open(options.eidFile, db::OpenMode::Exclusive);
        const detail::DeviceColumns cols = detail::ReadDeviceColumns(db);
        const Delimiter delim = ResolveDelimiter(options.delimiterText);
        const std::int64_t total = CountRecords(db);
        RangeWalk walk(db, cols, options.range, SelectList(cols));

        progress.setCaption(Text(msg::kExporting));
        progress.setRange(0, total);
        progress.setValue(0);
        if (!out.OpenTextForOutput(options.textFile)) {
            result.failure = "Can't create file: " + options.textFile + ": " + out.errorDescription();
            return result;
        }
        const int c = cols.count();
        std::string line;
        while (walk.next()) {
            progress.setValue(walk.position() + 1);
            line.clear();
            for (int i = 0; i < c; ++i) {
                if (i)
                    line += delim.character;
                line += detail::ColumnText(walk.row(), i);
            }
            line += "\r\n";
            out.WriteText(line);
            ++result.processed;
            walk.processed();
        }
        out.CloseTextFile(false);
        if (options.range.enabled() && !walk.startFound()) {
            result.failure = "No record has the start value " + options.range.startValue;
            return result;
        }
        result.completed = true;
    } catch (const std::exception& e) {
        result.failure = e.what();
    }
    return result;
}

OperationResult RemoveRecords(const RemoveOptions& options, ProgressSink& progress)
{
    OperationResult result;
    db::Database db;
    std::optional<db::Transaction> tx;
    try {
        db = db::Database::open(options.eidFile, db::OpenMode::Exclusive);
        const detail::DeviceColumns cols = detail::ReadDeviceColumns(db);
        detail::UseBulkCache(db);
        const std::int64_t total = CountRecords(db);
        progress.setCaption(Text(msg::kDeleting));
        progress.setRange(0, total);
        progress.setValue(0);

        if (!options.range.enabled()) {
            db::Statement all = db.prepare("DELETE FROM Device");
            all.step();
            result.processed = db.changes();
            progress.setValue(total);
            result.completed = true;
            return result;
        }

        if (db.backend() == db::Backend::Server) {
            RemoveOnServer(db, cols, options.range, tx, result, progress);
            result.completed = true;
            return result;
        }

        // The keys of the range first, then the deletions: deleting under a
        // running sorted scan would disturb it. Each deletion is one probe
        // of the row id, so a range of n records costs n log n.
        std::vector<sqlite3_int64> ids;
        {
            RangeWalk walk(db, cols, options.range, "rowid");
            while (walk.next()) {
                ids.push_back(walk.row().columnInt(0));
                walk.processed();
            }
            if (!walk.startFound()) {
                result.failure = "No record has the start value " + options.range.startValue;
                return result;
            }
        }
        // In row-id order the deletions walk the table's pages once.
        std::sort(ids.begin(), ids.end());
        db::Statement del = db.prepare("DELETE FROM Device WHERE rowid = ?1");
        tx.emplace(db);
        for (sqlite3_int64 id : ids) {
            del.bind(1, static_cast<std::int64_t>(id));
            del.step();
            del.reset();
            ++result.processed;
            progress.setValue(result.processed);
        }
        tx->commit();
        tx.reset();
        result.completed = true;
    } catch (const std::exception& e) {
        detail::KeepWorkDone(tx); // deletions made before the failure stay made
        result.failure = e.what();
    }
    return result;
}

std::int64_t CountRecordsToRemove(const RemoveOptions& options)
{
    db::Database db = db::Database::open(options.eidFile, db::OpenMode::Shared);
    if (!options.range.enabled())
        return CountRecords(db);
    // The same walk the removal makes, so the count is the removal's.
    const detail::DeviceColumns cols = detail::ReadDeviceColumns(db);
    RangeWalk walk(db, cols, options.range, "rowid");
    std::int64_t count = 0;
    while (walk.next()) {
        ++count;
        walk.processed();
    }
    return walk.startFound() ? count : 0;
}

UserMessage RemovalQuestion(const RemoveOptions& options, std::int64_t count)
{
    UserMessage m;
    m.kind = MessageKind::Question;
    m.noByDefault = true;
    const std::string name = std::filesystem::path(options.eidFile).filename().string();
    if (options.range.enabled()) {
        m.id = "916002";
        m.text = FormatMessage("Delete %1 records (%3 from \"%4\" to \"%5\") from %2?", "916002",
            { GroupedCount(count), name, options.range.field, options.range.startValue, options.range.endValue });
    } else {
        m.id = "916001";
        m.text = FormatMessage("Delete all %1 records from %2?", "916001", { GroupedCount(count), name });
    }
    return m;
}

} // namespace rav::eid
