// The integrity report, the association suggestions (on a real parts
// catalogue) and the journalled EIC write-backs with their undo, through the
// libraries and the command line.
#include "component_value.h"
#include "eic_writeback.h"
#include "integrity_report.h"
#include "project_fixture.h"
#include "project_parts.h"
#include "sinks.h"
#include "suggestions.h"
#include "test_env.h"
#include "zareza2v.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>

namespace
{

using namespace rav::integrity;
using rav::test::runProgram;
using rav::test::ScratchDir;
using rav::test::TestComponent;
using rav::test::TestDevice;

const std::string kTool = std::string(RAV_BIN_DIR) + "/ravederi";

struct ProjectCloser {
    ~ProjectCloser() { Z_CloseProject(); }
};

// A board with one of each problem: R2's code has no record, R3 has none,
// R1 and R4 share value and footprint but not code, "ab 12" and "AB12"
// differ only in case and blanks, and record SPARE is used by nobody.
const std::vector<TestDevice> kDevices = {
    { "R1", "R0805", { "Resistor", "RES-10K" } },
    { "R2", "R0805", { "Resistor", "RES-GONE" } },
    { "R3", "R0805", { "Resistor", "" } },
    { "R4", "R0805", { "Resistor", "RES-10K-B" } },
    { "U1", "SO8", { "Opamp", "ab 12" } },
};
const std::vector<TestComponent> kComponents = {
    { "R1_1", "R1", "10k", "" },
    { "R4_1", "R4", " 10K", "" },
    { "R2_1", "R2", "1k", "" },
    { "R3_1", "R3", "4k7", "" },
    { "U1_1", "U1", "", "" },
};

void makeBoard(const ScratchDir& dir)
{
    ASSERT_TRUE(
        rav::test::openProject(dir / "p.dpz", rav::test::projectJson("Board", kDevices, kComponents)));
    Z_CloseProject();
    rav::test::makeEid(dir / "e.eid", { "Code", "Description" }, "Code",
        { { "RES-10K", "10k 0805" }, { "RES-10K-B", "10k 0805 1%" }, { "AB12", "opamp" },
            { "SPARE", "4.7k resistor" } });
}

TEST(IntegrityReport, FindsEachKindOfDisagreementInEveryFormat)
{
    ScratchDir dir;
    makeBoard(dir);
    ASSERT_NE(Z_OpenProject((dir / "p.dpz").c_str()), 0);
    ProjectCloser closer;
    const auto devices = readProjectDevices();
    ASSERT_EQ(devices.size(), 5u);
    EXPECT_EQ(devices[0].value, "10k");
    const Report report = checkIntegrity(devices, readEidRecords((dir / "e.eid").string(), false));

    std::map<FindingKind, std::vector<std::string>> seen;
    for (const auto& f : report.findings) {
        std::string line;
        for (const auto& d : f.devices)
            line += d + " ";
        for (const auto& c : f.codes)
            line += "[" + c + "]";
        seen[f.kind].push_back(line);
    }
    using K = FindingKind;
    // "ab 12" has no record of its own spelling: missing, and misspelt.
    EXPECT_EQ(seen[K::MissingRecord], (std::vector<std::string> { "R2 [RES-GONE]", "U1 [ab 12]" }));
    EXPECT_EQ(seen[K::NoCode], std::vector<std::string> { "R3 " });
    EXPECT_EQ(seen[K::UnusedRecord], (std::vector<std::string> { "[AB12]", "[SPARE]" }));
    EXPECT_EQ(seen[K::ConflictingCodes], std::vector<std::string> { "R1 R4 [RES-10K][RES-10K-B]" });
    EXPECT_EQ(seen[K::CodeSpelling], std::vector<std::string> { "U1 [AB12][ab 12]" });

    const std::string csv = formatReport(report, Format::Csv);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), static_cast<long>(report.findings.size()) + 1);
    EXPECT_NE(csv.find("code-spelling,U1,AB12;ab 12,,,\r\n"), std::string::npos) << csv;
    const std::string json = formatReport(report, Format::Json);
    EXPECT_NE(json.find("{\"kind\":\"conflicting-codes\",\"devices\":[\"R1\",\"R4\"],\"codes\":[\"RES-10K\","
                        "\"RES-10K-B\"],\"value\":\"10k\",\"footprint\":\"SYM\",\"parts\":[]}"),
        std::string::npos)
        << json;
    EXPECT_NE(formatReport(report, Format::Text).find("Records no device uses: 2\n  AB12\n  SPARE\n"),
        std::string::npos);
}

