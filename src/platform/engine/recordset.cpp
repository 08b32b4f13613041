#include "recordset.h"

#include "connection.h"
#include "dialect.h"
#include "textcodec.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <variant>

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

// How many matches a find may pass over because they stand elsewhere in
// this set (rows moved by an edit through it) before it gives up.
constexpr int kMaxSkippedMatches = 32;

// Row ids are read a page at a time, when a position on the page is first
// needed; a set over a million rows opens with one count and one page.
constexpr std::size_t kPageRows = 256;
constexpr sqlite3_int64 kMissing = INT64_MIN;

struct SortKey {
    std::string column; // quoted field name, or rowid
    int field = -1; // table ordinal; -1: the row id
    bool descending = false;
    bool nullable = false;
    std::size_t value = 0; // index into Anchor::values (fields only)
};

// A row's place in the set's order: its row id and its sort fields' values.
struct Anchor {
    sqlite3_int64 rowid = 0;
    std::vector<Value> values;
};

struct Page {
    std::vector<sqlite3_int64> rowids; // one per slot; kMissing: gone when the page was read
    std::optional<Anchor> first, last; // the first and last rows present
};

using Param = std::variant<Value, sqlite3_int64>;

// A condition and its parameters in the order they appear; "1" and "0"
// stand for true and false until combined away.
struct Expr {
    std::string sql;
    std::vector<Param> params;
};

Expr both(Expr a, Expr b)
{
    if (a.sql == "1" || b.sql == "0")
        return b;
    if (b.sql == "1" || a.sql == "0")
        return a;
    a.sql = a.sql + " AND " + b.sql;
    a.params.insert(a.params.end(), b.params.begin(), b.params.end());
    return a;
}

Expr either(Expr a, Expr b)
{
    if (a.sql == "0" || b.sql == "1")
        return b;
    if (b.sql == "0" || a.sql == "1")
        return a;
    a.sql = "(" + a.sql + " OR " + b.sql + ")";
    a.params.insert(a.params.end(), b.params.begin(), b.params.end());
    return a;
}

void bindParams(CachedStatement& q, const std::vector<Param>& params)
{
    int i = 1;
    for (const Param& p : params) {
        if (const auto* v = std::get_if<Value>(&p))
            q.bind(i++, *v);
        else
            q.bind(i++, std::get<sqlite3_int64>(p));
    }
}

} // namespace

struct Recordset::Impl {
    std::shared_ptr<Connection> conn;
    TableDef def; // the table as it was when the set opened
    std::vector<int> columns; // table ordinal of each field of the set
    std::vector<FieldInfo> fields; // name and size of each field of the set
    std::string table; // quoted name
    std::string where; // the query's condition, empty for none
    std::vector<Value> whereParams;
    std::vector<SortKey> order; // the query's sort keys, ties broken by row id
    std::string rowColumns; // every table column, then the version where records carry one

    // Slots 0..base-1 are the rows the query had when the set opened, in
    // its order, read page by page; later slots are the rows added through
    // the set. Rows added elsewhere later have greater row ids than
    // maxRowid and stay out, as in a key set taken at once. Removed rows
    // stay as holes.
    std::size_t base = 0;
    sqlite3_int64 maxRowid = 0;
    std::vector<std::unique_ptr<Page>> pages;
    std::vector<sqlite3_int64> added;
    std::unordered_map<sqlite3_int64, std::size_t> pinned; // rows written through the set -> slot
    std::vector<char> live; // 1 while the slot's row is in the set
    Fenwick counts;
    long liveCount = 0;

    Cursor cursor = Cursor::Both;
    std::size_t slot = 0; // valid in Row (when slotKnown) and Gone
    bool slotKnown = true; // a find lands on a row before its position is worked out
    sqlite3_int64 rowid = 0; // the current row in Row
    std::optional<Anchor> goneAnchor; // where the row removed in Gone stood
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
    // The rows rowsAt() read last, under the same rule: a save checks the
    // version of the record the grid showed, not of one read again later.
    std::unordered_map<sqlite3_int64, std::vector<Value>> shown;
    sqlite3_int64 shownStamp = -1;

