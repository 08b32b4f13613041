// The kernel behind the C interface: loads a project file once per open into
// compact tables, answers every read from memory, and writes device texts
// and string-table values through to the file, one transaction each.
#include "zareza2v.h"

#include "dpz_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace
{

using rav::dpz::Statement;

// A handle is kind << 26 | (index + 1): positive, 32-bit, and self-checking,
// so a handle of one kind passed where another is wanted gives 0. System
// table handles are kind << 26 | number << 16 | byte offset instead, which is
// what makes "base + offset" work.
enum class Kind : std::int32_t {
    Database = 1,
    HierarchyMap,
    LayCompMap,
    DeviceMap,
    Hierarchy,
    Component,
    Device,
    Symbol,
    SchComp,
    TextArray,
    Item,
    Text,
    SysTable,
};
constexpr int kKindShift = 26;
constexpr std::int32_t kIndexMask = (1 << kKindShift) - 1;
constexpr std::size_t kMaxIndex = static_cast<std::size_t>(kIndexMask) - 1;

std::int32_t makeHandle(Kind kind, std::size_t index)
{
    return static_cast<std::int32_t>(kind) << kKindShift | static_cast<std::int32_t>(index + 1);
}

Kind kindOf(std::int32_t handle)
{
    return static_cast<Kind>(handle >> kKindShift);
}

// The index a handle of `kind` denotes, or -1. `count` bounds the index.
std::int64_t indexOf(std::int32_t handle, Kind kind, std::size_t count)
{
    if (handle <= 0 || kindOf(handle) != kind)
        return -1;
    const std::int64_t index = (handle & kIndexMask) - 1;
    return index >= 0 && static_cast<std::size_t>(index) < count ? index : -1;
}

struct Device {
    std::int64_t rowid;
    std::int32_t name; // text handles
    std::int32_t library;
    std::int32_t text;
};

// The tables below hold no more than they must: a project of 100k parts has
// as many components, gates and twice as many texts. A component's name, an
// item's text are consecutive texts loaded with them (they never change), a
// run of gates or items ends where the next one starts, and a gate's
// component is found by bisection.
struct Component {
    std::int32_t symbol; // symbol handle or 0
    std::int32_t device; // device handle or 0
    std::uint32_t firstSch; // schematic components are stored per component,
                            // contiguous and in project order
};

// The texts of one open project, packed: each is stored once, with a NUL
// after it, in blocks of 1 MiB that never move, so the pointers handed out
// by Z_TextPointer stay valid until the project closes. A text handle's
// index finds the text's place (block number and position, in 32 bits) in
// one table, and its length is where the NUL is - but for the rare text
// that holds a NUL itself, whose length is kept aside. A changed text is
// appended, never overwritten, so old pointers stay valid as well. A project
// of 100k parts holds several hundred thousand texts: an allocation and a
// string object each would be most of the project's memory.
class TextPool
{
public:
    void reserve(std::size_t texts) { places_.reserve(texts); }
    std::size_t size() const { return places_.size(); }

    std::int32_t add(std::string_view bytes)
    {
        if (places_.size() >= kMaxIndex)
            throw rav::dpz::Error("the project holds too many texts");
        const std::size_t need = bytes.size() + 1;
        if (blocks_.empty() || need > kBlock - used_) {
            // A text longer than a block gets blocks of its own, in one piece.
            const std::size_t slots = (need + kBlock - 1) / kBlock;
            if (blocks_.size() + slots > kMaxBlocks)
                throw rav::dpz::Error("the project's texts are too large");
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(slots * kBlock));
            for (std::size_t k = 1; k < slots; ++k)
                blocks_.emplace_back();
            used_ = slots > 1 ? kBlock : 0;
        }
        const std::size_t block = blocks_.size() - (need > kBlock ? (need + kBlock - 1) / kBlock : 1);
        char* at = blocks_[block].get() + (need > kBlock ? 0 : used_);
        if (!bytes.empty())
            std::memcpy(at, bytes.data(), bytes.size());
        at[bytes.size()] = '\0';
        const std::size_t index = places_.size();
        places_.push_back(static_cast<std::uint32_t>(block << kBlockShift | (need > kBlock ? 0 : used_)));
        if (need <= kBlock)
            used_ += need;
        if (std::memchr(at, '\0', bytes.size()) != nullptr)
            withNul_.emplace(static_cast<std::uint32_t>(index), bytes.size());
        return makeHandle(Kind::Text, index);
    }
    // The NUL-terminated text of a handle, nullptr for anything else.
    const char* pointer(std::int32_t handle) const
    {
        const std::int64_t i = indexOf(handle, Kind::Text, places_.size());
        if (i < 0)
            return nullptr;
        const std::uint32_t place = places_[static_cast<std::size_t>(i)];
        return blocks_[place >> kBlockShift].get() + (place & (kBlock - 1));
    }
    // The text's bytes (a NUL inside one included); empty for a bad handle.
    std::string_view view(std::int32_t handle) const
    {
        const char* text = pointer(handle);
        if (!text)
            return {};
        if (!withNul_.empty()) {
            auto it = withNul_.find(static_cast<std::uint32_t>((handle & kIndexMask) - 1));
            if (it != withNul_.end())
                return { text, it->second };
        }
        return text;
    }

private:
    static constexpr int kBlockShift = 20;
    static constexpr std::size_t kBlock = std::size_t(1) << kBlockShift;
    static constexpr std::size_t kMaxBlocks = std::size_t(1) << (32 - kBlockShift);
    std::vector<std::unique_ptr<char[]>> blocks_; // the later blocks of a long text stay empty
    std::vector<std::uint32_t> places_; // by text index: block << kBlockShift | position
    std::unordered_map<std::uint32_t, std::size_t> withNul_; // text index -> length
    std::size_t used_ = 0; // bytes used of the last block
};

