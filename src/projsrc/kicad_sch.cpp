#include "kicad_sch.h"

#include "sexpr.h"
#include "textcodec.h"

#include <algorithm>
#include <array>
#include <deque>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <sstream>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace rav::project
{

namespace fs = std::filesystem;
using sexpr::Document;
using sexpr::Index;
using sexpr::kNone;
using namespace std::string_view_literals;

namespace
{

// The oldest format with the ".kicad_sch" shape read here (KiCad 6's first).
constexpr long kOldestSchematicVersion = 20200310;

// A property read from a tree (library symbols, sheets): few, owned.
struct OwnedField {
    std::string name, value;
};

// Kept in a map node, which does not move: parts view its texts.
struct LibSymbol {
    bool power = false;
    std::string description;
    std::array<std::string, 2> keywordValues;
    std::vector<SchematicField> keywords; // ki_keywords, ki_fp_filters, viewing keywordValues
};

struct Instance {
    std::string path, reference;
    int unit = 1;
    // KiCad 6 keeps a value and footprint per instance of a shared sheet;
    // they override the symbol's own when the instance has them.
    std::optional<std::string> value, footprint;
};

// A placed symbol's texts are views into the file's bytes (or, for a
// string with escapes, into FileContent::unescaped): a schematic is mostly
// symbols, and their texts are not copied. What placing them asks of those
// texts (which field a name is, where a reference goes) is worked out while
// the file is scanned: the parts are placed after the whole file is read,
// when its bytes have long left the cache.
enum class FieldKind : std::uint8_t { Other, Reference, Value, Footprint, Datasheet, Description };

struct FieldView {
    std::string_view name, value;
    FieldKind kind = FieldKind::Other;
};

// KiCad's reference order: "C2" before "C10" before "R1"; the prefix
// compares as text, then the number (its digits without leading zeros, by
// length first). Parts are sorted by the SortKey below where it holds the
// reference; this is the order it keeps and the one for the others.
struct ReferenceKey {
    std::string_view prefix, number;
    bool operator<(const ReferenceKey& o) const
    {
        if (prefix != o.prefix)
            return prefix < o.prefix;
        if (number.size() != o.number.size())
            return number.size() < o.number.size();
        return number < o.number;
    }
};

ReferenceKey referenceKey(std::string_view r)
{
    std::size_t digits = r.size();
    while (digits > 0 && r[digits - 1] >= '0' && r[digits - 1] <= '9')
        --digits;
    std::string_view number = r.substr(digits);
    while (!number.empty() && number.front() == '0')
        number.remove_prefix(1);
    return { r.substr(0, digits), number };
}

// The same order in two whole numbers, worked out while the reference's
// bytes are at hand, so that parts are sorted without reading them: the
// prefix's bytes packed (at most eight, none zero) and the number's value
// (at most 19 digits). Other references compare by their texts.
struct SortKey {
    std::uint64_t prefix = 0, number = 0;
    bool exact = false;

    static SortKey of(std::string_view reference)
    {
        const ReferenceKey k = referenceKey(reference);
        SortKey key;
        if (k.prefix.size() > 8 || k.number.size() > 19)
            return key;
        for (std::size_t i = 0; i < 8; ++i) {
            const unsigned byte = i < k.prefix.size() ? static_cast<unsigned char>(k.prefix[i]) : 0u;
            if (byte == 0 && i < k.prefix.size())
                return {};
            key.prefix = key.prefix << 8 | byte;
        }
        for (const char c : k.number)
            key.number = key.number * 10 + static_cast<std::uint64_t>(c - '0');
        key.exact = true;
        return key;
    }
};

// A reference with its hash, its place in the parts' order, and whether
// it names a part at all (not empty, not "#PWR01").
struct ReferenceText {
    std::string_view text;
    SortKey key;
    std::uint32_t hash = 0;
    bool isPart = false;
    static ReferenceText of(std::string_view text)
    {
        return { text, SortKey::of(text), static_cast<std::uint32_t>(std::hash<std::string_view> {}(text)),
            !text.empty() && text.front() != '#' };
    }
};

struct SymbolInstance {
    std::uint32_t path = 0; // in FileContent::paths
    int unit = 1;
    ReferenceText reference;
};

constexpr std::uint32_t kNoColon = ~std::uint32_t(0);

struct PlacedSymbol {
    std::string_view uuid, libId;
    std::uint32_t libKey = 0; // in FileContent::libKeys: lib_name, else lib_id
    std::uint32_t colon = kNoColon; // of libId
    int unit = 1;
    bool inBom = true, onBoard = true, dnp = false;
    ReferenceText reference; // its first "Reference" property's
    // Ranges of FileContent::properties and ::instances (KiCad 7 and later):
    // one block for all symbols of a file, not two per symbol.
    std::uint32_t firstProperty = 0, properties = 0, firstInstance = 0, instances = 0;
};

// A list of plain values that grows in place where it can: the lists of
// a large file's placed symbols run to tens of megabytes, and a vector
// would copy them into fresh memory at every doubling, where realloc
// extends the block or remaps its pages.
template <class T> class GrowingList
{
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    GrowingList() = default;
    GrowingList(GrowingList&& o) noexcept
        : items_(std::exchange(o.items_, nullptr))
        , size_(std::exchange(o.size_, 0))
        , capacity_(std::exchange(o.capacity_, 0))
    {
    }
    GrowingList& operator=(GrowingList&& o) noexcept
    {
        std::swap(items_, o.items_);
        std::swap(size_, o.size_);
        std::swap(capacity_, o.capacity_);
        return *this;
    }
    ~GrowingList() { std::free(items_); }

    void push_back(const T& item)
    {
        if (size_ == capacity_) {
            const std::size_t capacity = std::max<std::size_t>(64, capacity_ * 2);
            void* grown = std::realloc(static_cast<void*>(items_), capacity * sizeof(T));
            if (!grown)
                throw std::bad_alloc();
            items_ = static_cast<T*>(grown);
            capacity_ = capacity;
        }
        items_[size_++] = item;
    }
    std::size_t size() const { return size_; }
    std::span<const T> span() const { return { items_, size_ }; }
    auto begin() const { return span().begin(); }
    auto end() const { return span().end(); }
    void release()
    {
        std::free(items_);
        items_ = nullptr;
        size_ = capacity_ = 0;
    }

private:
    T* items_ = nullptr;
    std::size_t size_ = 0, capacity_ = 0;
};

// The distinct texts of a kind in one file, numbered: compared or looked up
// once per file and number instead of once per symbol.
class Interned
{
public:
    static constexpr std::uint32_t kAbsent = ~std::uint32_t(0);
    std::uint32_t of(std::string_view text)
    {
        // Neighbouring symbols mostly repeat one.
        if (last_ < texts_.size() && texts_[last_] == text)
            return last_;
        const auto [at, isNew] = ids_.try_emplace(text, static_cast<std::uint32_t>(texts_.size()));
        if (isNew)
            texts_.push_back(text);
        return last_ = at->second;
    }
    std::uint32_t find(std::string_view text) const
    {
        const auto at = ids_.find(text);
        return at == ids_.end() ? kAbsent : at->second;
    }
    const std::vector<std::string_view>& texts() const { return texts_; }

private:
    std::unordered_map<std::string_view, std::uint32_t> ids_;
    std::vector<std::string_view> texts_;
    std::uint32_t last_ = kAbsent;
};

struct Sheet {
    std::string uuid, name, file;
};

// What one file holds, read once however often it is used.
struct FileContent {
    std::string uuid, title;
    std::map<std::string, LibSymbol, std::less<>> libSymbols;
    GrowingList<PlacedSymbol> symbols;
    GrowingList<FieldView> properties; // of the placed symbols, but their references
    GrowingList<SymbolInstance> instances; // of the placed symbols
    Interned paths, libKeys; // of the placed symbols
    std::deque<std::string> unescaped; // strings with escapes, as placed symbols view them
    std::vector<Sheet> sheets;
    std::unordered_map<std::string, Instance> oldInstances; // KiCad 6's symbol_instances, by full path
};

int number(std::string_view s, int otherwise)
{
    // Nearly always a few plain digits.
    if (!s.empty() && s.size() < 10
        && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        int n = 0;
        for (const char c : s)
            n = n * 10 + (c - '0');
        return n;
    }
    try {
        return s.empty() ? otherwise : std::stoi(std::string(s));
    } catch (const std::exception&) {
        return otherwise;
    }
}

std::string plain(std::string value)
{
    if (value == "~")
        value.clear();
    return value;
}

std::vector<OwnedField> properties(const Document& d, Index list)
{
    std::vector<OwnedField> out;
    for (Index c = d.node(list).first; c != kNone; c = d.node(c).next) {
        if (d.head(c) != "property")
            continue;
        const Index name = d.child(c, 1), value = d.child(c, 2);
        if (name != kNone && value != kNone)
            out.push_back({ d.text(name), plain(d.text(value)) });
    }
    return out;
}

const std::string* property(const std::vector<OwnedField>& fields, std::string_view name)
{
    for (const auto& f : fields)
        if (f.name == name)
            return &f.value;
    return nullptr;
}

// The whole file in one read of its size (large schematics run to 100 MB).
std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in)
        throw ProjectError("cannot read " + file.string());
    const auto size = static_cast<std::size_t>(in.tellg());
    std::string bytes(size, '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size)))
        throw ProjectError("cannot read " + file.string());
    return bytes;
}

std::string placeOf(const SchematicFile& file, const Document& d, Index n)
{
    // Line and column counted in the whole file, which the child views.
    const auto [line, column] = d.lineColumn(d.node(n).begin);
    return file.path.string() + ":" + std::to_string(line) + ":" + std::to_string(column);
}

std::string_view plainView(std::string_view value)
{
    return value == "~" ? std::string_view() : value;
}

using Token = sexpr::Scanner::Token;

// A text against a keyword, in a few instructions: every list of every
// symbol asks.
template <std::size_t N> bool is(std::string_view text, const char (&keyword)[N])
{
    return text.size() == N - 1 && std::memcmp(text.data(), keyword, N - 1) == 0;
}

FieldKind kindOf(std::string_view name)
{
    if (name.size() < 5 || name.size() > 11)
        return FieldKind::Other;
    if (is(name, "Reference"))
        return FieldKind::Reference;
    if (is(name, "Value"))
        return FieldKind::Value;
    if (is(name, "Footprint"))
        return FieldKind::Footprint;
    if (is(name, "Datasheet"))
        return FieldKind::Datasheet;
    if (is(name, "Description"))
        return FieldKind::Description;
    return FieldKind::Other;
}

// Placed symbols are read as the file is scanned, without a tree: a
// schematic is mostly symbols, and most of a symbol (placement, looks,
// pins) is skipped. Their texts are views into the file's bytes, or for a
// string with escapes into FileContent::unescaped.
class SymbolScan
{
public:
    SymbolScan(sexpr::Scanner& sc, FileContent& c)
        : sc_(sc)
        , c_(c)
    {
    }

    // The scanner stands after "(symbol".
    PlacedSymbol read()
    {
        PlacedSymbol s;
        std::string_view libName;
        bool seenReference = false;
        s.firstProperty = static_cast<std::uint32_t>(c_.properties.size());
        s.firstInstance = static_cast<std::uint32_t>(c_.instances.size());
        for (Token t = sc_.next(); t != Token::Close; t = sc_.next()) {
            if (t != Token::Open)
                continue;
            t = sc_.next();
            if (t != Token::Atom) {
                rest(t);
                continue;
            }
            const std::string_view head = sc_.raw();
            if (is(head, "property")) {
                property(s, seenReference);
            } else if (is(head, "lib_id")) {
                first(s.libId);
            } else if (is(head, "lib_name")) {
                first(libName);
            } else if (is(head, "uuid")) {
                first(s.uuid);
            } else if (is(head, "unit")) {
                std::string_view v;
                if (first(v))
                    s.unit = number(v, 1);
            } else if (is(head, "in_bom")) {
                s.inBom = flag();
            } else if (is(head, "on_board")) {
                s.onBoard = flag();
            } else if (is(head, "dnp")) {
                // "(dnp)" alone, as some versions write a set flag, means yes.
                s.dnp = flag();
            } else if (is(head, "instances")) {
                instances(s.unit);
            } else {
                sc_.skipList();
            }
        }
        s.properties = static_cast<std::uint32_t>(c_.properties.size()) - s.firstProperty;
        s.instances = static_cast<std::uint32_t>(c_.instances.size()) - s.firstInstance;
        s.libKey = c_.libKeys.of(libName.empty() ? s.libId : libName);
        if (const std::size_t colon = s.libId.find(':'); colon != std::string_view::npos)
            s.colon = static_cast<std::uint32_t>(colon);
        return s;
    }

private:
    // The token just read, inside a list: the rest of that list is skipped.
    void rest(Token t)
    {
        if (t == Token::Close)
            return;
        if (t == Token::Open)
            sc_.skipList();
        sc_.skipList();
    }

    // A child's value: an atom as written, a string unescaped, a list empty.
    std::string_view value(Token t)
    {
        if (t == Token::Atom)
            return sc_.raw();
        if (t == Token::Open) {
            sc_.skipList();
            return {};
        }
        if (t != Token::String)
            return {};
        const std::string_view raw = sc_.raw();
        const std::string_view inner = raw.substr(1, raw.size() - 2);
        if (inner.find('\\') == std::string_view::npos)
            return inner;
        return c_.unescaped.emplace_back(sexpr::unescape(inner));
    }

    // Child 1 of the list whose head was just read, if there is one; the
    // rest of the list is skipped.
    bool first(std::string_view& out)
    {
        const Token t = sc_.next();
        if (t == Token::Close)
            return false;
        out = value(t);
        sc_.skipList();
        return true;
    }

    // "(in_bom yes)": yes, or no child at all, is set.
    bool flag()
    {
        const Token t = sc_.next();
        if (t == Token::Close)
            return true;
        const bool yes = t == Token::Atom && is(sc_.raw(), "yes");
        rest(t);
        return yes;
    }

    // A property, but the Reference: the first one is the symbol's.
    void property(PlacedSymbol& s, bool& seenReference)
    {
        Token t = sc_.next();
        if (t == Token::Close)
            return;
        const std::string_view name = value(t);
        t = sc_.next();
        if (t == Token::Close)
            return;
        const std::string_view text = plainView(value(t));
        const FieldKind kind = kindOf(name);
        if (kind != FieldKind::Reference)
            c_.properties.push_back({ name, text, kind });
        else if (!seenReference)
            s.reference = ReferenceText::of(text);
        seenReference = seenReference || kind == FieldKind::Reference;
        sc_.skipList();
    }

    // "(instances (project NAME (path P (reference R) (unit U)) ...) ...)":
    // every "path" list in any list of the instances.
    void instances(int unit)
    {
        for (Token t = sc_.next(); t != Token::Close; t = sc_.next()) {
            if (t != Token::Open)
                continue;
            for (Token u = sc_.next(); u != Token::Close; u = sc_.next()) {
                if (u != Token::Open)
                    continue;
                const Token h = sc_.next();
                if (h == Token::Atom && is(sc_.raw(), "path"))
                    path(unit);
                else
                    rest(h);
            }
        }
    }

    // After "(path": its child 1, and child 1 of its first "reference" and
    // "unit" lists (child 1 itself may be one).
    void path(int unit)
    {
        std::string_view path, reference;
        int pathUnit = unit;
        bool seenReference = false, seenUnit = false;
        std::size_t k = 1;
        for (Token t = sc_.next(); t != Token::Close; t = sc_.next(), ++k) {
            if (t != Token::Open) {
                if (k == 1)
                    path = value(t);
                continue;
            }
            const Token h = sc_.next();
            const bool isReference = h == Token::Atom && !seenReference && is(sc_.raw(), "reference");
            const bool isUnit = h == Token::Atom && !seenUnit && is(sc_.raw(), "unit");
            if (!isReference && !isUnit) {
                rest(h);
                continue;
            }
            std::string_view v;
            const bool has = first(v);
            if (isReference) {
                seenReference = true;
                reference = v;
            } else {
                seenUnit = true;
                pathUnit = has ? number(v, unit) : unit;
            }
        }
        c_.instances.push_back({ c_.paths.of(path), pathUnit, ReferenceText::of(reference) });
    }

    sexpr::Scanner& sc_;
    FileContent& c_;
};

// Reads the file one top-level item at a time; the version comes first, so
// a newer file is refused before anything of it is misread.
FileContent readContent(SchematicFile& file)
{
    // Placement, looks, pins and graphics: most of a schematic's bytes,
    // none of them read here; of a property only its name and value.
    static const std::vector<sexpr::Document::Shallow> kNotRead { { "property", 3 }, { "at" }, { "effects" },
        { "pin" }, { "pts" }, { "stroke" }, { "fill" }, { "polyline" }, { "rectangle" }, { "circle" }, { "arc" },
        { "bezier" }, { "text" }, { "text_box" } };
    FileContent c;
    sexpr::Document::forEachChild(file.bytes, file.path.string(), [&](const Document& d) {
        const Index n = d.root();
        const std::string_view head = d.head(n);
        if (head == "version") {
            const Index v = d.child(n, 1);
            file.version = v == kNone ? 0 : number(d.text(v), 0);
            if (file.version > kNewestSchematicVersion)
                throw ProjectError(file.path.string() + ": written by a newer KiCad (file format "
                    + std::to_string(file.version) + "; this version reads formats up to "
                    + std::to_string(kNewestSchematicVersion) + ")");
            if (file.version < kOldestSchematicVersion)
                throw ProjectError(file.path.string() + ": an unknown schematic format version ("
                    + std::to_string(file.version) + ")");
        } else if (head == "uuid") {
            c.uuid = d.text(d.child(n, 1));
        } else if (head == "title_block") {
            c.title = d.value(n, "title");
        } else if (head == "lib_symbols") {
            for (Index s = d.node(n).first; s != kNone; s = d.node(s).next) {
                if (d.head(s) != "symbol")
                    continue;
                // The first of a name counts.
                const auto [at, isNew] = c.libSymbols.try_emplace(d.text(d.child(s, 1)));
                if (!isNew)
                    continue;
                LibSymbol& lib = at->second;
                lib.power = d.find(s, "power") != kNone;
                const auto fields = properties(d, s);
                const std::string* desc = property(fields, "Description");
                if (!desc || desc->empty())
                    desc = property(fields, "ki_description");
                if (desc)
                    lib.description = *desc;
                for (const std::string_view name : { "ki_keywords"sv, "ki_fp_filters"sv })
                    if (const std::string* v = property(fields, name)) {
                        std::string& kept = lib.keywordValues[lib.keywords.size()];
                        kept = *v;
                        lib.keywords.push_back({ name, kept });
                    }
            }
        } else if (head == "sheet") {
            Sheet s;
            s.uuid = d.value(n, "uuid");
            const auto fields = properties(d, n);
            const std::string* name = property(fields, "Sheetname");
            const std::string* sheetFile = property(fields, "Sheetfile");
            if (!name)
                name = property(fields, "Sheet name");
            if (!sheetFile)
                sheetFile = property(fields, "Sheet file");
            // Some KiCad 6 files name the two in the user's language; they
            // are always the first two properties (ids 0 and 1).
            if (!name && !fields.empty())
                name = &fields[0].value;
            if (!sheetFile && fields.size() > 1)
                sheetFile = &fields[1].value;
            if (!sheetFile || sheetFile->empty())
                throw ProjectError(placeOf(file, d, n) + ": a sheet without a file name");
            s.name = name ? *name : std::string();
            s.file = *sheetFile;
            c.sheets.push_back(std::move(s));
        } else if (head == "symbol_instances") {
            for (Index path = d.node(n).first; path != kNone; path = d.node(path).next)
                if (d.head(path) == "path") {
                    Instance i { d.text(d.child(path, 1)), d.value(path, "reference"),
                        number(d.value(path, "unit"), 1), {}, {} };
                    if (d.find(path, "value") != kNone)
                        i.value = plain(d.value(path, "value"));
                    if (d.find(path, "footprint") != kNone)
                        i.footprint = plain(d.value(path, "footprint"));
                    c.oldInstances.emplace(i.path, i);
                }
        }
    }, kNotRead, "symbol", [&](sexpr::Scanner& sc) { c.symbols.push_back(SymbolScan(sc, c).read()); });
    if (file.version == 0)
        throw ProjectError(file.path.string() + ": a schematic without a format version");
    return c;
}

// Parts by reference: an open-addressing table of part indices with the
// references' hashes, which are compared first: a part's own reference is
// looked at only when the hashes agree.
class PartIndex
{
public:
    void reserve(std::size_t parts)
    {
        if (parts * 2 > slots_.size())
            grow(parts * 2);
    }

    // Where a reference will be looked for, asked for ahead: the table is
    // larger than the caches, and every lookup would wait for memory.
    void prefetch(std::uint32_t hash) const
    {
        if (!slots_.empty())
            __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
    }

    // The part with this reference, or `fresh` (noted as its index, which
    // the caller makes next) and true.
    std::pair<std::size_t, bool> emplace(
        const ReferenceText& reference, std::size_t fresh, const std::vector<SchematicPart>& parts)
    {
        if ((count_ + 1) * 2 > slots_.size())
            grow(std::max<std::size_t>(64, slots_.size() * 2));
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t h = reference.hash & mask;; h = (h + 1) & mask) {
            Slot& slot = slots_[h];
            if (slot.part == kEmpty) {
                slot = { reference.hash, static_cast<std::uint32_t>(fresh) };
                ++count_;
                return { fresh, true };
            }
            if (slot.hash == reference.hash && parts[slot.part].reference == reference.text)
                return { slot.part, false };
        }
    }

private:
    static constexpr std::uint32_t kEmpty = ~std::uint32_t(0);
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t part = kEmpty;
    };
    // To a power of two at least `size`.
    void grow(std::size_t size)
    {
        std::size_t slots = 64;
        while (slots < size)
            slots *= 2;
        std::vector<Slot> old(slots);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& slot : old)
            if (slot.part != kEmpty) {
                std::size_t h = slot.hash & mask;
                while (slots_[h].part != kEmpty)
                    h = (h + 1) & mask;
                slots_[h] = slot;
            }
    }
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

