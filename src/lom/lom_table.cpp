#include "lom_table.h"

#include "database.h"
#include "textcodec.h"
#include "values.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <numeric>
#include <set>

namespace rav::lom
{

namespace
{

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// -1, 0, 1 in natural order, without the final byte-wise tie-break.
int naturalCompare(std::string_view a, std::string_view b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            std::size_t si = i, sj = j; // significant digits start
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            if (const int c = a.substr(si, ei - si).compare(b.substr(sj, ej - sj)); c != 0)
                return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        const char ca = lower(a[i]), cb = lower(b[j]);
        if (ca != cb)
            return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

// "R12" -> ("R", 12); a name without trailing digits has no number.
struct SplitName {
    std::string_view prefix;
    long number = -1;
    bool plain = false; // digits without a leading zero, so "R1"+1 is "R2"
};

SplitName splitName(std::string_view name)
{
    std::size_t start = name.size();
    while (start > 0 && isDigit(name[start - 1]))
        --start;
    SplitName s { name.substr(0, start) };
    const std::string_view digits = name.substr(start);
    if (digits.empty() || digits.size() > 9)
        return s;
    std::from_chars(digits.data(), digits.data() + digits.size(), s.number);
    s.plain = digits.size() == 1 || digits[0] != '0';
    return s;
}

// Parts are equal when their codes are, and never when their values or
// packages differ: a code shared by different parts must not put one
// part's quantity on the other's line. A placeholder code is no code.
// The key is made in `key`, whose buffer is reused from part to part.
void keyOf(const PartValues& values, const TableOptions& options, std::string& key)
{
    key.clear();
    if (!options.groupFields.empty()) {
        for (int f : options.groupFields) {
            key += values[static_cast<std::size_t>(f)];
            key += '\x1f';
        }
        return;
    }
    const std::string_view eic = values[kFieldEic];
    if (!IsPlaceholderCode(eic))
        key += eic;
    key += '\x1f';
    key += values[kFieldValue];
    key += '\x1f';
    key += values[kFieldPackage];
}

std::string_view nameOf(const PartRow& part)
{
    return part.values[kFieldPartName];
}

} // namespace

// The header's numbers take 1, 2 or 4 bytes each, the fewest that hold the
// count and every end: a part's values are mostly under 256 bytes, and
// 4-byte ends were a third of a grouped LOM's memory.
std::size_t PartValues::width() const
{
    return data_.empty() ? 0 : static_cast<unsigned char>(data_[0]);
}

std::size_t PartValues::number(std::size_t i) const
{
    const std::size_t w = width();
    std::uint32_t n = 0;
    const char* at = data_.data() + 1 + i * w;
    if (w == 1)
        n = static_cast<unsigned char>(*at);
    else if (w == 2) {
        std::uint16_t v = 0;
        std::memcpy(&v, at, sizeof v);
        n = v;
    } else
        std::memcpy(&n, at, sizeof n);
    return n;
}

std::size_t PartValues::count() const
{
    return data_.empty() ? 0 : number(0);
}

std::string_view PartValues::operator[](std::size_t k) const
{
    const std::size_t n = count();
    if (k >= n)
        return {};
    const std::size_t begin = k > 0 ? number(k) : 0, end = number(k + 1);
    const std::size_t bytes = 1 + (n + 1) * width();
    return std::string_view(data_).substr(bytes + begin, end - begin);
}

void PartValues::assign(std::size_t n, const std::vector<std::pair<std::size_t, std::string_view>>& values)
{
    std::size_t total = 0;
    for (const auto& [k, text] : values)
        total += k < n ? text.size() : 0;
    const std::size_t largest = std::max(total, n);
    const std::size_t w = largest <= 0xff ? 1 : largest <= 0xffff ? 2 : 4;
    std::string data(1 + w * (n + 1) + total, '\0');
    data[0] = static_cast<char>(w);
    const auto put = [&data, w](std::size_t i, std::size_t value) {
        char* at = data.data() + 1 + i * w;
        if (w == 1)
            *at = static_cast<char>(value);
        else if (w == 2) {
            const auto v = static_cast<std::uint16_t>(value);
            std::memcpy(at, &v, sizeof v);
        } else {
            const auto v = static_cast<std::uint32_t>(value);
            std::memcpy(at, &v, sizeof v);
        }
    };
    put(0, n);
    char* at = data.data() + 1 + w * (n + 1);
    std::size_t end = 0;
    auto next = values.begin();
    for (std::size_t k = 0; k < n; ++k) {
        if (next != values.end() && next->first == k) {
            std::memcpy(at, next->second.data(), next->second.size());
            at += next->second.size();
            end += next->second.size();
            ++next;
        }
        put(k + 1, end);
    }
    data_ = std::move(data);
}

void PartValues::resize(std::size_t n)
{
    std::vector<std::pair<std::size_t, std::string_view>> kept;
    for (std::size_t k = 0; k < std::min(n, count()); ++k)
        kept.emplace_back(k, (*this)[k]);
    PartValues resized;
    resized.assign(n, kept);
    *this = std::move(resized);
}

void PartValues::set(std::size_t k, std::string_view text)
{
    const std::size_t n = std::max(count(), k + 1);
    const std::string owned(text); // `text` may be one of ours
    std::vector<std::pair<std::size_t, std::string_view>> values;
    for (std::size_t j = 0; j < n; ++j)
        values.emplace_back(j, j == k ? std::string_view(owned) : (*this)[j]);
    PartValues changed;
    changed.assign(n, values);
    *this = std::move(changed);
}

bool naturalLess(std::string_view a, std::string_view b)
{
    const int c = naturalCompare(a, b);
    return c != 0 ? c < 0 : a < b;
}

std::string partRanges(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end(), naturalLess);
    std::string out;
    auto add = [&out](const std::string& text) {
        if (!out.empty())
            out += ", ";
        out += text;
    };
    for (std::size_t i = 0; i < names.size();) {
        const SplitName first = splitName(names[i]);
        std::size_t end = i + 1; // one past the run
        if (first.plain) {
            long next = first.number + 1;
            while (end < names.size()) {
                const SplitName s = splitName(names[end]);
                if (!s.plain || s.number != next || s.prefix != first.prefix)
                    break;
                ++next;
                ++end;
            }
        }
        if (end - i >= 3) {
            add(names[i] + "-" + names[end - 1]);
        } else {
            for (std::size_t k = i; k < end; ++k)
                add(names[k]);
        }
        i = end;
    }
    return out;
}

namespace
{

// Calls `take` with each row of table Device in build order (see
// ReadPartRows); the row is the callee's to keep or drop.
template <typename Take>
void forEachPartRow(const std::string& tempDbName, int fieldCount, const std::vector<char>& marked, int eicColumn,
    const TableOptions* options, Take&& take)
{
    // The fields to read: all, or those the table shows, groups and sorts by.
    std::vector<int> fields;
    if (!options) {
        for (int k = 1; k <= fieldCount; ++k)
            fields.push_back(k);
    } else {
        fields = { kFieldEic, kFieldPackage, kFieldPartName, kFieldValue };
        if (options->sortField > 0)
            fields.push_back(options->sortField);
        fields.insert(fields.end(), options->groupFields.begin(), options->groupFields.end());
        for (const auto& c : options->columns) {
            if (c.source.kind == ColumnSource::Kind::Field)
                fields.push_back(c.source.field);
            for (const auto& alt : c.orElse)
                if (alt.kind == ColumnSource::Kind::Field)
                    fields.push_back(alt.field);
        }
        std::sort(fields.begin(), fields.end());
        fields.erase(std::unique(fields.begin(), fields.end()), fields.end());
        fields.erase(
            std::remove_if(fields.begin(), fields.end(), [&](int k) { return k < 1 || k > fieldCount; }),
            fields.end());
    }
    const bool withRecord = eicColumn > 0 && eicColumn <= fieldCount;
    std::string sql = "SELECT ";
    sql += withRecord ? "field" + std::to_string(eicColumn) + " IS NOT NULL" : std::string("0");
    for (int k : fields)
        sql += ",field" + std::to_string(k);

    db::Database temp = db::Database::open(tempDbName, db::OpenMode::Shared);
    // Each page is read once, in order: a large cache would only hold
    // memory.
    temp.executeNative("PRAGMA cache_size=-256");
    db::Statement rows = temp.prepare(sql + " FROM \"Device\" ORDER BY rowid");
    sqlite3_stmt* const handle = rows.handle();
    std::vector<std::pair<std::size_t, std::string_view>> values;
    for (std::size_t n = 0; rows.step(); ++n) {
        PartRow row;
        row.hasEidRecord = sqlite3_column_int(handle, 0) != 0;
        values.clear();
        for (std::size_t c = 0; c < fields.size(); ++c) {
            const int column = static_cast<int>(c) + 1;
            if (const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(handle, column)))
                values.emplace_back(static_cast<std::size_t>(fields[c]),
                    std::string_view(t, static_cast<std::size_t>(sqlite3_column_bytes(handle, column))));
        }
        // Values past the last one read are "" without being stored.
        row.values.assign(fields.empty() ? 0 : static_cast<std::size_t>(fields.back()) + 1, values); // fields ascend
        row.marked = n < marked.size() && marked[n] != 0;
        take(std::move(row));
    }
}

// The lines of a table made as the parts come by, one at a time: a group
// keeps its count, its part names and the values of its naturally first
// part, never every part, so a grouped LOM of a large design holds its
// lines' worth of memory, not its parts'.
class LineFolder
{
public:
    explicit LineFolder(const TableOptions& options)
        : options_(options)
    {
    }