// Everything of one open project.
struct Project {
    rav::dpz::Db db;
    std::string path;
    TextPool texts;
    std::int32_t name = 0;
    std::vector<std::int32_t> hierarchies; // name text handles
    std::int64_t currentHierarchy = -1; // index, -1: none
    std::vector<std::int32_t> symbols; // name text handles
    std::vector<Device> devices;
    std::vector<std::uint32_t> deviceByName; // device indexes in name (byte) order
    std::vector<Component> components;
    std::uint32_t componentNames = 0; // text index of component 0's name
    std::vector<std::uint32_t> schFirstItem; // by schematic component
    std::vector<std::int32_t> itemMasks; // by text item
    std::uint32_t itemTexts = 0; // text index of item 0's text
    std::map<std::string, std::int32_t> strings; // name -> value text handle
    std::map<std::int32_t, std::string> sysTables;
    Statement updateDevice; // prepared once: a change must not re-parse SQL
    Statement upsertString;
    // The open write-back (Z_BeginChange .. Z_EndChange): its journal row,
    // once the first device changed, and the text handles to put back into
    // memory should it be rolled back.
    bool inChange = false;
    std::int64_t writeBack = 0;
    std::vector<std::pair<std::size_t, std::int32_t>> replaced;
    Statement insertWriteBack; // prepared when the journal is first written
    Statement insertChange;

    std::int32_t addText(std::string_view bytes) { return texts.add(bytes); }
    std::int32_t componentName(std::size_t c) const { return makeHandle(Kind::Text, componentNames + c); }
    std::int32_t itemText(std::size_t i) const { return makeHandle(Kind::Text, itemTexts + i); }
    // The schematic components of component c: [first, end).
    std::uint32_t schEnd(std::size_t c) const
    {
        return c + 1 < components.size() ? components[c + 1].firstSch
                                         : static_cast<std::uint32_t>(schFirstItem.size());
    }
    std::uint32_t itemEnd(std::size_t sch) const
    {
        return sch + 1 < schFirstItem.size() ? schFirstItem[sch + 1] : static_cast<std::uint32_t>(itemMasks.size());
    }
    // The component a schematic component belongs to.
    std::size_t schComponent(std::size_t sch) const
    {
        auto it = std::upper_bound(components.begin(), components.end(), sch,
            [](std::size_t v, const Component& c) { return v < c.firstSch; });
        return static_cast<std::size_t>(it - components.begin()) - 1;
    }
    std::string_view text(std::int32_t handle) const { return texts.view(handle); }
    // The device named `name` (exact bytes), -1 when none.
    std::int64_t findDevice(std::string_view name) const
    {
        auto it = std::lower_bound(deviceByName.begin(), deviceByName.end(), name,
            [this](std::uint32_t d, std::string_view n) { return text(devices[d].name) < n; });
        return it != deviceByName.end() && text(devices[*it].name) == name ? static_cast<std::int64_t>(*it) : -1;
    }
};

struct State {
    std::unique_ptr<Project> project;
    std::string lastError;
    Z_HelpDisplayFn help = nullptr;
    void* helpContext = nullptr;
};

State& state()
{
    static State s;
    return s;
}

Project* open()
{
    return state().project.get();
}

void fail(std::string message)
{
    state().lastError = std::move(message);
}