// What a design's views point into besides its files' bytes: each file's
// content (escaped strings, library symbols, KiCad 6 instances), the sheet
// instances' texts, and one list of every part's fields.
struct Storage {
    std::vector<std::unique_ptr<FileContent>> contents;
    std::deque<std::string> texts;
    std::vector<SchematicField> fields;
};

// Sub-sheet names come from the files: a name the system cannot look up
// (too long, a loop of links) is a file that is not there, never an
// exception out of the reader.
bool isFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// One key per file however it is named; a path that cannot be resolved is
// its own key.
std::string pathKey(const fs::path& path)
{
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(path, error);
    return (error ? path.lexically_normal() : canonical).string();
}

class Walker
{
public:
    explicit Walker(const fs::path& root)
        : rootDir_(root.parent_path())
        , storage_(std::make_shared<Storage>())
        , fields_(storage_->fields)
    {
        const std::size_t index = open(root, root.filename().string());
        const FileContent& content = *storage_->contents[index];
        design_.title = content.title;
        // KiCad 6 lists every instance in the root; later versions lead
        // every path with the root's uuid and keep instances by the symbol.
        oldStyle_ = !content.oldInstances.empty();
        oldInstances_ = &content.oldInstances;
        walk(index, oldStyle_ ? std::string() : "/" + content.uuid, "/", "Root");
        // The placed symbols are all in parts now.
        for (const auto& c : storage_->contents) {
            c->symbols.release();
            c->properties.release();
            c->instances.release();
        }
        finish();
        design_.storage = std::move(storage_);
    }

