#include "kicad_parts.h"

#include "component_value.h"

#include "textcodec.h"

#include <array>
#include <map>
#include <set>
#include <tuple>

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

constexpr std::array<std::string_view, 5> kEicFields { "EIC", "MPN", "manf#", "Manufacturer_Part_Number",
    "Part Number" };

// Refuses what the project file cannot hold, naming where it came from; the
// file writer would refuse it too, but only by its place in the project.
void check(const std::string& value, const std::string& ref, const std::string& what)
{
    std::string bad;
    if (!text::isValidUtf8(value))
        throw ProjectError(ref + ": the " + what + " is not valid UTF-8");
    if (!text::utf8ToCp1252(value, &bad))
        throw ProjectError(ref + ": the " + what + " holds the character \"" + bad
            + "\", which a project cannot store (its texts are Windows-1252)");
}

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

    std::set<std::string> sheets { "/" }, symbols, deviceNames;
    std::map<std::tuple<std::string, std::string, std::string>, std::string> deviceOf;

    for (KicadPart& c : design.parts) {
        if (options.normaliseValues)
            c.value = normaliseValue(c.value);
        check(c.reference, c.reference, "ref");
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
        // can act on it (a do-not-place marker such as "NOPOP").
        for (const auto& [fieldName, fieldValue] : c.fields) {
            if (fieldName.empty() || fieldValue.empty() || fieldName.find('=') != std::string::npos)
                continue;
            check(fieldName + "=" + fieldValue, c.reference, "field \"" + fieldName + "\"");
            gate.texts.push_back({ 16, fieldName + "=" + fieldValue });
        }
        if (c.dnp && !c.field("DNP"))
            gate.texts.push_back({ 16, "DNP=1" });
        comp.schematic.push_back(std::move(gate));

        const auto key = std::make_tuple(c.part, c.value, c.footprint);
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

            std::string eicName;
            const std::string* eic = nullptr;
            if (!options.eicField.empty()) {
                eicName = options.eicField;
                eic = c.field(eicName);
            } else {
                for (std::string_view candidate : kEicFields)
                    if ((eic = c.field(candidate))) {
                        eicName = candidate;
                        break;
                    }
            }
            const std::string* sim = c.field("Sim.Device");
            const char* simName = "Sim.Device";
            if (!sim) {
                sim = c.field("Spice_Primitive");
                simName = "Spice_Primitive";
            }
            std::vector<std::string> tokens { description, eic ? *eic : std::string() };
            if (eic)
                check(*eic, c.reference, "field \"" + eicName + "\"");
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
    return result;
}

} // namespace rav::project
