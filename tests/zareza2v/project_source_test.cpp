// Project sources in JSON, their checks when built, and the project commands
// of the command-line tool.
#include "project_model.h"
#include "test_env.h"
#include "textcodec.h"
#include "zareza2v.h"

#include <gtest/gtest.h>
#include <tuple>

namespace
{

using rav::project::ProjectError;
using rav::test::readFile;
using rav::test::runProgram;
using rav::test::ScratchDir;
using rav::test::writeFile;

const std::string kTool = std::string(RAV_BIN_DIR) + "/ravederi";

// A source with every device-text form and every optional key.
const char* const kSource = R"json({
  "format": "ravederi-project", "version": 1,
  "name": "Caf\u00e9 board",
  "hierarchies": ["Main", "Sub"], "currentHierarchy": "Sub", "helpFollow": true,
  "symbols": ["R0805"],
  "strings": {"HOST": "x"},
  "devices": [
    {"name": "ONE", "library": "lib", "firstWord": "R0805", "tokens": ["A"]},
    {"name": "TRAIL", "firstWord": "R0805", "tokens": ["A", ""]},
    {"name": "BARE", "firstWord": "R0805"},
    {"name": "EMPTY", "firstWord": "", "tokens": [""]},
    {"name": "FOUR", "firstWord": "X\u20ac", "tokens": ["1", "2", "3", "4 with blanks"]}
  ],
  "components": [
    {"name": "R1", "symbol": "R0805", "device": "ONE",
     "schematic": [{"texts": [{"mask": 8, "text": "10k \u20ac0.01"}]}, {"texts": []}]},
    {"name": "X1"}
  ]
})json";

std::string quote(const std::string& s)
{
    return "'" + s + "'";
}

// The message of the build's refusal, or "accepted".
std::string refusal(const rav::project::Project& project, const std::filesystem::path& file)
{
    try {
        rav::project::writeDpz(project, file);
    } catch (const ProjectError& e) {
        return e.what();
    }
    return "accepted";
}

TEST(ProjectSource, BuildAndReadBackGiveTheSameProject)
{
    ScratchDir dir;
    const auto project = rav::project::parseJson(kSource);
    ASSERT_EQ(project.devices.size(), 5u);
    EXPECT_EQ(rav::project::deviceText(project.devices[1]), "R0805 A\xE2\x82\xAC");
    EXPECT_EQ(rav::project::deviceText(project.devices[2]), "R0805");
    EXPECT_EQ(rav::project::deviceText(project.devices[3]), " ");
    EXPECT_EQ(project.currentHierarchy, 1u);

    rav::project::writeDpz(project, dir / "p.dpz");
    EXPECT_EQ(rav::project::readDpz(dir / "p.dpz"), project);
    EXPECT_EQ(rav::project::parseJson(rav::project::toJson(project)), project);

    // What the kernel sees is Windows-1252 with the 0x80 separator.
    ASSERT_NE(Z_OpenProject((dir / "p.dpz").c_str()), 0) << Z_LastError();
    EXPECT_STREQ(Z_TextPointer(O_GetName(DB_DataBase())), "Caf\xE9 board");
    Z_DeviceRecord r {};
    ASSERT_NE(D_ReadDevice(OM_FindName(DB_DeviceMap(), "FOUR"), &r), 0);
    EXPECT_STREQ(Z_TextPointer(r.text),
        "X\x80 1\x80"
        "2\x80"
        "3\x80"
        "4 with blanks");
    Z_CloseProject();
}

TEST(ProjectSource, CharactersOutsideWindows1252AreReportedWithTheirPlace)
{
    ScratchDir dir;
    auto project = rav::project::parseJson(kSource);
    project.components[0].schematic[0].texts[0].text = "10 k\xCE\xA9"; // Ω
    const std::string what = refusal(project, dir / "p.dpz");
    for (const char* part : { "components[0].schematic[0].texts[0].text", "\xCE\xA9", "U+03A9" })
        EXPECT_NE(what.find(part), std::string::npos) << what;
    EXPECT_FALSE(std::filesystem::exists(dir / "p.dpz"));

    project = rav::project::parseJson(kSource);
    project.devices[0].name = "RES\xE2\x80\x93"
                              "1"; // en dash is in Windows-1252
    project.components[0].device = project.devices[0].name;
    EXPECT_NO_THROW(rav::project::writeDpz(project, dir / "ok.dpz"));
    project.devices[0].tokens->at(0) = "\xE4\xB8\xAD"; // 中
    EXPECT_THROW(rav::project::writeDpz(project, dir / "p.dpz"), ProjectError);
}

