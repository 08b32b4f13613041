#include "lom_diff.h"

#include "lom_output.h"
#include "lom_table.h"
#include "textcodec.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace rav::lom
{

namespace
{

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(line);
    }
    return out;
}

// RFC 4180 records: quoted fields may hold commas, quotes and line breaks.
std::vector<std::vector<std::string>> csvRecords(const std::string& text)
{
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = any = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
            any = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            if (any || !field.empty()) {
                record.push_back(std::move(field));
                records.push_back(std::move(record));
            }
            record.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.empty()) {
        record.push_back(std::move(field));
        records.push_back(std::move(record));
    }
    return records;
}

// The column whose header names it, else (text LOMs) the first column
// whose every value is a list of part names.
int findColumn(const LomFileTable& t, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        for (std::size_t c = 0; c < t.headers.size(); ++c)
            if (t.headers[c] == n)
                return static_cast<int>(c);
    return -1;
}

int partsColumn(const LomFileTable& t)
{
    if (const int c = findColumn(t, { "Parts", "Designator", "Component Name-P" }); c >= 0)
        return c;
    static const std::regex name(R"([A-Za-z_#]+[0-9]+[A-Za-z]?(-[A-Za-z_#]+[0-9]+[A-Za-z]?)?)");
    for (std::size_t c = 0; !t.rows.empty() && c < t.headers.size(); ++c) {
        const bool all = std::all_of(t.rows.begin(), t.rows.end(), [&](const auto& row) {
            if (c >= row.size() || row[c].empty())
                return false;
            std::size_t from = 0;
            for (;;) {
                const std::size_t comma = row[c].find(", ", from);
                if (!std::regex_match(row[c].substr(from, comma - from), name))
                    return false;
                if (comma == std::string::npos)
                    return true;
                from = comma + 2;
            }
        });
        if (all)
            return static_cast<int>(c);
    }
    return -1;
}

std::string joinOthers(const std::vector<std::string>& row, const std::vector<int>& skip)
{
    std::string out;
    for (std::size_t c = 0; c < row.size(); ++c) {
        if (std::find(skip.begin(), skip.end(), static_cast<int>(c)) != skip.end())
            continue;
        if (!out.empty())
            out += ", ";
        out += row[c];
    }
    return out;
}

} // namespace

LomFileTable ReadLomFile(const std::string& fileName)
{
    const LomFormat format = FormatOfFileName(fileName);
    if (format == LomFormat::Xlsx || format == LomFormat::Html)
        throw DiffError(
            fileName + ": only text and CSV LOM files can be compared, not " + FormatName(format));
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        throw DiffError("cannot read " + fileName);
    std::ostringstream s;
    s << in.rdbuf();
    const std::string text = s.str();
    LomFileTable t;
    // Text LOM lines: a blank, the running number, then delimiter and value.
    static const std::regex numbered(R"( [0-9]+([^0-9]).*)");
    const auto all = lines(text);
    std::smatch m;
    if (!all.empty() && std::regex_match(all.front(), m, numbered)) {
        const char delimiter = m[1].str()[0];
        for (const auto& line : all) {
            if (line.empty())
                continue;
            if (line == "Do not place:")
                break;
            if (!std::regex_match(line, numbered))
                throw DiffError(fileName + ": not a LOM file (line \"" + line.substr(0, 40) + "\")");
            std::vector<std::string> row;
            std::size_t from = line.find(delimiter) + 1;
            for (;;) {
                const std::size_t next = line.find(delimiter, from);
                row.push_back(line.substr(from, next == std::string::npos ? next : next - from));
                if (next == std::string::npos)
                    break;
                from = next + 1;
            }
            t.rows.push_back(std::move(row));
        }
        for (std::size_t c = 0; c < t.rows.front().size(); ++c)
            t.headers.push_back("column " + std::to_string(c + 1));
        return t;
    }
    auto records = csvRecords(text);
    if (records.empty())
        throw DiffError(fileName + ": empty, not a LOM file");
    t.headers = std::move(records.front());
    records.erase(records.begin());
    const int dnp = findColumn(t, { "Do not place" });
    for (auto& r : records)
        if (dnp < 0 || (static_cast<std::size_t>(dnp) < r.size() && r[dnp].empty()))
            t.rows.push_back(std::move(r));
    return t;
}

std::vector<std::string> ExpandPartRanges(const std::string& text)
{
    std::vector<std::string> out;
    static const std::regex range(R"(([A-Za-z_#]+)([1-9][0-9]{0,8})-([A-Za-z_#]+)([1-9][0-9]{0,8}))");
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t comma = text.find(", ", from);
        const std::string item = text.substr(from, comma - from);
        std::smatch m;
        if (std::regex_match(item, m, range) && m[1] == m[3] && std::stol(m[2]) < std::stol(m[4])) {
            for (long n = std::stol(m[2]); n <= std::stol(m[4]); ++n)
                out.push_back(m[1].str() + std::to_string(n));
        } else if (!item.empty()) {
            out.push_back(item);
        }
        if (comma == std::string::npos)
            break;
        from = comma + 2;
    }
    return out;
}

