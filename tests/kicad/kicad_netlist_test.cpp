#include "component_value.h"
#include "kicad_netlist.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace rav::project
{
namespace
{

const std::filesystem::path kData = std::filesystem::path(RAV_TEST_DATA_DIR) / "kicad";
const std::string kTool = std::string(RAV_BIN_DIR) + "/ravederi";

const Component& comp(const Project& p, const std::string& name)
{
    for (const Component& c : p.components)
        if (c.name == name)
            return c;
    throw std::runtime_error("no component " + name);
}

const Device& deviceOf(const Project& p, const std::string& compName)
{
    for (const Device& d : p.devices)
        if (d.name == comp(p, compName).device)
            return d;
    throw std::runtime_error("no device for " + compName);
}

// The text of mask `mask` on the component's only gate; "(none)" when absent.
std::string textOf(const Project& p, const std::string& compName, int mask)
{
    for (const TextItem& t : comp(p, compName).schematic.at(0).texts)
        if (t.mask == mask)
            return t.text;
    return "(none)";
}

// A netlist with the given <comp> elements and optional <design> contents.
std::string netlist(const std::string& comps, const std::string& design = "")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<export version=\"D\">\n  <design>" + design
        + "</design>\n  <components>\n" + comps + "  </components>\n</export>\n";
}

std::string errorOf(
    const std::string& xml, const std::string& fileName = "test.xml", KicadNetlistOptions o = {})
{
    try {
        projectFromKicadNetlist(xml, fileName, o);
    } catch (const ProjectError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(KicadNetlist, EveryCompBecomesOneComponentInFileOrder)
{
    const Project p = readKicadNetlist(kData / "kibom-test.xml");
    std::vector<std::string> names;
    for (const Component& c : p.components)
        names.push_back(c.name);
    EXPECT_EQ(names,
        (std::vector<std::string> {
            "R1", "R2", "R3", "R4", "R5", "R6", "R7", "R8", "R9", "R10", "C1", "C2", "C3", "C4" }));
    EXPECT_EQ(p.name, "KiBom Test Schematic");
    EXPECT_EQ(p.hierarchies, std::vector<std::string> { "/" });
    EXPECT_EQ(p.symbols,
        (std::vector<std::string> { "R_0805_2012Metric", "R_0603_1608Metric", "C_0603_1608Metric" }));
    EXPECT_EQ(comp(p, "R9").symbol, "R_0603_1608Metric");
    // Value and description become component texts.
    EXPECT_EQ(textOf(p, "R1", 8), "10000");
    EXPECT_EQ(textOf(p, "R1", 4), "Resistor");
    EXPECT_EQ(textOf(p, "C3", 8), "0.01uF");

    // 300-010 has a "Description" field, which wins over the library's.
    const Project q = readKicadNetlist(kData / "300-010.xml");
    EXPECT_EQ(textOf(q, "U3", 4), "Value");
    EXPECT_EQ(textOf(q, "U3", 8), "LTC3807");
    EXPECT_EQ(q.components.size(), 84u);
}

TEST(KicadNetlist, EqualPartsShareOneDevice)
{
    const Project p = readKicadNetlist(kData / "kibom-test.xml");
    for (const char* r : { "R3", "R4", "R5" })
        EXPECT_EQ(comp(p, r).device, comp(p, "R2").device) << r;
    // Values are compared as written: 10000 and 10K stay apart.
    EXPECT_NE(comp(p, "R1").device, comp(p, "R2").device);
    // Same part and value, other footprint: a second device with a suffix.
    EXPECT_EQ(comp(p, "R6").device, "R-4K7");
    EXPECT_EQ(comp(p, "R9").device, "R-4K7-2");
    EXPECT_EQ(comp(p, "R10").device, "R-4K7-2");
    EXPECT_EQ(p.devices.size(), 10u);

    EXPECT_EQ(deviceOf(p, "R9").tokens, (std::vector<std::string> { "Resistor", "" }));
}

TEST(KicadNetlist, EicComesFromTheFirstKnownFieldOrTheChosenOne)
{
    // U3 has both "manf#" and "Part Number"; manf# comes first in the list.
    const Project p = readKicadNetlist(kData / "300-010.xml");
    EXPECT_EQ(deviceOf(p, "U3").tokens, (std::vector<std::string> { "Value", "LTC3807EFE#PBF" }));
    EXPECT_EQ(deviceOf(p, "U3").firstWord, "TSSOP20");

    // The chosen field, its name compared without regard to case.
    const Project q = readKicadNetlist(kData / "300-010.xml", { "part number" });
    EXPECT_EQ(deviceOf(q, "U3").tokens->at(1), "150-0026");
    // A field the comp lacks gives an empty EIC, not another field's value.
    const Project r = readKicadNetlist(kData / "300-010.xml", { "Nothing Here" });
    EXPECT_EQ(deviceOf(r, "U3").tokens->at(1), "");
}

TEST(KicadNetlist, SmallNetlistsCoverTheOtherRules)
{
    const std::string comps = R"(
    <comp ref="U1"><value>NE555</value>
      <fields><field name="MPN">NE555DR</field><field name="Sim.Device">SPICE</field></fields>
      <libsource lib="Timer" part="My Timer" description="Timer"/><sheetpath names="/power/" tstamps="/1/"/></comp>
    <comp ref="U2"><value>NE555</value><libsource lib="Timer" part="My Timer"/>
      <sheetpath names="/" tstamps="/"/></comp>
    <comp ref="X1"><value></value><footprint>Conn:J 1</footprint><sheetpath names="/io/" tstamps="/2/"/></comp>
)";
    const Project p = projectFromKicadNetlist(
        netlist(comps,
            R"(<source>C:\designs\timer board.sch</source><sheet number="1" name="/"><title_block><title/></title_block></sheet>)"),
        "x.xml");
    EXPECT_EQ(p.name, "timer board");
    EXPECT_EQ(p.hierarchies, (std::vector<std::string> { "/", "/power/", "/io/" }));

    // No footprint: no symbol, and the part name (blank made "_") leads the device text.
    EXPECT_EQ(comp(p, "U1").symbol, "");
    const Device& timer = deviceOf(p, "U1");
    EXPECT_EQ(timer.name, "My Timer-NE555");
    EXPECT_EQ(deviceText(timer),
        "My_Timer Timer\xE2\x82\xAC"
        "NE555DR\xE2\x82\xAC"
        "SPICE");
    // Without a code of its own, U2 does not take U1's.
    EXPECT_EQ(comp(p, "U2").device, "My Timer-NE555-2");
    EXPECT_EQ(deviceOf(p, "U2").tokens->at(1), "");

    // No value and no part: the ref names the device, and no value text.
    EXPECT_EQ(comp(p, "X1").device, "X1");
    EXPECT_EQ(deviceOf(p, "X1").firstWord, "J_1");
    EXPECT_EQ(textOf(p, "X1", 8), "(none)");

    // No title and no source: the netlist's own base name.
    EXPECT_EQ(projectFromKicadNetlist(netlist(""), "/tmp/board-7.xml").name, "board-7");
}

TEST(ComponentValue, CanonicalFormOrAsWritten)
{
    const std::pair<const char*, const char*> cases[]
        = { { "10K", "10k" }, { "10000", "10k" }, { "10k\xE2\x84\xA6", "10k" }, { "10 kOhm", "10k" },
              { "4K7", "4.7k" }, { "4700", "4.7k" }, { "4R7", "4.7" }, { "0R", "0" }, { "100R", "100" },
              { "0.01uf", "10n" }, { "10nF", "10n" }, { "2u2", "2.2u" },
              { "2.2\xC2\xB5"
                "F",
                  "2.2u" },
              { ".1", "100m" }, { "1M", "1M" }, { "1m", "1m" }, { "1.5 MEG", "1.5M" }, { "0.33", "330m" },
              { "1000G", "1000G" }, { "0.5p", "0.5p" }, { "3.3V", "3.3V" }, { "10k 1%", "10k 1%" },
              { "", "" }, { "4K7K", "4K7K" }, { "1.2.3", "1.2.3" }, { "k", "k" }, { "R", "R" } };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(normaliseValue(in), out) << in;
    EXPECT_FALSE(canonicalValue("3.3V"));
}

TEST(KicadNetlist, PropertiesAreFieldsAndValuesNormaliseOnRequest)
{
    // A KiCad 7 netlist: fields written as <property>, some comps only so.
    const Project p = readKicadNetlist(kData / "kicad7-properties.xml", { "LCSC", true });
    EXPECT_EQ(p.name, "Sensor Node");
    EXPECT_EQ(deviceOf(p, "R2").tokens, (std::vector<std::string> { "Resistor", "C25804" }));
    EXPECT_EQ(deviceOf(p, "U1").tokens, (std::vector<std::string> { "LDO 3.3 V 250 mA", "" }));
    for (const char* r : { "R2", "R3" })
        EXPECT_EQ(comp(p, r).device, "R-10k") << r;
    EXPECT_EQ(textOf(p, "R3", 8), "10k");
    EXPECT_EQ(comp(p, "C3").device, "C-4u7 10V");
    EXPECT_EQ(p.devices.size(), 5u);
    // The default EIC list finds MPN among the properties.
    EXPECT_EQ(deviceOf(readKicadNetlist(kData / "kicad7-properties.xml", { "", true }), "U1").tokens->at(1),
        "MCP1700T-3302E/TT");
    // Written as is, the ohm sign is refused: a project's texts are Windows-1252.
    EXPECT_NE(
        errorOf(test::readFile(kData / "kicad7-properties.xml")).find("R3: the value"), std::string::npos);

    // A name written both ways counts as its <field>.
    const Project q = projectFromKicadNetlist(netlist(R"(<comp ref="U9"><fields><field name="MPN">A</field>
      </fields><property name="MPN" value="B"/><property name="Extra" value="C"/></comp>)"),
        "t.xml", { "extra" });
    EXPECT_EQ(q.devices.at(0).tokens->at(1), "C");
    const std::string both = netlist(
        R"(<comp ref="U9"><fields><field name="MPN">A</field></fields><property name="MPN" value="B"/></comp>)");
    EXPECT_EQ(projectFromKicadNetlist(both, "t.xml").devices.at(0).tokens->at(1), "A");

    // Written differently on purpose: with normalising, one device per real value.
    const Project k = readKicadNetlist(kData / "kibom-test.xml", { "", true });
    const std::pair<const char*, const char*> devices[] = { { "R1", "R-10k" }, { "R5", "R-10k" },
        { "R6", "R-4.7k" }, { "R8", "R-4.7k" }, { "R10", "R-4.7k-2" }, { "C1", "C-10n" }, { "C4", "C-10n" } };
    for (const auto& [ref, device] : devices)
        EXPECT_EQ(comp(k, ref).device, device) << ref;
    EXPECT_EQ(k.devices.size(), 4u);
}

TEST(KicadNetlist, EachPartKeepsItsOwnCodeAndTroubleIsSaid)
{
    const std::string comps = R"(
    <comp ref="U1"><value>LM358</value><footprint>P:SOIC-8</footprint>
      <fields><field name="MPN">LM358DDCR</field></fields><libsource lib="A" part="OP"/></comp>
    <comp ref="U2"><value>LM358</value><footprint>P:SOIC-8</footprint>
      <fields><field name="MPN">LM358DDCT</field></fields><libsource lib="A" part="OP"/></comp>
    <comp ref="U3"><value>LM358</value><footprint>P:SOIC-8</footprint>
      <fields><field name="MPN">LM358DDCR</field></fields><libsource lib="A" part="OP"/></comp>
    <comp ref="R1"><value>1k</value><fields><field name="MPN"> n/A </field><field name="a=b">x</field>
      <field name="Note">10 &#x2126;</field></fields>
      <property name="exclude_from_bom"/><property name="exclude_from_board"/><property name="dnp"/></comp>
    <comp ref="R2"><value>1k</value><fields><field name="MPN">_</field></fields></comp>
    <comp ref="R2"><value>1k</value></comp>
)";
    const std::filesystem::path file = "t.xml";
    const KicadImport imported = projectFromKicadParts(readKicadNetlistDesign(netlist(comps), file), file);
    const Project& p = imported.project;
    // Each device carries a code its parts have; parts with equal codes share one.
    EXPECT_EQ(deviceOf(p, "U1").tokens->at(1), "LM358DDCR");
    EXPECT_EQ(deviceOf(p, "U2").tokens->at(1), "LM358DDCT");
    EXPECT_EQ(comp(p, "U3").device, comp(p, "U1").device);
    // Placeholders are no code: R1 and R2 are one device without one.
    EXPECT_EQ(deviceOf(p, "R1").tokens->at(1), "");
    EXPECT_EQ(comp(p, "R2").device, comp(p, "R1").device);
    // KiCad's flags become attributes.
    const auto& texts = comp(p, "R1").schematic.at(0).texts;
    for (const char* flag : { "DNP=1", "exclude_from_bom=1", "exclude_from_board=1" })
        EXPECT_NE(std::find(texts.begin(), texts.end(), TextItem { 16, flag }), texts.end()) << flag;
    EXPECT_EQ(imported.warnings,
        (std::vector<std::string> { "field \"a=b\" left out: a field name cannot hold \"=\": R1",
            "field \"Note\" left out: it holds characters a project cannot store (its texts are "
            "Windows-1252): R1",
            "placeholder \" n/A \" in field \"MPN\" taken as no code: R1",
            "placeholder \"_\" in field \"MPN\" taken as no code: R2",
            "one reference on several parts (each is kept): R2" }));

    // A chosen code field that no part has.
    const auto none = projectFromKicadParts(readKicadNetlistDesign(netlist(comps), file), file, { "LCSC" });
    EXPECT_EQ(none.warnings.back(), "none of the 6 parts has the field \"LCSC\", so no part has an EIC");
}

TEST(KicadNetlist, MalformedAndForeignFilesFailWithTheirPlace)
{
    const std::string cut
        = "<?xml version=\"1.0\"?>\n<export>\n  <components>\n    <comp ref=\"R1\"><value>1k</valu>\n";
    EXPECT_EQ(errorOf(cut, "cut.xml").rfind("cut.xml:4:", 0), 0u) << errorOf(cut, "cut.xml");

    EXPECT_NE(
        errorOf("<?xml version=\"1.0\"?>\n<kicad_sch/>\n").find("not a KiCad netlist"), std::string::npos);
    EXPECT_NE(errorOf("").find("test.xml:"), std::string::npos);
    EXPECT_NE(errorOf(netlist("<comp><value>1</value></comp>")).find("without ref"), std::string::npos);
    EXPECT_THROW(readKicadNetlist(kData / "no-such-file.xml"), ProjectError);
}

// Every form XML has for a text reads alike, and a mistake counts wherever
// it stands, in the parts read or in those skipped.
TEST(KicadNetlist, EveryXmlFormOfATextReadsAlikeAndEveryMistakeCounts)
{
    const std::string comp = "<comp ref=\"R1\"><value>a&amp;b<![CDATA[<c>]]>&#x3A9;<!-- n --><?p q?>d</value>"
                             "<libsource description='d &quot;q&quot; &#38;'/><fields><field name=\"F\">x<b>y</b>z"
                             "</field></fields><tstamps>1</tstamps></comp>\n";
    for (const std::string& xml : { netlist(comp), "\xEF\xBB\xBF" + netlist(comp),
             std::regex_replace(netlist(comp), std::regex("\n"), "\r\n") }) {
        const KicadDesign d = readKicadNetlistDesign(xml, "t.xml");
        ASSERT_EQ(d.parts.size(), 1u);
        EXPECT_EQ(d.parts[0].value, "a&b<c>\u03A9d");
        EXPECT_EQ(d.parts[0].libDescription, "d \"q\" &");
        EXPECT_EQ(*d.parts[0].field("F"), "xyz");
    }
    for (const std::string bad : { "<tstamps a=\"1\" a=\"2\"/>", "<tstamps>]]></tstamps>", "<x><y></x></y>",
             "<tstamps>&nbsp;</tstamps>", "<tstamps>&#0;</tstamps>", "<tstamps a=\"<\"/>", "<!-- a -- b -->" }) {
        const std::string e = errorOf(netlist("<comp ref=\"R1\">" + bad + "</comp>\n"));
        EXPECT_EQ(e.rfind("test.xml:", 0), 0u) << bad << ": " << e;
    }
    EXPECT_EQ(errorOf(netlist("") + "x").rfind("test.xml:", 0), 0u);
}

TEST(KicadNetlist, TextsOutsideWindows1252AreRefusedWithRefAndField)
{
    const std::string ohm = netlist(R"(<comp ref="R7"><value>10k</value><footprint>R:R_0603</footprint>
      <fields><field name="Description">4.7 k&#x2126; resistor</field></fields></comp>)");
    const std::string e = errorOf(ohm);
    EXPECT_NE(e.find("R7: the field \"Description\""), std::string::npos) << e;
    EXPECT_NE(e.find("\xE2\x84\xA6"), std::string::npos) << e;

    // Characters that Windows-1252 has pass (micro sign, degree).
    const Project p = projectFromKicadNetlist(
        netlist(
            R"(<comp ref="C1"><value>4.7µF</value><fields><field name="manf#">X°</field></fields></comp>)"),
        "t.xml");
    EXPECT_EQ(textOf(p, "C1", 8), "4.7µF");

    const std::string euro
        = errorOf(netlist(R"(<comp ref="Q1"><fields><field name="EIC">A€B</field></fields></comp>)"));
    EXPECT_NE(euro.find("Q1: the EIC"), std::string::npos) << euro;
}

TEST(KicadNetlistTool, FromKicadThenPartsShowsTheParts)
{
    test::ScratchDir dir;
    const auto out = dir / "kibom.dpz";
    auto r = test::runProgram(
        kTool + " project from-kicad '" + (kData / "kibom-test.xml").string() + "' '" + out.string() + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    r = test::runProgram(kTool + " project parts '" + out.string() + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 15);
    EXPECT_NE(
        r.out.find("\nR9\tR-4K7-2\tResistor\t\t\tR_0603_1608Metric\tResistor\t4K7\t"), std::string::npos)
        << r.out;

    // The options reach the project; --json writes the source form.
    const auto json = dir / "p.json";
    r = test::runProgram(kTool + " project from-kicad '" + (kData / "300-010.xml").string() + "' '"
        + json.string() + "' --eic-field 'Part Number' --normalise-values --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(
        parseJson(test::readFile(json)), readKicadNetlist(kData / "300-010.xml", { "Part Number", true }));
}

TEST(KicadNetlistTool, FailuresGiveOneLineAndNoFile)
{
    test::ScratchDir dir;
    test::writeFile(dir / "ohm.xml", netlist(R"(<comp ref="R2"><value>10 Ω</value></comp>)"));
    auto r = test::runProgram(kTool + " project from-kicad '" + (dir / "ohm.xml").string() + "' '"
        + (dir / "o.dpz").string() + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("R2: the value"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "o.dpz"));

    // Not XML at all: one line naming the file, and an earlier OUT kept.
    test::writeFile(dir / "bom.csv", "Ref,Value\nR1,10k\n");
    for (const char* json : { "", " --json" }) {
        test::writeFile(dir / "keep.dpz", "earlier");
        r = test::runProgram(kTool + " project from-kicad '" + (dir / "bom.csv").string() + "' '"
            + (dir / "keep.dpz").string() + "'" + json);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find("bom.csv:1:"), std::string::npos) << r.err;
        EXPECT_EQ(test::readFile(dir / "keep.dpz"), "earlier");
    }

    r = test::runProgram(kTool + " project from-kicad only-one.xml");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("from-kicad"), std::string::npos);
}

} // namespace
} // namespace rav::project
