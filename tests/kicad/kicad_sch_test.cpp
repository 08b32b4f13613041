#include "eic_writeback.h"
#include "kicad_netlist.h"
#include "kicad_sch.h"
#include "kicad_writeback.h"
#include "sinks.h"
#include "test_env.h"
#include "zareza2v.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <sys/stat.h>

namespace rav::project
{
namespace
{

namespace fs = std::filesystem;
using test::readFile;
using test::runProgram;
using test::ScratchDir;
using test::writeFile;

const fs::path kData = fs::path(RAV_TEST_DATA_DIR) / "kicad" / "schematics";
const std::string kTool = std::string(RAV_BIN_DIR) + "/ravederi";
const std::string kChecker = (fs::path(RAV_TEST_DATA_DIR) / ".." / "kicad" / "check_writeback.py").string();
const fs::path kDemos = "/usr/share/kicad/demos";

std::string q(const fs::path& p)
{
    return "'" + p.string() + "'";
}

test::RunResult tool(const std::string& args)
{
    return runProgram(kTool + " " + args);
}

// What the independent parser says changed in field `field` of `after`.
std::string checked(const std::string& field, const fs::path& before, const fs::path& after)
{
    const auto r
        = runProgram("/usr/bin/python3 " + q(kChecker) + " '" + field + "' " + q(before) + " " + q(after));
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    return r.out;
}

const SchematicPart& part(const SchematicDesign& d, const std::string& ref)
{
    for (const SchematicPart& p : d.parts)
        if (p.reference == ref)
            return p;
    throw std::runtime_error("no part " + ref);
}

std::vector<SchematicField> fieldsOf(const SchematicPart& p)
{
    return { p.fields.begin(), p.fields.end() };
}

TEST(KicadSchematic, ASchematicAndTheNetlistKicadExportedFromItGiveOneProject)
{
    for (const char* name : { "bom", "kibom-variant_2c" }) {
        SCOPED_TRACE(name);
        const fs::path sch = kData / (std::string(name) + ".kicad_sch");
        const Project fromSchematic
            = projectFromKicadParts(kicadDesignOf(readSchematicDesign(sch)), sch).project;
        const Project fromNetlist = readKicadNetlist(kData / (std::string(name) + ".xml"));
        EXPECT_EQ(toJson(fromSchematic), toJson(fromNetlist));
        // The tool's readable form of a schematic is the same project.
        ScratchDir dir;
        ASSERT_EQ(tool("project from-kicad " + q(sch) + " " + q(dir / "p.json") + " --json").exitCode, 0);
        EXPECT_EQ(readFile(dir / "p.json"), toJson(fromSchematic));
    }
}

TEST(KicadSchematic, HierarchyInstancesUnitsPowerAndFlags)
{
    const SchematicDesign d = readSchematicDesign(kData / "handmade" / "root.kicad_sch");
    EXPECT_EQ(d.title, "Two channels");
    ASSERT_EQ(d.files.size(), 2u) << "a sheet file used twice is read once";
    EXPECT_EQ(d.files[1].name, "channel sheets/amp stage.kicad_sch");
    std::vector<std::string> refs;
    for (const SchematicPart& p : d.parts)
        refs.emplace_back(p.reference);
    EXPECT_EQ(refs, (std::vector<std::string> { "R1", "R2", "R3", "R4", "R9", "U1" }))
        << "power symbols are left out; parts in reference order";

    const SchematicPart& u1 = part(d, "U1");
    ASSERT_EQ(u1.symbols.size(), 2u) << "two units, one part";
    EXPECT_EQ(u1.symbols[1].unit, 2);
    EXPECT_EQ(u1.library, "Amplifier_Operational");
    EXPECT_EQ(u1.symbolName, "LM358");
    EXPECT_EQ(u1.description, "Dual operational amplifier");
    EXPECT_EQ(fieldsOf(u1),
        (std::vector<SchematicField> { { "MPN", "LM358DR" },
            { "Footprint", "Package_SO:SOIC-8_3.9x4.9mm_P1.27mm" }, { "Datasheet", "" } }));

    // One symbol of the shared sheet, two parts with their own reference and value.
    const SchematicPart &r1 = part(d, "R1"), &r2 = part(d, "R2");
    EXPECT_EQ(r1.value, "10k");
    EXPECT_EQ(r2.value, "22k");
    EXPECT_EQ(r2.sheetNames, "/Channel B/");
    EXPECT_EQ(r1.symbols[0].uuid, r2.symbols[0].uuid);
    EXPECT_NE(r1.symbols[0].sheetPath, r2.symbols[0].sheetPath);

    const SchematicPart& r9 = part(d, "R9");
    EXPECT_TRUE(r9.excludeFromBom && r9.excludeFromBoard);
    EXPECT_FALSE(r9.dnp || r1.excludeFromBom || r1.excludeFromBoard);
}

TEST(KicadSchematic, NewerFormatsKeepInstancesBySymbolAndEscapeStrings)
{
    ScratchDir dir;
    writeFile(dir / "board.kicad_sch", R"((kicad_sch
	(version 20250114)
	(generator "eeschema")
	(uuid "aaaa")
	(lib_symbols)
	(symbol
		(lib_id "Device:C")
		(unit 1)
		(in_bom yes)
		(on_board yes)
		(dnp yes)
		(uuid "s1")
		(property "Reference" "C?")
		(property "Value" "100n")
		(property "Note" "say \"hi\"\\ok")
		(property "Datasheet" "~")
		(instances
			(project "other"
				(path "/zzzz"
					(reference "C99")
				)
			)
			(project "board"
				(path "/aaaa"
					(reference "C7")
					(unit 1)
				)
			)
		)
	)
)
)");
    const SchematicDesign d = readSchematicDesign(dir / "board.kicad_sch");
    ASSERT_EQ(d.parts.size(), 1u);
    const SchematicPart& c = d.parts[0];
    EXPECT_EQ(c.reference, "C7");
    EXPECT_TRUE(c.dnp);
    EXPECT_EQ(
        fieldsOf(c), (std::vector<SchematicField> { { "Note", "say \"hi\"\\ok" }, { "Datasheet", "" } }));
}

TEST(KicadSchematic, UnitsPlacedApartMakeOnePartWithEveryUnitsFields)
{
    // Unit 1 of U1, then R1, then unit 2 of U1 with a field unit 1 lacks
    // and a value for one unit 1 left empty; then R2 before R10.
    const auto symbol = [](const std::string& ref, int unit, const std::string& fields) {
        return "(symbol (lib_id \"X:Y\") (unit " + std::to_string(unit) + ") (uuid \"" + ref
            + std::to_string(unit) + "\") (property \"Reference\" \"" + ref + "\") " + fields
            + " (instances (project \"p\" (path \"/r\" (reference \"" + ref + "\") (unit "
            + std::to_string(unit) + ")))))";
    };
    ScratchDir dir;
    writeFile(dir / "a.kicad_sch",
        "(kicad_sch (version 20231120) (uuid \"r\") (lib_symbols) "
            + symbol("U1", 1, R"((property "Value" "") (property "Footprint" "F") (property "MPN" ""))")
            + symbol("R10", 1, R"((property "Value" "1k"))")
            + symbol("U1", 2, R"((property "Value" "LM") (property "Note" "n") (property "MPN" "M1"))")
            + symbol("R2", 1, "") + ")\n");
    const SchematicDesign d = readSchematicDesign(dir / "a.kicad_sch");
    std::vector<std::string> refs;
    for (const SchematicPart& p : d.parts)
        refs.emplace_back(p.reference);
    EXPECT_EQ(refs, (std::vector<std::string> { "R2", "R10", "U1" }));
    const SchematicPart& u1 = part(d, "U1");
    EXPECT_EQ(u1.value, "LM");
    EXPECT_EQ(fieldsOf(u1),
        (std::vector<SchematicField> { { "MPN", "M1" }, { "Note", "n" }, { "Footprint", "F" } }));
    ASSERT_EQ(u1.symbols.size(), 2u);
    EXPECT_EQ(u1.symbols[0].uuid, "U11");
    EXPECT_EQ(u1.symbols[1].uuid, "U12");
    EXPECT_EQ(part(d, "R10").symbols[0].uuid, "R101");
}

TEST(KicadSchematic, BadInputIsOneLineExitOneAndNoFileChanged)
{
    const std::string good = readFile(kData / "bom.kicad_sch");
    struct Case {
        const char* name;
        std::string root; // file name of the root
        std::vector<std::pair<std::string, std::string>> files;
        const char* says;
    };
    auto sheet = [](const std::string& file) {
        return "(sheet (uuid \"u-" + file + "\") (property \"Sheetname\" \"S\") (property \"Sheetfile\" \""
            + file + "\"))";
    };
    auto schematic = [](const std::string& body) {
        return "(kicad_sch (version 20231120) (generator \"eeschema\") (uuid \"r\") " + body + ")\n";
    };
    const std::vector<Case> cases {
        { "truncated", "a.kicad_sch", { { "a.kicad_sch", good.substr(0, good.size() / 2) } },
            "never closed" },
        { "unbalanced", "a.kicad_sch", { { "a.kicad_sch", good + ")\n" } }, "without its \"(\"" },
        // Symbols are read without a tree; their mistakes are placed alike.
        { "cut inside a symbol", "a.kicad_sch",
            { { "a.kicad_sch",
                "(kicad_sch (version 20231120)\n\t(symbol (lib_id \"A:B\") (property \"Reference\" "
                "\"R1\"\n" } },
            "a.kicad_sch:2:2: this \"(\" is never closed" },
        { "string never closed in a symbol", "a.kicad_sch",
            { { "a.kicad_sch",
                "(kicad_sch (version 20231120)\n\t(symbol (at 1 2) (property \"Reference\" "
                "\"R1)\n\t)\n)\n" } },
            "a.kicad_sch:2:41: a string that is never closed" },
        { "missing sub-sheet", "a.kicad_sch", { { "a.kicad_sch", schematic(sheet("gone.kicad_sch")) } },
            "does not exist" },
        // A fuzzer's find: a name too long to look up threw out of the reader.
        { "sub-sheet name too long", "a.kicad_sch",
            { { "a.kicad_sch", schematic(sheet(std::string(300, 'x') + ".kicad_sch")) } }, "does not exist" },
        { "recursion", "a.kicad_sch",
            { { "a.kicad_sch", schematic(sheet("b.kicad_sch")) },
                { "b.kicad_sch", schematic(sheet("a.kicad_sch")) } },
            "sheet recursion" },
        { "KiCad 5", "a.sch", { { "a.sch", "EESchema Schematic File Version 4\nEELAYER 30 0\n" } },
            "KiCad 5" },
        { "newer KiCad", "a.kicad_sch",
            { { "a.kicad_sch", "(kicad_sch (version 20991231) (generator \"eeschema\"))\n" } },
            "newer KiCad" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        for (const auto& [name, bytes] : c.files)
            writeFile(dir / name, bytes);
        writeFile(dir / "out.dpz", "earlier");
        const auto r = tool("project from-kicad " + q(dir / c.root) + " " + q(dir / "out.dpz"));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(readFile(dir / "out.dpz"), "earlier");
        for (const auto& [name, bytes] : c.files)
            EXPECT_EQ(readFile(dir / name), bytes);
    }
}

// Lists cut short where a value belongs (a fuzzer found the first one
// crashing the reader): read as empty, or refused with one line.
TEST(KicadSchematic, ListsWithoutTheirValuesNeverCrashTheReader)
{
    for (const char* body : { "(uuid)", "(lib_symbols (symbol))", "(symbol)", "(symbol (lib_id) (property))",
             "(sheet (property) (uuid))", "(title_block (title))" }) {
        SCOPED_TRACE(body);
        ScratchDir dir;
        writeFile(dir / "a.kicad_sch",
            std::string("(kicad_sch (version 20231120) (generator \"eeschema\") ") + body + ")\n");
        const auto r = tool("project from-kicad " + q(dir / "a.kicad_sch") + " " + q(dir / "out.dpz"));
        EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.exitCode << " " << r.err;
        EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

// The handmade hierarchy and a KiCad 9 file, copied where the tool may
// write, made into projects.
class ToKicad : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::copy(kData / "handmade", dir.path() / "design", fs::copy_options::recursive);
        fs::copy(kData / "kibom-variant_2c.kicad_sch", dir / "v9.kicad_sch");
        for (const char* f :
            { "design/root.kicad_sch", "design/channel sheets/amp stage.kicad_sch", "v9.kicad_sch" })
            original[f] = readFile(dir / f);
        ASSERT_EQ(
            tool("project from-kicad " + q(dir / "design/root.kicad_sch") + " " + q(project())).exitCode, 0);
    }

    fs::path project() const { return dir / "design.dpz"; }
    bool unchanged()
    {
        for (const auto& [f, bytes] : original)
            if (readFile(dir / f) != bytes)
                return false;
        return true;
    }

    ScratchDir dir;
    std::map<std::string, std::string> original;
};

TEST_F(ToKicad, WritesOnlyTheFieldChecksSharedSheetsAndUndoes)
{
    ASSERT_EQ(tool("project set-eic " + q(project()) + " R-1k RC0603-1K0").exitCode, 0);
    ASSERT_EQ(tool("project set-eic " + q(project()) + " R-10k RC-10K").exitCode, 0);
    // R1 and R2 are one symbol of the sheet used twice.
    auto r = tool("project to-kicad " + q(project()));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
        "ravederi: R1 and R2 are one symbol in channel sheets/amp stage.kicad_sch (a sheet used twice) but "
        "would "
        "need two codes (RC-10K, (none)); nothing written\n");
    EXPECT_TRUE(unchanged());

    ASSERT_EQ(tool("project set-eic " + q(project()) + " R-22k RC-10K").exitCode, 0);
    // Per file, per symbol: U1's two units are two symbols.
    const std::string plan = "U1 (root.kicad_sch): (none) -> LM358DR (new field)\n"
                             "U1 (root.kicad_sch): (none) -> LM358DR (new field)\n"
                             "R1 (channel sheets/amp stage.kicad_sch): (none) -> RC-10K (new field)\n"
                             "R3 (channel sheets/amp stage.kicad_sch): RC0603-1K -> RC0603-1K0\n";
    r = tool("project to-kicad " + q(project()) + " --dry-run");
    EXPECT_EQ(r.out, plan + "Dry run: nothing written.\n");
    EXPECT_TRUE(unchanged());

    r = tool("project to-kicad " + q(project()));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, plan);
    EXPECT_EQ(checked("EIC", kData / "handmade/root.kicad_sch", dir / "design/root.kicad_sch"),
        "6f0c1a52-0000-4000-8000-000000000010 (none) -> LM358DR\n"
        "6f0c1a52-0000-4000-8000-000000000011 (none) -> LM358DR\n");
    EXPECT_EQ(checked("EIC", kData / "handmade/channel sheets/amp stage.kicad_sch",
                  dir / "design/channel sheets/amp stage.kicad_sch"),
        "6f0c1a52-0000-4000-8000-000000000020 (none) -> RC-10K\n"
        "6f0c1a52-0000-4000-8000-000000000021 RC0603-1K -> RC0603-1K0\n");
    // A new field takes the form of the file's hidden fields, with the next id.
    EXPECT_NE(readFile(dir / "design/root.kicad_sch")
                  .find("    (property \"EIC\" \"LM358DR\" (id 5) (at 110 60 0)\n"
                        "      (effects (font (size 1.27 1.27)) hide)\n    )\n  )"),
        std::string::npos);
    EXPECT_EQ(tool("project to-kicad " + q(project())).out, "Nothing to write.\n");

