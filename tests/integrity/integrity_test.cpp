// The integrity report, the association suggestions (on a real parts
// catalogue) and the journalled EIC write-backs with their undo, through the
// libraries and the command line.
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
            { "SPARE", "4.7k 0805 resistor" } });
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
    const std::pair<const char*, const char*> same[]
        = { { "4k7", "=4700" }, { "4.7K", "=4700" }, { "4700 Ohm", "=4700" }, { "4K7R", "=4700" },
              { "0R01", "=0.01" }, { "100nF", "=1e-07" }, { "0.1uF", "=1e-07" }, { "100n-50V", "=1e-07" },
              { "100n-50V", "=50v" }, { "1M", "=1e+06" }, { "1m", "=0.001" } };
    for (const auto& [text, word] : same)
        EXPECT_TRUE(has(text, word)) << text << " lacks " << word;
    // Units other than farad, henry and ohm never meet a bare number.
    EXPECT_FALSE(has("50V", "=50"));
    EXPECT_FALSE(has("R_0603_1608Metric", "=1.608"));
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

std::vector<std::vector<std::string>> readCsv(const std::string& name)
{
    std::ifstream in(std::string(RAV_TEST_DATA_DIR) + "/partlists/" + name);
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

    // R3 (4k7) is best served by SPARE ("4.7k 0805 resistor").
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