    SchematicDesign take() { return std::move(design_); }

private:
    // Where a part's fields and symbols are while the parts are placed.
    struct Draft {
        std::uint32_t firstField = 0, fields = 0, symbols = 0;
        bool reorder = false; // fields added after the first unit's
        SortKey key;
    };

    void finish()
    {
        // KiCad's mandatory fields after the user's, as its netlist has
        // them: a part's first unit adds them so, fields of later units
        // are put in place here (a stable partition, through one buffer).
        std::vector<std::pair<SchematicField, FieldKind>> mandatory;
        for (const Draft& draft : drafts_) {
            if (!draft.reorder)
                continue;
            std::size_t kept = draft.firstField;
            for (std::size_t k = draft.firstField; k < draft.firstField + draft.fields; ++k) {
                if (fieldKinds_[k] != FieldKind::Other) {
                    mandatory.emplace_back(fields_[k], fieldKinds_[k]);
                } else {
                    fields_[kept] = fields_[k];
                    fieldKinds_[kept++] = FieldKind::Other;
                }
            }
            for (const auto& [field, kind] : mandatory) {
                fields_[kept] = field;
                fieldKinds_[kept++] = kind;
            }
            mandatory.clear();
        }
        // Parts by reference; equal keys keep their order of placement.
        const std::size_t count = design_.parts.size();
        std::vector<std::pair<SortKey, std::uint32_t>> order;
        order.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            order.emplace_back(drafts_[i].key, static_cast<std::uint32_t>(i));
        const auto before = [&](const auto& a, const auto& b) {
            if (a.first.exact && b.first.exact) {
                if (a.first.prefix != b.first.prefix)
                    return a.first.prefix < b.first.prefix;
                if (a.first.number != b.first.number)
                    return a.first.number < b.first.number;
                return a.second < b.second;
            }
            const ReferenceKey ka = referenceKey(design_.parts[a.second].reference),
                               kb = referenceKey(design_.parts[b.second].reference);
            return ka < kb || (!(kb < ka) && a.second < b.second);
        };
        const bool sorted = std::is_sorted(order.begin(), order.end(), before);
        if (!sorted) {
            std::sort(order.begin(), order.end(), before);
            std::vector<SchematicPart> parts;
            std::vector<Draft> drafts;
            parts.reserve(count);
            drafts.reserve(count);
            std::vector<std::uint32_t> rank(count);
            for (std::uint32_t at = 0; at < count; ++at) {
                const std::uint32_t was = order[at].second;
                parts.push_back(design_.parts[was]);
                drafts.push_back(drafts_[was]);
                rank[was] = at;
            }
            design_.parts = std::move(parts);
            drafts_ = std::move(drafts);
            for (std::uint32_t& part : symbolPart_)
                part = rank[part];
        }
        // Each part's symbols side by side, in the parts' order: already so
        // unless the parts were sorted above or a part's units were placed
        // between other parts'.
        if (!std::is_sorted(symbolPart_.begin(), symbolPart_.end())) {
            std::vector<std::size_t> next(count + 1, 0);
            for (std::size_t at = 0; at < count; ++at)
                next[at + 1] = next[at] + drafts_[at].symbols;
            std::vector<SchematicSymbol> grouped(design_.symbols.size());
            for (std::size_t s = 0; s < symbolPart_.size(); ++s)
                grouped[next[symbolPart_[s]]++] = design_.symbols[s];
            design_.symbols = std::move(grouped);
        }
        std::size_t firstSymbol = 0;
        for (std::size_t at = 0; at < count; ++at) {
            const Draft& draft = drafts_[at];
            SchematicPart& part = design_.parts[at];
            part.fields = std::span(fields_).subspan(draft.firstField, draft.fields);
            part.symbols = std::span(design_.symbols).subspan(firstSymbol, draft.symbols);
            firstSymbol += draft.symbols;
        }
    }