// The ids of one table's rows while the project loads, in the order read
// (every table is read in id order but the gates): a row's index is found by
// bisection, and while the ids are 1, 2, 3 ... (the most common case) only
// the first is kept. A hash map per table would cost several times the
// memory at the moment the project is largest.
class IdIndex
{
public:
    void reserve(std::size_t n) { reserve_ = n; }
    void add(std::int64_t id)
    {
        if (ids_.empty()) {
            if (count_ == 0)
                first_ = id;
            if (id == first_ + static_cast<std::int64_t>(count_)) {
                ++count_;
                return;
            }
            ids_.reserve(std::max(reserve_, count_ + 1));
            for (std::size_t i = 0; i < count_; ++i)
                ids_.push_back(first_ + static_cast<std::int64_t>(i));
        }
        ids_.push_back(id);
        ++count_;
    }
    std::int64_t at(std::size_t i) const { return ids_.empty() ? first_ + static_cast<std::int64_t>(i) : ids_[i]; }
    std::size_t size() const { return count_; }
    // The index of the row with `id`, -1 when there is none; for ids added
    // in ascending order.
    std::int64_t find(std::int64_t id) const
    {
        if (ids_.empty())
            return id >= first_ && id - first_ < static_cast<std::int64_t>(count_) ? id - first_ : -1;
        auto it = std::lower_bound(ids_.begin(), ids_.end(), id);
        return it != ids_.end() && *it == id ? it - ids_.begin() : -1;
    }

private:
    std::int64_t first_ = 0;
    std::size_t count_ = 0;
    std::size_t reserve_ = 0;
    std::vector<std::int64_t> ids_; // empty while the ids are first_, first_ + 1 ...
};

std::size_t checkedCount(std::size_t n, const char* what)
{
    if (n >= kMaxIndex)
        throw rav::dpz::Error(std::string("too many ") + what);
    return n;
}

// The number of rows of `table`, to size its vector once.
std::size_t rowCount(sqlite3* db, const char* table)
{
    Statement s(db, std::string("SELECT count(*) FROM ") + table);
    return s.step() ? static_cast<std::size_t>(s.integer(0)) : 0;
}