    r = tool("project undo " + q(project()));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(unchanged()) << "undo restores every file byte for byte";
    r = tool("project undo " + q(project()));
    EXPECT_EQ(r.out, "Undone:\nR-22k: RC-10K -> (none)\n") << "then the EIC write-backs before it";
}

TEST_F(ToKicad, KicadNineFileGetsHiddenFieldsInItsOwnForm)
{
    const fs::path v9 = dir / "v9.dpz";
    ASSERT_EQ(
        tool("project from-kicad " + q(dir / "v9.kicad_sch") + " " + q(v9) + " --eic-field manf#").exitCode,
        0);
    ASSERT_EQ(tool("project set-eic " + q(v9) + " C-1nF CL10B102KC8NNNX").exitCode, 0);
    const auto r = tool("project to-kicad " + q(v9) + " --field MPN");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(checked("MPN", kData / "kibom-variant_2c.kicad_sch", dir / "v9.kicad_sch"),
        "00000000-0000-0000-0000-00005f43bec2 (none) -> CL10B102KC8NNNX\n"
        "00000000-0000-0000-0000-00005f43ce1c (none) -> CL10B102KC8NNNC\n"
        "00000000-0000-0000-0000-00005f43d144 (none) -> CR0603-JW-102ELF\n"
        "00000000-0000-0000-0000-00005f43d4bb (none) -> CR0603-JW-102ELF\n");
    EXPECT_NE(readFile(dir / "v9.kicad_sch").find("\t\t(property \"MPN\" \"CL10B102KC8NNNX\"\n\t\t\t(at "),
        std::string::npos);
}

