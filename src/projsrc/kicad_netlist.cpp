#include "kicad_netlist.h"

#include "component_value.h"

#include "textcodec.h"

#include <QByteArray>
#include <QLatin1StringView>
#include <QXmlStreamReader>

#include <array>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

namespace rav::project
{

namespace
{

// What one <comp> says, as read; field names keep their spelling.
struct Comp {
    std::string ref, value, footprint, lib, part, libDescription, sheet;
    std::vector<std::pair<std::string, std::string>> fields;
    bool dnp = false; // <property name="dnp"/>, the newer netlists' marker

    const std::string* field(std::string_view name) const
    {
        for (const auto& [n, v] : fields)
            if (text::equalsIgnoreCase(n, name))
                return &v;
        return nullptr;
    }
};

struct Design {
    std::string title, source;
    std::vector<Comp> comps;
};

std::string str(QStringView s)
{
    return s.toString().toStdString();
}

class Reader
{
public:
    Reader(const std::string& xml, std::string fileName)
        : xml_(QByteArray::fromRawData(xml.data(), static_cast<qsizetype>(xml.size())))
        , fileName_(std::move(fileName))
    {
    }

    Design read()
    {
        if (!xml_.readNextStartElement())
            fail();
        if (xml_.name() != u"export")
            throw ProjectError(place() + ": not a KiCad netlist (the root element is <" + str(xml_.name())
                + ">, not <export>)");
        while (xml_.readNextStartElement()) {
            if (xml_.name() == u"design")
                readDesign();
            else if (xml_.name() == u"components")
                readComponents();
            else
                xml_.skipCurrentElement();
        }
        if (xml_.hasError())
            fail();
        // Anything after the root element must still be well-formed.
        while (!xml_.atEnd())
            xml_.readNext();
        if (xml_.hasError())
            fail();
        return std::move(design_);
    }

private:
    std::string place() const
    {
        return fileName_ + ":" + std::to_string(xml_.lineNumber()) + ":"
            + std::to_string(xml_.columnNumber());
    }

    [[noreturn]] void fail() const
    {
        const std::string why = xml_.hasError() ? str(xml_.errorString()) : std::string("the file is empty");
        throw ProjectError(place() + ": " + why);
    }

    std::string text()
    {
        const QString t = xml_.readElementText(QXmlStreamReader::IncludeChildElements);
        if (xml_.hasError())
            fail();
        return t.toStdString();
    }

    // The design's title is the root sheet's: the first <sheet> in every
    // netlist seen. Sub-sheets carry titles of their own, which are not the
    // design's.
    void readDesign()
    {
        bool rootSeen = false;
        while (xml_.readNextStartElement()) {
            if (xml_.name() == u"source") {
                design_.source = text();
            } else if (xml_.name() == u"sheet" && !rootSeen) {
                rootSeen = true;
                readTitle(1);
            } else {
                xml_.skipCurrentElement();
            }
        }
    }

    // Inside <sheet> (depth 1) and its <title_block> (depth 2).
    void readTitle(int depth)
    {
        while (xml_.readNextStartElement()) {
            if (depth == 1 && xml_.name() == u"title_block")
                readTitle(2);
            else if (depth == 2 && xml_.name() == u"title")
                design_.title = text::trimBlanks(text());
            else
                xml_.skipCurrentElement();
        }
    }