std::unique_ptr<Project> load(const std::string& path)
{
    auto p = std::make_unique<Project>();
    p->path = path;
    p->db = rav::dpz::openProject(path);
    sqlite3* db = p->db.get();
    try {
        // Rows are read once, front to back: a small page cache does, and
        // the pages the file check read are let go now.
        rav::dpz::exec(db, "PRAGMA cache_size = -256");
        IdIndex hierIds, symbolIds, componentIds, schIds;
        const std::size_t deviceCount = rowCount(db, "device");
        const std::size_t componentCount = rowCount(db, "component");
        const std::size_t itemCount = rowCount(db, "text_item");
        p->texts.reserve(3 * deviceCount + componentCount + itemCount + rowCount(db, "hierarchy")
            + rowCount(db, "symbol") + rowCount(db, "string_entry") + 1);
        {
            Statement s(db, "SELECT id, name FROM hierarchy ORDER BY id");
            while (s.step()) {
                checkedCount(p->hierarchies.size(), "hierarchies");
                hierIds.add(s.integer(0));
                p->hierarchies.push_back(p->addText(s.view(1)));
            }
        }
        {
            Statement s(db, "SELECT name, current_hierarchy FROM project WHERE id = 1");
            if (!s.step())
                throw rav::dpz::Error("the project row is missing");
            p->name = p->addText(s.view(0));
            if (!s.isNull(1)) {
                p->currentHierarchy = hierIds.find(s.integer(1));
                if (p->currentHierarchy < 0)
                    throw rav::dpz::Error("the current hierarchy does not exist");
            }
        }
        {
            Statement s(db, "SELECT id, name FROM symbol ORDER BY id");
            while (s.step()) {
                checkedCount(p->symbols.size(), "symbols");
                symbolIds.add(s.integer(0));
                p->symbols.push_back(p->addText(s.view(1)));
            }
        }
        {
            p->devices.reserve(deviceCount);
            Statement s(db, "SELECT id, name, library, text FROM device ORDER BY id");
            std::int32_t library = 0;
            while (s.step()) {
                checkedCount(p->devices.size(), "devices");
                const std::int32_t name = p->addText(s.view(1));
                // Devices of one library follow each other: they share its text.
                if (library == 0 || p->text(library) != s.view(2))
                    library = p->addText(s.view(2));
                p->devices.push_back({ s.integer(0), name, library, p->addText(s.view(3)) });
            }
            p->deviceByName.resize(p->devices.size());
            for (std::uint32_t i = 0; i < p->deviceByName.size(); ++i)
                p->deviceByName[i] = i;
            std::sort(p->deviceByName.begin(), p->deviceByName.end(), [&](std::uint32_t a, std::uint32_t b) {
                return p->text(p->devices[a].name) < p->text(p->devices[b].name);
            });
        }
        {
            p->components.reserve(componentCount);
            componentIds.reserve(componentCount);
            Statement s(db, "SELECT id, name, symbol, device FROM component ORDER BY id");
            while (s.step()) {
                checkedCount(p->components.size(), "components");
                componentIds.add(s.integer(0));
                const std::size_t name = static_cast<std::size_t>(p->addText(s.view(1)) & kIndexMask) - 1;
                if (p->components.empty())
                    p->componentNames = static_cast<std::uint32_t>(name);
                Component c { 0, 0, 0 };
                if (!s.isNull(2)) {
                    const std::int64_t symbol = symbolIds.find(s.integer(2));
                    if (symbol < 0)
                        throw rav::dpz::Error("a component refers to a missing symbol");
                    c.symbol = makeHandle(Kind::Symbol, static_cast<std::size_t>(symbol));
                }
                if (!s.isNull(3)) {
                    auto it = std::lower_bound(p->devices.begin(), p->devices.end(), s.integer(3),
                        [](const Device& d, std::int64_t id) { return d.rowid < id; });
                    if (it == p->devices.end() || it->rowid != s.integer(3))
                        throw rav::dpz::Error("a component refers to a missing device");
                    c.device = makeHandle(Kind::Device, static_cast<std::size_t>(it - p->devices.begin()));
                }
                p->components.push_back(c);
            }
        }
        {
            // Ordered by component so that each component's gates are one
            // contiguous run; each component's run starts where the last one
            // ended.
            const std::size_t schCount = rowCount(db, "sch_component");
            schIds.reserve(schCount);
            std::size_t done = 0; // components whose first gate is set
            Statement s(db, "SELECT id, component FROM sch_component ORDER BY component, id");
            while (s.step()) {
                const std::int64_t component = componentIds.find(s.integer(1));
                if (component < 0)
                    throw rav::dpz::Error("a schematic component refers to a missing component");
                const std::size_t index = checkedCount(schIds.size(), "schematic components");
                if (static_cast<std::size_t>(component) + 1 < done)
                    throw rav::dpz::Error("schematic components out of order");
                for (; done <= static_cast<std::size_t>(component); ++done)
                    p->components[done].firstSch = static_cast<std::uint32_t>(index);
                schIds.add(s.integer(0));
            }
            for (; done < p->components.size(); ++done)
                p->components[done].firstSch = static_cast<std::uint32_t>(schIds.size());
            componentIds = IdIndex();
            // The items in the gates' order, so that each gate's items are one
            // run, starting where the last one ended.
            p->schFirstItem.resize(schIds.size());
            p->itemMasks.reserve(itemCount);
            p->itemTexts = static_cast<std::uint32_t>(p->texts.size());
            done = 0;
            Statement t(db,
                "SELECT i.sch_component, i.mask, i.text FROM sch_component s"
                " JOIN text_item i ON i.sch_component = s.id ORDER BY s.component, s.id, i.id");
            while (t.step()) {
                const std::size_t index = checkedCount(p->itemMasks.size(), "text items");
                const std::int64_t id = t.integer(0);
                if (done == 0 || schIds.at(done - 1) != id) {
                    for (; done < schIds.size() && schIds.at(done) != id; ++done)
                        p->schFirstItem[done] = static_cast<std::uint32_t>(index);
                    if (done == schIds.size())
                        throw rav::dpz::Error("text items out of order");
                    p->schFirstItem[done++] = static_cast<std::uint32_t>(index);
                }
                p->itemMasks.push_back(static_cast<std::int32_t>(t.integer(1)));
                p->addText(t.view(2));
            }
            for (; done < schIds.size(); ++done)
                p->schFirstItem[done] = static_cast<std::uint32_t>(p->itemMasks.size());
            if (rowCount(db, "text_item") != p->itemMasks.size())
                throw rav::dpz::Error("a text item refers to a missing schematic component");
        }
        {
            Statement s(db, "SELECT name, value FROM string_entry ORDER BY name");
            while (s.step())
                p->strings[s.bytes(0)] = p->addText(s.view(1));
        }
        {
            Statement s(db, "SELECT number, data FROM system_table ORDER BY number");
            while (s.step()) {
                const std::int64_t number = s.integer(0);
                std::string data = s.bytes(1);
                // The base handle has room for 1024 tables of 64 KiB each.
                if (number < 0 || number >= 1024 || data.size() > 0xFFFF)
                    throw rav::dpz::Error("a system table is out of range");
                p->sysTables[static_cast<std::int32_t>(number)] = std::move(data);
            }
        }
        p->updateDevice = Statement(db, "UPDATE device SET text = ?1 WHERE id = ?2");
        p->upsertString = Statement(db, "INSERT OR REPLACE INTO string_entry(name, value) VALUES (?1, ?2)");
        // Everything is in memory now: the pages read on the way are not
        // needed again until a write.
        sqlite3_db_release_memory(db);
    } catch (const rav::dpz::Error& e) {
        throw rav::dpz::damaged(path, e.what());
    }
    return p;
}

const Component* componentOf(std::int32_t handle)
{
    Project* p = open();
    if (!p)
        return nullptr;
    const std::int64_t i = indexOf(handle, Kind::Component, p->components.size());
    return i < 0 ? nullptr : &p->components[static_cast<std::size_t>(i)];
}

Device* deviceOf(std::int32_t handle)
{
    Project* p = open();
    if (!p)
        return nullptr;
    const std::int64_t i = indexOf(handle, Kind::Device, p->devices.size());
    return i < 0 ? nullptr : &p->devices[static_cast<std::size_t>(i)];
}

std::int64_t schCompIndex(std::int32_t handle, Kind kind = Kind::SchComp)
{
    Project* p = open();
    return p ? indexOf(handle, kind, p->schFirstItem.size()) : -1;
}

