#include "access_import.h"
#include "database.h"
#include "recordset.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace rav::eid
{
namespace
{

const std::filesystem::path kData = std::filesystem::path(RAV_TEST_DATA_DIR) / "access";
const std::string kTool = std::string(RAV_BIN_DIR) + "/ravederi";

std::string path(const std::string& name)
{
    return (kData / name).string();
}

std::string refusal(const AccessTable& t, const std::string& eic = {})
{
    try {
        PlanAccessImport(t, eic);
    } catch (const AccessError& e) {
        return e.what();
    }
    return "(accepted)";
}

// Each of a table's rows as one line, values joined by "|".
std::vector<std::string> lines(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::string> out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += (i ? "|" : "") + row[i];
        out.push_back(line);
    }
    return out;
}

TEST(AccessReader, ReadsJet3AndJet4Tables)
{
    EXPECT_EQ(AccessTableNames(path("testV1997.mdb")),
        (std::vector<std::string> { "Table1", "Table2", "Table3", "Table4" }));

    // Names compare without regard to case; every type as its text form.
    const AccessTable t = ReadAccessTable(path("testV1997.mdb"), "TABLE1");
    EXPECT_EQ(t.name, "Table1");
    EXPECT_EQ(t.jetVersion, 3);
    EXPECT_EQ(t.primaryKey, 0);
    std::vector<std::string> columns;
    for (const AccessColumn& c : t.columns)
        columns.push_back(
            c.name + " " + c.typeName + " " + std::to_string(c.size) + (c.converted ? " *" : ""));
    EXPECT_EQ(columns,
        (std::vector<std::string> { "A Text 50", "B Text 100", "C Byte 3 *", "D Integer 6 *",
            "E Long Integer 11 *", "F Double 24 *", "G Date/Time 19 *", "H Currency 21 *", "I Yes/No 3 *" }));
    EXPECT_EQ(lines(t.rows),
        (std::vector<std::string> { "a|b|0|0|0|0|1981-12-12|0.0000|No",
            "abcdefg|hijklmnop|2|222|333333333|444.555|1974-09-21|3.5000|Yes" }));

    // The same table in Jet 3 and in Jet 4 (two-byte text) reads the same.
    const AccessTable v3 = ReadAccessTable(path("compIndexTestV1997.mdb"), "Table1");
    const AccessTable v4 = ReadAccessTable(path("compIndexTestV2000.mdb"), "Table1");
    EXPECT_EQ(v4.jetVersion, 4);
    ASSERT_EQ(v4.columns.size(), 3u);
    EXPECT_EQ(v4.columns[1].size, 55);
    EXPECT_EQ(v4.primaryKey, -1);
    EXPECT_EQ(v4.rows.size(), 512u);
    EXPECT_EQ(v3.rows, v4.rows);
    EXPECT_EQ(lines(v4.rows).front(), "19|abc|def");

    EXPECT_THROW(ReadAccessTable(path("testV1997.mdb"), "Nope"), AccessError);
    EXPECT_THROW(AccessTableNames(path("missing.mdb")), AccessError);
}

TEST(AccessImportPlan, KeepsColumnsAndRefusesWhatAnEidCannotHold)
{
    const AccessColumn code { "Code", "Text", 10 }, qty { "Qty", "Long Integer", 11, true };
    const AccessTable good { "Parts", 3, { qty, code }, -1, { { "1", "A1" }, { "2", "a2" } } };
    const AccessImportPlan plan = PlanAccessImport(good);
    EXPECT_EQ(plan.eicField, "Code"); // no primary key: the first text column
    ASSERT_EQ(plan.fields.size(), 2u);
    EXPECT_EQ(plan.fields[0].name + ":" + std::to_string(plan.fields[0].size), "Qty:11");
    EXPECT_EQ(PlanAccessImport(good, "qty").eicField, "Qty");
    AccessTable keyed = good;
    keyed.primaryKey = 0;
    EXPECT_EQ(PlanAccessImport(keyed).eicField, "Qty");

    const auto with = [&](std::vector<AccessColumn> cols, std::vector<std::vector<std::string>> rows) {
        return AccessTable { "Parts", 3, std::move(cols), -1, std::move(rows) };
    };
    std::vector<AccessColumn> many(256, code);
    for (std::size_t i = 0; i < many.size(); ++i)
        many[i].name = "c" + std::to_string(i);
    const std::pair<AccessTable, const char*> cases[] = {
        { with({ code, { "Pic", "OLE Object", 0, true } }, {}),
            "column \"Pic\" (OLE Object) has no text form" },
        { with({ code, { "Notes", "Text", 300 } }, {}), "wider than the 255" },
        { with({ { "Part No", "Text", 10 } }, {}), "contains a blank" },
        { with({ code, { "CODE", "Text", 5 } }, {}), "duplicate field name" },
        { with(many, {}), "256 columns; an EID holds at most 255" },
        { with({ qty }, { { "1" } }), "no primary key and no text column" },
        { with({ code, qty }, { { "A1", "1" }, { " ", "2" } }), "row 2: the EIC column \"Code\" is empty" },
        { with({ code, qty }, { { "ab", "1" }, { "x", "2" }, { "AB", "3" } }),
            "rows 1 and 3 have the same EIC \"AB\"" },
        { with({ code, { "Memo", "Memo", 255, false, true } }, { { "A", std::string(256, 'm') } }),
            "row 1: column \"Memo\" holds 256 characters, more than its field's 255" },
    };
    for (const auto& [table, expected] : cases)
        EXPECT_NE(refusal(table).find(expected), std::string::npos) << expected << " / " << refusal(table);
    EXPECT_NE(refusal(good, "Price").find("no column \"Price\""), std::string::npos);
    // The index compares ASCII letters only without regard to case.
    EXPECT_EQ(refusal(with({ code }, { { "\xC3\xA9" }, { "\xC3\x89" } })), "(accepted)");
}

TEST(AccessImportTool, ImportsARealTableAndLeavesNothingOnFailure)
{
    test::ScratchDir dir;
    const std::string out = (dir / "legacy.eid").string();
    auto r
        = test::runProgram(kTool + " eid import-access '" + path("testV1997.mdb") + "' Table1 '" + out + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "2 records imported into " + out + " (9 fields, EIC field A)\n");
    {
        db::Database eid = db::Database::open(out, db::OpenMode::Shared);
        const db::TableDef def = eid.tableDef(kDeviceTable);
        EXPECT_EQ(def.fields.at(1).name, "B");
        EXPECT_EQ(def.fields.at(1).size, 100);
        EXPECT_EQ(EicFieldName(eid), "A");
        db::Recordset rs = eid.openRecordset("SELECT * FROM Device WHERE [A] = \"ABCDEFG\"");
        ASSERT_EQ(rs.recordCount(), 1);
        EXPECT_EQ(rs.rowAt(0).at(7), "3.5000");
    }
    r = test::runProgram(kTool + " eid access-tables '" + path("compIndexTestV2000.mdb") + "'");
    EXPECT_EQ(r.out, "Table1\n");

    // Every failure: one line, exit 1, the earlier EID unchanged, no file left behind.
    test::writeFile(dir / "keep.eid", "earlier");
    const std::string bytes = test::readFile(kData / "testV1997.mdb");
    test::writeFile(dir / "cut.mdb", bytes.substr(0, 50000));
    for (const std::size_t at : { std::size_t(0), std::size_t(4096), std::size_t(60000) }) {
        std::string damaged = bytes;
        for (std::size_t i = at; i < at + 2048; ++i)
            damaged[i] = static_cast<char>(i * 37);
        test::writeFile(dir / ("bad" + std::to_string(at) + ".mdb"), damaged);
    }
    const std::pair<std::string, const char*> failures[] = {
        { path("compIndexTestV1997.mdb") + "' Table1", "rows 1 and 2 have the same EIC \"abc\"" },
        { path("compIndexTestV2000.mdb") + "' Table1 --eic CD_AGENTE", "row 511: the EIC column" },
        { path("testV1997.mdb") + "' Table9", "has no table \"Table9\" (its tables: Table1, Table2" },
        { (dir / "cut.mdb").string() + "' Table1", "cut.mdb: " },
        { (dir / "bad0.mdb").string() + "' Table1", "not an Access database" },
        { (dir / "bad4096.mdb").string() + "' Table1", "damaged" },
        { (dir / "bad60000.mdb").string() + "' Table1", "bad60000.mdb: " },
    };
    const auto before = std::distance(std::filesystem::directory_iterator(dir.path()), {});
    for (const auto& [args, expected] : failures) {
        r = test::runProgram(
            kTool + " eid import-access '" + args + " '" + (dir / "keep.eid").string() + "'");
        EXPECT_EQ(r.exitCode, 1) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
        EXPECT_EQ(test::readFile(dir / "keep.eid"), "earlier");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), before);
    EXPECT_EQ(test::readFile(dir / "bad0.mdb").size(), bytes.size());

    r = test::runProgram(kTool + " eid import-access '" + path("testV1997.mdb") + "' Table1");
    EXPECT_EQ(r.exitCode, 2);
}

} // namespace
} // namespace rav::eid