    void add(PartRow&& p)
    {
        if (p.marked && options_.dnp == DnpMode::Exclude)
            return;
        const int section = p.marked && options_.dnp == DnpMode::Separate ? 1 : 0;
        auto& groups = groups_[section];
        const std::string_view name = p.values[kFieldPartName];
        Group* g = nullptr;
        if (options_.group) {
            keyOf(p.values, options_, key_);
            const std::size_t found = findOrAdd(section);
            if (found < groups.size()) {
                g = &groups[found];
                if (naturalLess(name, g->first[kFieldPartName])) {
                    addName(*g, name);
                    g->first = std::move(p.values);
                    g->firstHasRecord = p.hasEidRecord;
                } else {
                    addName(*g, name);
                }
                ++g->count;
                return;
            }
        }
        g = &groups.emplace_back();
        addName(*g, name);
        g->first = std::move(p.values);
        g->firstHasRecord = p.hasEidRecord;
        g->count = 1;
    }

    void finish(LineSink& sink);

private:
    struct Group {
        PartValues first; // of the naturally first part
        bool firstHasRecord = false;
        long count = 0;
        std::string names; // each as its length (uint32) and bytes
    };

    // A name's length takes a byte, or 0xff and four more for a long one.
    static void addName(Group& g, std::string_view name)
    {
        if (name.size() < 0xff) {
            g.names += static_cast<char>(name.size());
        } else {
            const auto n = static_cast<std::uint32_t>(name.size());
            g.names += '\xff';
            g.names.append(reinterpret_cast<const char*>(&n), sizeof n);
        }
        g.names += name;
    }