TEST(Suggestions, EqualValuesWrittenDifferentlyShareAWord)
{
    auto has = [](const std::string& text, const std::string& word) {
        const auto words = suggestionWords(text);
        return std::find(words.begin(), words.end(), word) != words.end();
    };
    // One parser reads values for the suggestions and for normalising:
    // "meg", upper-case N/P/U, the micro sign and the Greek mu included.
    const struct {
        const char* text;
        const char* word; // a value word the suggestions see
        const char* normalised; // what --normalise-values writes
    } same[] = { { "4k7", "=4.7k", "4.7k" }, { "4.7K", "=4.7k", "4.7k" }, { "4700 Ohm", "=4.7k", "4.7k" },
        { "4K7R", "=4.7k", "4.7k" }, { "0R01", "=10m", "10m" }, { "100nF", "=100n", "100n" },
        { "0.1uF", "=100n", "100n" }, { "100NF", "=100n", "100n" }, { "0.1\xC2\xB5\x46", "=100n", "100n" },
        { "0.1\xCE\xBC\x46", "=100n", "100n" }, { "1M", "=1M", "1M" }, { "2meg", "=2M", "2M" },
        { "1m", "=1m", "1m" }, { "22uH", "=22uh", "22u" }, { "100n-50V", "=50v", "100n-50V" } };
    for (const auto& v : same) {
        EXPECT_TRUE(has(v.text, v.word)) << v.text << " lacks " << v.word;
        EXPECT_EQ(rav::project::normaliseValue(v.text), v.normalised) << v.text;
    }
    // Units other than farad, henry and ohm never meet a bare number.
    EXPECT_FALSE(has("50V", "=50"));
    EXPECT_FALSE(has("R_0603_1608Metric", "=1.608"));
}

// Package sizes are read in the forms footprints and catalogues write them.
TEST(Suggestions, PackageWordsInFootprintForms)
{
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        { "R0402", { "0402" } },
        { "SM0805", { "0805" } },
        { "C_0603_1608Metric", { "0603" } },
        { "R_0603_1608Metric_Pad0.98x0.95mm_HandSolder", { "0603" } },
        { "0805W", { "0805" } },
        { "1608_C", { "0603" } },
        { "Capacitor_SMD:C_0201_0603Metric", { "0201" } },
        { "RC1206FR-0710KL", { "1206" } },
        { "SOT-23-6", { "sot23-6" } },
        { "SOT23", { "sot23" } },
        { "SOT-23", { "sot23" } },
        { "SOT-223-3_TabPin2", { "sot223" } },
        { "SOIC-16_3.9x9.9mm_P1.27mm", { "soic16" } },
        { "SO-16", { "soic16" } },
        { "DO-214AA", { "do214aa" } },
        { "SMB", { "do214aa" } },
        { "R_Axial_DIN0207_L6.3mm", { "axialdin0207" } },
        { "CP_Radial_D8.0mm_P5.00mm", { "radiald8" } },
        { "GRM188R71C104KA01D 100nF X7R", {} },
        { "CRCW08050000Z0EA", {} },
    };
    for (const auto& [text, packages] : cases)
        EXPECT_EQ(packageWords(text), packages) << text;
}