    Connection& c() const
    {
        conn->requireOpen();
        return *conn;
    }

    // ---- the order and its keys -----------------------------------------------

    std::string orderSql(bool reverse) const
    {
        std::string out;
        for (const SortKey& k : order)
            out += (out.empty() ? "" : ", ") + k.column + (k.descending != reverse ? " DESC" : "");
        return out;
    }

    std::string anchorColumns() const
    {
        std::string out = "rowid";
        for (const SortKey& k : order)
            if (k.field >= 0)
                out += ", " + k.column;
        return out;
    }

    Anchor readAnchor(const CachedStatement& q) const
    {
        Anchor a;
        a.rowid = q.integer(0);
        int col = 1;
        for (const SortKey& k : order)
            if (k.field >= 0)
                a.values.push_back(q.text(col++));
        return a;
    }

    std::optional<Anchor> anchorOf(sqlite3_int64 id)
    {
        CachedStatement q(c(), "SELECT " + anchorColumns() + " FROM " + table + " WHERE rowid = ?");
        q.bind(1, id);
        if (!q.step("cannot read a record"))
            return std::nullopt;
        return readAnchor(q);
    }

    // Key k of a row compared with the anchor's in the set's order (or its
    // reverse): strictly after, or after or equal. Nulls come first in a
    // file's ascending order and last in a server's, as each sorts them.
    Expr keyAfter(const SortKey& k, const Anchor& a, bool reverse, bool orEqual) const
    {
        const bool desc = k.descending != reverse;
        const std::string op = std::string(desc ? " <" : " >") + (orEqual ? "= ?" : " ?");
        if (k.field < 0)
            return { "rowid" + op, { a.rowid } };
        const Value& v = a.values[k.value];
        const bool nullsFirst = (conn->backend == Backend::File) != desc;
        if (!v) {
            if (orEqual)
                return nullsFirst ? Expr { "1", {} } : Expr { k.column + " IS NULL", {} };
            return nullsFirst ? Expr { k.column + " IS NOT NULL", {} } : Expr { "0", {} };
        }
        Expr e { k.column + op, { v } };
        if (k.nullable && !nullsFirst)
            e = either(std::move(e), Expr { k.column + " IS NULL", {} });
        return e;
    }

    // The rows after the anchor in the set's order (before it with
    // `reverse`), the anchor itself too with `inclusive`. Written as
    // k1 >= v1 AND (k1 > v1 OR (k2 >= v2 AND ...)) so that an index on the
    // leading key gives the range.
    Expr after(const Anchor& a, bool reverse, bool inclusive) const
    {
        Expr e = keyAfter(order.back(), a, reverse, inclusive);
        for (std::size_t i = order.size() - 1; i-- > 0;)
            e = both(keyAfter(order[i], a, reverse, true), either(keyAfter(order[i], a, reverse, false), e));
        return e;
    }

    // The query's own condition, rows added later left out, and `extra`.
    Expr members(Expr extra) const
    {
        Expr e { "rowid <= ?", { maxRowid } };
        if (!where.empty())
            e = both(Expr { "(" + where + ")", { whereParams.begin(), whereParams.end() } }, std::move(e));
        return both(std::move(e), std::move(extra));
    }

    std::string whereClause(const Expr& e) const
    {
        return e.sql == "1" ? "" : " WHERE " + (e.sql == "0" ? std::string("1 = 0") : e.sql);
    }

    // ---- pages of row ids ------------------------------------------------------

    // Rows are read a page at a time when an index gives the query's order
    // from any point on; a sort the database must make over every row is
    // made once, and all pages are read from it.
    bool readsByPage() const
    {
        return order.front().field < 0
            || leadsAnIndex(def, def.fields[static_cast<std::size_t>(order.front().field)].name);
    }