// The size of the map `map` denotes and the kind of its entries.
bool mapShape(std::int32_t map, std::size_t& count, Kind& entryKind)
{
    Project* p = open();
    if (!p || map <= 0 || (map & kIndexMask) != 1)
        return false;
    switch (kindOf(map)) {
    case Kind::HierarchyMap:
        count = p->hierarchies.size();
        entryKind = Kind::Hierarchy;
        return true;
    case Kind::LayCompMap:
        count = p->components.size();
        entryKind = Kind::Component;
        return true;
    case Kind::DeviceMap:
        count = p->devices.size();
        entryKind = Kind::Device;
        return true;
    default:
        return false;
    }
}

std::int32_t projectHandle(Kind kind)
{
    return open() ? makeHandle(kind, 0) : 0;
}

} // namespace

extern "C" {

int32_t DB_DataBase(void)
{
    return projectHandle(Kind::Database);
}

int32_t DB_CurHier(void)
{
    Project* p = open();
    return p && p->currentHierarchy >= 0
        ? makeHandle(Kind::Hierarchy, static_cast<std::size_t>(p->currentHierarchy))
        : 0;
}

int32_t DB_HierarchyMap(void)
{
    return projectHandle(Kind::HierarchyMap);
}
int32_t DB_LayCompMap(void)
{
    return projectHandle(Kind::LayCompMap);
}
int32_t DB_DeviceMap(void)
{
    return projectHandle(Kind::DeviceMap);
}

int32_t OM_GetFirst(int32_t map)
{
    std::size_t count = 0;
    Kind kind {};
    // The cursor is the index of the next entry; it starts at 0, so "start
    // cursor" is a valid result and failure is told by the map alone.
    return mapShape(map, count, kind) ? 0 : -1;
}

int32_t OM_SearchMask(int32_t map, int32_t* cursor, int32_t mask1, int32_t mask2)
{
    std::size_t count = 0;
    Kind kind {};
    if (!cursor || !mapShape(map, count, kind) || mask1 != 0 || mask2 != 0)
        return 0;
    if (*cursor < 0 || static_cast<std::size_t>(*cursor) >= count)
        return 0;
    const auto index = static_cast<std::size_t>(*cursor);
    ++*cursor;
    return makeHandle(kind, index);
}

int32_t OM_Object(int32_t map, int32_t entry)
{
    std::size_t count = 0;
    Kind kind {};
    if (!mapShape(map, count, kind))
        return 0;
    return indexOf(entry, kind, count) >= 0 ? entry : 0;
}

int32_t OM_FindName(int32_t map, const char* name)
{
    Project* p = open();
    std::size_t count = 0;
    Kind kind {};
    if (!p || !name || !mapShape(map, count, kind) || kind != Kind::Device)
        return 0;
    const std::int64_t found = p->findDevice(name);
    return found < 0 ? 0 : makeHandle(Kind::Device, static_cast<std::size_t>(found));
}

int32_t O_GetName(int32_t object)
{
    Project* p = open();
    if (!p || object <= 0)
        return 0;
    switch (kindOf(object)) {
    case Kind::Database:
        return object == makeHandle(Kind::Database, 0) ? p->name : 0;
    case Kind::Hierarchy: {
        const std::int64_t i = indexOf(object, Kind::Hierarchy, p->hierarchies.size());
        return i < 0 ? 0 : p->hierarchies[static_cast<std::size_t>(i)];
    }
    case Kind::Symbol: {
        const std::int64_t i = indexOf(object, Kind::Symbol, p->symbols.size());
        return i < 0 ? 0 : p->symbols[static_cast<std::size_t>(i)];
    }
    case Kind::Component: {
        const Component* c = componentOf(object);
        return c ? p->componentName(static_cast<std::size_t>(c - p->components.data())) : 0;
    }
    case Kind::Device: {
        const Device* d = deviceOf(object);
        return d ? d->name : 0;
    }
    default:
        return 0;
    }
}

int32_t D_Device(int32_t device)
{
    return deviceOf(device) ? device : 0;
}

int32_t S_Symbol(int32_t symbol)
{
    Project* p = open();
    return p && indexOf(symbol, Kind::Symbol, p->symbols.size()) >= 0 ? symbol : 0;
}

int32_t L_ReadComponent(int32_t component, Z_ComponentRecord* record)
{
    if (!record)
        return 0;
    std::memset(record, 0, sizeof *record);
    const Component* c = componentOf(component);
    if (!c)
        return 0;
    const Project* p = open();
    const auto index = static_cast<std::size_t>(c - p->components.data());
    record->handle = component;
    record->name = p->componentName(index);
    record->symbol = c->symbol;
    record->device = c->device;
    record->schCompCount = static_cast<std::int32_t>(p->schEnd(index) - c->firstSch);
    return 1;
}

int32_t L_GetSchCompId(int32_t component, int32_t k)
{
    const Component* c = componentOf(component);
    if (!c || k < 1)
        return 0;
    const Project* p = open();
    const std::uint32_t end = p->schEnd(static_cast<std::size_t>(c - p->components.data()));
    if (static_cast<std::uint32_t>(k) > end - c->firstSch)
        return 0;
    return makeHandle(Kind::SchComp, c->firstSch + static_cast<std::uint32_t>(k) - 1);
}

int32_t D_ReadDevice(int32_t device, Z_DeviceRecord* record)
{
    if (!record)
        return 0;
    std::memset(record, 0, sizeof *record);
    const Device* d = deviceOf(device);
    if (!d)
        return 0;
    record->handle = device;
    record->name = d->name;
    record->library = d->library;
    record->text = d->text;
    return 1;
}

} // extern "C"