    static std::vector<std::string> namesOf(const Group& g)
    {
        std::vector<std::string> names;
        for (std::size_t at = 0; at < g.names.size();) {
            std::uint32_t n = static_cast<unsigned char>(g.names[at++]);
            if (n == 0xff) {
                std::memcpy(&n, g.names.data() + at, sizeof n);
                at += sizeof n;
            }
            names.emplace_back(g.names, at, n);
            at += n;
        }
        return names;
    }

    // The group of the part in hand (its key in key_), or groups.size()
    // when it is the first of a new group, which the caller then adds.
    // Keys are not stored: a group's key is made again from its first
    // part's values, as all its parts have the same. An open-addressed
    // table of (group + 1, hash) pairs, under half full.
    std::size_t findOrAdd(int section)
    {
        auto& slots = slots_[section];
        const std::size_t count = groups_[section].size();
        if (2 * (count + 1) > slots.size()) {
            std::vector<std::pair<std::uint32_t, std::uint32_t>> grown(std::max<std::size_t>(64, 2 * slots.size()));
            for (const auto& slot : slots)
                if (slot.first != 0)
                    for (std::size_t at = slot.second & (grown.size() - 1);; at = (at + 1) & (grown.size() - 1))
                        if (grown[at].first == 0) {
                            grown[at] = slot;
                            break;
                        }
            slots.swap(grown);
        }
        const auto hash = static_cast<std::uint32_t>(std::hash<std::string_view>()(key_));
        for (std::size_t at = hash & (slots.size() - 1);; at = (at + 1) & (slots.size() - 1)) {
            auto& slot = slots[at];
            if (slot.first == 0) {
                slot = { static_cast<std::uint32_t>(count + 1), hash };
                return count;
            }
            if (slot.second == hash) {
                keyOf(groups_[section][slot.first - 1].first, options_, otherKey_);
                if (otherKey_ == key_)
                    return slot.first - 1;
            }
        }
    }

