// The temporary database build and the LOM file, over projects built from
// JSON and opened through the kernel, and EIDs made with CreateEidDatabase.
#include "cancel_flag.h"
#include "database.h"
#include "lom_build.h"
#include "lom_catalogue.h"
#include "lom_query.h"
#include "project_fixture.h"
#include "test_env.h"
#include "zareza2v.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace rav::lom
{
namespace
{

namespace fs = std::filesystem;
using test::queryRows;
using test::readFile;
using test::Rows;

class LomBuild : public ::testing::Test
{
protected:
    void SetUp() override
    {
        cancelFlag().store(false);
        test::makeEid(dir / "Part.eid", { "Code", "Name", "Price" }, "Code",
            { { "123", "Resistor", "0.01" }, { "ABC", "Thing", "2" }, { "999X", "Other", "3" } });
        ASSERT_TRUE(BuildLomCatalogue(catalogue, eid()));
    }
    void TearDown() override { Z_CloseProject(); }

    std::string eid() const { return (dir / "Part.eid").string(); }
    BuildOptions options() const { return { eid(), (dir / "tmp").string(), catalogue.size() }; }
    void open(
        const std::vector<test::TestDevice>& devices, const std::vector<test::TestComponent>& components)
    {
        fs::create_directories(dir / "tmp");
        test::openProject(dir / "p.dpz", test::projectJson("Board", devices, components));
    }
    // Build, then write the LOM of `fields` sorted by `sort` with `delimiter`.
    std::string lomText(const std::vector<int>& fields, int sort, const std::string& delimiter)
    {
        BuildResult b = BuildLomDatabase(options(), progress, messages);
        EXPECT_TRUE(b.built) << b.error;
        const LomQuery q = makeQueryString(catalogue, { fields, sort, delimiter });
        const fs::path out = dir / "LOM.txt";
        LomFileResult r
            = CreateLomFile({ b.tempDbName, q.sql, q.delimiter, out.string() }, progress, messages);
        EXPECT_TRUE(r.complete) << r.error;
        return readFile(out);
    }

    test::ScratchDir dir;
    FieldCatalogue catalogue;
    test::RecordingProgress progress;
    RecordingMessageSink messages;
};

const test::TestDevice kRes { "RES", "R0805", { "Resistor 10k", "123", "RSIM" } };

TEST_F(LomBuild, RowsCarryProjectAttributesAndTheMatchingEidRecord)
{
    open({ kRes, { "CAP", "C0603", { "Cap", "", "CSIM" } }, { "BLANK", "X", { "Blank", "   ", "" } },
             { "UNK", "X", { "Unknown", "999", "" } }, { "LOWER", "X", { "Case", "abc" } } },
        { { "R1", "RES", "10k", "pull-up" }, { "C1", "CAP", "", "" }, { "B1", "BLANK", "", "" },
            { "U1", "UNK", "", "" }, { "L1", "LOWER", "", "" }, { "X1", "", "", "" } });
    BuildResult b = BuildLomDatabase(options(), progress, messages);
    ASSERT_TRUE(b.built) << b.error;
    EXPECT_FALSE(b.cancelled);
    EXPECT_EQ(b.rows, 6);
    EXPECT_TRUE(messages.messages.empty());
    const Rows rows = queryRows(b.tempDbName, "SELECT * FROM Device");
    const Rows expected = {
        { "RES", "Resistor 10k", "123", "RSIM", "SYM", "R1", "pull-up", "10k", "123", "Resistor", "0.01" },
        // an empty EIC, a blank one and one without record get no EID values
        { "CAP", "Cap", "", "CSIM", "SYM", "C1", "none", "none", "<null>", "<null>", "<null>" },
        { "BLANK", "Blank", "   ", "", "SYM", "B1", "none", "none", "<null>", "<null>", "<null>" },
        { "UNK", "Unknown", "999", "", "SYM", "U1", "none", "none", "<null>", "<null>", "<null>" },
        // codes match without regard to letter case, as the EID's index does
        { "LOWER", "Case", "abc", "", "SYM", "L1", "none", "none", "ABC", "Thing", "2" },
        // a component without device: empty part name and device attributes
        { "", "", "", "", "SYM", "X1", "none", "none", "<null>", "<null>", "<null>" },
    };
    EXPECT_EQ(rows, expected);
}

TEST_F(LomBuild, FullSizeAndNonAsciiValuesArriveWhole)
{
    // 50 two-byte characters fill a size-50 EID field exactly; sizes count characters.
    std::string wide;
    for (int i = 0; i < 50; ++i)
        wide += "\xc3\xa9";
    test::makeEid(dir / "Wide.eid", { "Code", "Name" }, "Code", { { "W1", wide } }, { 50, 50 });
    FieldCatalogue wideCatalogue;
    ASSERT_TRUE(BuildLomCatalogue(wideCatalogue, (dir / "Wide.eid").string()));
    open({ { "MU", "X", { "Widerstand 10 \xc2\xb5H", "W1", "" } } }, { { "M1", "MU", "", "" } });
    BuildResult b = BuildLomDatabase(
        { (dir / "Wide.eid").string(), (dir / "tmp").string(), wideCatalogue.size() }, progress, messages);
    ASSERT_TRUE(b.built) << b.error;
    const Rows rows = queryRows(b.tempDbName, "SELECT field2, field9, field10 FROM Device");
    EXPECT_EQ(rows, (Rows { { "Widerstand 10 \xc2\xb5H", "W1", wide } }));
    const LomQuery q = makeQueryString(wideCatalogue, { { 2, 10 }, 0, ";" });
    LomFileResult r
        = CreateLomFile({ b.tempDbName, q.sql, q.delimiter, (dir / "LOM.txt").string() }, progress, messages);
    EXPECT_TRUE(r.complete) << r.error;
    EXPECT_EQ(readFile(dir / "LOM.txt"), " 1;Widerstand 10 \xc2\xb5H;" + wide + "\r\n");
}

// Many parts share few codes, across the blocks the build reads at a time;
// a value too long for its column ends the build, the rows before it saved.
TEST_F(LomBuild, SharedCodesAndTooLongValues)
{
    // More codes than one look-up takes, each carried by several parts of a
    // block, some in another case than the EID's, some without record.
    constexpr int kCodes = 1300, kRecords = 1200;
    std::vector<std::vector<std::string>> records;
    for (int i = 0; i < kRecords; ++i)
        records.push_back({ "C" + std::to_string(i), "N" + std::to_string(i), "" });
    test::makeEid(dir / "Many.eid", { "Code", "Name", "Price" }, "Code", records);
    std::vector<test::TestDevice> devices;
    for (int i = 0; i < kCodes; ++i)
        devices.push_back({ "D" + std::to_string(i), "X", { "", (i % 2 ? "c" : "C") + std::to_string(i) } });
    std::vector<test::TestComponent> many;
    for (int i = 0; i < 5000; ++i)
        many.push_back({ "R" + std::to_string(i), "D" + std::to_string(i % kCodes), "", "" });
    open(devices, many);
    BuildOptions o = options();
    o.eidFile = (dir / "Many.eid").string();
    BuildResult b = BuildLomDatabase(o, progress, messages);
    ASSERT_TRUE(b.built) << b.error;
    ASSERT_EQ(b.rows, 5000);
    int found = 0;
    for (const auto& row : queryRows(b.tempDbName, "SELECT field1, field9, field10 FROM Device")) {
        const int i = std::stoi(row[0].substr(1));
        const Rows::value_type expected = i < kRecords
            ? Rows::value_type { row[0], "C" + std::to_string(i), "N" + std::to_string(i) }
            : Rows::value_type { row[0], "<null>", "<null>" };
        EXPECT_EQ(row, expected);
        found += i < kRecords;
    }
    EXPECT_EQ(found, 5000 / kCodes * kRecords + std::min(5000 % kCodes, kRecords));

    std::string accents; // 255 characters in 510 bytes: fits
    for (int i = 0; i < 255; ++i)
        accents += "\xc3\xa9";
    Z_CloseProject();
    open({ kRes, { "FULL", "X", { accents, "123" } }, { "LONG", "X", { std::string(256, 'x'), "123" } } },
        { { "R1", "RES", "", "" }, { "F1", "FULL", "", "" }, { "L1", "LONG", "", "" },
            { "R2", "RES", "", "" } });
    b = BuildLomDatabase(options(), progress, messages);
    EXPECT_FALSE(b.built);
    EXPECT_NE(b.error.find("too long for field field2"), std::string::npos) << b.error;
    EXPECT_EQ(queryRows(b.tempDbName, "SELECT field6 FROM Device"), (Rows { { "R1" }, { "F1" } }));
}

// Lines are numbered in the sort order; Nulls add nothing after their delimiter.
TEST_F(LomBuild, LinesOfTheChosenFields)
{
    const test::TestDevice unknown { "UNK", "X", { "Unknown", "999", "" } };
    struct Case {
        std::vector<test::TestComponent> components;
        std::vector<int> fields;
        int sort;
        std::string delimiter;
        std::string lines;
    };
    const std::vector<Case> cases {
        { { { "R1", "RES", "", "" } }, { 1, 3 }, 1, ",", " 1,RES,123\r\n" },
        { { { "R2", "RES", "", "" }, { "R1", "RES", "", "" } }, { 6, 1, 10 }, 6, ";",
            " 1;R1;RES;Resistor\r\n 2;R2;RES;Resistor\r\n" },
        { { { "R1", "RES", "4k7", "top" } }, { 6, 8, 7 }, 6, "TAB", " 1\tR1\t4k7\ttop\r\n" },
        { { { "U1", "UNK", "", "" }, { "R1", "RES", "", "" } }, { 6, 9, 11 }, 6, "|",
            " 1|R1|123|0.01\r\n 2|U1||\r\n" },
    };
    for (const Case& c : cases) {
        Z_CloseProject();
        open({ kRes, unknown }, c.components);
        EXPECT_EQ(lomText(c.fields, c.sort, c.delimiter), c.lines);
    }
}

TEST_F(LomBuild, ProgressOfBuildAndFile)
{
    open({ kRes }, { { "R1", "RES", "", "" }, { "R2", "RES", "", "" }, { "R3", "RES", "", "" } });
    BuildResult b = BuildLomDatabase(options(), progress, messages);
    ASSERT_TRUE(b.built);
    EXPECT_EQ(progress.events,
        (std::vector<std::string> { "caption:Creating Temp. Def ...", "range:0-3", "caption:" }));
    EXPECT_EQ(progress.lastValue, 0);
    EXPECT_EQ(progress.yields, 3); // window events run after every row
    progress.events.clear();
    const LomQuery q = makeQueryString(catalogue, { { 6 }, 6, "," });
    CreateLomFile({ b.tempDbName, q.sql, q.delimiter, (dir / "LOM.txt").string() }, progress, messages);
    EXPECT_EQ(progress.events,
        (std::vector<std::string> {
            "range:0-3", "caption:Making LOM file ...", "caption:LOM file Created" }));
    EXPECT_EQ(progress.lastValue, 2); // the last row's 0-based position
}

TEST_F(LomBuild, CancelKeepsTheRowsMadeSoFar)
{
    open({ kRes },
        { { "R1", "RES", "", "" }, { "R2", "RES", "", "" }, { "R3", "RES", "", "" },
            { "R4", "RES", "", "" } });
    progress.cancelAtYield = 2;
    BuildResult b = BuildLomDatabase(options(), progress, messages);
    EXPECT_TRUE(b.built);
    EXPECT_TRUE(b.cancelled);
    EXPECT_EQ(b.rows, 2);
    EXPECT_FALSE(cancelFlag().load()); // cleared for the next operation
    EXPECT_EQ(queryRows(b.tempDbName, "SELECT Device.field6 FROM Device").size(), 2u);
}

TEST_F(LomBuild, FailuresEndQuietlyAndNoPartsSaysSo)
{
    open({ kRes }, { { "R1", "RES", "", "" } });
    BuildOptions missing = options(), shortCatalogue = options(), noDir = options();
    missing.eidFile = (dir / "missing.eid").string();
    shortCatalogue.fieldCount = 9; // built for an EID with one column
    noDir.tempDir = (dir / "no" / "such").string();
    for (const BuildOptions& o : { missing, shortCatalogue, noDir }) {
        const BuildResult b = BuildLomDatabase(o, progress, messages);
        EXPECT_FALSE(b.built || b.noParts);
        EXPECT_FALSE(b.error.empty());
    }
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));

    Z_CloseProject();
    open({ kRes }, {});
    const BuildResult b = BuildLomDatabase(options(), progress, messages);
    EXPECT_TRUE(b.noParts && !b.built);
    EXPECT_EQ(b.tempDbName, "");
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].id, "37122");
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