    std::size_t open(const fs::path& path, const std::string& name)
    {
        const std::string key = pathKey(path);
        auto known = byPath_.find(key);
        if (known != byPath_.end())
            return known->second;
        SchematicFile file;
        file.path = path;
        file.name = name;
        file.bytes = readFile(path);
        // Placed symbols view these bytes while the file moves into the
        // design: keep them in a heap block, which moves along, even for a
        // file shorter than a string holds in itself.
        file.bytes.reserve(32);
        if (file.bytes.starts_with("EESchema Schematic File"))
            throw ProjectError(path.string()
                + ": a KiCad 5 schematic (.sch); open it in KiCad 6 or later and save it as .kicad_sch "
                  "first");
        // Only the head is checked here; the rest is read item by item.
        const std::size_t start = file.bytes.find_first_not_of(" \t\r\n");
        if (start == std::string::npos || file.bytes.compare(start, 10, "(kicad_sch") != 0
            || (file.bytes.size() > start + 10
                && !std::isspace(static_cast<unsigned char>(file.bytes[start + 10]))
                && file.bytes[start + 10] != ')'))
            throw ProjectError(file.path.string()
                + (start == std::string::npos
                        ? ": the file is empty"
                        : ": not a KiCad schematic (it does not start with \"(kicad_sch\")"));
        try {
            storage_->contents.push_back(std::make_unique<FileContent>(readContent(file)));
        } catch (const sexpr::SyntaxError& e) {
            throw ProjectError(e.what());
        }
        design_.files.push_back(std::move(file));
        byPath_.emplace(key, design_.files.size() - 1);
        return design_.files.size() - 1;
    }