TEST_F(ToKicad, RefusesAFileChangedSinceTheImportOrReadOnly)
{
    ASSERT_EQ(tool("project set-eic " + q(project()) + " R-1k RC0603-1K0").exitCode, 0);
    const fs::path sub = dir / "design/channel sheets/amp stage.kicad_sch";
    struct Case {
        const char* name;
        std::function<void()> spoil, mend;
        const char* says;
    };
    const std::string bytes = readFile(sub);
    const std::vector<Case> cases {
        { "saved in KiCad", [&] { writeFile(sub, bytes + "\n"); }, [&] { writeFile(sub, bytes); },
            "changed since the project was made" },
        { "read-only", [&] { ::chmod(sub.c_str(), 0444); }, [&] { ::chmod(sub.c_str(), 0644); },
            "is read-only" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.spoil();
        const std::string before = readFile(sub);
        const auto r = tool("project to-kicad " + q(project()));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(readFile(sub), before);
        EXPECT_EQ(readFile(dir / "design/root.kicad_sch"), original["design/root.kicad_sch"]);
        c.mend();
    }
    EXPECT_EQ(tool("project to-kicad " + q(project())).exitCode, 0);
}

// The tool box's library update offers the same write for the open project.
TEST_F(ToKicad, TheOfferAfterALibraryUpdateAsksThenWrites)
{
    ASSERT_EQ(tool("project set-eic " + q(project()) + " R-1k RC0603-1K0").exitCode, 0);
    ASSERT_NE(Z_OpenProject(project().c_str()), 0) << Z_LastError();
    for (const bool yes : { false, true }) {
        RecordingMessageSink messages;
        messages.answer = yes;
        EXPECT_EQ(kernel::offerDesignWrite(messages), yes ? 3u : 0u);
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_NE(messages.messages[0].text.find(
                      "R3 (channel sheets/amp stage.kicad_sch): RC0603-1K -> RC0603-1K0"),
            std::string::npos)
            << messages.messages[0].text;
        EXPECT_EQ(unchanged(), !yes);
    }
    RecordingMessageSink after;
    EXPECT_EQ(kernel::offerDesignWrite(after), 0u);
    EXPECT_TRUE(after.messages.empty()) << "nothing left to write, nothing asked";
    Z_CloseProject();
}

TEST_F(ToKicad, ReimportKeepsAssignedCodesAndJournalsAndTheDesignWinsWhereItChanged)
{
    ASSERT_EQ(tool("project set-eic " + q(project()) + " R-10k RC-10K").exitCode, 0);
    ASSERT_EQ(tool("project set-eic " + q(project()) + " R-22k RC-22K").exitCode, 0);
    ASSERT_EQ(tool("project set-eic " + q(project()) + " R-1k RC-1K-NEW").exitCode, 0);
    // Edited in KiCad since: U1's own code, and R2's value (a new device).
    std::string root = original["design/root.kicad_sch"];
    for (const auto& [from, to] :
        { std::pair { "(property \"MPN\" \"LM358DR\"", "(property \"MPN\" \"LM358DT\"" },
            std::pair { "(value \"22k\")", "(value \"27k\")" } })
        for (std::size_t at; (at = root.find(from)) != std::string::npos;)
            root.replace(at, std::string(from).size(), to);
    writeFile(dir / "design/root.kicad_sch", root);

    auto r = tool("project from-kicad " + q(dir / "design/root.kicad_sch") + " " + q(project()));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "from the design: LM358: LM358DR -> LM358DT\n");
    r = tool("project parts " + q(project()) + " --devices");
    for (const char* row : { "\tR-10k\tResistor\tRC-10K\t", "\tR-27k\tResistor\t\t",
             "\tR-1k\tResistor\tRC-1K-NEW\t", "\tLM358\tDual operational amplifier\tLM358DT\t" })
        EXPECT_NE(r.out.find(row), std::string::npos) << row << " in\n" << r.out;
    // R-22k is gone, and its write-back with it; the others undo in turn.
    EXPECT_EQ(tool("project undo " + q(project())).out, "Undone:\nR-1k: RC-1K-NEW -> RC0603-1K\n");
    EXPECT_EQ(tool("project undo " + q(project())).out, "Undone:\nR-10k: RC-10K -> (none)\n");
    EXPECT_EQ(tool("project undo " + q(project())).exitCode, 1);
}