    const TableOptions& options_;
    // The main section, then the parts set apart; a deque, as a vector's
    // doubling would hold half again the groups' memory at the end.
    std::deque<Group> groups_[2];
    std::vector<std::pair<std::uint32_t, std::uint32_t>> slots_[2];
    std::string key_, otherKey_; // reused from part to part
};

void LineFolder::finish(LineSink& sink)
{
    const TableOptions& options = options_;
    // The keys are not needed any more: their memory goes before the lines'
    // comes.
    for (auto& slots : slots_)
        std::vector<std::pair<std::uint32_t, std::uint32_t>>().swap(slots);

    const auto sortValue = [&](const Group& g) { return g.first[static_cast<std::size_t>(options.sortField)]; };
    std::vector<std::uint32_t> order[2];
    for (int s = 0; s < 2; ++s) {
        const auto& section = groups_[s];
        order[s].resize(section.size());
        std::iota(order[s].begin(), order[s].end(), 0u);
        // Groups in the order their first parts came, which breaks ties.
        std::stable_sort(order[s].begin(), order[s].end(), [&](std::uint32_t first, std::uint32_t second) {
            const Group& a = section[options.sortDescending ? second : first];
            const Group& b = section[options.sortDescending ? first : second];
            if (options.sortField > 0) {
                const int c = naturalCompare(sortValue(a), sortValue(b));
                if (c != 0)
                    return c < 0;
            }
            return naturalLess(a.first[kFieldPartName], b.first[kFieldPartName]);
        });
    }

    std::vector<std::string> headers;
    std::vector<bool> numeric;
    for (const auto& c : options.columns) {
        headers.push_back(c.header);
        numeric.push_back(c.number || c.source.kind == ColumnSource::Kind::Quantity);
    }
    sink.start(headers, numeric, !groups_[1].empty());
    for (int s = 0; s < 2; ++s) {
        for (const std::uint32_t k : order[s]) {
            Group& g = groups_[s][k];
            LomLine line;
            line.parts = g.count == 1 ? std::string(g.first[kFieldPartName]) : partRanges(namesOf(g));
            const PartValues& first = g.first;
            line.cells.reserve(options.columns.size());
            const auto cell = [&](const ColumnSource& source) -> std::string {
                switch (source.kind) {
                case ColumnSource::Kind::Quantity:
                    return std::to_string(g.count * options.multiplier);
                case ColumnSource::Kind::Parts:
                    return line.parts;
                case ColumnSource::Kind::Empty:
                    return {};
                case ColumnSource::Kind::Field:
                    return std::string(first[static_cast<std::size_t>(source.field)]);
                }
                return {};
            };
            for (const auto& c : options.columns) {
                line.cells.push_back(cell(c.source));
                for (std::size_t k = 0; k < c.orElse.size() && text::trimBlanks(line.cells.back()).empty(); ++k)
                    line.cells.back() = cell(c.orElse[k]);
            }
            line.eic = first[kFieldEic];
            line.withoutRecord = !g.firstHasRecord;
            line.apart = s == 1;
            line.quantity = g.count;
            sink.line(std::move(line));
            g = Group(); // its memory goes as the line's comes
        }
    }
}

// The lines kept as a LomTable.
class TableSink final : public LineSink
{
public:
    void start(const std::vector<std::string>& headers, const std::vector<bool>& numeric, bool) override
    {
        table.headers = headers;
        table.numeric = numeric;
    }
    void line(LomLine&& line) override
    {
        if (!line.apart) {
            table.separateFrom = table.rows.size() + 1;
            table.parts += line.quantity;
        }
        table.rows.push_back(std::move(line.cells));
        table.rowParts.push_back(std::move(line.parts));
        table.rowEic.emplace_back(line.eic);
        table.rowWithoutRecord.push_back(line.withoutRecord ? 1 : 0);
    }
    LomTable table;
};

} // namespace