    // A text the design keeps, as a view.
    std::string_view keep(std::string text) { return storage_->texts.emplace_back(std::move(text)); }

    // Where the parts of one sheet instance sit, viewed by each of them.
    struct SheetPlace {
        std::string_view path, names, name, file;
    };

    void walk(std::size_t fileIndex, const std::string& sheetPath, const std::string& names,
        const std::string& sheetName)
    {
        stack_.push_back(fileIndex);
        // The contents may grow during the walk; hold this one by pointer.
        const FileContent* content = storage_->contents[fileIndex].get();
        const SheetPlace sheetPlace { keep(sheetPath), keep(names), keep(sheetName),
            keep(design_.files[fileIndex].name) };
        // Room for this sheet's parts at once, growing as push_back would;
        // a part has at most its first symbol's properties as fields.
        const auto room = [](auto& list, std::size_t more) {
            const std::size_t need = list.size() + more;
            if (need > list.capacity())
                list.reserve(std::max(need, 2 * list.capacity()));
        };
        room(design_.parts, content->symbols.size());
        room(drafts_, content->symbols.size());
        room(design_.symbols, content->symbols.size());
        room(symbolPart_, content->symbols.size());
        room(fields_, content->properties.size());
        room(fieldKinds_, content->properties.size());
        partOf_.reserve(design_.parts.size() + content->symbols.size());
        // The file's library symbols, and this sheet's instances, once.
        std::vector<const LibSymbol*> libs;
        for (const std::string_view key : content->libKeys.texts()) {
            const auto lib = content->libSymbols.find(key);
            libs.push_back(lib == content->libSymbols.end() ? nullptr : &lib->second);
        }
        const std::uint32_t path = content->paths.find(sheetPlace.path);
        const auto symbols = content->symbols.span();
        constexpr std::size_t kAhead = 8;
        for (std::size_t k = 0; k < symbols.size(); ++k) {
            if (k + kAhead < symbols.size()) {
                const PlacedSymbol& next = symbols[k + kAhead];
                partOf_.prefetch(next.instances ? content->instances.span()[next.firstInstance].reference.hash
                                                : next.reference.hash);
            }
            place(fileIndex, *content, symbols[k], sheetPlace, libs[symbols[k].libKey], path);
        }
        for (const Sheet& sheet : content->sheets) {
            fs::path path = rootDir_ / sheet.file;
            if (!isFile(path)) {
                const fs::path beside = design_.files[fileIndex].path.parent_path() / sheet.file;
                if (isFile(beside))
                    path = beside;
            }
            if (!isFile(path))
                throw ProjectError(design_.files[fileIndex].path.string() + ": the sub-sheet \"" + sheet.name
                    + "\" names the file \"" + sheet.file + "\", which does not exist");
            const std::string key = pathKey(path);
            auto known = byPath_.find(key);
            if (known != byPath_.end())
                for (std::size_t onStack : stack_)
                    if (onStack == known->second)
                        throw ProjectError(design_.files[fileIndex].path.string() + ": the sub-sheet \""
                            + sheet.name + "\" uses \"" + sheet.file
                            + "\", which contains that sheet itself (a sheet recursion)");
            const std::size_t child = open(path, fs::path(sheet.file).generic_string());
            walk(child, sheetPath + "/" + sheet.uuid, names + sheet.name + "/", sheet.name);
        }
        stack_.pop_back();
    }

