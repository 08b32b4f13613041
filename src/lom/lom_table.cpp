#include "lom_table.h"

#include "database.h"
#include "textcodec.h"
#include "values.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <map>
#include <numeric>
#include <set>
#include <unordered_map>

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
void keyOf(const PartRow& part, const TableOptions& options, std::string& key)
{
    key.clear();
    if (!options.groupFields.empty()) {
        for (int f : options.groupFields) {
            key += part.values[static_cast<std::size_t>(f)];
            key += '\x1f';
        }
        return;
    }
    const std::string_view eic = part.values[kFieldEic];
    if (!IsPlaceholderCode(eic))
        key += eic;
    key += '\x1f';
    key += part.values[kFieldValue];
    key += '\x1f';
    key += part.values[kFieldPackage];
}

std::string_view nameOf(const PartRow& part)
{
    return part.values[kFieldPartName];
}

} // namespace

std::size_t PartValues::count() const
{
    std::uint32_t n = 0;
    if (!data_.empty())
        std::memcpy(&n, data_.data(), sizeof n);
    return n;
}

std::string_view PartValues::operator[](std::size_t k) const
{
    const std::size_t n = count();
    if (k >= n)
        return {};
    std::uint32_t ends[2] = { 0, 0 };
    const char* header = data_.data() + sizeof(std::uint32_t);
    if (k > 0)
        std::memcpy(&ends[0], header + (k - 1) * sizeof(std::uint32_t), sizeof(std::uint32_t));
    std::memcpy(&ends[1], header + k * sizeof(std::uint32_t), sizeof(std::uint32_t));
    const std::size_t bytes = (n + 1) * sizeof(std::uint32_t);
    return std::string_view(data_).substr(bytes + ends[0], ends[1] - ends[0]);
}

void PartValues::assign(std::size_t n, const std::vector<std::pair<std::size_t, std::string_view>>& values)
{
    std::size_t bytes = sizeof(std::uint32_t) * (n + 1);
    for (const auto& [k, text] : values)
        bytes += k < n ? text.size() : 0;
    std::string data(bytes, '\0');
    const auto count = static_cast<std::uint32_t>(n);
    std::memcpy(data.data(), &count, sizeof count);
    char* at = data.data() + sizeof(std::uint32_t) * (n + 1);
    std::uint32_t end = 0;
    auto next = values.begin();
    for (std::size_t k = 0; k < n; ++k) {
        if (next != values.end() && next->first == k) {
            std::memcpy(at, next->second.data(), next->second.size());
            at += next->second.size();
            end += static_cast<std::uint32_t>(next->second.size());
            ++next;
        }
        std::memcpy(data.data() + sizeof(std::uint32_t) * (k + 1), &end, sizeof end);
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
    if (k >= count())
        resize(k + 1);
    const std::size_t n = count();
    const std::string_view old = (*this)[k];
    const std::size_t at = static_cast<std::size_t>(old.data() - data_.data());
    const auto delta = static_cast<std::uint32_t>(text.size() - old.size()); // modulo 2^32
    data_.replace(at, old.size(), text);
    char* header = data_.data() + sizeof(std::uint32_t);
    for (std::size_t j = k; j < n; ++j) {
        std::uint32_t end = 0;
        std::memcpy(&end, header + j * sizeof end, sizeof end);
        end += delta;
        std::memcpy(header + j * sizeof end, &end, sizeof end);
    }
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

std::vector<PartRow> ReadPartRows(const std::string& tempDbName, int fieldCount,
    const std::vector<char>& marked, int eicColumn, const TableOptions* options)
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
    db::Statement rows = temp.prepare(sql + " FROM \"Device\" ORDER BY rowid");
    sqlite3_stmt* const handle = rows.handle();
    std::vector<PartRow> parts;
    {
        db::Statement count = temp.prepare("SELECT count(*) FROM \"Device\"");
        if (count.step())
            parts.reserve(static_cast<std::size_t>(sqlite3_column_int64(count.handle(), 0)));
    }
    std::vector<std::pair<std::size_t, std::string_view>> values;
    while (rows.step()) {
        PartRow row;
        row.hasEidRecord = sqlite3_column_int(handle, 0) != 0;
        values.clear();
        for (std::size_t c = 0; c < fields.size(); ++c) {
            const int column = static_cast<int>(c) + 1;
            if (const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(handle, column)))
                values.emplace_back(static_cast<std::size_t>(fields[c]),
                    std::string_view(t, static_cast<std::size_t>(sqlite3_column_bytes(handle, column))));
        }
        row.values.assign(static_cast<std::size_t>(fieldCount) + 1, values); // fields ascend
        row.marked = parts.size() < marked.size() && marked[parts.size()] != 0;
        parts.push_back(std::move(row));
    }
    return parts;
}