std::vector<PartRow> ReadPartRows(const std::string& tempDbName, int fieldCount,
    const std::vector<char>& marked, int eicColumn, const TableOptions* options)
{
    std::vector<PartRow> parts;
    {
        db::Database temp = db::Database::open(tempDbName, db::OpenMode::Shared);
        db::Statement count = temp.prepare("SELECT count(*) FROM \"Device\"");
        if (count.step())
            parts.reserve(static_cast<std::size_t>(sqlite3_column_int64(count.handle(), 0)));
    }
    forEachPartRow(tempDbName, fieldCount, marked, eicColumn, options,
        [&parts](PartRow&& row) { parts.push_back(std::move(row)); });
    return parts;
}

LomTable MakeLomTable(const std::vector<PartRow>& parts, const TableOptions& options)
{
    LineFolder folder(options);
    for (const PartRow& p : parts)
        folder.add(PartRow(p));
    TableSink sink;
    folder.finish(sink);
    return std::move(sink.table);
}

void ReadLomLines(const std::string& tempDbName, int fieldCount, const std::vector<char>& marked, int eicColumn,
    const TableOptions& options, LineSink& sink)
{
    LineFolder folder(options);
    forEachPartRow(tempDbName, fieldCount, marked, eicColumn, &options,
        [&folder](PartRow&& row) { folder.add(std::move(row)); });
    folder.finish(sink);
}

LomTable ReadLomTable(const std::string& tempDbName, int fieldCount, const std::vector<char>& marked,
    int eicColumn, const TableOptions& options)
{
    TableSink sink;
    ReadLomLines(tempDbName, fieldCount, marked, eicColumn, options, sink);
    return std::move(sink.table);
}

std::vector<std::string> CheckLom(
    const std::vector<PartRow>& parts, const LomTable& table, const TableOptions& options)
{
    std::vector<std::string> problems;
    // Parts not to be placed are not bought either: they are not checked.
    for (std::size_t r = 0; r < table.separateFrom; ++r) {
        const std::string where = "line " + std::to_string(r + 1) + " (" + table.rowParts[r] + "): ";
        if (!text::trimBlanks(table.rowEic[r]).empty() && IsPlaceholderCode(table.rowEic[r]))
            problems.push_back(where + "placeholder EIC \"" + table.rowEic[r] + "\" taken as no code");
        else if (table.rowWithoutRecord[r])
            problems.push_back(where
                + (text::trimBlanks(table.rowEic[r]).empty()
                        ? std::string("no EIC, so no EID record")
                        : "no EID record for EIC \"" + table.rowEic[r] + "\""));
        for (std::size_t c = 0; c < options.columns.size(); ++c)
            if (options.columns[c].required && text::trimBlanks(table.rows[r][c]).empty())
                problems.push_back(where + "required column \"" + options.columns[c].header + "\" is empty");
    }
    // One EIC, several values or packages: the value and package of each
    // part is what will be placed, so a code shared by different ones
    // orders a wrong part.
    struct Uses {
        std::map<std::string, std::vector<std::string>> values, packages;
    };
    std::map<std::string, Uses> byEic;
    for (const auto& p : parts) {
        if (p.marked && options.dnp != DnpMode::Include)
            continue;
        const std::string_view eic = p.values[kFieldEic];
        if (IsPlaceholderCode(eic))
            continue;
        Uses& u = byEic[std::string(eic)];
        u.values[std::string(p.values[kFieldValue])].emplace_back(nameOf(p));
        u.packages[std::string(p.values[kFieldPackage])].emplace_back(nameOf(p));
    }
    for (auto& [eic, uses] : byEic) {
        const std::pair<const char*, const std::map<std::string, std::vector<std::string>>*> kinds[]
            = { { "values", &uses.values }, { "packages", &uses.packages } };
        for (const auto& [what, list] : kinds) {
            if (list->size() < 2)
                continue;
            std::string line = "EIC \"" + eic + "\" has different " + what + ":";
            bool firstValue = true;
            for (const auto& [value, names] : *list) {
                line += (firstValue ? " \"" : ", \"") + value + "\" (" + partRanges(names) + ")";
                firstValue = false;
            }
            problems.push_back(line);
        }
    }
    return problems;
}

} // namespace rav::lom