    // A field added to a part, whose fields stay side by side: a part
    // whose fields are no longer the last ones moves them to the end.
    void addField(Draft& draft, const FieldView& field)
    {
        if (draft.firstField + draft.fields != fields_.size()) {
            const auto first = static_cast<std::uint32_t>(fields_.size());
            for (std::uint32_t k = 0; k < draft.fields; ++k) {
                const SchematicField moved = fields_[draft.firstField + k];
                const FieldKind kind = fieldKinds_[draft.firstField + k];
                fields_.push_back(moved);
                fieldKinds_.push_back(kind);
            }
            draft.firstField = first;
        }
        fields_.push_back({ field.name, field.value });
        fieldKinds_.push_back(field.kind);
        ++draft.fields;
    }

    // A unit's field into its part: the part's value and footprint are the
    // first ones not empty; a field the part has takes the unit's value
    // where its own is empty, and one it lacks is added.
    void merge(SchematicPart& part, Draft& draft, FieldView f, const Instance* old)
    {
        if (old && f.kind == FieldKind::Value && old->value)
            f.value = *old->value;
        if (old && f.kind == FieldKind::Footprint && old->footprint)
            f.value = *old->footprint;
        if (f.kind == FieldKind::Value) {
            if (part.value.empty())
                part.value = f.value;
            return;
        }
        if (f.kind == FieldKind::Footprint && part.footprint.empty())
            part.footprint = f.value;
        for (std::size_t k = draft.firstField; k < draft.firstField + draft.fields; ++k)
            if (fieldKinds_[k] == f.kind && (f.kind != FieldKind::Other || fields_[k].name == f.name)) {
                if (fields_[k].value.empty())
                    fields_[k].value = f.value;
                return;
            }
        addField(draft, f);
    }