TEST_F(LomBuild, EachBuildHasItsOwnTemporaryDatabase)
{
    open({ kRes }, { { "R1", "RES", "", "" } });
    BuildResult a = BuildLomDatabase(options(), progress, messages);
    BuildResult b = BuildLomDatabase(options(), progress, messages);
    ASSERT_TRUE(a.built && b.built);
    EXPECT_NE(a.tempDbName, b.tempDbName);
    EXPECT_EQ(fs::path(a.tempDbName).parent_path(), dir / "tmp");
    DeleteTempDatabase(a.tempDbName);
    EXPECT_FALSE(fs::exists(a.tempDbName));
    EXPECT_TRUE(fs::exists(b.tempDbName));
    DeleteTempDatabase("  "); // blank: nothing to do
    DeleteTempDatabase(a.tempDbName); // gone already: nothing to do
}

TEST(LomFile, EmptyTableFailedFileAndMissingDatabase)
{
    test::ScratchDir dir;
    const std::string temp = (dir / "t.db").string();
    {
        db::Database d = db::Database::create(temp);
        ASSERT_TRUE(CreateDeviceTable(d, 10));
        ASSERT_TRUE(CreateDeviceTable(d, 3)); // replaces the table
        EXPECT_EQ(d.tableDef("Device").fields.size(), 3u);
    }
    test::RecordingProgress progress;
    RecordingMessageSink messages;
    auto write = [&](const std::string& db, const fs::path& out) {
        return CreateLomFile(
            { db, "SELECT Device.field1 FROM Device ORDER BY Device.field1;", ",", out.string() }, progress,
            messages);
    };
    // An empty table empties an earlier file.
    test::writeFile(dir / "LOM.txt", "old content\r\n");
    LomFileResult r = write(temp, dir / "LOM.txt");
    EXPECT_TRUE(r.fileCreated && r.complete);
    EXPECT_EQ(r.lines, 0);
    EXPECT_EQ(readFile(dir / "LOM.txt"), "");
    // The LOM file cannot be created: nothing written, no message, the end caption all the same.
    progress.events.clear();
    r = write(temp, dir / "no/LOM.txt");
    EXPECT_FALSE(r.fileCreated);
    EXPECT_EQ(progress.events, (std::vector<std::string> { "caption:LOM file Created" }));
    // The temporary database is missing: a quiet end, no file.
    progress.events.clear();
    r = write((dir / "gone.db").string(), dir / "new.txt");
    EXPECT_FALSE(r.fileCreated);
    EXPECT_FALSE(r.error.empty());
    EXPECT_FALSE(fs::exists(dir / "new.txt"));
    EXPECT_TRUE(progress.events.empty());
    EXPECT_TRUE(messages.messages.empty());
}

} // namespace
} // namespace rav::lom
