#include "kicad_parts.h"

#include "component_value.h"

#include "textcodec.h"
#include "values.h"

#include <map>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace rav::project
{

const std::string* KicadPart::field(std::string_view name) const
{
    for (const auto& [n, v] : fields)
        if (text::equalsIgnoreCase(n, name))
            return &v;
    return nullptr;
}

namespace
{

// Base name without extension of a path written on any system.
std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

std::string afterLibrary(const std::string& footprint)
{
    const std::size_t colon = footprint.find(':');
    return colon == std::string::npos ? footprint : footprint.substr(colon + 1);
}

// Plain ASCII, as nearly every text of a design is: valid UTF-8 that
// Windows-1252 holds.
bool plainAscii(std::string_view s)
{
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Refuses what the project file cannot hold, naming where it came from; the
// file writer would refuse it too, but only by its place in the project.
void check(const std::string& value, const std::string& ref, std::string_view what)
{
    if (plainAscii(value))
        return;
    std::string bad;
    if (!text::isValidUtf8(value))
        throw ProjectError(ref + ": the " + std::string(what) + " is not valid UTF-8");
    if (!text::utf8ToCp1252(value, &bad))
        throw ProjectError(ref + ": the " + std::string(what) + " holds the character \"" + bad
            + "\", which a project cannot store (its texts are Windows-1252)");
}

bool storable(const std::string& value)
{
    return plainAscii(value) || (text::isValidUtf8(value) && text::utf8ToCp1252(value).has_value());
}

// The key of a device: symbol part, value, footprint, code.
using DeviceKey = std::tuple<std::string, std::string, std::string, std::string>;
struct DeviceKeyHash {
    std::size_t operator()(const DeviceKey& k) const
    {
        const std::hash<std::string> h;
        std::size_t seed = h(std::get<0>(k));
        for (const std::string* s : { &std::get<1>(k), &std::get<2>(k), &std::get<3>(k) })
            seed ^= h(*s) + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
        return seed;
    }
};

// What the user should hear, one line per kind of trouble naming its
// references in the order met (at most a dozen, then how many more).
class Notes
{
public:
    void add(const std::string& what, const std::string& reference)
    {
        auto [it, fresh] = refs_.try_emplace(what);
        if (fresh)
            order_.push_back(what);
        it->second.push_back(reference);
    }

    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (const auto& what : order_) {
            const auto& refs = refs_.at(what);
            std::string line = what + ": ";
            for (std::size_t k = 0; k < refs.size() && k < 12; ++k)
                line += (k ? ", " : "") + refs[k];
            if (refs.size() > 12)
                line += " and " + std::to_string(refs.size() - 12) + " more";
            out.push_back(std::move(line));
        }
        return out;
    }

private:
    std::map<std::string, std::vector<std::string>> refs_;
    std::vector<std::string> order_;
};

} // namespace

KicadImport projectFromKicadParts(
    KicadDesign design, const std::filesystem::path& file, const KicadImportOptions& options)
{
    KicadImport result;
    Project& p = result.project;
    p.name = !design.title.empty() ? design.title
        : !design.source.empty()   ? baseName(design.source)
                                   : baseName(file.filename().string());
    check(p.name, "the design", "title");
    p.hierarchies.push_back("/");
    p.currentHierarchy = 0;

    // Only looked up: the project's lists keep the order.
    std::unordered_set<std::string> sheets { "/" }, symbols, deviceNames;
    // A device per symbol part, value, footprint and code: parts whose
    // codes differ are different parts, so each keeps its own.
    std::unordered_map<DeviceKey, std::string, DeviceKeyHash> deviceOf;
    Notes notes;
    std::unordered_map<std::string, int> uses; // references
    uses.reserve(design.parts.size());
    std::size_t withEicField = 0;

    for (KicadPart& c : design.parts) {
        if (options.normaliseValues)
            c.value = normaliseValue(c.value);
        check(c.reference, c.reference, "ref");
        if (++uses[c.reference] == 2)
            notes.add("one reference on several parts (each is kept)", c.reference);
        if (!c.sheetPath.empty() && sheets.insert(c.sheetPath).second) {
            check(c.sheetPath, c.reference, "sheet path");
            p.hierarchies.push_back(c.sheetPath);
        }

        Component comp;
        comp.name = c.reference;
        comp.symbol = afterLibrary(c.footprint);
        check(comp.symbol, c.reference, "footprint");
        if (!comp.symbol.empty() && symbols.insert(comp.symbol).second)
            p.symbols.push_back(comp.symbol);

        const std::string* descField = c.field("Description");
        const bool fromField = descField && !descField->empty();
        const std::string description = fromField ? *descField : c.libDescription;
        check(c.value, c.reference, "value");
        check(description, c.reference, fromField ? "field \"Description\"" : "description");
        SchematicComponent gate;
        if (!c.value.empty())
            gate.texts.push_back({ 8, c.value });
        if (!description.empty())
            gate.texts.push_back({ 4, description });
        // Every further field as an attribute text, so a List of Materials
        // can act on it (a do-not-place marker such as "NOPOP"). What an
        // attribute text cannot hold is left out and said.
        for (const auto& [fieldName, fieldValue] : c.fields) {
            if (fieldValue.empty())
                continue;
            if (fieldName.empty())
                notes.add("a field without a name left out", c.reference);
            else if (fieldName.find('=') != std::string::npos)
                notes.add(
                    "field \"" + fieldName + "\" left out: a field name cannot hold \"=\"", c.reference);
            else if (std::string attribute = fieldName + "=" + fieldValue; !storable(attribute))
                notes.add("field \"" + fieldName
                        + "\" left out: it holds characters a project cannot store (its texts are "
                          "Windows-1252)",
                    c.reference);
            else
                gate.texts.push_back({ 16, std::move(attribute) });
        }
        // KiCad's flags, as attributes a List of Materials reads.
        const std::pair<bool, const char*> flags[] = { { c.dnp, "DNP" },
            { c.excludeFromBom, "exclude_from_bom" }, { c.excludeFromBoard, "exclude_from_board" } };
        for (const auto& [set, name] : flags)
            if (set && !c.field(name))
                gate.texts.push_back({ 16, std::string(name) + "=1" });
        comp.schematic.push_back(std::move(gate));

        std::string eicName;
        const std::string* eic = nullptr;
        if (!options.eicField.empty()) {
            eicName = options.eicField;
            eic = c.field(eicName);
        } else {
            // The first with a value: an empty "MPN" must not hide a "manf#".
            for (const std::string& candidate : DefaultCodeFields())
                if (const std::string* f = c.field(candidate); f && (!eic || eic->empty())) {
                    eic = f;
                    eicName = candidate;
                }
        }
        std::string code;
        if (eic) {
            ++withEicField;
            if (!plainAscii(*eic))
                check(*eic, c.reference, "field \"" + eicName + "\"");
            if (!IsPlaceholderCode(*eic))
                code = *eic;
            else if (!text::trimBlanks(*eic).empty())
                notes.add("placeholder \"" + *eic + "\" in field \"" + eicName + "\" taken as no code",
                    c.reference);
        }

        const auto key = std::make_tuple(c.part, c.value, c.footprint, code);
        auto found = deviceOf.find(key);
        if (found == deviceOf.end()) {
            Device d;
            std::string base = c.part.empty() ? c.reference : c.part;
            if (!c.value.empty() && c.value != base)
                base += "-" + c.value;
            d.name = base;
            for (int n = 2; !deviceNames.insert(d.name).second; ++n)
                d.name = base + "-" + std::to_string(n);
            d.library = c.library;
            check(c.part, c.reference, "libsource part");
            check(c.library, c.reference, "libsource lib");
            d.firstWord = !comp.symbol.empty() ? comp.symbol : !c.part.empty() ? c.part : "-";
            for (char& ch : d.firstWord)
                if (ch == ' ')
                    ch = '_';

            const std::string* sim = c.field("Sim.Device");
            const char* simName = "Sim.Device";
            if (!sim) {
                sim = c.field("Spice_Primitive");
                simName = "Spice_Primitive";
            }
            std::vector<std::string> tokens { description, code };
            if (sim) {
                check(*sim, c.reference, std::string("field \"") + simName + "\"");
                tokens.push_back(*sim);
            }
            for (std::size_t k = 0; k < tokens.size(); ++k)
                if (tokens[k].find("\xE2\x82\xAC") != std::string::npos)
                    throw ProjectError(c.reference + ": the "
                        + (k == 0        ? "description"
                                : k == 1 ? "EIC"
                                         : "simulation reference")
                        + " holds \"\xE2\x82\xAC\", which separates the parts of a device text");
            d.tokens = std::move(tokens);
            found = deviceOf.emplace(key, d.name).first;
            p.devices.push_back(std::move(d));
        }
        comp.device = found->second;
        p.components.push_back(std::move(comp));
    }
    result.warnings = notes.lines();
    if (!options.eicField.empty() && withEicField == 0 && !design.parts.empty())
        result.warnings.push_back("none of the " + std::to_string(design.parts.size())
            + " parts has the field \"" + options.eicField + "\", so no part has an EIC");
    return result;
}

} // namespace rav::project