    void place(std::size_t fileIndex, const FileContent& content, const PlacedSymbol& s,
        const SheetPlace& sheet, const LibSymbol* lib, std::uint32_t path)
    {
        if (lib && lib->power)
            return;
        const auto properties = content.properties.span().subspan(s.firstProperty, s.properties);
        SchematicSymbol placed { static_cast<std::uint32_t>(fileIndex), s.unit, s.uuid, sheet.path, {} };
        // Without an instance for this sheet, the Reference property.
        ReferenceText reference = s.reference;
        const Instance* old = nullptr;
        if (oldStyle_) {
            std::string key;
            key.reserve(sheet.path.size() + 1 + s.uuid.size());
            key.append(sheet.path).append("/").append(s.uuid);
            auto it = oldInstances_->find(key);
            if (it != oldInstances_->end()) {
                old = &it->second;
                reference = ReferenceText::of(it->second.reference);
                placed.unit = it->second.unit;
            }
        } else {
            for (const SymbolInstance& i : content.instances.span().subspan(s.firstInstance, s.instances))
                if (i.path == path) {
                    reference = i.reference;
                    placed.unit = i.unit;
                    break;
                }
        }
        if (!reference.isPart)
            return;
        placed.reference = reference.text;

        const auto [partIndex, isNew] = partOf_.emplace(reference, design_.parts.size(), design_.parts);
        if (isNew) {
            SchematicPart& part = design_.parts.emplace_back();
            drafts_.push_back({ static_cast<std::uint32_t>(fields_.size()), 0, 0, false, reference.key });
            part.reference = placed.reference;
            part.library = s.colon == kNoColon ? std::string_view() : s.libId.substr(0, s.colon);
            part.symbolName = s.colon == kNoColon ? s.libId : s.libId.substr(s.colon + 1);
            if (lib) {
                part.description = lib->description;
                part.libraryProperties = lib->keywords;
            }
            part.sheetNames = sheet.names;
            part.sheetName = sheet.name;
            part.sheetFile = sheet.file;
        }
        design_.symbols.push_back(placed);
        symbolPart_.push_back(static_cast<std::uint32_t>(partIndex));
        SchematicPart& part = design_.parts[partIndex];
        Draft& draft = drafts_[partIndex];
        ++draft.symbols;
        part.dnp = part.dnp || s.dnp;
        part.excludeFromBom = part.excludeFromBom || !s.inBom;
        part.excludeFromBoard = part.excludeFromBoard || !s.onBoard;
        if (!isNew) {
            const std::uint32_t had = draft.fields;
            for (const FieldView& field : properties)
                merge(part, draft, field, old);
            draft.reorder = draft.reorder || draft.fields != had;
            return;
        }
        // The first unit of a part: its fields as they stand, the user's
        // first; of Value and Footprint only the first not empty counts.
        for (const FieldView& field : properties)
            if (field.kind == FieldKind::Other)
                addField(draft, field);
        for (const FieldView& field : properties) {
            if (field.kind == FieldKind::Datasheet || field.kind == FieldKind::Description)
                addField(draft, field);
            else if (field.kind == FieldKind::Value || field.kind == FieldKind::Footprint)
                merge(part, draft, field, old);
        }
    }

