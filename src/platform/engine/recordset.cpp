#include "recordset.h"

#include "connection.h"
#include "dialect.h"
#include "textcodec.h"

#include <algorithm>
#include <unordered_map>

namespace rav::db
{

namespace
{

// Counts of live rows over the key set, so that positions stay O(log n)
// while removed rows leave holes in the key vector.
class Fenwick
{
public:
    void build(std::size_t n)
    {
        // Every slot starts live: node k covers (k - lowbit(k), k].
        t_.assign(n + 1, 0);
        for (std::size_t k = 1; k <= n; ++k)
            t_[k] = static_cast<int>(k & (~k + 1));
    }
    void append()
    {
        // The new node covers (k - lowbit(k), k]; all but slot k are counted already.
        const std::size_t k = t_.size();
        const std::size_t low = k & (~k + 1);
        t_.push_back(static_cast<int>(1 + prefix(k - 1) - prefix(k - low)));
    }
    void add(std::size_t i, int delta)
    {
        for (std::size_t k = i + 1; k < t_.size(); k += k & (~k + 1))
            t_[k] += delta;
    }
    // Live rows among the first n slots.
    long prefix(std::size_t n) const
    {
        long s = 0;
        for (std::size_t k = n; k > 0; k -= k & (~k + 1))
            s += t_[k];
        return s;
    }
    // Slot of the live row with 0-based rank p (p < live count).
    std::size_t select(long p) const
    {
        std::size_t pos = 0;
        std::size_t step = 1;
        while (step * 2 < t_.size())
            step *= 2;
        long remaining = p + 1;
        for (; step > 0; step /= 2) {
            if (pos + step < t_.size() && t_[pos + step] < remaining) {
                pos += step;
                remaining -= t_[pos];
            }
        }
        return pos; // slot index = (1-based node pos + 1) - 1
    }

private:
    std::vector<int> t_;
};

enum class Cursor {
    Both, // empty set as opened: BOF and EOF at once
    Bof,
    Row,
    Eof,
    Gone, // on a row removed through this set
};

// How many rows a find in row id order may skip because they are not in
// this set before it falls back to the position map.
constexpr int kMaxSkippedMatches = 32;

} // namespace

struct Recordset::Impl {
    std::shared_ptr<Connection> conn;
    TableDef def; // the table as it was when the set opened
    std::vector<int> columns; // table ordinal of each field of the set
    std::vector<FieldInfo> fields; // name and size of each field of the set
    std::string keysetSql;
    std::vector<Value> keysetParams;
    std::string readSql; // every table column of one row by row id

    std::vector<sqlite3_int64> keys; // row ids in the query's order; removed rows stay as holes
    std::vector<char> live; // 1 while keys[i] is in the set
    Fenwick counts;
    long liveCount = 0;
    bool keysAscending = true; // keys sorted by row id: finds may walk the table in row id order
    std::unordered_map<sqlite3_int64, std::size_t> slotOf; // filled on demand when !keysAscending
    bool slotOfReady = false;

    Cursor cursor = Cursor::Both;
    std::size_t slot = 0; // valid in Row and Gone
    bool noMatch = false;
    long lastModifiedSlot = -1;

    EditMode mode = EditMode::None;
    std::vector<Value> buffer; // one per table column while editing
    std::vector<char> dirty;
    sqlite3_int64 editRowid = 0;

    // Records of a server table carry a version: a save or a deletion is
    // made only if the record still has the version last read, else it is
    // refused with the differences (ConflictError).
    bool versioned = false;
    std::unordered_map<sqlite3_int64, sqlite3_int64> seenVersion; // row id -> version last read
    std::vector<Value> editOriginal; // the record as read when edit() began

    // One-row cache: values of every table column of `cachedRowid`, valid
    // while this connection has written nothing since (`cachedStamp`), so a
    // change made through another record set is seen at once.
    bool cacheValid = false;
    bool cachedExists = false;
    sqlite3_int64 cachedRowid = 0;
    sqlite3_int64 cachedStamp = 0;
    std::vector<Value> cachedRow;

