// One purchase list for several boards: board counts on the command line,
// the merge of the boards' lines with spares, and the command end to end
// on two small projects.
#include "lom_purchase.h"
#include "project_fixture.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace rav::lom
{
namespace
{

TEST(LomPurchase, BoardCountsOnProjectNames)
{
    const std::set<std::string> files { "odd:name.dpz", "x:12", "C:5.dpz" };
    const auto exists = [&](const std::string& p) { return files.count(p) > 0; };
    struct Case {
        const char* text;
        const char* path; // nullptr: refused
        long count;
    };
    const Case cases[] = {
        { "A.dpz", "A.dpz", 1 },
        { "A.dpz:5", "A.dpz", 5 },
        { "dir/A.dpz:1000000", "dir/A.dpz", 1000000 },
        { "dir:x/b.dpz", "dir:x/b.dpz", 1 }, // a ':' in a folder name
        { "odd:name.dpz", "odd:name.dpz", 1 }, // an existing file
        { "odd:name.dpz:3", "odd:name.dpz", 3 },
        { "x:12", "x:12", 1 }, // "x" is no file, "x:12" is
        { "C:5.dpz:2", "C:5.dpz", 2 },
        { "A.dpz:0", nullptr, 0 },
        { "A.dpz:-2", nullptr, 0 },
        { "A.dpz:five", nullptr, 0 },
        { "A.dpz:", nullptr, 0 },
        { "A.dpz:1000001", nullptr, 0 },
        { "A.dpz:99999999999999999999", nullptr, 0 },
        { ":4", nullptr, 0 },
    };
    for (const auto& c : cases) {
        if (!c.path) {
            EXPECT_THROW(ParseProjectCount(c.text, exists), std::invalid_argument) << c.text;
            continue;
        }
        const ProjectCount p = ParseProjectCount(c.text, exists);
        EXPECT_EQ(p.path, c.path) << c.text;
        EXPECT_EQ(p.count, c.count) << c.text;
    }
    EXPECT_EQ(BoardLabels({ "a/main.dpz", "b/io.dpz" }), (std::vector<std::string> { "main", "io" }));
    EXPECT_EQ(BoardLabels({ "a/main.dpz", "b/main.dpz", "io" }),
        (std::vector<std::string> { "a/main.dpz", "b/main.dpz", "io" }));
}

TEST(LomPurchase, SparesRoundUpWithAMinimum)
{
    struct Case {
        long quantity, percent, minimum, spares;
    };
    const Case cases[] = {
        { 100, 10, 0, 10 }, { 101, 10, 0, 11 }, { 1, 10, 0, 1 }, { 3, 0, 2, 2 }, { 50, 10, 2, 5 },
        { 10, 10, 5, 5 }, { 0, 10, 5, 0 }, { 7, 0, 0, 0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(SparesFor(c.quantity, { c.percent, c.minimum }), c.spares)
            << c.quantity << " " << c.percent << "% min " << c.minimum;
}

BoardLine line(const std::string& eic, const std::string& value, long quantity, const std::string& parts,
    bool apart = false)
{
    return { { std::to_string(quantity), eic, value, parts }, PurchaseKey(eic, value, "0603"), quantity, parts, apart,
        eic, eic.empty() };
}

TEST(LomPurchase, MergesBoardsByCodeElseValueAndPackage)
{
    PurchaseLayout layout;
    layout.headers = { "Quantity", "Part Number", "Value", "Parts" };
    layout.numeric = { true, false, false, false };
    layout.quantityColumn = 0;
    layout.partsColumn = 3;
    const BoardList a { "A", 5,
        { line("RC-10K", "10k", 6, "R1-R6"), line("", "1u", 2, "C1, C2"), line("n/a", "LED", 1, "D1"),
            line("RC-1K", "1k", 1, "R9", true) },
        10 };
    const BoardList b { "B", 20, { line("", "1u", 1, "C4"), line("RC-10K", "10k", 2, "R1, R2"), line("-", "LED", 3, "D1-D3") },
        6 };
    using Rows = std::vector<std::vector<std::string>>;
    struct Case {
        const char* name;
        std::vector<BoardList> boards;
        long multiplier;
        SpareRule spares;
        int sortColumn;
        std::vector<std::string> headers;
        Rows rows;
        std::size_t separateFrom;
    };
    const Case cases[] = {
        { "one board keeps its ranges", { a }, 1, {}, -1, layout.headers,
            { { "30", "RC-10K", "10k", "R1-R6" }, { "10", "", "1u", "C1, C2" }, { "5", "n/a", "LED", "D1" },
                { "5", "RC-1K", "1k", "R9" } },
            3 },
        { "two boards add, placeholders are no code", { a, b }, 1, {}, -1, layout.headers,
            { { "70", "RC-10K", "10k", "A: R1-R6; B: R1, R2" }, { "30", "", "1u", "A: C1, C2; B: C4" },
                { "65", "n/a", "LED", "A: D1; B: D1-D3" }, { "5", "RC-1K", "1k", "A: R9" } },
            3 },
        { "the multiplier on top, sorted by value", { b, a }, 2, {}, 2, layout.headers,
            { { "60", "", "1u", "B: C4; A: C1, C2" }, { "140", "RC-10K", "10k", "B: R1, R2; A: R1-R6" },
                { "130", "-", "LED", "B: D1-D3; A: D1" }, { "10", "RC-1K", "1k", "A: R9" } },
            3 },
        { "spares by share and minimum, none on lines apart", { a, b }, 1, { 10, 2 }, -1,
            { "Quantity", "Spares", "Part Number", "Value", "Parts" },
            { { "77", "7", "RC-10K", "10k", "A: R1-R6; B: R1, R2" }, { "33", "3", "", "1u", "A: C1, C2; B: C4" },
                { "72", "7", "n/a", "LED", "A: D1; B: D1-D3" }, { "5", "0", "RC-1K", "1k", "A: R9" } },
            3 },
        { "a minimum alone", { a }, 1, { 0, 4 }, -1, { "Quantity", "Spares", "Part Number", "Value", "Parts" },
            { { "34", "4", "RC-10K", "10k", "R1-R6" }, { "14", "4", "", "1u", "C1, C2" }, { "9", "4", "n/a", "LED", "D1" },
                { "5", "0", "RC-1K", "1k", "R9" } },
            3 },
    };
    for (const auto& c : cases) {
        PurchaseLayout l = layout;
        l.multiplier = c.multiplier;
        l.spares = c.spares;
        l.sortColumn = c.sortColumn;
        const LomTable t = MergeBoards(c.boards, l);
        EXPECT_EQ(t.headers, c.headers) << c.name;
        EXPECT_EQ(t.rows, c.rows) << c.name;
        EXPECT_EQ(t.separateFrom, c.separateFrom) << c.name;
        ASSERT_EQ(t.numeric.size(), t.headers.size()) << c.name;
        EXPECT_TRUE(t.numeric[0] && (!c.spares.any() || t.numeric[1])) << c.name;
        EXPECT_EQ(t.rowParts.size(), t.rows.size()) << c.name;
    }
    EXPECT_EQ(MergeBoards({ a, b }, layout).parts, 10 * 5 + 6 * 20);
    PurchaseLayout noQuantity = layout;
    noQuantity.quantityColumn = -1;
    EXPECT_THROW(MergeBoards({ a, b }, noQuantity), std::invalid_argument);
}

// Two boards built from JSON, one EID; the buyer's list over both.
class LomPurchaseCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::vector<test::TestDevice> devices { { "RES", "R0603", { "Resistor", "RC-10K", "" } },
            { "CAP", "C0603", { "Capacitor", "", "" } } };
        test::writeFile(dir / "a.json",
            test::projectJson("Main", devices,
                { { "R1", "RES", "10k", "" }, { "R2", "RES", "10k", "" }, { "R3", "RES", "10k", "" },
                    { "C1", "CAP", "100n", "" } }));
        test::writeFile(dir / "b.json",
            test::projectJson("Io", devices, { { "R1", "RES", "10k", "" }, { "C1", "CAP", "100n", "" }, { "C2", "CAP", "100n", "" } }));
        fs::create_directories(dir / "with:colon");
        for (const char* p : { "a", "b" })
            ASSERT_EQ(run("project build " + path(std::string(p) + ".json") + " " + path(std::string(p) + ".dpz")).exitCode, 0);
        ASSERT_EQ(run("project build " + path("b.json") + " " + path("with:colon/b.dpz")).exitCode, 0);
        test::writeFile(dir / "eid.txt", "RC-10K;Yageo\n");
        ASSERT_EQ(run("eid create " + path("p.eid") + " --field MPN:30 --field Manufacturer:30 --eic MPN").exitCode, 0);
        ASSERT_EQ(run("eid import " + path("p.eid") + " " + path("eid.txt") + " --delimiter \";\"").exitCode, 0);
    }
    test::RunResult run(const std::string& args) { return test::runProgram(bin + " " + args); }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    test::ScratchDir dir;
    const std::string bin = std::string(RAV_BIN_DIR) + "/ravederi";
};

TEST_F(LomPurchaseCli, AddsBoardsWithSparesAndRefusesBadCounts)
{
    const std::string eid = " --eid " + path("p.eid");
    test::RunResult r = run("lom --project " + path("a.dpz") + ":5 --project " + path("with:colon/b.dpz") + ":20"
        + eid + " --profile buyer --spares 10 --spares-min 1 --format csv --out " + path("buy.csv"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::readFile(dir / "buy.csv"),
        "Quantity,Spares,Part Number,Manufacturer,Description,Value,Parts\r\n"
        "50,5,,,none,100n,\"a: C1; b: C1, C2\"\r\n"
        "39,4,RC-10K,Yageo,none,10k,a: R1-R3; b: R1\r\n")
        << r.out;
    EXPECT_EQ(r.out, "2 lines (80 parts) written to " + path("buy.csv") + " as csv\n");
    // 3 x 5 + 1 x 20 resistors, 10% (3.5) rounded up as spares; the
    // capacitors without a code are added by value and package.
    // Without spares, one board count alone still multiplies; text and xlsx too.
    r = run("lom --project " + path("a.dpz") + ":3" + eid + " --field Component\\ Value-P --format text --out -");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, " 1|3|C1|100n\r\n 2|9|R1-R3|10k\r\n");
    r = run("lom --project " + path("a.dpz") + " --project " + path("b.dpz") + eid
        + " --profile buyer --format xlsx --out " + path("buy.xlsx"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "buy.xlsx"));

    for (const char* bad : { ":0", ":-2", ":five", ":" }) {
        r = run("lom --project " + path("a.dpz") + bad + eid + " --profile buyer --out " + path("x.csv"));
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_EQ(r.err.find("ravederi: bad board count"), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
    for (const char* bad : { "--spares -1", "--spares ten", "--spares-min x" }) {
        r = run("lom --project " + path("a.dpz") + eid + " --profile buyer " + bad + " --out " + path("x.csv"));
        EXPECT_EQ(r.exitCode, 2) << bad;
    }
    EXPECT_FALSE(fs::exists(dir / "x.csv"));
}

} // namespace
} // namespace rav::lom
