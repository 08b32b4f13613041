// Writing a project model to a ".dpz" file and reading one back.
#include "dpz_store.h"
#include "project_model.h"
#include "textcodec.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <type_traits>
#include <unistd.h>
#include <unordered_map>

namespace rav::project
{

namespace
{

constexpr std::string_view kSeparatorUtf8 = "\xE2\x82\xAC";

// The code point of the first character of a UTF-8 text, as "U+03A9".
std::string codePoint(const std::string& utf8)
{
    unsigned cp = 0;
    const auto* b = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    if (n >= 1 && b[0] < 0x80)
        cp = b[0];
    else if (n >= 2 && (b[0] & 0xE0) == 0xC0)
        cp = (b[0] & 0x1Fu) << 6 | (b[1] & 0x3Fu);
    else if (n >= 3 && (b[0] & 0xF0) == 0xE0)
        cp = (b[0] & 0x0Fu) << 12 | (b[1] & 0x3Fu) << 6 | (b[2] & 0x3Fu);
    else if (n >= 4)
        cp = (b[0] & 0x07u) << 18 | (b[1] & 0x3Fu) << 12 | (b[2] & 0x3Fu) << 6 | (b[3] & 0x3Fu);
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", cp);
    return buf;
}

// UTF-8 to the file's Windows-1252, or an error naming the place and the
// character; nothing is ever replaced silently.
std::string encodeText(const std::string& utf8, const std::string& where)
{
    if (!text::isValidUtf8(utf8))
        throw ProjectError(where + ": the text is not valid UTF-8");
    if (utf8.find('\0') != std::string::npos)
        throw ProjectError(where + ": a text may not contain the character U+0000");
    std::string bad;
    auto bytes = text::utf8ToCp1252(utf8, &bad);
    if (!bytes)
        throw ProjectError(where + ": the character \"" + bad + "\" (" + codePoint(bad)
            + ") cannot be stored in a project, whose texts are Windows-1252");
    return std::move(*bytes);
}

// Plain ASCII without NUL, as nearly every text of a design is, is its own
// Windows-1252 form.
bool plainAscii(std::string_view s)
{
    for (const char c : s)
        if (static_cast<unsigned char>(c) - 1u >= 0x7Fu)
            return false;
    return true;
}

// The place is only spelled out when a text is refused: `where` makes it.
template <class Where> std::string encode(const std::string& utf8, const Where& where)
{
    if (plainAscii(utf8))
        return utf8;
    if constexpr (std::is_invocable_v<Where>)
        return encodeText(utf8, where());
    else
        return encodeText(utf8, where);
}

// Inserts `rows` rows, up to 64 to a statement: a large design has tens of
// thousands, and each run of a statement has a cost of its own. `bind`
// binds row `row` from parameter `at` on; a parameter left unbound is NULL.
template <class Bind>
void insertRows(sqlite3* db, std::string_view insert, int columns, std::size_t rows, const Bind& bind)
{
    constexpr std::size_t kBatch = 64;
    const auto sqlFor = [&](std::size_t n) {
        std::string row = "(?";
        for (int k = 1; k < columns; ++k)
            row += ",?";
        row += ")";
        std::string sql(insert);
        sql += " VALUES ";
        for (std::size_t r = 0; r < n; ++r)
            sql += (r ? "," : "") + row;
        return sql;
    };
    dpz::Statement full;
    for (std::size_t first = 0; first < rows; first += kBatch) {
        const std::size_t n = std::min(kBatch, rows - first);
        dpz::Statement rest;
        if (n == kBatch && !full)
            full = dpz::Statement(db, sqlFor(n));
        else if (n < kBatch)
            rest = dpz::Statement(db, sqlFor(n));
        dpz::Statement& s = n == kBatch ? full : rest;
        for (std::size_t r = 0; r < n; ++r)
            bind(s, static_cast<int>(r) * columns + 1, first + r);
        s.step();
        s.reset();
    }
}

std::string at(const std::string& list, std::size_t i)
{
    return list + "[" + std::to_string(i) + "]";
}

// Removes a half-written file unless released.
class TempFile
{
public:
    explicit TempFile(std::filesystem::path path)
        : path_(std::move(path))
    {
    }
    ~TempFile()
    {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
            std::filesystem::remove(path_.string() + "-journal", ignored);
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    void release() { path_.clear(); }

private:
    std::filesystem::path path_;
};

} // namespace

void writeDpz(const Project& p, const std::filesystem::path& file)
{
    // Check and encode everything first, so that a bad source never leaves
    // a file behind.
    const std::string name = encode(p.name, "name");
    std::vector<std::string> hierarchies;
    for (std::size_t i = 0; i < p.hierarchies.size(); ++i)
        hierarchies.push_back(encode(p.hierarchies[i], at("hierarchies", i)));
    if (p.currentHierarchy && *p.currentHierarchy >= p.hierarchies.size())
        throw ProjectError("currentHierarchy: there is no such hierarchy");

    std::unordered_map<std::string, std::size_t> symbolIndex, deviceIndex;
    std::vector<std::string> symbols;
    for (std::size_t i = 0; i < p.symbols.size(); ++i) {
        if (p.symbols[i].empty())
            throw ProjectError(at("symbols", i) + ": a symbol needs a name");
        if (!symbolIndex.emplace(p.symbols[i], i).second)
            throw ProjectError(at("symbols", i) + ": the symbol \"" + p.symbols[i] + "\" is listed twice");
        symbols.push_back(encode(p.symbols[i], at("symbols", i)));
    }

    struct EncodedDevice {
        std::string name, library, text;
    };
    std::vector<EncodedDevice> devices;
    for (std::size_t i = 0; i < p.devices.size(); ++i) {
        const Device& d = p.devices[i];
        const auto where = [i] { return at("devices", i); };
        if (d.name.empty())
            throw ProjectError(where() + ".name: a device needs a name");
        if (!deviceIndex.emplace(d.name, i).second)
            throw ProjectError(where() + ".name: the device \"" + d.name + "\" is listed twice");
        if (d.firstWord.find(' ') != std::string::npos)
            throw ProjectError(where() + ".firstWord: the first word cannot hold a blank");
        if (d.tokens)
            for (std::size_t k = 0; k < d.tokens->size(); ++k) {
                encode((*d.tokens)[k], [&] { return at(where() + ".tokens", k); });
                if ((*d.tokens)[k].find(kSeparatorUtf8) != std::string::npos)
                    throw ProjectError(
                        at(where() + ".tokens", k) + ": a token cannot hold \"\u20ac\", the token separator");
            }
        EncodedDevice e { encode(d.name, [&] { return where() + ".name"; }),
            encode(d.library, [&] { return where() + ".library"; }),
            encode(deviceText(d), [&] { return where() + ".firstWord"; }) };
        if (e.text.size() > dpz::kMaxDeviceText)
            throw ProjectError(
                where() + ": the device text is longer than " + std::to_string(dpz::kMaxDeviceText) + " bytes");
        devices.push_back(std::move(e));
    }

    struct EncodedComponent {
        std::string name;
        std::int64_t symbol = 0, device = 0; // 1-based ids, 0: none
        std::vector<std::vector<std::pair<int, std::string>>> schematic;
    };
    std::vector<EncodedComponent> components;
    for (std::size_t i = 0; i < p.components.size(); ++i) {
        const Component& c = p.components[i];
        const auto where = [i] { return at("components", i); };
        EncodedComponent e;
        e.name = encode(c.name, [&] { return where() + ".name"; });
        if (!c.symbol.empty()) {
            auto it = symbolIndex.find(c.symbol);
            if (it == symbolIndex.end())
                throw ProjectError(where() + ".symbol: \"" + c.symbol + "\" is not one of symbols");
            e.symbol = static_cast<std::int64_t>(it->second) + 1;
        }
        if (!c.device.empty()) {
            auto it = deviceIndex.find(c.device);
            if (it == deviceIndex.end())
                throw ProjectError(where() + ".device: \"" + c.device + "\" is not one of devices");
            e.device = static_cast<std::int64_t>(it->second) + 1;
        }
        for (std::size_t j = 0; j < c.schematic.size(); ++j) {
            std::vector<std::pair<int, std::string>> items;
            for (std::size_t k = 0; k < c.schematic[j].texts.size(); ++k) {
                const TextItem& t = c.schematic[j].texts[k];
                items.emplace_back(t.mask,
                    encode(t.text, [&] { return at(at(where() + ".schematic", j) + ".texts", k) + ".text"; }));
            }
            e.schematic.push_back(std::move(items));
        }
        components.push_back(std::move(e));
    }
    std::vector<std::pair<std::string, std::string>> strings;
    for (const auto& [key, value] : p.strings)
        strings.emplace_back(encode(key, "strings." + key), encode(value, "strings." + key));

    // Build beside the target, then rename over it: a reader never sees a
    // half-built project, and a failed build leaves the old file alone.
    const std::filesystem::path target = std::filesystem::absolute(file);
    const std::filesystem::path temp
        = target.parent_path() / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()));
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    TempFile guard(temp);
    try {
        // Every reference was checked above and every id is made here.
        dpz::createProject(temp, [&](sqlite3* db) {
            {
                dpz::Statement s(db, "INSERT INTO hierarchy(id, name) VALUES (?1, ?2)");
                for (std::size_t i = 0; i < hierarchies.size(); ++i) {
                    s.bindInt(1, static_cast<std::int64_t>(i) + 1);
                    s.bindBytes(2, hierarchies[i]);
                    s.step();
                    s.reset();
                }
            }
            {
                dpz::Statement s(db, "INSERT INTO project(id, name, current_hierarchy) VALUES (1, ?1, ?2)");
                s.bindBytes(1, name);
                if (p.currentHierarchy)
                    s.bindInt(2, static_cast<std::int64_t>(*p.currentHierarchy) + 1);
                s.step();
            }
            {
                dpz::Statement s(db, "INSERT INTO symbol(id, name) VALUES (?1, ?2)");
                for (std::size_t i = 0; i < symbols.size(); ++i) {
                    s.bindInt(1, static_cast<std::int64_t>(i) + 1);
                    s.bindBytes(2, symbols[i]);
                    s.step();
                    s.reset();
                }
            }
            {
                dpz::Statement s(db, "INSERT INTO device(id, name, library, text) VALUES (?1, ?2, ?3, ?4)");
                for (std::size_t i = 0; i < devices.size(); ++i) {
                    s.bindInt(1, static_cast<std::int64_t>(i) + 1);
                    s.bindBytes(2, devices[i].name);
                    s.bindBytes(3, devices[i].library);
                    s.bindBytes(4, devices[i].text);
                    s.step();
                    s.reset();
                }
            }
            {
                // The rows of the three tables of placed parts, written many
                // to a statement.
                std::vector<std::int64_t> schOwner; // component id of sch_component id - 1
                struct ItemRow {
                    std::int64_t sch;
                    int mask;
                    const std::string* text;
                };
                std::vector<ItemRow> itemRows;
                for (std::size_t i = 0; i < components.size(); ++i)
                    for (const auto& items : components[i].schematic) {
                        schOwner.push_back(static_cast<std::int64_t>(i) + 1);
                        for (const auto& [mask, t] : items)
                            itemRows.push_back({ static_cast<std::int64_t>(schOwner.size()), mask, &t });
                    }
                insertRows(db, "INSERT INTO component(id, name, symbol, device)", 4, components.size(),
                    [&](dpz::Statement& s, int at, std::size_t i) {
                        const EncodedComponent& c = components[i];
                        s.bindInt(at, static_cast<std::int64_t>(i) + 1);
                        s.bindView(at + 1, c.name);
                        if (c.symbol)
                            s.bindInt(at + 2, c.symbol);
                        if (c.device)
                            s.bindInt(at + 3, c.device);
                    });
                insertRows(db, "INSERT INTO sch_component(id, component)", 2, schOwner.size(),
                    [&](dpz::Statement& s, int at, std::size_t i) {
                        s.bindInt(at, static_cast<std::int64_t>(i) + 1);
                        s.bindInt(at + 1, schOwner[i]);
                    });
                insertRows(db, "INSERT INTO text_item(sch_component, mask, text)", 3, itemRows.size(),
                    [&](dpz::Statement& s, int at, std::size_t i) {
                        s.bindInt(at, itemRows[i].sch);
                        s.bindInt(at + 1, itemRows[i].mask);
                        s.bindView(at + 2, *itemRows[i].text);
                    });
            }
            {
                dpz::Statement s(db, "INSERT INTO string_entry(name, value) VALUES (?1, ?2)");
                for (const auto& [key, value] : strings) {
                    s.bindBytes(1, key);
                    s.bindBytes(2, value);
                    s.step();
                    s.reset();
                }
            }
            {
                std::string table(dpz::kSystemTableSize, '\0');
                table[dpz::kHelpFollowOffset] = p.helpFollow ? 1 : 0; // little-endian 32-bit word
                dpz::Statement s(db, "INSERT INTO system_table(number, data) VALUES (?1, ?2)");
                s.bindInt(1, dpz::kHelpTable);
                s.bindBytes(2, table);
                s.step();
            }
        });
        dpz::syncFile(temp);
    } catch (const dpz::Error& e) {
        throw ProjectError("Cannot write the project file \"" + target.string() + "\": " + e.what());
    }
    std::filesystem::rename(temp, target, ignored);
    if (ignored)
        throw ProjectError("Cannot write the project file \"" + target.string() + "\": " + ignored.message());
    guard.release();
}