std::vector<std::string> DiffLomFiles(const LomFileTable& oldFile, const LomFileTable& newFile)
{
    if (oldFile.headers != newFile.headers)
        throw DiffError("the two files have different columns: not two revisions of one LOM");
    const int parts = partsColumn(oldFile);
    if (parts < 0 || partsColumn(newFile) != parts)
        throw DiffError("no column of part names found in both files");
    int quantity = findColumn(oldFile, { "Quantity", "Qty" });
    // A grouped text LOM: the whole numbers just before the part names.
    if (quantity < 0 && parts > 0) {
        const auto whole = [&](const LomFileTable& t) {
            return std::all_of(t.rows.begin(), t.rows.end(), [&](const auto& row) {
                const std::string& v = row[static_cast<std::size_t>(parts) - 1];
                return !v.empty() && v.find_first_not_of("0123456789") == std::string::npos;
            });
        };
        if (whole(oldFile) && whole(newFile))
            quantity = parts - 1;
    }
    const int eic = findColumn(oldFile, { "External Index Code-P", "Part Number", "Code-D", "MPN-D" });
    const std::vector<int> skip = { parts, quantity };

    // Part name -> the rest of its line, per file.
    auto byPart = [&](const LomFileTable& t) {
        std::map<std::string, const std::vector<std::string>*, decltype(&naturalLess)> out(&naturalLess);
        for (const auto& row : t.rows)
            if (static_cast<std::size_t>(parts) < row.size())
                for (const auto& name : ExpandPartRanges(row[parts]))
                    out[name] = &row;
        return out;
    };
    const auto before = byPart(oldFile), after = byPart(newFile);
    const bool common
        = std::any_of(before.begin(), before.end(), [&](const auto& p) { return after.count(p.first) > 0; });
    if (!common && !before.empty() && !after.empty())
        throw DiffError("the two files share no part: not two revisions of one design");

    std::vector<std::string> out;
    long added = 0, removed = 0, changed = 0;
    std::set<std::string> quantityLines;
    for (const auto& [name, row] : after)
        if (!before.count(name)) {
            out.push_back("added " + name + ": " + joinOthers(*row, skip));
            ++added;
        }
    for (const auto& [name, row] : before) {
        const auto now = after.find(name);
        if (now == after.end()) {
            out.push_back("removed " + name + ": " + joinOthers(*row, skip));
            ++removed;
            continue;
        }
        std::string what;
        for (std::size_t c = 0; c < oldFile.headers.size(); ++c) {
            if (std::find(skip.begin(), skip.end(), static_cast<int>(c)) != skip.end())
                continue;
            const std::string a = c < row->size() ? (*row)[c] : "",
                              b = c < now->second->size() ? (*now->second)[c] : "";
            if (a != b)
                what += (what.empty() ? "" : ", ") + oldFile.headers[c] + " " + a + " -> " + b;
        }
        if (!what.empty()) {
            out.push_back("changed " + name + ": " + what);
            ++changed;
        }
        // Without an EIC (no column, or an empty one on this line),
        // quantities are compared line by line, by part names.
        const bool keyless = eic < 0 || static_cast<std::size_t>(eic) >= row->size()
            || text::trimBlanks((*row)[static_cast<std::size_t>(eic)]).empty();
        if (keyless && quantity >= 0) {
            const auto q = static_cast<std::size_t>(quantity);
            const std::string a = q < row->size() ? (*row)[q] : "",
                              b = q < now->second->size() ? (*now->second)[q] : "";
            if (a != b && quantityLines.insert((*row)[static_cast<std::size_t>(parts)]).second)
                out.push_back("quantity " + (*row)[static_cast<std::size_t>(parts)] + ": " + a + " -> " + b);
        }
    }
    // Per EIC: how many parts (or the quantity column) in each revision.
    if (eic >= 0) {
        auto counts = [&](const LomFileTable& t) {
            std::map<std::string, long> out;
            for (const auto& row : t.rows) {
                // Lines without a code are not pooled under "": their
                // parts are compared by name above.
                if (static_cast<std::size_t>(eic) >= row.size() || text::trimBlanks(row[eic]).empty())
                    continue;
                long n = static_cast<long>(ExpandPartRanges(row[parts]).size());
                if (quantity >= 0 && static_cast<std::size_t>(quantity) < row.size())
                    n = std::atol(row[quantity].c_str());
                out[row[eic]] += n;
            }
            return out;
        };
        const auto a = counts(oldFile), b = counts(newFile);
        for (const auto& [code, n] : b)
            if (!a.count(code))
                out.push_back("added EIC " + code + ": " + std::to_string(n));
        for (const auto& [code, n] : a) {
            const auto m = b.find(code);
            if (m == b.end())
                out.push_back("removed EIC " + code + ": " + std::to_string(n));
            else if (m->second != n)
                out.push_back(
                    "quantity " + code + ": " + std::to_string(n) + " -> " + std::to_string(m->second));
        }
    }
    out.push_back(std::to_string(added) + " added, " + std::to_string(removed) + " removed, "
        + std::to_string(changed) + " changed");
    return out;
}

} // namespace rav::lom