// Records of another package or kind are never suggested, and the best
// record is written only when it leads the next clearly.
TEST(Suggestions, PackageOrKindMismatchRulesARecordOut)
{
    EidRecords records;
    records.eics = { "R1206-10K", "NTC-10K", "CAP-GREEN", "R0402-10K", "LED-G-A", "LED-G-B" };
    records.texts = { "resistor 10k 1% 1206", "thermistor NTC 10k 0402", "capacitor 10uF 0805 green tape",
        "RES 10K 0402 1%", "LED green 0805 Lite-On", "LED green 0805 Kingbright" };
    const SuggestionIndex index(records);
    auto codes = [&](const ProjectDevice& d) {
        std::vector<std::string> out;
        for (const auto& s : index.suggest(d, 10))
            out.push_back(records.eics[s.record]);
        return out;
    };
    EXPECT_EQ(codes({ "R-10k", "", "", "10k", "R_0402_1005Metric", 1 }), std::vector<std::string> { "R0402-10K" });
    EXPECT_EQ(codes({ "R_Small-10k", "", "", "10k", "R0402", 1 }), std::vector<std::string> { "R0402-10K" });
    EXPECT_EQ(codes({ "R-10k", "", "", "10k", "R_Axial_DIN0207", 1 }), std::vector<std::string> {});
    const ProjectDevice led { "LED-green", "", "", "green", "LED_0805_2012Metric", 1 };
    const auto leds = codes(led);
    EXPECT_EQ(std::set<std::string>(leds.begin(), leds.end()), (std::set<std::string> { "LED-G-A", "LED-G-B" }));
    // Two makers' equal LEDs tie: neither is written.
    EXPECT_FALSE(leadsClearly(index.suggest(led, 2), 0, kDefaultApplyMargin));
    EXPECT_TRUE(leadsClearly(index.suggest({ "R-10k", "", "", "10k", "R_0402", 1 }, 2), kDefaultApplyScore,
        kDefaultApplyMargin));
    EXPECT_FALSE(leadsClearly({ { 0, 70 }, { 1, 65 } }, 60, 10));
    EXPECT_TRUE(leadsClearly({ { 0, 70 }, { 1, 60 } }, 60, 10));
    EXPECT_FALSE(leadsClearly({ { 0, 59 } }, 60, 10));
}