    void open()
    {
        {
            CachedStatement q(c(), "SELECT MAX(rowid) FROM " + table);
            q.step("cannot read the record set");
            maxRowid = q.integer(0);
        }
        pages.clear();
        if (readsByPage()) {
            // A count alone over a whole table is SQLite's quick count of
            // the pages' cells.
            CachedStatement q(c(), "SELECT COUNT(*) FROM " + table + (where.empty() ? "" : " WHERE " + where));
            q.bindAll(whereParams);
            q.step("cannot read the record set");
            base = static_cast<std::size_t>(q.integer(0));
            pages.resize((base + kPageRows - 1) / kPageRows);
        } else {
            readAllPages();
        }
        added.clear();
        pinned.clear();
        live.assign(base, 1);
        counts.build(base);
        liveCount = static_cast<long>(base);
        noMatch = false;
        mode = EditMode::None;
        lastModifiedSlot = -1;
        cacheValid = false;
        cursor = Cursor::Both;
        if (const auto s = slotAtRank(0))
            goTo(*s);
    }

    void readAllPages()
    {
        CachedStatement q(c(),
            "SELECT " + anchorColumns() + " FROM " + table + (where.empty() ? "" : " WHERE " + where) + " ORDER BY "
                + orderSql(false));
        q.bindAll(whereParams);
        base = 0;
        std::optional<Anchor> last;
        while (q.step("cannot read the record set")) {
            Anchor row = readAnchor(q);
            if (base % kPageRows == 0) {
                if (!pages.empty())
                    pages.back()->last = std::move(last);
                pages.push_back(std::make_unique<Page>());
                pages.back()->first = row;
            }
            pages.back()->rowids.push_back(row.rowid);
            last = std::move(row);
            ++base;
        }
        if (!pages.empty())
            pages.back()->last = std::move(last);
    }

    void dropSlot(std::size_t s)
    {
        live[s] = 0;
        counts.add(s, -1);
        --liveCount;
    }

    // Reads page p: after the last row of the page before it when that is
    // read, else before the first row of the page after it, else by offset
    // from the nearer end. A row that has gone since the set opened leaves
    // a hole at the far end of the page.
    void loadPage(std::size_t p)
    {
        const std::size_t first = p * kPageRows;
        const std::size_t n = std::min(first + kPageRows, base) - first;
        const Page* left = p > 0 ? pages[p - 1].get() : nullptr;
        const Page* right = p + 1 < pages.size() ? pages[p + 1].get() : nullptr;
        bool reverse = false;
        long offset = 0;
        std::optional<sqlite3_int64> stopAt;
        Expr range { "1", {} };
        if (left && left->last) {
            range = after(*left->last, false, false);
            if (right && right->first)
                stopAt = right->first->rowid;
        } else if (right && right->first) {
            reverse = true;
            range = after(*right->first, true, false);
        } else {
            const long front = counts.prefix(first);
            const long back = counts.prefix(base) - counts.prefix(first + n);
            reverse = back < front;
            offset = reverse ? back : front;
        }
        const Expr e = members(std::move(range));
        const std::size_t extra = std::min<std::size_t>(pinned.size(), 1024);
        CachedStatement q(c(),
            "SELECT " + anchorColumns() + " FROM " + table + whereClause(e) + " ORDER BY " + orderSql(reverse)
                + " LIMIT " + std::to_string(n + extra) + (offset ? " OFFSET " + std::to_string(offset) : ""));
        bindParams(q, e.params);
        auto page = std::make_unique<Page>();
        page->rowids.assign(n, kMissing);
        std::size_t placed = 0;
        while (placed < n && q.step("cannot read the record set")) {
            Anchor row = readAnchor(q);
            if (stopAt && row.rowid == *stopAt)
                break;
            if (pinned.count(row.rowid))
                continue; // written through this set: it keeps the place it had
            page->rowids[reverse ? n - 1 - placed : placed] = row.rowid;
            auto& near = reverse ? page->last : page->first;
            if (!near)
                near = row;
            (reverse ? page->first : page->last) = std::move(row);
            ++placed;
        }
        for (std::size_t i = 0; i < n; ++i)
            if (page->rowids[i] == kMissing)
                dropSlot(first + i);
        pages[p] = std::move(page);
    }