    void readComponents()
    {
        while (xml_.readNextStartElement()) {
            if (xml_.name() != u"comp") {
                xml_.skipCurrentElement();
                continue;
            }
            Comp c;
            std::vector<std::pair<std::string, std::string>> properties;
            c.ref = str(xml_.attributes().value(QLatin1StringView("ref")));
            if (c.ref.empty())
                throw ProjectError(place() + ": a <comp> without ref");
            while (xml_.readNextStartElement()) {
                const auto name = xml_.name();
                if (name == u"value") {
                    c.value = text();
                } else if (name == u"footprint") {
                    c.footprint = text();
                } else if (name == u"libsource") {
                    const auto a = xml_.attributes();
                    c.lib = str(a.value(QLatin1StringView("lib")));
                    c.part = str(a.value(QLatin1StringView("part")));
                    c.libDescription = str(a.value(QLatin1StringView("description")));
                    xml_.skipCurrentElement();
                } else if (name == u"sheetpath") {
                    c.sheet = str(xml_.attributes().value(QLatin1StringView("names")));
                    xml_.skipCurrentElement();
                } else if (name == u"property") {
                    // KiCad 6 and later also write each field as an empty
                    // <property name=".." value=".."/>, some only that way.
                    const auto a = xml_.attributes();
                    properties.emplace_back(
                        str(a.value(QLatin1StringView("name"))), str(a.value(QLatin1StringView("value"))));
                    xml_.skipCurrentElement();
                } else if (name == u"fields") {
                    while (xml_.readNextStartElement()) {
                        if (xml_.name() != u"field") {
                            xml_.skipCurrentElement();
                            continue;
                        }
                        std::string fieldName = str(xml_.attributes().value(QLatin1StringView("name")));
                        c.fields.emplace_back(std::move(fieldName), text());
                    }
                } else {
                    xml_.skipCurrentElement();
                }
            }
            // A field written both ways counts once, as its <field>.
            // KiCad's own do-not-place flag is a property without a value.
            for (auto& [n, v] : properties) {
                if (n == "dnp")
                    c.dnp = true;
                else if (!c.field(n))
                    c.fields.emplace_back(std::move(n), std::move(v));
            }
            design_.comps.push_back(std::move(c));
        }
    }

    QXmlStreamReader xml_;
    std::string fileName_;
    Design design_;
};

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

Project projectFromKicadNetlist(
    const std::string& xml, const std::filesystem::path& fileName, const KicadNetlistOptions& options)
{
    Design design = Reader(xml, fileName.string()).read();

    Project p;
    p.name = !design.title.empty() ? design.title
        : !design.source.empty()   ? baseName(design.source)
                                   : baseName(fileName.filename().string());
    check(p.name, "the design", "title");
    p.hierarchies.push_back("/");
    p.currentHierarchy = 0;

    std::set<std::string> sheets { "/" }, symbols, deviceNames;
    std::map<std::tuple<std::string, std::string, std::string>, std::string> deviceOf;

    for (Comp& c : design.comps) {
        if (options.normaliseValues)
            c.value = normaliseValue(c.value);
        check(c.ref, c.ref, "ref");
        if (!c.sheet.empty() && sheets.insert(c.sheet).second) {
            check(c.sheet, c.ref, "sheet path");
            p.hierarchies.push_back(c.sheet);
        }

        Component comp;
        comp.name = c.ref;
        comp.symbol = afterLibrary(c.footprint);
        check(comp.symbol, c.ref, "footprint");
        if (!comp.symbol.empty() && symbols.insert(comp.symbol).second)
            p.symbols.push_back(comp.symbol);

        const std::string* descField = c.field("Description");
        const bool fromField = descField && !descField->empty();
        const std::string description = fromField ? *descField : c.libDescription;
        check(c.value, c.ref, "value");
        check(description, c.ref, fromField ? "field \"Description\"" : "description");
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
            check(fieldName + "=" + fieldValue, c.ref, "field \"" + fieldName + "\"");
            gate.texts.push_back({ 16, fieldName + "=" + fieldValue });
        }
        if (c.dnp && !c.field("DNP"))
            gate.texts.push_back({ 16, "DNP=1" });
        comp.schematic.push_back(std::move(gate));

        const auto key = std::make_tuple(c.part, c.value, c.footprint);
        auto found = deviceOf.find(key);
        if (found == deviceOf.end()) {
            Device d;
            std::string base = c.part.empty() ? c.ref : c.part;
            if (!c.value.empty() && c.value != base)
                base += "-" + c.value;
            d.name = base;
            for (int n = 2; !deviceNames.insert(d.name).second; ++n)
                d.name = base + "-" + std::to_string(n);
            d.library = c.lib;
            check(c.part, c.ref, "libsource part");
            check(c.lib, c.ref, "libsource lib");
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
                check(*eic, c.ref, "field \"" + eicName + "\"");
            if (sim) {
                check(*sim, c.ref, std::string("field \"") + simName + "\"");
                tokens.push_back(*sim);
            }
            for (std::size_t k = 0; k < tokens.size(); ++k)
                if (tokens[k].find("\xE2\x82\xAC") != std::string::npos)
                    throw ProjectError(c.ref + ": the "
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
    return p;
}

Project readKicadNetlist(const std::filesystem::path& file, const KicadNetlistOptions& options)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw ProjectError("cannot read " + file.string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw ProjectError("cannot read " + file.string());
    return projectFromKicadNetlist(bytes.str(), file, options);
}

} // namespace rav::project