TEST(ProjectSource, MistakesInTheSourceAreNamed)
{
    ScratchDir dir;
    auto expectError = [&](const std::string& json, const std::string& phrase) {
        std::string what;
        try {
            what = refusal(rav::project::parseJson(json), dir / "p.dpz");
        } catch (const ProjectError& e) {
            what = e.what(); // refused while parsing
        }
        EXPECT_NE(what.find(phrase), std::string::npos) << what;
    };
    const std::string head = R"({"format": "ravederi-project", "version": 1, "name": "P", )";
    expectError("{\n\"format\": \n", "line 3");
    expectError(R"({"format": "other", "version": 1, "name": "P"})", "format");
    expectError(head + R"("devise": []})", "unknown key \"devise\"");
    expectError(head + R"("components": [{"name": "R1", "device": "NONE"}]})", "components[0].device");
    expectError(head + R"("components": [{"name": "R1", "symbol": "S"}]})", "components[0].symbol");
    expectError(head + R"("devices": [{"name": "D"}, {"name": "D"}]})", "listed twice");
    expectError(head + R"("devices": [{"name": "D", "firstWord": "A B"}]})", "devices[0].firstWord");
    expectError(head + R"("devices": [{"name": "D", "firstWord": "A", "tokens": ["x\u20acy"]}]})",
        "devices[0].tokens[0]");
    expectError(head + R"("hierarchies": ["Main"], "currentHierarchy": "Other"})", "currentHierarchy");
    expectError(
        head + R"("components": [{"name": "R1", "schematic": [{"texts": [{"mask": 1.5, "text": ""}]}]}]})",
        "mask");
    expectError(head + R"("name": "A\u0000B"})", "U+0000");
    expectError(head + R"("devices": [{"name": "D", "firstWord": ")" + std::string(1100, 'x') + R"("}]})",
        "longer than 1023");
    EXPECT_FALSE(std::filesystem::exists(dir / "p.dpz"));
}

TEST(ProjectCommands, FailuresAndUsage)
{
    ScratchDir dir;
    writeFile(dir / "bad.json", R"({"format": "ravederi-project", "version": 1, "name": "\u03a9"})");
    const std::string bad = quote((dir / "bad.json").string());
    const std::tuple<std::string, int, std::string> cases[] = {
        { "build " + bad + " " + quote((dir / "x.dpz").string()), 1, "U+03A9" },
        { "dump " + bad, 1, "is not a project file" },
        { "parts " + quote((dir / "missing.dpz").string()), 1, "does not exist" },
        { "", 2, "" }, { "frobnicate", 2, "" }, { "parts a.dpz --bogus", 2, "" }, { "set-eic a.dpz R1 '  '", 2, "" },
    };
    for (const auto& [args, code, phrase] : cases) {
        const auto r = runProgram(kTool + " project " + args);
        EXPECT_EQ(r.exitCode, code) << args;
        EXPECT_NE(r.err.find(phrase), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x.dpz"));
}

TEST(ProjectCommands, BuildDumpPartsAndSetEic)
{
    ScratchDir dir;
    writeFile(dir / "src.json", kSource);
    const std::string dpz = quote((dir / "p.dpz").string());
    ASSERT_EQ(
        runProgram(kTool + " project build " + quote((dir / "src.json").string()) + " " + dpz).exitCode, 0);
    auto r = runProgram(kTool + " project dump " + dpz);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(rav::project::parseJson(r.out), rav::project::parseJson(kSource));

    r = runProgram(kTool + " project parts " + dpz);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string header
        = "CompName\tPartName\tFullName\tEic\tSimRef\tPackage\tDescription\tValue\tHandle\n";
    ASSERT_EQ(r.out.substr(0, header.size()), header);
    EXPECT_NE(r.out.find("\nR1\tONE\tA\t\t\tR0805\tnone\t10k \xE2\x82\xAC"
                         "0.01\t"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\nX1\t\t\t\t\t\tnone\tnone\t"), std::string::npos) << r.out;

    r = runProgram(kTool + " project set-eic " + dpz + " TRAIL RES-0805-1K");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = runProgram(kTool + " project parts --devices " + dpz);
    EXPECT_NE(r.out.find("\n\tTRAIL\tA\tRES-0805-1K\t\tR0805\t\t\t"), std::string::npos) << r.out;

    r = runProgram(kTool + " project set-eic " + dpz + " NOSUCH X");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Can't read the Part: NOSUCH"), std::string::npos) << r.err;
}

TEST(ProjectCommands, DemoProjectIsBuiltAndRealistic)
{
    const std::string demo = std::string(RAV_BIN_DIR) + "/../examples/demo.dpz";
    const auto project = rav::project::readDpz(demo);
    EXPECT_GE(project.components.size(), 35u);
    EXPECT_LE(project.components.size(), 50u);
    int withEic = 0, withoutTokens = 0, withoutDevice = 0;
    for (const auto& d : project.devices) {
        withEic += d.tokens && d.tokens->size() >= 2 && !(*d.tokens)[1].empty();
        withoutTokens += !d.tokens;
    }
    for (const auto& c : project.components)
        withoutDevice += c.device.empty();
    EXPECT_GT(withEic, 10);
    EXPECT_GT(withoutTokens, 0);
    EXPECT_GT(withoutDevice, 0);
}

} // namespace