Project readDpz(const std::filesystem::path& file)
{
    Project p;
    try {
        dpz::Db db = dpz::openProject(file);
        sqlite3* raw = db.get();
        const auto dec = [](const std::string& bytes) { return text::cp1252ToUtf8(bytes); };
        std::unordered_map<std::int64_t, std::size_t> hierIds;
        std::unordered_map<std::int64_t, std::string> symbolNames, deviceNames;
        {
            dpz::Statement s(raw, "SELECT id, name FROM hierarchy ORDER BY id");
            while (s.step()) {
                hierIds[s.integer(0)] = p.hierarchies.size();
                p.hierarchies.push_back(dec(s.bytes(1)));
            }
        }
        {
            dpz::Statement s(raw, "SELECT name, current_hierarchy FROM project WHERE id = 1");
            if (s.step()) {
                p.name = dec(s.bytes(0));
                if (!s.isNull(1) && hierIds.count(s.integer(1)))
                    p.currentHierarchy = hierIds[s.integer(1)];
            }
        }
        {
            dpz::Statement s(raw, "SELECT id, name FROM symbol ORDER BY id");
            while (s.step())
                p.symbols.push_back(symbolNames[s.integer(0)] = dec(s.bytes(1)));
        }
        {
            dpz::Statement s(raw, "SELECT id, name, library, text FROM device ORDER BY id");
            while (s.step()) {
                Device d;
                d.name = deviceNames[s.integer(0)] = dec(s.bytes(1));
                d.library = dec(s.bytes(2));
                splitDeviceText(dec(s.bytes(3)), d);
                p.devices.push_back(std::move(d));
            }
        }
        std::unordered_map<std::int64_t, std::size_t> componentIds;
        {
            dpz::Statement s(raw, "SELECT id, name, symbol, device FROM component ORDER BY id");
            while (s.step()) {
                Component c;
                c.name = dec(s.bytes(1));
                if (!s.isNull(2))
                    c.symbol = symbolNames[s.integer(2)];
                if (!s.isNull(3))
                    c.device = deviceNames[s.integer(3)];
                componentIds[s.integer(0)] = p.components.size();
                p.components.push_back(std::move(c));
            }
        }
        std::unordered_map<std::int64_t, std::pair<std::size_t, std::size_t>> schIds;
        {
            dpz::Statement s(raw, "SELECT id, component FROM sch_component ORDER BY component, id");
            while (s.step()) {
                auto it = componentIds.find(s.integer(1));
                if (it == componentIds.end())
                    continue; // refused by openProject's reference check already
                auto& schematic = p.components[it->second].schematic;
                schIds[s.integer(0)] = { it->second, schematic.size() };
                schematic.emplace_back();
            }
        }
        {
            dpz::Statement s(
                raw, "SELECT sch_component, mask, text FROM text_item ORDER BY sch_component, id");
            while (s.step()) {
                auto it = schIds.find(s.integer(0));
                if (it == schIds.end())
                    continue;
                p.components[it->second.first].schematic[it->second.second].texts.push_back(
                    { static_cast<int>(s.integer(1)), dec(s.bytes(2)) });
            }
        }
        {
            dpz::Statement s(raw, "SELECT name, value FROM string_entry ORDER BY name");
            while (s.step())
                p.strings[dec(s.bytes(0))] = dec(s.bytes(1));
        }
        {
            dpz::Statement s(raw, "SELECT data FROM system_table WHERE number = ?1");
            s.bindInt(1, dpz::kHelpTable);
            if (s.step()) {
                const std::string data = s.bytes(0);
                if (data.size() >= static_cast<std::size_t>(dpz::kHelpFollowOffset) + 4)
                    p.helpFollow = data.compare(static_cast<std::size_t>(dpz::kHelpFollowOffset), 4,
                                       std::string(4, '\0'))
                        != 0;
            }
        }
    } catch (const dpz::Error& e) {
        const std::string what = e.what();
        if (what.find(file.string()) != std::string::npos)
            throw ProjectError(what);
        throw ProjectError(dpz::damaged(file, what).what());
    }
    return p;
}

} // namespace rav::project