// Splits one line of quoted CSV.
std::vector<std::string> csvLine(const std::string& line)
{
    std::vector<std::string> out(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"')
            out.back() += line[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

std::vector<std::vector<std::string>> readCsv(const std::string& name, const std::string& folder = "partlists")
{
    std::ifstream in(std::string(RAV_TEST_DATA_DIR) + "/" + folder + "/" + name);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);)
        rows.push_back(csvLine(line));
    return rows;
}

// One device per catalogue row, its value written another way and its
// footprint without library; right is any record of the same value and
// footprint (devices.csv, made by make_devices.py).
TEST(Suggestions, RightRecordComesFirstForMostCatalogueParts)
{
    ScratchDir dir;
    const std::vector<std::string> columns
        = { "MPN", "IPN", "Manufacturer", "Description", "Footprint", "Value" };
    std::vector<std::vector<std::string>> rows;
    std::set<std::string> codes;
    std::map<std::string, std::string> ipnOf;
    for (const char* file : { "g-res.csv", "g-cap.csv" }) {
        const auto csv = readCsv(file);
        ASSERT_GT(csv.size(), 50u) << file;
        for (std::size_t i = 1; i < csv.size(); ++i) {
            const auto& r = csv[i];
            if (!codes.insert(r[1]).second)
                continue; // the EIC is unique; a repeated MPN is left out
            ipnOf[r[1]] = r[0];
            rows.push_back({ r[1], r[0], r[2], r[3], r[5], r[6] });
        }
    }
    rav::test::makeEid(dir / "parts.eid", columns, "MPN", rows, { 40, 20, 40, 80, 120, 20 });
    const EidRecords records = readEidRecords((dir / "parts.eid").string(), true);
    ASSERT_EQ(records.eics.size(), rows.size());
    const SuggestionIndex index(records);

    const auto devices = readCsv("devices.csv");
    ASSERT_GT(devices.size(), 1000u);
    std::size_t right = 0;
    for (std::size_t i = 1; i < devices.size(); ++i) {
        const auto& d = devices[i];
        ProjectDevice device { d[0], "", "", d[1], d[2], 1 };
        const auto ranked = index.suggest(device, 1);
        if (ranked.empty())
            continue;
        const std::string ipn = ipnOf[records.eics[ranked[0].record]];
        right += (";" + d[3] + ";").find(";" + ipn + ";") != std::string::npos ? 1 : 0;

    }
    const double share = static_cast<double>(right) / static_cast<double>(devices.size() - 1);
    std::cout << "right record first for " << right << " of " << devices.size() - 1 << " devices ("
              << share * 100 << "%)\n";
    EXPECT_GE(share, 0.90);
}

// What `suggest --apply` writes on the devices of real designs (KiCad
// netlists and schematics of others), against a catalogue plus the parts
// the other designs use; labels and how they were made: data/suggest.
TEST(Suggestions, ApplyAtTheDefaultWritesTheRightPartOnRealDesigns)
{
    const auto records = readCsv("records.csv", "suggest"); // code, text, designs
    const auto devices = readCsv("devices.csv", "suggest"); // design, name, value, footprint, description, right
    ASSERT_GT(devices.size(), 500u);
    // A design's own parts are left out of the EID it is measured against.
    std::map<std::string, std::unique_ptr<SuggestionIndex>> indexes;
    std::map<std::string, EidRecords> eids;
    auto indexFor = [&](const std::string& design) -> const SuggestionIndex& {
        bool contributes = false;
        for (std::size_t i = 1; i < records.size(); ++i)
            contributes = contributes || records[i][2] == design;
        const std::string key = contributes ? design : "";
        if (!indexes.count(key)) {
            EidRecords& eid = eids[key];
            for (std::size_t i = 1; i < records.size(); ++i)
                if (key.empty() || records[i][2].empty() || records[i][2] != design) {
                    eid.eics.push_back(records[i][0]);
                    eid.texts.push_back(records[i][1]);
                }
            indexes[key] = std::make_unique<SuggestionIndex>(eid);
        }
        return *indexes[key];
    };
    std::size_t written = 0, right = 0, answerable = 0;
    std::string wrong;
    for (std::size_t i = 1; i < devices.size(); ++i) {
        const auto& d = devices[i];
        const std::string footprint = d[3].substr(d[3].find(':') + 1);
        const ProjectDevice device { d[1], d[4], "", d[2], footprint, 1 };
        const std::string rightCodes = ";" + d[5] + ";";
        answerable += d[5].empty() ? 0 : 1;
        const SuggestionIndex& index = indexFor(d[0]);
        const auto ranked = index.suggest(device, 2);
        if (!leadsClearly(ranked, kDefaultApplyScore, kDefaultApplyMargin))
            continue;
        ++written;
        const std::string code = eids[eids.count(d[0]) ? d[0] : ""].eics[ranked[0].record];
        if (rightCodes.find(";" + code + ";") != std::string::npos)
            ++right;
        else
            wrong += "  " + d[0] + " " + d[1] + " [" + footprint + "] -> " + code + "\n";
    }
    const double precision = written ? static_cast<double>(right) / static_cast<double>(written) : 1.0;
    std::cout << devices.size() - 1 << " devices, " << answerable << " with a right record; written " << written
              << ", right " << right << ": precision " << precision * 100 << "%, recall "
              << 100.0 * static_cast<double>(right) / static_cast<double>(answerable) << "%\n"
              << wrong;
    EXPECT_GE(precision, 0.99) << wrong;
    EXPECT_GE(right * 5, answerable * 2); // recall at least 40%: writing nothing is no answer
}

std::string deviceText(const std::filesystem::path& dpz, const std::string& device)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(dpz.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT text FROM device WHERE name = ?1", -1, &s, nullptr);
    sqlite3_bind_blob(s, 1, device.data(), static_cast<int>(device.size()), SQLITE_TRANSIENT);
    std::string text = sqlite3_step(s) == SQLITE_ROW
        ? std::string(static_cast<const char*>(sqlite3_column_blob(s, 0)),
            static_cast<std::size_t>(sqlite3_column_bytes(s, 0)))
        : "<none>";
    sqlite3_finalize(s);
    sqlite3_close(db);
    return text;
}

TEST(WriteBack, EachWriteBackIsJournalledAndUndoneLastFirst)
{
    ScratchDir dir;
    makeBoard(dir);
    const auto dpz = dir / "p.dpz";
    ASSERT_NE(Z_OpenProject(dpz.c_str()), 0);
    {
        ProjectCloser closer;
        const auto plan = rav::kernel::planEicChanges(
            { { "R1", "RES-10K" }, { "R3", "RES-4K7" }, { "R2", "X" }, { "R2", "RES-1K" }, { "NOPE", "Y" } });
        // R1 keeps its code; R2 counts once, with its last code.
        EXPECT_EQ(rav::kernel::describeChanges(plan),
            "R3: (none) -> RES-4K7\nR2: RES-GONE -> RES-1K\nNOPE: no such device\n");
        rav::RecordingMessageSink messages;
        EXPECT_EQ(rav::kernel::applyEicChanges(plan, messages), 2u);
        EXPECT_EQ(messages.messages.size(), 1u); // NOPE
        // A rolled back write-back leaves file and memory as they were; one
        // write-back is open at a time, and undo waits for it to end.
        EXPECT_EQ(Z_EndChange(1), 0);
        ASSERT_NE(Z_BeginChange(), 0);
        EXPECT_EQ(Z_BeginChange(), 0);
        EXPECT_EQ(Z_UndoChange(), 0);
        rav::kernel::ProjectParts::instance().UpdateDeviceEic("U1", "AB12", messages);
        Z_EndChange(0);
        EXPECT_EQ(rav::kernel::planEicChanges({ { "U1", "ab 12" } }).size(), 0u);
    }
    EXPECT_EQ(deviceText(dpz, "U1"),
        "SO8 Opamp\x80"
        "ab 12");
    auto r = runProgram(kTool + " project set-eic " + dpz.string() + " U1 AB12");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "U1: ab 12 -> AB12\n");

    r = runProgram(kTool + " project undo " + dpz.string());
    EXPECT_EQ(r.out, "Undone:\nU1: AB12 -> ab 12\n");
    r = runProgram(kTool + " project undo " + dpz.string());
    EXPECT_EQ(r.out, "Undone:\nR2: RES-1K -> RES-GONE\nR3: RES-4K7 -> (none)\n");
    EXPECT_EQ(deviceText(dpz, "R3"), "R0805 Resistor\x80");
    r = runProgram(kTool + " project undo " + dpz.string());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "ravederi: There is nothing to undo.\n");
}