    Connection& c() const
    {
        conn->requireOpen();
        return *conn;
    }

    void loadKeys()
    {
        keys.clear();
        {
            CachedStatement q(c(), keysetSql);
            q.bindAll(keysetParams);
            while (q.step("cannot read the record set"))
                keys.push_back(q.integer(0));
        }
        live.assign(keys.size(), 1);
        counts.build(keys.size());
        liveCount = static_cast<long>(keys.size());
        keysAscending = std::is_sorted(keys.begin(), keys.end());
        slotOf.clear();
        slotOfReady = false;
        cursor = keys.empty() ? Cursor::Both : Cursor::Row;
        slot = 0;
        noMatch = false;
        mode = EditMode::None;
        lastModifiedSlot = -1;
        cacheValid = false;
    }

    bool fetch(sqlite3_int64 rowid)
    {
        if (cacheValid && cachedRowid == rowid && cachedStamp == conn->totalChanges())
            return cachedExists;
        CachedStatement q(c(), readSql);
        q.bind(1, rowid);
        cachedRow.assign(def.fields.size(), std::nullopt);
        cachedExists = q.step("cannot read a record");
        if (cachedExists) {
            for (std::size_t i = 0; i < def.fields.size(); ++i)
                cachedRow[i] = q.text(static_cast<int>(i));
            if (versioned)
                seenVersion[rowid] = q.integer(static_cast<int>(def.fields.size()));
        }
        cachedRowid = rowid;
        cachedStamp = conn->totalChanges();
        cacheValid = true;
        return cachedExists;
    }

    void leaveEdit() { mode = EditMode::None; }

    void goTo(std::size_t s)
    {
        leaveEdit();
        cursor = Cursor::Row;
        slot = s;
    }

    // Slot of the first live row after slot s, or none.
    std::optional<std::size_t> liveAfter(std::size_t s) const
    {
        const long before = counts.prefix(s + 1);
        if (before >= liveCount)
            return std::nullopt;
        return counts.select(before);
    }
    std::optional<std::size_t> liveBefore(std::size_t s) const
    {
        const long before = counts.prefix(s);
        if (before == 0)
            return std::nullopt;
        return counts.select(before - 1);
    }

    void appendKey(sqlite3_int64 rowid)
    {
        if (!keys.empty() && rowid <= keys.back())
            keysAscending = false;
        keys.push_back(rowid);
        live.push_back(1);
        counts.append();
        ++liveCount;
        if (slotOfReady)
            slotOf[rowid] = keys.size() - 1;
    }

    int fieldOrdinal(std::string_view name) const
    {
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (text::equalsIgnoreCase(fields[i].name, name))
                return static_cast<int>(i);
        return -1;
    }

    int requireOrdinal(std::string_view name) const
    {
        const int i = fieldOrdinal(name);
        if (i < 0)
            throw Error("the record set has no field [" + std::string(name) + "]");
        return i;
    }

    void requireField(int ordinal) const
    {
        if (ordinal < 0 || ordinal >= static_cast<int>(fields.size()))
            throw Error("field ordinal " + std::to_string(ordinal) + " out of range (the set has "
                + std::to_string(fields.size()) + " fields)");
    }

    std::size_t currentSlot() const
    {
        if (cursor == Cursor::Gone)
            throw Error("the current record was deleted");
        if (cursor != Cursor::Row)
            throw Error("no current record");
        return slot;
    }

    [[noreturn]] void conflict(sqlite3_int64 rowid, const std::vector<Value>* mine);