    // The slot's row id; its page must be read.
    sqlite3_int64 rowidAt(std::size_t s) const
    {
        return s >= base ? added[s - base] : pages[s / kPageRows]->rowids[s % kPageRows];
    }

    bool settled(std::size_t s)
    {
        if (s < base && !pages[s / kPageRows])
            loadPage(s / kPageRows);
        return live[s] != 0;
    }

    // The slot of the live row with 0-based rank `rank`, reading pages on the
    // way; none past the end.
    std::optional<std::size_t> slotAtRank(long rank)
    {
        while (rank >= 0 && rank < liveCount) {
            const std::size_t s = counts.select(rank);
            if (settled(s))
                return s;
        }
        return std::nullopt;
    }
    std::optional<std::size_t> lastSlot()
    {
        while (liveCount > 0) {
            const std::size_t s = counts.select(liveCount - 1);
            if (settled(s))
                return s;
        }
        return std::nullopt;
    }
    std::optional<std::size_t> liveAfter(std::size_t s) { return slotAtRank(counts.prefix(s + 1)); }
    std::optional<std::size_t> liveBefore(std::size_t s)
    {
        for (;;) {
            const long before = counts.prefix(s);
            if (before == 0)
                return std::nullopt;
            const std::size_t t = counts.select(before - 1);
            if (settled(t))
                return t;
        }
    }

    std::optional<std::size_t> slotInPage(std::size_t p, sqlite3_int64 id) const
    {
        if (p >= pages.size() || !pages[p])
            return std::nullopt;
        const auto& ids = pages[p]->rowids;
        for (std::size_t i = 0; i < ids.size(); ++i)
            if (ids[i] == id && live[p * kPageRows + i])
                return p * kPageRows + i;
        return std::nullopt;
    }

    // Works out the position of a row a find landed on: a read page may
    // hold it; else the rows before it are counted and its page read.
    void resolve()
    {
        if (slotKnown)
            return;
        std::optional<std::size_t> s;
        if (const auto it = pinned.find(rowid); it != pinned.end())
            s = it->second;
        for (std::size_t p = 0; !s && p < pages.size(); ++p)
            s = slotInPage(p, rowid);
        if (!s) {
            const std::optional<Anchor> a = anchorOf(rowid);
            if (!a)
                throw Error("the current record was deleted");
            const Expr e = members(after(*a, true, false));
            long rank = 0;
            {
                CachedStatement q(c(), "SELECT COUNT(*) FROM " + table + whereClause(e));
                bindParams(q, e.params);
                q.step("cannot read the record set");
                rank = static_cast<long>(q.integer(0));
            }
            if (const auto guess = slotAtRank(std::min(rank, liveCount - 1))) {
                const std::size_t p = *guess / kPageRows;
                for (const std::size_t near : { p, p + 1, p - 1 }) {
                    if (near < pages.size() && !pages[near])
                        loadPage(near);
                    if (!s)
                        s = slotInPage(near, rowid);
                }
            }
        }
        if (!s)
            throw Error("the record set cannot place the current record");
        slot = *s;
        slotKnown = true;
    }

    sqlite3_int64 currentRowid() const
    {
        if (cursor == Cursor::Gone)
            throw Error("the current record was deleted");
        if (cursor != Cursor::Row)
            throw Error("no current record");
        return rowid;
    }

    // ---- rows ------------------------------------------------------------------

    bool fetch(sqlite3_int64 id)
    {
        if (cacheValid && cachedRowid == id && cachedStamp == conn->totalChanges())
            return cachedExists;
        if (const auto it = shown.find(id); it != shown.end() && shownStamp == conn->totalChanges()) {
            cachedRow = it->second;
            cachedRowid = id;
            cachedStamp = shownStamp;
            cachedExists = cacheValid = true;
            return true;
        }
        CachedStatement q(c(), "SELECT " + rowColumns + " FROM " + table + " WHERE rowid = ?");
        q.bind(1, id);
        if (q.step("cannot read a record"))
            return keepRow(q, 0, id);
        cachedRow.assign(def.fields.size(), std::nullopt);
        cachedExists = false;
        cachedRowid = id;
        cachedStamp = conn->totalChanges();
        cacheValid = true;
        return false;
    }

