#include "lom_purchase.h"

#include "values.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <unordered_map>

namespace rav::lom
{

namespace
{

bool allDigits(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

[[noreturn]] void badCount(const std::string& text, const std::string& count)
{
    throw std::invalid_argument("bad board count \"" + count + "\" in --project " + text
        + " (a whole number from 1 to " + std::to_string(kMaxBoards) + ")");
}

} // namespace

ProjectCount ParseProjectCount(const std::string& text, const std::function<bool(const std::string&)>& exists)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos)
        return { text, 1 };
    const std::string path = text.substr(0, colon);
    const std::string count = text.substr(colon + 1);
    if (allDigits(count)) {
        // A file really named "x:12" wins over the board count only when
        // "x" itself is no file.
        if (!exists(path) && exists(text))
            return { text, 1 };
        long n = 0;
        const auto [ptr, ec] = std::from_chars(count.data(), count.data() + count.size(), n);
        if (ec != std::errc() || ptr != count.data() + count.size() || n < 1 || n > kMaxBoards || path.empty())
            badCount(text, count);
        return { path, n };
    }
    // "dir:x/b.dpz" or an existing "odd:name.dpz" is a path; a count that
    // is no number is refused rather than opened as a file.
    if (count.find('/') != std::string::npos || exists(text))
        return { text, 1 };
    badCount(text, count);
}

std::vector<std::string> BoardLabels(const std::vector<std::string>& paths)
{
    std::vector<std::string> labels;
    std::map<std::string, int> uses;
    for (const auto& p : paths) {
        labels.push_back(std::filesystem::path(p).stem().string());
        if (labels.back().empty())
            labels.back() = p;
        ++uses[labels.back()];
    }
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (uses[labels[i]] > 1)
            labels[i] = paths[i];
    return labels;
}

long SparesFor(long quantity, const SpareRule& rule)
{
    if (quantity <= 0)
        return 0;
    const long share = (quantity * rule.percent + 99) / 100;
    return std::max(share, rule.minimum);
}

std::string PurchaseKey(const std::string& eic, const std::string& value, const std::string& package)
{
    return (IsPlaceholderCode(eic) ? std::string() : eic) + '\x1f' + value + '\x1f' + package;
}

LomTable MergeBoards(const std::vector<BoardList>& boards, const PurchaseLayout& layout)
{
    const bool spares = layout.spares.any();
    if ((spares || layout.multiplier != 1 || boards.size() > 1) && layout.quantityColumn < 0)
        throw std::invalid_argument("a purchase list needs a quantity column (--group, or a profile with @quantity)");

    struct Merged {
        const BoardLine* first = nullptr;
        long quantity = 0;
        bool withoutRecord = false;
        std::vector<std::pair<std::size_t, const std::string*>> parts; // board index, ranges
    };
    std::vector<Merged> sections[2];
    std::unordered_map<std::string, std::size_t> index[2];
    long placed = 0;
    for (std::size_t b = 0; b < boards.size(); ++b) {
        const BoardList& board = boards[b];
        placed += board.parts * board.count * layout.multiplier;
        for (const BoardLine& line : board.lines) {
            const int s = line.apart ? 1 : 0;
            const auto [it, fresh] = index[s].try_emplace(line.key, sections[s].size());
            if (fresh)
                sections[s].push_back({ &line });
            Merged& m = sections[s][it->second];
            m.quantity += line.quantity * board.count * layout.multiplier;
            m.withoutRecord = m.withoutRecord || line.withoutRecord;
            m.parts.emplace_back(b, &line.parts);
        }
    }

    if (layout.sortColumn >= 0)
        for (auto& section : sections)
            std::stable_sort(section.begin(), section.end(), [&](const Merged& x, const Merged& y) {
                const auto& a = layout.descending ? y : x;
                const auto& b = layout.descending ? x : y;
                const auto c = static_cast<std::size_t>(layout.sortColumn);
                return naturalLess(a.first->cells[c], b.first->cells[c]);
            });

    // The spares column follows the quantity it belongs to.
    const auto sparesAt = static_cast<std::size_t>(layout.quantityColumn + 1);
    LomTable table;
    table.headers = layout.headers;
    table.numeric = layout.numeric;
    table.numeric.resize(table.headers.size());
    if (spares) {
        table.headers.insert(table.headers.begin() + static_cast<std::ptrdiff_t>(sparesAt), layout.sparesHeader);
        table.numeric.insert(table.numeric.begin() + static_cast<std::ptrdiff_t>(sparesAt), true);
    }
    for (int s = 0; s < 2; ++s) {
        if (s == 1)
            table.separateFrom = table.rows.size();
        for (const Merged& m : sections[s]) {
            std::string parts;
            for (const auto& [b, ranges] : m.parts) {
                if (!parts.empty())
                    parts += "; ";
                parts += boards.size() > 1 ? boards[b].label + ": " + *ranges : *ranges;
            }
            std::vector<std::string> row = m.first->cells;
            row.resize(layout.headers.size());
            const long extra = s == 0 && spares ? SparesFor(m.quantity, layout.spares) : 0;
            if (layout.quantityColumn >= 0)
                row[static_cast<std::size_t>(layout.quantityColumn)] = std::to_string(m.quantity + extra);
            if (layout.partsColumn >= 0)
                row[static_cast<std::size_t>(layout.partsColumn)] = parts;
            if (spares)
                row.insert(row.begin() + static_cast<std::ptrdiff_t>(sparesAt), std::to_string(extra));
            table.rows.push_back(std::move(row));
            table.rowParts.push_back(std::move(parts));
            table.rowEic.push_back(m.first->eic);
            table.rowWithoutRecord.push_back(m.withoutRecord ? 1 : 0);
        }
    }
    if (sections[1].empty())
        table.separateFrom = table.rows.size();
    table.parts = placed;
    return table;
}

} // namespace rav::lom