TEST(WriteBack, ChangedOutsideTheJournalOrOldFormatFiles)
{
    ScratchDir dir;
    makeBoard(dir);
    const auto dpz = dir / "p.dpz";
    // A file of the first format: no journal tables yet. It still opens and
    // gets them with its first write-back.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dpz.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "DROP TABLE write_back_change; DROP TABLE write_back; PRAGMA user_version = 1", nullptr,
        nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(
        runProgram(kTool + " project undo " + dpz.string()).err, "ravederi: There is nothing to undo.\n");
    auto r = runProgram(kTool + " project set-eic " + dpz.string() + " R3 NEW --dry-run");
    EXPECT_EQ(r.out, "R3: (none) -> NEW\nDry run: nothing written.\n");
    EXPECT_EQ(deviceText(dpz, "R3"), "R0805 Resistor\x80");
    r = runProgram(kTool + " project set-eic " + dpz.string() + " R3 NEW");
    EXPECT_EQ(r.exitCode, 0) << r.err;

    // Changed behind the journal's back: undo refuses and changes nothing.
    ASSERT_EQ(sqlite3_open(dpz.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "UPDATE device SET text = CAST('R0805 other' AS BLOB) WHERE name = CAST('R3' AS BLOB)",
        nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &s, nullptr);
    sqlite3_step(s);
    EXPECT_EQ(sqlite3_column_int(s, 0), 2) << "the first write-back upgrades the file";
    sqlite3_finalize(s);
    sqlite3_close(db);
    const std::string before = rav::test::readFile(dpz);
    r = runProgram(kTool + " project undo " + dpz.string());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("\"R3\" was changed after the last write-back"), std::string::npos) << r.err;
    EXPECT_EQ(rav::test::readFile(dpz), before);
}