// Every schematic of Debian's kicad-demos: read, a code written to every
// device, the result checked by the other parser, then undone to the
// original bytes.
TEST(KicadDemos, EverySchematicReadsWritesBackAndUndoes)
{
    ASSERT_TRUE(fs::is_directory(kDemos)) << "scripts/install-deps.sh installs kicad-demos";
    std::size_t schematics = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kDemos)) {
        if (entry.path().extension() != ".kicad_sch")
            continue;
        ++schematics;
        SCOPED_TRACE(entry.path().string());
        ScratchDir dir;
        fs::copy(entry.path().parent_path(), dir / "d", fs::copy_options::recursive);
        const fs::path root = dir / "d" / entry.path().filename();
        const SchematicDesign design = readSchematicDesign(root);
        Project p = projectFromKicadParts(kicadDesignOf(design), root).project;
        for (Device& d : p.devices)
            d.tokens = std::vector<std::string> { "", "X" + std::to_string(&d - p.devices.data()) };
        writeDpz(p, dir / "p.dpz");
        storeDesignLink(dir / "p.dpz", linkOf(design, root, ""));
        const DesignWritePlan plan = planDesignWrite(dir / "p.dpz", "EIC");
        // A symbol of a sheet used twice is written once.
        std::set<std::pair<std::size_t, std::string>> distinct;
        for (const SchematicSymbol& s : design.symbols)
            distinct.emplace(s.file, s.uuid);
        EXPECT_EQ(plan.changes.size(), distinct.size());
        applyDesignWrite(dir / "p.dpz", plan);
        std::size_t lines = 0;
        for (const auto& f : plan.files) {
            const std::string out = checked("EIC", entry.path().parent_path() / f.name, f.path);
            lines += static_cast<std::size_t>(std::count(out.begin(), out.end(), '\n'));
        }
        EXPECT_EQ(lines, plan.changes.size());
        EXPECT_TRUE(planDesignWrite(dir / "p.dpz", "EIC").files.empty());
        undoDesignWrite(dir / "p.dpz");
        for (const auto& f : plan.files)
            EXPECT_EQ(readFile(f.path), readFile(entry.path().parent_path() / f.name));
    }
    EXPECT_EQ(schematics, 32u);
}

} // namespace
} // namespace rav::project