LomTable MakeLomTable(const std::vector<PartRow>& parts, const TableOptions& options)
{
    LomTable table;
    for (const auto& c : options.columns) {
        table.headers.push_back(c.header);
        table.numeric.push_back(c.number || c.source.kind == ColumnSource::Kind::Quantity);
    }

    // Groups of part indexes (one part each when not grouping), the main
    // section first, then the parts set apart.
    std::vector<std::vector<std::size_t>> groups[2];
    std::unordered_map<std::string, std::size_t> groupOf[2];
    std::string key;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const PartRow& p = parts[i];
        if (p.marked && options.dnp == DnpMode::Exclude)
            continue;
        const int section = p.marked && options.dnp == DnpMode::Separate ? 1 : 0;
        if (!options.group) {
            groups[section].push_back({ i });
            continue;
        }
        keyOf(p, options, key);
        auto it = groupOf[section].find(key);
        if (it == groupOf[section].end()) {
            it = groupOf[section].emplace(key, groups[section].size()).first;
            groups[section].emplace_back();
        }
        groups[section][it->second].push_back(i);
    }
    // The keys are not needed any more: their memory goes before the lines'
    // comes.
    for (auto& keys : groupOf)
        std::unordered_map<std::string, std::size_t>().swap(keys);

    const auto sortValue = [&](const std::vector<std::size_t>& g) {
        return parts[g.front()].values[static_cast<std::size_t>(options.sortField)];
    };
    for (auto& section : groups) {
        // The first part of a group is its naturally first name.
        for (auto& g : section)
            std::sort(g.begin(), g.end(), [&](std::size_t a, std::size_t b) {
                return naturalLess(nameOf(parts[a]), nameOf(parts[b]));
            });
        std::stable_sort(section.begin(), section.end(), [&](const auto& first, const auto& second) {
            const auto& a = options.sortDescending ? second : first;
            const auto& b = options.sortDescending ? first : second;
            if (options.sortField > 0) {
                const int c = naturalCompare(sortValue(a), sortValue(b));
                if (c != 0)
                    return c < 0;
            }
            return naturalLess(nameOf(parts[a.front()]), nameOf(parts[b.front()]));
        });
    }

    std::vector<std::string> names;
    for (int s = 0; s < 2; ++s) {
        if (s == 1)
            table.separateFrom = table.rows.size();
        for (const auto& g : groups[s]) {
            names.clear();
            for (std::size_t i : g)
                names.emplace_back(nameOf(parts[i]));
            std::string ranges = g.size() == 1 ? names.front() : partRanges(names);
            const PartRow& first = parts[g.front()];
            std::vector<std::string> row;
            row.reserve(options.columns.size());
            const auto cell = [&](const ColumnSource& source) -> std::string {
                switch (source.kind) {
                case ColumnSource::Kind::Quantity:
                    return std::to_string(static_cast<long>(g.size()) * options.multiplier);
                case ColumnSource::Kind::Parts:
                    return ranges;
                case ColumnSource::Kind::Empty:
                    return {};
                case ColumnSource::Kind::Field:
                    return std::string(first.values[static_cast<std::size_t>(source.field)]);
                }
                return {};
            };
            for (const auto& c : options.columns) {
                row.push_back(cell(c.source));
                for (std::size_t k = 0; k < c.orElse.size() && text::trimBlanks(row.back()).empty(); ++k)
                    row.back() = cell(c.orElse[k]);
            }
            table.rows.push_back(std::move(row));
            table.rowParts.push_back(std::move(ranges));
            table.rowEic.emplace_back(first.values[kFieldEic]);
            table.rowWithoutRecord.push_back(first.hasEidRecord ? 0 : 1);
            if (s == 0)
                table.parts += static_cast<long>(g.size());
        }
    }
    if (groups[1].empty())
        table.separateFrom = table.rows.size();
    return table;
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