TEST(IntegrityCommands, ReportSuggestApplyAndBadInput)
{
    ScratchDir dir;
    makeBoard(dir);
    const std::string p = (dir / "p.dpz").string(), e = (dir / "e.eid").string();
    auto r = runProgram(kTool + " check --project " + p + " --eid " + e + " --format json");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"devices\":5,\"records\":4,\"findings\":[", 0), 0u) << r.out;

    // R3 (4k7) is best served by SPARE ("4.7k resistor").
    r = runProgram(kTool + " suggest --project " + p + " --eid " + e + " --top 1 --apply-above 10 --dry-run");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("R3  [4k7 / SYM]\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("R3: (none) -> SPARE\nDry run: nothing written.\n"), std::string::npos) << r.out;
    r = runProgram(kTool + " suggest --project " + p + " --eid " + e + " --apply-above 10");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(deviceText(dir / "p.dpz", "R3"), "R0805 Resistor\x80SPARE");

    const std::string before = rav::test::readFile(p);
    const struct {
        std::string args;
        int exit;
        std::string err;
    } bad[] = {
        { "check --project " + p + " --eid " + e + " --format xml", 2, "ravederi: unknown format 'xml'" },
        { "check --project " + p, 2, "ravederi: --eid is required" },
        { "suggest --project " + p + " --eid " + e + " --apply-above 101", 2,
            "ravederi: --apply-above needs" },
        { "suggest --project " + p + " --eid " + e + " --margin 5", 2,
            "ravederi: --margin goes with --apply or --apply-above" },
        { "suggest --project " + p + " --eid " + e + " --apply --apply-above 5", 2,
            "ravederi: --apply and --apply-above exclude each other" },
        { "check --project " + p + " --eid " + (dir / "none.eid").string(), 1, "ravederi: The EID file" },
        { "check --project " + e + " --eid " + e, 1, "ravederi: \"" + e + "\" is not a project file" },
        { "suggest --project " + p + " --eid " + p + " --apply-above 1", 1,
            "ravederi: \"" + p + "\" is not a readable EID" },
    };
    for (const auto& b : bad) {
        r = runProgram(kTool + " " + b.args);
        EXPECT_EQ(r.exitCode, b.exit) << b.args;
        EXPECT_EQ(r.err.rfind(b.err, 0), 0u) << b.args << ": " << r.err;
    }
    EXPECT_EQ(rav::test::readFile(p), before);
}

// Field names with double quotes and closing brackets go through every
// command that builds a statement from them.
TEST(IntegrityCommands, NamesWithQuotesAndBracketsWorkEverywhere)
{
    ScratchDir dir;
    makeBoard(dir);
    const auto eid = dir / "q.eid";
    rav::test::makeEid(eid, { "Co\"de", "Pri\"ce", "a]b" }, "Co\"de",
        { { "RES-10K", "0.10", "x" }, { "RES-10K-B", "0.20", "y" }, { "AB12", "1.00", "z" } });
    const std::string p = "'" + (dir / "p.dpz").string() + "' ", e = "'" + eid.string() + "' ";
    const auto text = dir / "out.txt";
    const std::string t = "'" + text.string() + "' ";
    const std::string commands[] = {
        "check --project " + p + "--eid " + e,
        "check --project " + p + "--eid " + e + "--format csv",
        "suggest --project " + p + "--eid " + e + "--apply-above 1 --dry-run",
        "lom --project " + p + "--eid " + e + "--field 'Pri\"ce-D' --field 'a]b-D' --sort 'a]b-D' --out " + t,
        "lom --project " + p + "--eid " + e
            + "--field 'Co\"de-D' --field 'a]b-D' --group-by 'a]b-D' --check --format csv --out " + t,
        "eid info " + e,
        "eid query " + e + "'SELECT [Co\"de], [a]]b] FROM Device WHERE [Device]![a]]b] = \"y\" ORDER BY [Pri\"ce]'",
        "eid export " + e + t + "--range 'Co\"de' RES-10K AB12 --sort 'Pri\"ce'",
        "eid import " + e + t + "--overwrite",
        "eid remove " + e + "--range 'a]b' y y",
        "eid export " + e + t,
    };
    for (const auto& c : commands) {
        const auto r = runProgram(kTool + " " + c);
        EXPECT_EQ(r.exitCode, 0) << c << "\n" << r.err;
        EXPECT_EQ(r.err.find("syntax"), std::string::npos) << c << "\n" << r.err;
    }
    // The last export: what is left after removing the record whose a]b is "y".
    const std::string left = rav::test::readFile(text);
    EXPECT_NE(left.find("RES-10K,0.10,x"), std::string::npos) << left;
    EXPECT_EQ(left.find("RES-10K-B"), std::string::npos) << left;
}

} // namespace