namespace
{

// Opens the transaction of a write-back; a version 1 file gets its journal
// tables inside it.
void beginChange(Project& p)
{
    rav::dpz::exec(p.db.get(), "BEGIN IMMEDIATE");
    try {
        rav::dpz::ensureJournal(p.db.get());
        if (!p.insertChange) {
            p.insertWriteBack = Statement(p.db.get(),
                "INSERT INTO write_back(made) VALUES (strftime('%Y-%m-%dT%H:%M:%SZ', 'now'))");
            p.insertChange = Statement(p.db.get(),
                "INSERT INTO write_back_change(write_back, device, old_text, new_text) VALUES (?1, ?2, ?3, ?4)");
        }
    } catch (...) {
        sqlite3_exec(p.db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    p.inChange = true;
    p.writeBack = 0;
    p.replaced.clear();
}

// Commits or rolls back the open write-back; a rollback (asked for or forced
// by a failing commit) puts the old texts back into memory too.
void endChange(Project& p, bool commit)
{
    p.inChange = false;
    if (commit) {
        try {
            rav::dpz::exec(p.db.get(), "COMMIT");
            p.replaced.clear();
            return;
        } catch (...) {
            sqlite3_exec(p.db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            for (auto it = p.replaced.rbegin(); it != p.replaced.rend(); ++it)
                p.devices[it->first].text = it->second;
            p.replaced.clear();
            throw;
        }
    }
    sqlite3_exec(p.db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    for (auto it = p.replaced.rbegin(); it != p.replaced.rend(); ++it)
        p.devices[it->first].text = it->second;
    p.replaced.clear();
}

// One device change inside the open write-back: its journal entry and the
// new text, both or neither (a savepoint keeps a failure from undoing the
// devices changed before it).
void changeInWriteBack(Project& p, Device& d, const char* deviceText)
{
    sqlite3* db = p.db.get();
    // The text's slot first: running out of them must fail before the file
    // changes.
    const std::int32_t text = p.addText(deviceText);
    const bool firstChange = p.writeBack == 0;
    rav::dpz::exec(db, "SAVEPOINT device_change");
    try {
        if (p.writeBack == 0) {
            p.insertWriteBack.reset();
            p.insertWriteBack.step();
            p.insertWriteBack.reset();
            p.writeBack = sqlite3_last_insert_rowid(db);
        }
        Statement& j = p.insertChange;
        j.reset();
        j.bindInt(1, p.writeBack);
        j.bindInt(2, d.rowid);
        j.bindBytes(3, p.text(d.text));
        j.bindBytes(4, deviceText);
        j.step();
        j.reset();
        Statement& s = p.updateDevice;
        s.reset();
        s.bindBytes(1, deviceText);
        s.bindInt(2, d.rowid);
        s.step();
        s.reset();
        rav::dpz::exec(db, "RELEASE device_change");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK TO device_change; RELEASE device_change", nullptr, nullptr, nullptr);
        if (firstChange)
            p.writeBack = 0; // its journal row went with the savepoint
        throw;
    }
    p.replaced.emplace_back(static_cast<std::size_t>(&d - p.devices.data()), d.text);
    d.text = text;
}

} // namespace

extern "C" {

int32_t D_ChangeDevice(int32_t device, int32_t library, const char* deviceText)
{
    Project* p = open();
    Device* d = deviceOf(device);
    if (!p || !d) {
        fail("There is no such device.");
        return 0;
    }
    if (library != d->library) {
        fail("The device's library text was not handed back unchanged.");
        return 0;
    }
    if (!deviceText || std::strlen(deviceText) > rav::dpz::kMaxDeviceText) {
        fail("A device text holds at most " + std::to_string(rav::dpz::kMaxDeviceText) + " bytes.");
        return 0;
    }
    // A change outside Z_BeginChange is a write-back of its own. Memory keeps
    // the new text only once the file has committed, so the two never
    // disagree; SQLite's journal makes the transaction all-or-nothing even
    // when the process dies mid-write.
    const bool own = !p->inChange;
    try {
        if (own)
            beginChange(*p);
        try {
            changeInWriteBack(*p, *d, deviceText);
        } catch (...) {
            if (own)
                endChange(*p, false);
            throw;
        }
        if (own)
            endChange(*p, true);
        return 1;
    } catch (const std::exception& e) {
        fail(std::string("The device could not be changed: ") + e.what() + ".");
        return 0;
    }
}

int32_t C_ReadComponent(int32_t schComp, Z_SchematicRecord* record)
{
    if (!record)
        return 0;
    std::memset(record, 0, sizeof *record);
    const std::int64_t i = schCompIndex(schComp);
    if (i < 0)
        return 0;
    const Project* p = open();
    const auto sch = static_cast<std::size_t>(i);
    record->handle = schComp;
    record->component = makeHandle(Kind::Component, p->schComponent(sch));
    record->textArray = makeHandle(Kind::TextArray, sch);
    record->textCount = static_cast<std::int32_t>(p->itemEnd(sch) - p->schFirstItem[sch]);
    return 1;
}

int32_t C_CompTextArray(int32_t schComp)
{
    const std::int64_t i = schCompIndex(schComp);
    return i < 0 ? 0 : makeHandle(Kind::TextArray, static_cast<std::size_t>(i));
}

int32_t OA_SearchMask(int32_t textArray, int32_t start, int32_t mask)
{
    const std::int64_t i = schCompIndex(textArray, Kind::TextArray);
    if (i < 0 || start < 1)
        return 0;
    const Project* p = open();
    const auto sch = static_cast<std::size_t>(i);
    const std::uint32_t first = p->schFirstItem[sch];
    const std::uint32_t end = p->itemEnd(sch);
    for (std::uint32_t item = first + static_cast<std::uint32_t>(start) - 1; item < end; ++item)
        if ((p->itemMasks[item] & mask) != 0)
            return static_cast<std::int32_t>(item - first + 1);
    return 0;
}

int32_t C_CompText(int32_t schComp, int32_t position)
{
    const std::int64_t i = schCompIndex(schComp);
    if (i < 0 || position < 1)
        return 0;
    const Project* p = open();
    const auto sch = static_cast<std::size_t>(i);
    if (static_cast<std::uint32_t>(position) > p->itemEnd(sch) - p->schFirstItem[sch])
        return 0;
    return makeHandle(Kind::Item, p->schFirstItem[sch] + static_cast<std::uint32_t>(position) - 1);
}

int32_t I_ReadItem(int32_t item, Z_ItemRecord* record)
{
    if (!record)
        return 0;
    std::memset(record, 0, sizeof *record);
    const Project* p = open();
    const std::int64_t i = p ? indexOf(item, Kind::Item, p->itemMasks.size()) : -1;
    if (i < 0)
        return 0;
    record->handle = item;
    record->mask = p->itemMasks[static_cast<std::size_t>(i)];
    record->text = p->itemText(static_cast<std::size_t>(i));
    return 1;
}

int32_t E_GetString(const char* name)
{
    Project* p = open();
    if (!p || !name)
        return 0;
    auto it = p->strings.find(name);
    return it == p->strings.end() ? 0 : it->second;
}

int32_t E_SetString(const char* name, const char* value)
{
    Project* p = open();
    if (!p || !name || !value) {
        fail("No project is open.");
        return 0;
    }
    try {
        const std::int32_t text = p->addText(value);
        Statement& s = p->upsertString;
        s.reset();
        s.bindBytes(1, name);
        s.bindBytes(2, value);
        s.step();
        s.reset();
        p->strings[name] = text;
        return 1;
    } catch (const std::exception& e) {
        fail(std::string("The string could not be stored: ") + e.what() + ".");
        return 0;
    }
}

int32_t E_SysTable(int32_t number)
{
    Project* p = open();
    if (!p || p->sysTables.find(number) == p->sysTables.end())
        return 0;
    return static_cast<std::int32_t>(Kind::SysTable) << kKindShift | number << 16;
}

int32_t E_MemCopy(void* destination, int32_t source, int32_t count)
{
    Project* p = open();
    if (!p || !destination || count <= 0 || source <= 0 || kindOf(source) != Kind::SysTable)
        return 0;
    const std::int32_t number = (source & kIndexMask) >> 16;
    const std::size_t offset = static_cast<std::size_t>(source & 0xFFFF);
    auto it = p->sysTables.find(number);
    if (it == p->sysTables.end() || offset + static_cast<std::size_t>(count) > it->second.size())
        return 0;
    std::memcpy(destination, it->second.data() + offset, static_cast<std::size_t>(count));
    return count;
}

int32_t H_DispTopic(int64_t window, const char* helpFile, int32_t topic)
{
    State& s = state();
    if (!s.help)
        return 0;
    s.help(s.helpContext, window, helpFile ? helpFile : "", topic);
    return 1;
}

int32_t Z_BeginChange(void)
{
    Project* p = open();
    if (!p || p->inChange) {
        fail(p ? "A write-back is already open." : "No project is open.");
        return 0;
    }
    try {
        beginChange(*p);
        return 1;
    } catch (const std::exception& e) {
        fail(std::string("The project file cannot be changed: ") + e.what() + ".");
        return 0;
    }
}

int32_t Z_EndChange(int32_t commit)
{
    Project* p = open();
    if (!p || !p->inChange) {
        fail("No write-back is open.");
        return 0;
    }
    try {
        endChange(*p, commit != 0);
        return commit != 0 ? 1 : 0;
    } catch (const std::exception& e) {
        fail(std::string("The write-back could not be saved: ") + e.what() + ".");
        return 0;
    }
}

int32_t Z_UndoChange(void)
{
    Project* p = open();
    if (!p || p->inChange) {
        fail(p ? "A write-back is open." : "No project is open.");
        return 0;
    }
    sqlite3* db = p->db.get();
    std::vector<std::pair<std::size_t, std::string>> restored;
    std::unordered_map<std::size_t, std::string> restoredText;
    try {
        rav::dpz::Transaction t(db);
        std::int64_t last = 0;
        if (rav::dpz::schemaVersion(db) >= 2) {
            Statement s(db, "SELECT max(id) FROM write_back");
            if (s.step() && !s.isNull(0))
                last = s.integer(0);
        }
        if (last == 0) {
            fail("There is nothing to undo.");
            return 0;
        }
        Statement entries(db,
            "SELECT device, old_text, new_text FROM write_back_change WHERE write_back = ?1 ORDER BY id DESC");
        entries.bindInt(1, last);
        Statement update(db, "UPDATE device SET text = ?1 WHERE id = ?2");
        while (entries.step()) {
            const std::int64_t rowid = entries.integer(0);
            // Devices are loaded in id order, so the row is found by bisection.
            auto it = std::lower_bound(p->devices.begin(), p->devices.end(), rowid,
                [](const Device& d, std::int64_t id) { return d.rowid < id; });
            if (it == p->devices.end() || it->rowid != rowid)
                throw rav::dpz::Error("a journalled device no longer exists");
            const std::size_t index = static_cast<std::size_t>(it - p->devices.begin());
            // A device changed twice in one write-back meets its later
            // change first; its earlier one must find the text restored.
            auto pending = restoredText.find(index);
            const std::string_view current
                = pending != restoredText.end() ? std::string_view(pending->second) : p->text(it->text);
            if (current != entries.view(2)) {
                fail("The device \"" + std::string(p->text(it->name))
                    + "\" was changed after the last write-back; nothing was undone.");
                return 0;
            }
            std::string old = entries.bytes(1);
            update.reset();
            update.bindBytes(1, old);
            update.bindInt(2, rowid);
            update.step();
            restoredText[index] = old;
            restored.emplace_back(index, std::move(old));
        }
        Statement dropChanges(db, "DELETE FROM write_back_change WHERE write_back = ?1");
        dropChanges.bindInt(1, last);
        dropChanges.step();
        Statement dropWriteBack(db, "DELETE FROM write_back WHERE id = ?1");
        dropWriteBack.bindInt(1, last);
        dropWriteBack.step();
        t.commit();
    } catch (const std::exception& e) {
        fail(std::string("The last write-back could not be undone: ") + e.what() + ".");
        return 0;
    }
    for (auto& [index, old] : restored)
        p->devices[index].text = p->addText(std::move(old));
    return static_cast<int32_t>(std::max<std::size_t>(restored.size(), 1));
}

int32_t Z_OpenProject(const char* path)
{
    State& s = state();
    s.project.reset();
    if (!path || !*path) {
        fail("No project file was named.");
        return 0;
    }
    try {
        s.project = load(path);
        s.lastError.clear();
        return 1;
    } catch (const std::bad_alloc&) {
        fail("The project file \"" + std::string(path) + "\" is too large to open.");
    } catch (const std::exception& e) {
        fail(e.what());
    }
    return 0;
}

void Z_CloseProject(void)
{
    state().project.reset();
}

int32_t Z_SaveProjectAs(const char* path)
{
    Project* p = open();
    if (!p || !path || !*path) {
        fail(p ? "No project file was named." : "No project is open.");
        return 0;
    }
    try {
        // VACUUM INTO writes a complete, consistent copy in one step; the new
        // file must not exist, so nothing of the user's is overwritten.
        Statement copy(p->db.get(), "VACUUM INTO ?1");
        copy.bindText(1, path);
        copy.step();
    } catch (const std::exception& e) {
        fail("The project could not be saved as \"" + std::string(path) + "\": " + e.what() + ".");
        return 0;
    }
    return Z_OpenProject(path);
}

const char* Z_ProjectPath(void)
{
    Project* p = open();
    return p ? p->path.c_str() : "";
}

const char* Z_TextPointer(int32_t text)
{
    Project* p = open();
    return p ? p->texts.pointer(text) : nullptr;
}

void Z_SetHelpDisplay(Z_HelpDisplayFn display, void* context)
{
    state().help = display;
    state().helpContext = context;
}

const char* Z_LastError(void)
{
    return state().lastError.c_str();
}

} // extern "C"