    bool find(std::string_view criteria, bool forward, bool fromEnd);
    bool findInRowidOrder(const dialect::Condition& cond, std::size_t start, bool forward);
    bool findBySlotMap(const dialect::Condition& cond, std::size_t start, bool forward);
};

// Someone else saved or deleted the record since we read it: the refusal
// names each field that differs among what we would save (`mine`, null for
// a deletion), what the record holds now and what we read.
void Recordset::Impl::conflict(sqlite3_int64 rowid, const std::vector<Value>* mine)
{
    const std::vector<Value> original = mine ? editOriginal : cachedRow;
    cacheValid = false;
    const bool exists = fetch(rowid);
    std::vector<ConflictError::Field> fields;
    std::string detail;
    for (std::size_t i = 0; i < def.fields.size(); ++i) {
        ConflictError::Field f { def.fields[i].name, mine ? (*mine)[i] : std::nullopt,
            exists ? cachedRow[i] : std::nullopt, i < original.size() ? original[i] : std::nullopt };
        if (exists && f.theirs == f.original && (!mine || f.mine == f.original))
            continue;
        auto show = [](const Value& v) { return v ? "\"" + *v + "\"" : std::string("Null"); };
        detail += (detail.empty() ? "" : "; ") + f.name + ": " + (mine ? "mine " + show(f.mine) + ", " : "")
            + "theirs " + (exists ? show(f.theirs) : std::string("(deleted)")) + ", original " + show(f.original);
        fields.push_back(std::move(f));
    }
    const std::string what = mine ? "save" : "deletion";
    throw ConflictError(what + " refused: " + (exists ? "someone else changed the record since it was read" : "someone else deleted the record since it was read") + (detail.empty() ? "" : " (" + detail + ")"),
        std::move(fields), !exists);
}

bool Recordset::Impl::find(std::string_view criteria, bool forward, bool fromEnd)
{
    const dialect::Condition cond = dialect::parseCriteria(criteria, def, conn->backend);
    leaveEdit();
    // First slot to examine (inclusive) in the direction of the search.
    std::optional<std::size_t> start;
    if (!keys.empty()) {
        if (fromEnd) {
            start = forward ? 0 : keys.size() - 1;
        } else if (forward) {
            if (cursor == Cursor::Bof || cursor == Cursor::Both)
                start = 0;
            else if (cursor == Cursor::Row && slot + 1 < keys.size())
                start = slot + 1;
            else if (cursor == Cursor::Gone)
                start = slot; // a hole, skipped by the search
        } else {
            if (cursor == Cursor::Eof)
                start = keys.size() - 1;
            else if ((cursor == Cursor::Row || cursor == Cursor::Gone) && slot > 0)
                start = slot - 1;
        }
    }
    bool found = false;
    if (start && liveCount > 0)
        found
            = keysAscending ? findInRowidOrder(cond, *start, forward) : findBySlotMap(cond, *start, forward);
    noMatch = !found;
    return found;
}

// The key set is in row id order, so the first match in the set is the first
// match in the table at or after the start key that is still in the set. An
// indexed criteria makes that one index look-up.
bool Recordset::Impl::findInRowidOrder(const dialect::Condition& cond, std::size_t start, bool forward)
{
    std::string sql = "SELECT rowid";
    for (const auto& f : def.fields)
        sql += ", " + quoteIdent(f.name);
    if (versioned)
        sql += ", rav_version";
    sql += " FROM " + quoteIdent(def.name) + (forward ? " WHERE rowid >= ?" : " WHERE rowid <= ?") + " AND ("
        + cond.sql + ") ORDER BY rowid" + (forward ? "" : " DESC") + " LIMIT 1";
    sqlite3_int64 bound = keys[start];
    for (int attempt = 0; attempt < kMaxSkippedMatches; ++attempt) {
        CachedStatement q(c(), sql);
        q.bind(1, bound);
        q.bindAll(cond.params, 2);
        if (!q.step("find failed"))
            return false;
        const sqlite3_int64 rowid = q.integer(0);
        const auto it = std::lower_bound(keys.begin(), keys.end(), rowid);
        if (it != keys.end() && *it == rowid) {
            const auto s = static_cast<std::size_t>(it - keys.begin());
            const bool inRange = forward ? s >= start : s <= start;
            if (live[s] && inRange) {
                cachedRow.assign(def.fields.size(), std::nullopt);
                for (std::size_t i = 0; i < def.fields.size(); ++i)
                    cachedRow[i] = q.text(static_cast<int>(i) + 1);
                if (versioned)
                    seenVersion[rowid] = q.integer(static_cast<int>(def.fields.size()) + 1);
                cachedRowid = rowid;
                cachedStamp = conn->totalChanges();
                cachedExists = true;
                cacheValid = true;
                goTo(s);
                return true;
            }
        }
        // A match that is not in this set (added elsewhere, or filtered out
        // when the set opened): look past it.
        if (forward ? rowid == INT64_MAX : rowid == INT64_MIN)
            return false;
        bound = forward ? rowid + 1 : rowid - 1;
    }
    return findBySlotMap(cond, start, forward);
}

bool Recordset::Impl::findBySlotMap(const dialect::Condition& cond, std::size_t start, bool forward)
{
    if (!slotOfReady) {
        slotOf.clear();
        slotOf.reserve(keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
            slotOf.emplace(keys[i], i);
        slotOfReady = true;
    }
    CachedStatement q(c(), "SELECT rowid FROM " + quoteIdent(def.name) + " WHERE " + cond.sql);
    q.bindAll(cond.params);
    std::optional<std::size_t> best;
    while (q.step("find failed")) {
        const auto it = slotOf.find(q.integer(0));
        if (it == slotOf.end() || !live[it->second])
            continue;
        const std::size_t s = it->second;
        if (forward ? (s >= start && (!best || s < *best)) : (s <= start && (!best || s > *best)))
            best = s;
    }
    if (!best)
        return false;
    goTo(*best);
    return true;
}

// ---- opening -------------------------------------------------------------------

Recordset Database::openRecordset(std::string_view tableNameOrSql)
{
    if (!conn_)
        throw Error("the database is closed");
    Connection& c = *conn_;
    c.requireOpen();
    Recordset rs;
    rs.d_ = std::make_unique<Recordset::Impl>();
    Recordset::Impl& r = *rs.d_;
    r.conn = conn_;
    std::string where, order;
    if (dialect::isSelect(tableNameOrSql)) {
        auto plan = dialect::parseSelect(
            tableNameOrSql, [&c](const std::string& n) -> const TableDef& { return c.tableDef(n); }, c.backend);
        r.def = c.tableDef(plan.table);
        r.columns = std::move(plan.columns);
        where = std::move(plan.where.sql);
        r.keysetParams = std::move(plan.where.params);
        order = std::move(plan.orderBy);
    } else {
        std::string name = text::trimBlanks(tableNameOrSql);
        if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
            name = name.substr(1, name.size() - 2);
        r.def = c.tableDef(name);
        for (int k = 0; k < static_cast<int>(r.def.fields.size()); ++k)
            r.columns.push_back(k);
    }
    for (const int k : r.columns)
        r.fields.push_back(FieldInfo {
            r.def.fields[static_cast<std::size_t>(k)].name, r.def.fields[static_cast<std::size_t>(k)].size });
    const std::string table = quoteIdent(r.def.name);
    // Ties of the sort keys fall back to row id order, so the order of a set
    // is the same every time it is opened.
    r.keysetSql = "SELECT rowid FROM " + table + (where.empty() ? "" : " WHERE " + where) + " ORDER BY "
        + (order.empty() ? "" : order + ", ") + "rowid";
    r.versioned = c.backend == Backend::Server && server::versioned(c, r.def.name);
    r.readSql = "SELECT ";
    for (std::size_t i = 0; i < r.def.fields.size(); ++i)
        r.readSql += (i ? ", " : "") + quoteIdent(r.def.fields[i].name);
    r.readSql += std::string(r.versioned ? ", rav_version" : "") + " FROM " + table + " WHERE rowid = ?";
    r.loadKeys();
    return rs;
}

// ---- Recordset -----------------------------------------------------------------

Recordset::Recordset() = default;
Recordset::~Recordset() = default;
Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;

Recordset::Impl& Recordset::impl() const
{
    if (!d_)
        throw Error("the record set is closed");
    d_->conn->requireOpen();
    return *d_;
}

bool Recordset::isOpen() const
{
    return d_ && d_->conn->isOpen();
}
void Recordset::close()
{
    d_.reset();
}
const std::string& Recordset::tableName() const
{
    return impl().def.name;
}

bool Recordset::bof() const
{
    const auto& r = impl();
    return r.cursor == Cursor::Bof || r.cursor == Cursor::Both;
}

bool Recordset::eof() const
{
    const auto& r = impl();
    return r.cursor == Cursor::Eof || r.cursor == Cursor::Both;
}

void Recordset::moveFirst()
{
    auto& r = impl();
    r.leaveEdit();
    if (r.liveCount == 0) {
        r.cursor = Cursor::Both;
        return;
    }
    r.goTo(r.counts.select(0));
}

void Recordset::moveLast()
{
    auto& r = impl();
    r.leaveEdit();
    if (r.liveCount == 0) {
        r.cursor = Cursor::Both;
        return;
    }
    r.goTo(r.counts.select(r.liveCount - 1));
}

void Recordset::moveNext()
{
    auto& r = impl();
    r.leaveEdit();
    switch (r.cursor) {
    case Cursor::Both:
    case Cursor::Bof:
        if (r.liveCount > 0)
            r.goTo(r.counts.select(0));
        else
            r.cursor = Cursor::Eof;
        break;
    case Cursor::Row:
    case Cursor::Gone:
        if (auto s = r.liveAfter(r.slot))
            r.goTo(*s);
        else
            r.cursor = Cursor::Eof;
        break;
    case Cursor::Eof:
        break;
    }
}

void Recordset::movePrevious()
{
    auto& r = impl();
    r.leaveEdit();
    switch (r.cursor) {
    case Cursor::Both:
    case Cursor::Eof:
        if (r.liveCount > 0)
            r.goTo(r.counts.select(r.liveCount - 1));
        else
            r.cursor = Cursor::Bof;
        break;
    case Cursor::Row:
    case Cursor::Gone:
        if (auto s = r.liveBefore(r.slot))
            r.goTo(*s);
        else
            r.cursor = Cursor::Bof;
        break;
    case Cursor::Bof:
        break;
    }
}

long Recordset::recordCount() const
{
    return impl().liveCount;
}

long Recordset::absolutePosition() const
{
    const auto& r = impl();
    return r.cursor == Cursor::Row ? r.counts.prefix(r.slot) : -1;
}

bool Recordset::setAbsolutePosition(long position)
{
    auto& r = impl();
    if (position < 0 || position >= r.liveCount)
        return false;
    r.goTo(r.counts.select(position));
    return true;
}

bool Recordset::findFirst(std::string_view criteria)
{
    return impl().find(criteria, true, true);
}
bool Recordset::findNext(std::string_view criteria)
{
    return impl().find(criteria, true, false);
}
bool Recordset::findPrevious(std::string_view criteria)
{
    return impl().find(criteria, false, false);
}
bool Recordset::findLast(std::string_view criteria)
{
    return impl().find(criteria, false, true);
}
bool Recordset::noMatch() const
{
    return impl().noMatch;
}

void Recordset::addNew()
{
    auto& r = impl();
    r.mode = EditMode::AddNew;
    r.buffer.assign(r.def.fields.size(), std::nullopt);
    r.dirty.assign(r.def.fields.size(), 0);
}

void Recordset::edit()
{
    auto& r = impl();
    const std::size_t s = r.currentSlot();
    if (!r.fetch(r.keys[s]))
        throw Error("the current record was deleted");
    r.mode = EditMode::Edit;
    r.buffer = r.cachedRow;
    r.editOriginal = r.cachedRow;
    r.dirty.assign(r.def.fields.size(), 0);
    r.editRowid = r.keys[s];
}

void Recordset::update()
{
    auto& r = impl();
    Connection& c = r.c();
    const std::string table = quoteIdent(r.def.name);
    if (r.mode == EditMode::None)
        throw Error("update without addNew or edit");
    if (r.mode == EditMode::AddNew) {
        for (std::size_t i = 0; i < r.def.fields.size(); ++i)
            if (r.def.fields[i].required && !r.buffer[i])
                throw Error("field " + r.def.fields[i].name + " cannot be Null");
        std::string cols, marks;
        std::vector<Value> values;
        for (std::size_t i = 0; i < r.def.fields.size(); ++i)
            if (r.dirty[i]) {
                cols += (cols.empty() ? "" : ", ") + quoteIdent(r.def.fields[i].name);
                marks += marks.empty() ? "?" : ", ?";
                values.push_back(r.buffer[i]);
            }
        const std::string sql = cols.empty()
            ? "INSERT INTO " + table + " DEFAULT VALUES"
            : "INSERT INTO " + table + " (" + cols + ") VALUES (" + marks + ")";
        {
            CachedStatement q(c, sql);
            q.bindAll(values);
            q.step("cannot add the record");
        }
        r.appendKey(c.lastInsertRowid());
        r.lastModifiedSlot = static_cast<long>(r.keys.size() - 1);
    } else {
        std::string sets;
        std::vector<Value> values;
        for (std::size_t i = 0; i < r.def.fields.size(); ++i)
            if (r.dirty[i]) {
                if (r.def.fields[i].required && !r.buffer[i])
                    throw Error("field " + r.def.fields[i].name + " cannot be Null");
                sets += (sets.empty() ? "" : ", ") + quoteIdent(r.def.fields[i].name) + " = ?";
                values.push_back(r.buffer[i]);
            }
        if (!sets.empty()) {
            const auto seen = r.seenVersion.find(r.editRowid);
            const bool checked = r.versioned && seen != r.seenVersion.end();
            bool saved = false;
            {
                CachedStatement q(c,
                    "UPDATE " + table + " SET " + sets + " WHERE rowid = ?"
                        + (checked ? " AND rav_version = ?" : ""));
                q.bindAll(values);
                q.bind(static_cast<int>(values.size()) + 1, r.editRowid);
                if (checked)
                    q.bind(static_cast<int>(values.size()) + 2, seen->second);
                q.step("cannot save the record");
                saved = c.changes() != 0;
            }
            if (!saved && checked)
                r.conflict(r.editRowid, &r.buffer);
            if (!saved)
                throw Error("the record being edited was deleted");
            if (checked)
                ++seen->second; // our own save raised it by one
        }
        r.lastModifiedSlot = static_cast<long>(r.slot);
        r.cacheValid = false;
    }
    r.mode = EditMode::None;
}

void Recordset::cancelUpdate()
{
    impl().leaveEdit();
}

void Recordset::remove()
{
    auto& r = impl();
    const std::size_t s = r.currentSlot();
    r.leaveEdit();
    {
        const auto seen = r.seenVersion.find(r.keys[s]);
        const bool checked = r.versioned && seen != r.seenVersion.end();
        bool deleted = false;
        {
            CachedStatement q(r.c(),
                "DELETE FROM " + quoteIdent(r.def.name) + " WHERE rowid = ?" + (checked ? " AND rav_version = ?" : ""));
            q.bind(1, r.keys[s]);
            if (checked)
                q.bind(2, seen->second);
            q.step("cannot delete the record");
            deleted = r.c().changes() != 0;
        }
        if (!deleted && checked) {
            // What the user saw is the record as last read.
            if (r.cachedRowid != r.keys[s])
                r.cachedRow.assign(r.def.fields.size(), std::nullopt);
            r.conflict(r.keys[s], nullptr);
        }
    }
    r.live[s] = 0;
    r.counts.add(s, -1);
    --r.liveCount;
    r.cursor = Cursor::Gone;
    r.cacheValid = false;
}

EditMode Recordset::editMode() const
{
    return impl().mode;
}

long Recordset::lastModifiedPosition() const
{
    const auto& r = impl();
    if (r.lastModifiedSlot < 0 || !r.live[static_cast<std::size_t>(r.lastModifiedSlot)])
        return -1;
    return r.counts.prefix(static_cast<std::size_t>(r.lastModifiedSlot));
}

int Recordset::fieldCount() const
{
    return static_cast<int>(impl().fields.size());
}

const FieldInfo& Recordset::fieldInfo(int ordinal) const
{
    const auto& r = impl();
    r.requireField(ordinal);
    return r.fields[static_cast<std::size_t>(ordinal)];
}

int Recordset::fieldIndex(std::string_view name) const
{
    return impl().fieldOrdinal(name);
}

FieldRef Recordset::field(int ordinal)
{
    impl().requireField(ordinal);
    return FieldRef(this, ordinal);
}

FieldRef Recordset::field(std::string_view name)
{
    return FieldRef(this, impl().requireOrdinal(name));
}

Value Recordset::value(int ordinal) const
{
    auto& r = impl();
    r.requireField(ordinal);
    const auto col = static_cast<std::size_t>(r.columns[static_cast<std::size_t>(ordinal)]);
    if (r.mode != EditMode::None)
        return r.buffer[col];
    const std::size_t s = r.currentSlot();
    if (!r.fetch(r.keys[s]))
        throw Error("the current record was deleted");
    return r.cachedRow[col];
}

Value Recordset::value(std::string_view name) const
{
    return value(impl().requireOrdinal(name));
}

void Recordset::setValue(int ordinal, Value v)
{
    auto& r = impl();
    r.requireField(ordinal);
    if (r.mode == EditMode::None)
        throw Error("field " + r.fields[static_cast<std::size_t>(ordinal)].name
            + " cannot be set: call edit() or addNew() first");
    const auto col = static_cast<std::size_t>(r.columns[static_cast<std::size_t>(ordinal)]);
    FieldDef rules = r.def.fields[col];
    rules.required = false; // Null-ness is checked when the record is saved
    checkValue(rules, v);
    r.buffer[col] = std::move(v);
    r.dirty[col] = 1;
}

void Recordset::setValue(std::string_view name, Value v)
{
    setValue(impl().requireOrdinal(name), std::move(v));
}

std::vector<Value> Recordset::rowAt(long position) const
{
    auto& r = impl();
    if (position < 0 || position >= r.liveCount)
        throw Error("position " + std::to_string(position) + " is outside the record set ("
            + std::to_string(r.liveCount) + " records)");
    const std::size_t s = r.counts.select(position);
    std::vector<Value> out(r.fields.size());
    if (r.fetch(r.keys[s]))
        for (std::size_t i = 0; i < r.fields.size(); ++i)
            out[i] = r.cachedRow[static_cast<std::size_t>(r.columns[i])];
    return out;
}

void Recordset::requery()
{
    impl().loadKeys();
}

// ---- FieldRef ------------------------------------------------------------------

const std::string& FieldRef::name() const
{
    return rs_->fieldInfo(ordinal_).name;
}
int FieldRef::size() const
{
    return rs_->fieldInfo(ordinal_).size;
}
Value FieldRef::value() const
{
    return rs_->value(ordinal_);
}
void FieldRef::setValue(Value v) const
{
    rs_->setValue(ordinal_, std::move(v));
}

} // namespace rav::db