    // Takes the row the statement is on (its fields from `first` on, then
    // its version) into the one-row cache.
    bool keepRow(const CachedStatement& q, int first, sqlite3_int64 id)
    {
        cachedRow.resize(def.fields.size());
        for (std::size_t i = 0; i < def.fields.size(); ++i)
            cachedRow[i] = q.text(first + static_cast<int>(i));
        if (versioned)
            seenVersion[id] = q.integer(first + static_cast<int>(def.fields.size()));
        cachedRowid = id;
        cachedStamp = conn->totalChanges();
        cachedExists = cacheValid = true;
        return true;
    }

    void leaveEdit() { mode = EditMode::None; }

    void goTo(std::size_t s)
    {
        leaveEdit();
        cursor = Cursor::Row;
        slot = s;
        slotKnown = true;
        rowid = rowidAt(s);
    }

    void appendKey(sqlite3_int64 id)
    {
        added.push_back(id);
        live.push_back(1);
        counts.append();
        ++liveCount;
        pinned[id] = base + added.size() - 1;
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

    [[noreturn]] void conflict(sqlite3_int64 id, const std::vector<Value>* mine);

    bool find(std::string_view criteria, bool forward, bool fromEnd);
    bool findInQueryOrder(const dialect::Condition& cond, std::optional<Anchor> from, bool forward);
    bool findAdded(const dialect::Condition& cond, std::size_t from, bool forward);
};

// Someone else saved or deleted the record since we read it: the refusal
// names each field that differs among what we would save (`mine`, null for
// a deletion), what the record holds now and what we read.
void Recordset::Impl::conflict(sqlite3_int64 id, const std::vector<Value>* mine)
{
    const std::vector<Value> original = mine ? editOriginal : cachedRow;
    cacheValid = false;
    shown.erase(id);
    const bool exists = fetch(id);
    std::vector<ConflictError::Field> diffs;
    std::string detail;
    for (std::size_t i = 0; i < def.fields.size(); ++i) {
        ConflictError::Field f { def.fields[i].name, mine ? (*mine)[i] : std::nullopt,
            exists ? cachedRow[i] : std::nullopt, i < original.size() ? original[i] : std::nullopt };
        if (exists && f.theirs == f.original && (!mine || f.mine == f.original))
            continue;
        auto show = [](const Value& v) { return v ? "\"" + *v + "\"" : std::string("Null"); };
        detail += (detail.empty() ? "" : "; ") + f.name + ": " + (mine ? "mine " + show(f.mine) + ", " : "")
            + "theirs " + (exists ? show(f.theirs) : std::string("(deleted)")) + ", original " + show(f.original);
        diffs.push_back(std::move(f));
    }
    const std::string what = mine ? "save" : "deletion";
    throw ConflictError(what + " refused: " + (exists ? "someone else changed the record since it was read" : "someone else deleted the record since it was read") + (detail.empty() ? "" : " (" + detail + ")"),
        std::move(diffs), !exists);
}

// Rows of the set as it opened are searched in the query's order from the
// anchor, so an indexed criteria is an index look-up; rows added through
// the set come after them, in the order they were added.
bool Recordset::Impl::find(std::string_view criteria, bool forward, bool fromEnd)
{
    const dialect::Condition cond = dialect::parseCriteria(criteria, def, conn->backend);
    leaveEdit();
    bool found = false;
    if (liveCount > 0) {
        const bool onRow = cursor == Cursor::Row || cursor == Cursor::Gone;
        if (!fromEnd && onRow && cursor == Cursor::Row && !slotKnown) {
            // A row a find landed on is one of those the set opened with.
            const auto a = anchorOf(rowid);
            if (!a)
                throw Error("the current record was deleted");
            found = findInQueryOrder(cond, a, forward) || (forward && findAdded(cond, base, true));
        } else if (fromEnd || !onRow) {
            const bool start = fromEnd || (forward ? cursor != Cursor::Eof : cursor == Cursor::Eof);
            if (start)
                found = forward ? findInQueryOrder(cond, std::nullopt, true) || findAdded(cond, base, true)
                                : findAdded(cond, live.size(), false) || findInQueryOrder(cond, std::nullopt, false);
        } else if (slot >= base) {
            found = forward ? findAdded(cond, slot + 1, true)
                            : findAdded(cond, slot, false) || findInQueryOrder(cond, std::nullopt, false);
        } else {
            std::optional<Anchor> a = cursor == Cursor::Gone ? goneAnchor : anchorOf(rowid);
            if (!a)
                throw Error("the current record was deleted");
            found = findInQueryOrder(cond, std::move(a), forward) || (forward && findAdded(cond, base, true));
        }
    }
    noMatch = !found;
    return found;
}

bool Recordset::Impl::findInQueryOrder(const dialect::Condition& cond, std::optional<Anchor> from, bool forward)
{
    if (base == 0)
        return false;
    // The current slot, when the search starts from it: a pinned match must be beyond it.
    const bool fromSlot = from && ((cursor == Cursor::Row && slotKnown) || cursor == Cursor::Gone);
    const std::size_t start = slot;
    for (int attempt = 0; attempt < kMaxSkippedMatches; ++attempt) {
        Expr e { cond.sql.empty() ? "1" : "(" + cond.sql + ")", { cond.params.begin(), cond.params.end() } };
        if (from)
            e = both(std::move(e), after(*from, !forward, false));
        e = members(std::move(e));
        std::optional<Anchor> hit;
        {
            CachedStatement q(c(),
                "SELECT " + anchorColumns() + ", " + rowColumns + " FROM " + table + whereClause(e) + " ORDER BY "
                    + orderSql(!forward) + " LIMIT 1");
            bindParams(q, e.params);
            if (!q.step("find failed"))
                return false;
            hit = readAnchor(q);
            keepRow(q, static_cast<int>(hit->values.size()) + 1, hit->rowid); // read with the find: value() needs no second trip
        }
        const auto pin = pinned.find(hit->rowid);
        if (pin == pinned.end()) {
            leaveEdit();
            cursor = Cursor::Row;
            rowid = hit->rowid;
            slotKnown = false;
            return true;
        }
        // Written through this set: it stays where it stood, which may be
        // on the other side of the start.
        const std::size_t s = pin->second;
        if (s < base && live[s] && (!fromSlot || (forward ? s > start : s < start))) {
            goTo(s);
            return true;
        }
        from = std::move(hit);
    }
    return false;
}

// Rows added through the set, from slot `from` on (forward) or before it:
// one statement over the row ids given out since the set opened, then one
// per added row at or below them (SQLite may give a removed row's id again).
bool Recordset::Impl::findAdded(const dialect::Condition& cond, std::size_t from, bool forward)
{
    const auto inRange = [&](std::size_t at) {
        return at >= base && at < live.size() && live[at] && (forward ? at >= from : at < from);
    };
    std::optional<std::size_t> best;
    const auto consider = [&](std::size_t at) {
        if (inRange(at) && (!best || (forward ? at < *best : at > *best)))
            best = at;
    };
    const std::string match = cond.sql.empty() ? "" : " AND (" + cond.sql + ")";
    {
        CachedStatement q(c(), "SELECT rowid FROM " + table + " WHERE rowid > ?" + match);
        q.bind(1, maxRowid);
        q.bindAll(cond.params, 2);
        while (q.step("find failed"))
            if (const auto it = pinned.find(q.integer(0)); it != pinned.end())
                consider(it->second);
    }
    for (std::size_t at = base; at < live.size(); ++at) {
        if (added[at - base] > maxRowid || !inRange(at) || (best && (forward ? at > *best : at < *best)))
            continue;
        CachedStatement q(c(), "SELECT rowid FROM " + table + " WHERE rowid = ?" + match);
        q.bind(1, added[at - base]);
        q.bindAll(cond.params, 2);
        if (q.step("find failed"))
            consider(at);
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
    std::string order;
    std::vector<std::pair<int, bool>> keys;
    if (dialect::isSelect(tableNameOrSql)) {
        auto plan = dialect::parseSelect(
            tableNameOrSql, [&c](const std::string& n) -> const TableDef& { return c.tableDef(n); }, c.backend);
        r.def = c.tableDef(plan.table);
        r.columns = std::move(plan.columns);
        r.where = std::move(plan.where.sql);
        r.whereParams = std::move(plan.where.params);
        order = std::move(plan.orderBy);
        keys = std::move(plan.orderKeys);
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
    r.table = quoteIdent(r.def.name);
    // The grid's default filter, Like "*", is a test for a value; on a field
    // that cannot be Null every row passes, and without the test the count
    // reads no row.
    for (const FieldDef& f : r.def.fields)
        if (f.required && r.where == "(" + quoteIdent(f.name) + " IS NOT NULL)")
            r.where.clear();
    std::size_t values = 0;
    for (const auto& [ordinal, descending] : keys) {
        const FieldDef& f = r.def.fields[static_cast<std::size_t>(ordinal)];
        r.order.push_back(SortKey { quoteIdent(f.name), ordinal, descending, !f.required, values++ });
    }
    // Ties of the sort keys fall back to row id order, so the order of a set
    // is the same every time it is opened.
    if (orderWithTies(r.def, order) != order)
        r.order.push_back(SortKey { "rowid", -1, false, false, 0 });
    r.versioned = c.backend == Backend::Server && server::versioned(c, r.def.name);
    for (std::size_t i = 0; i < r.def.fields.size(); ++i)
        r.rowColumns += (i ? ", " : "") + quoteIdent(r.def.fields[i].name);
    if (r.versioned)
        r.rowColumns += ", rav_version";
    r.open();
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
    if (const auto s = r.slotAtRank(0))
        r.goTo(*s);
    else
        r.cursor = Cursor::Both;
}

void Recordset::moveLast()
{
    auto& r = impl();
    r.leaveEdit();
    if (const auto s = r.lastSlot())
        r.goTo(*s);
    else
        r.cursor = Cursor::Both;
}

void Recordset::moveNext()
{
    auto& r = impl();
    r.leaveEdit();
    switch (r.cursor) {
    case Cursor::Both:
    case Cursor::Bof:
        if (const auto s = r.slotAtRank(0))
            r.goTo(*s);
        else
            r.cursor = Cursor::Eof;
        break;
    case Cursor::Row:
    case Cursor::Gone:
        r.resolve();
        if (const auto s = r.liveAfter(r.slot))
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
        if (const auto s = r.lastSlot())
            r.goTo(*s);
        else
            r.cursor = Cursor::Bof;
        break;
    case Cursor::Row:
    case Cursor::Gone:
        r.resolve();
        if (const auto s = r.liveBefore(r.slot))
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
    auto& r = impl();
    if (r.cursor != Cursor::Row)
        return -1;
    r.resolve();
    return r.counts.prefix(r.slot);
}

bool Recordset::setAbsolutePosition(long position)
{
    auto& r = impl();
    if (position < 0 || position >= r.liveCount)
        return false;
    const auto s = r.slotAtRank(position);
    if (!s)
        return false;
    r.goTo(*s);
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
    const sqlite3_int64 id = r.currentRowid();
    if (!r.fetch(id))
        throw Error("the current record was deleted");
    r.mode = EditMode::Edit;
    r.buffer = r.cachedRow;
    r.editOriginal = r.cachedRow;
    r.dirty.assign(r.def.fields.size(), 0);
    r.editRowid = id;
}

void Recordset::update()
{
    auto& r = impl();
    Connection& c = r.c();
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
            ? "INSERT INTO " + r.table + " DEFAULT VALUES"
            : "INSERT INTO " + r.table + " (" + cols + ") VALUES (" + marks + ")";
        {
            CachedStatement q(c, sql);
            q.bindAll(values);
            q.step("cannot add the record");
        }
        r.appendKey(c.lastInsertRowid());
        r.lastModifiedSlot = static_cast<long>(r.live.size() - 1);
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
        // Its place is taken before the save can move it in the query's order.
        r.resolve();
        if (!sets.empty()) {
            const auto seen = r.seenVersion.find(r.editRowid);
            const bool checked = r.versioned && seen != r.seenVersion.end();
            bool saved = false;
            {
                CachedStatement q(c,
                    "UPDATE " + r.table + " SET " + sets + " WHERE rowid = ?"
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
            r.pinned[r.editRowid] = r.slot;
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
    const sqlite3_int64 id = r.currentRowid();
    r.resolve();
    r.leaveEdit();
    std::optional<Anchor> anchor = r.anchorOf(id);
    {
        const auto seen = r.seenVersion.find(id);
        const bool checked = r.versioned && seen != r.seenVersion.end();
        bool deleted = false;
        {
            CachedStatement q(
                r.c(), "DELETE FROM " + r.table + " WHERE rowid = ?" + (checked ? " AND rav_version = ?" : ""));
            q.bind(1, id);
            if (checked)
                q.bind(2, seen->second);
            q.step("cannot delete the record");
            deleted = r.c().changes() != 0;
        }
        if (!deleted && checked) {
            // What the user saw is the record as last read.
            if (r.cachedRowid != id)
                r.cachedRow.assign(r.def.fields.size(), std::nullopt);
            r.conflict(id, nullptr);
        }
    }
    r.dropSlot(r.slot);
    r.pinned.erase(id);
    r.goneAnchor = std::move(anchor);
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
    if (!r.fetch(r.currentRowid()))
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
    const auto s = position < 0 ? std::nullopt : r.slotAtRank(position);
    if (!s)
        throw Error("position " + std::to_string(position) + " is outside the record set ("
            + std::to_string(r.liveCount) + " records)");
    std::vector<Value> out(r.fields.size());
    if (r.fetch(r.rowidAt(*s)))
        for (std::size_t i = 0; i < r.fields.size(); ++i)
            out[i] = r.cachedRow[static_cast<std::size_t>(r.columns[i])];
    return out;
}

std::vector<std::vector<Value>> Recordset::rowsAt(long position, long count) const
{
    constexpr long kMaxRows = 64;
    auto& r = impl();
    std::vector<sqlite3_int64> ids;
    for (long p = std::max(position, 0L); p < position + std::min(count, kMaxRows); ++p) {
        const auto s = r.slotAtRank(p);
        if (!s)
            break;
        ids.push_back(r.rowidAt(*s));
    }
    std::vector<std::vector<Value>> out(ids.size(), std::vector<Value>(r.fields.size()));
    if (ids.empty())
        return out;
    std::string sql = "SELECT rowid, " + r.rowColumns + " FROM " + r.table + " WHERE rowid IN (?";
    for (std::size_t i = 1; i < ids.size(); ++i)
        sql += ", ?";
    CachedStatement q(r.c(), sql + ")");
    for (std::size_t i = 0; i < ids.size(); ++i)
        q.bind(static_cast<int>(i + 1), ids[i]);
    std::unordered_map<sqlite3_int64, std::size_t> at;
    for (std::size_t i = 0; i < ids.size(); ++i)
        at.emplace(ids[i], i);
    r.shown.clear();
    r.shownStamp = r.conn->totalChanges();
    while (q.step("cannot read a record")) {
        const sqlite3_int64 id = q.integer(0);
        const auto it = at.find(id);
        if (it == at.end())
            continue;
        std::vector<Value>& row = r.shown[id];
        for (std::size_t i = 0; i < r.def.fields.size(); ++i)
            row.push_back(q.text(static_cast<int>(i) + 1));
        for (std::size_t i = 0; i < r.fields.size(); ++i)
            out[it->second][i] = row[static_cast<std::size_t>(r.columns[i])];
        if (r.versioned)
            r.seenVersion[id] = q.integer(static_cast<int>(r.def.fields.size()) + 1);
    }
    return out;
}

void Recordset::requery()
{
    impl().open();
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
