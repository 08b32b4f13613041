// Real designs through the whole tool: the grouped list against one computed
// apart from the tool (independent_bom.py), and `check` against mistakes put
// into a clean design on purpose.
#include "test_env.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

namespace rav::test
{
namespace
{

const std::filesystem::path kData = std::filesystem::path(RAV_TEST_DATA_DIR) / "kicad";
const std::string kTool = std::string(RAV_BIN_DIR) + "/ravederi";
const std::string kIndependent = std::string(RAV_TEST_DATA_DIR) + "/../kicad/independent_bom.py";

std::string q(const std::filesystem::path& p)
{
    return "'" + p.string() + "'";
}

RunResult tool(const std::string& args)
{
    return runProgram(kTool + " " + args);
}

// An EID without records: every part's code is looked up and not found.
std::filesystem::path emptyEid(const ScratchDir& dir)
{
    const auto eid = dir / "e.eid";
    EXPECT_EQ(tool("eid create " + q(eid) + " --field Code:60 --eic Code").exitCode, 0);
    return eid;
}

// Writes the grouped CSV (value, footprint, code) of `netlist` and compares
// it with the independent list; "" when they agree, else what differs.
std::string groupedDiffers(
    const ScratchDir& dir, const std::filesystem::path& netlist, const std::string& extra = "")
{
    const auto dpz = dir / "p.dpz", csv = dir / "p.csv";
    auto r = tool("project from-kicad " + q(netlist) + " " + q(dpz));
    if (r.exitCode != 0)
        return r.err;
    r = tool("lom --project " + q(dpz) + " --eid " + q(dir / "e.eid")
        + " --group --field 'Component Value-P' --field Package-P --field 'External Index Code-P' --format "
          "csv"
          " --out "
        + q(csv) + extra);
    if (r.exitCode != 0)
        return r.err;
    r = runProgram("/usr/bin/python3 " + kIndependent + " " + q(netlist) + " " + q(csv) + extra);
    return r.exitCode == 0 ? "" : r.out + r.err;
}

TEST(RealDesigns, GroupedListEqualsOneComputedApart)
{
    ScratchDir dir;
    emptyEid(dir);
    for (const char* name : { "kibom-test.xml", "300-010.xml", "RPi-Test.xml", "acquire-PWM.xml" })
        EXPECT_EQ(groupedDiffers(dir, kData / name), "") << name;

    // Parts the design leaves out of lists stay out unless asked for.
    std::string xml = readFile(kData / "kibom-test.xml");
    for (const char* ref : { "ref=\"R3\">", "ref=\"C2\">" })
        xml.replace(xml.find(ref), std::string(ref).size(),
            std::string(ref) + "<property name=\"exclude_from_bom\"/>");
    writeFile(dir / "excluded.xml", xml);
    EXPECT_EQ(groupedDiffers(dir, dir / "excluded.xml"), "");
    EXPECT_EQ(groupedDiffers(dir, dir / "excluded.xml", " --include-excluded"), "");
}

// The kinds of finding `check` reports on `dpz`, with how often.
std::map<std::string, int> findings(const ScratchDir& dir, const std::filesystem::path& dpz)
{
    const auto r = tool("check --project " + q(dpz) + " --eid " + q(dir / "e.eid") + " --format csv");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, int> kinds;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line))
        ++kinds[line.substr(0, line.find(','))];
    return kinds;
}

TEST(RealDesigns, CheckFindsEveryInjectedMistakeAndNothingOnCleanDesigns)
{
    ScratchDir dir;
    emptyEid(dir);
    const std::set<std::string> partKinds { "placeholder-code", "part-code-differs",
        "code-on-different-parts", "duplicate-part" };
    const auto dpz = dir / "p.dpz";
    for (const char* name : { "kibom-test.xml", "300-010.xml" }) {
        ASSERT_EQ(tool("project from-kicad " + q(kData / name) + " " + q(dpz)).exitCode, 0);
        for (const auto& [kind, n] : findings(dir, dpz))
            EXPECT_EQ(partKinds.count(kind), 0u) << name << ": " << kind;
    }

    // 300-010: a device's code changed but not its parts' (U1 says
    // LTC3807EFE#PBF); one code on two footprints (SOD523 and SOT23); a
    // placeholder written as a code; and a reference used twice.
    std::string xml = readFile(kData / "300-010.xml");
    xml.replace(xml.find("<comp ref=\"R2\">"), 15, "<comp ref=\"R1\">");
    writeFile(dir / "twice.xml", xml);
    ASSERT_EQ(tool("project from-kicad " + q(dir / "twice.xml") + " " + q(dpz)).exitCode, 0);
    for (const char* change : { "LTC3807 LTC3807XYZ", "ESD5Z5.0T1G BSS138BK", "TestPointTHT n/a" })
        ASSERT_EQ(tool("project set-eic " + q(dpz) + " " + change).exitCode, 0) << change;
    const auto found = findings(dir, dpz);
    EXPECT_EQ(found.at("part-code-differs"), 2); // LTC3807's and ESD5Z5.0T1G's parts
    EXPECT_EQ(found.at("code-on-different-parts"), 1);
    EXPECT_EQ(found.at("placeholder-code"), 1);
    EXPECT_EQ(found.at("duplicate-part"), 1);
    EXPECT_EQ(found.count("no-code"), 1u);
}

} // namespace
} // namespace rav::test