    fs::path rootDir_;
    SchematicDesign design_;
    std::shared_ptr<Storage> storage_;
    std::vector<SchematicField>& fields_; // the storage's
    std::vector<FieldKind> fieldKinds_; // by field, as fields_
    std::vector<Draft> drafts_; // by part, as design_.parts
    std::vector<std::uint32_t> symbolPart_; // by symbol, as design_.symbols
    std::map<std::string, std::size_t> byPath_;
    std::vector<std::size_t> stack_;
    bool oldStyle_ = false;
    const std::unordered_map<std::string, Instance>* oldInstances_ = nullptr;
    PartIndex partOf_;
};

} // namespace

SchematicDesign readSchematicDesign(const fs::path& root)
{
    if (root.extension() == ".sch")
        throw ProjectError(root.string()
            + ": a KiCad 5 schematic (.sch); open it in KiCad 6 or later and save it as .kicad_sch first");
    return Walker(root).take();
}

KicadDesign kicadDesignOf(const SchematicDesign& design)
{
    KicadDesign out;
    out.title = design.title;
    out.source = design.files.empty() ? std::string() : design.files.front().name;
    for (const SchematicPart& p : design.parts) {
        KicadPart k;
        k.reference = p.reference;
        k.value = p.value;
        k.footprint = p.footprint;
        k.library = p.library;
        k.part = p.symbolName;
        k.libDescription = p.description;
        for (const SchematicField& f : p.fields)
            k.fields.emplace_back(f.name, f.value);
        for (const auto& [name, value] :
            { std::pair { "Sheetname", p.sheetName }, std::pair { "Sheetfile", p.sheetFile } })
            if (!k.field(name))
                k.fields.emplace_back(name, value);
        for (const SchematicField& f : p.libraryProperties)
            if (!k.field(f.name))
                k.fields.emplace_back(f.name, f.value);
        k.dnp = p.dnp;
        k.excludeFromBom = p.excludeFromBom;
        k.excludeFromBoard = p.excludeFromBoard;
        k.sheetPath = p.sheetNames;
        out.parts.push_back(std::move(k));
    }
    return out;
}

std::string fingerprint(std::string_view bytes)
{
    // FNV-1a over the bytes, with the length: enough to tell a file KiCad
    // saved again from the one read, which is all it is used for.
    std::uint64_t h = 1469598103934665603ull;
    for (const unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "%zu-%016llx", bytes.size(), static_cast<unsigned long long>(h));
    return buf;
}

} // namespace rav::project
