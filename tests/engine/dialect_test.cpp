#include "engine_fixture.h"

using namespace rav::db;
using rav::db::test::BackendTest;

namespace
{

class DialectTest : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        TableDef def;
        def.name = "Device";
        def.fields = { { "Code", 20 }, { "field3", 30 }, { "Part No", 30 } };
        def.indexes = { IndexDef { "ExtIndexCode", { "Code" }, true, true } };
        db = Database::create(target());
        db.createTable(def);
        TableDef other = def;
        other.name = "Other";
        other.indexes = { IndexDef { "OtherCode", { "Code" }, true, true } };
        db.createTable(other);
        Recordset rs = db.openRecordset("Device");
        const std::vector<std::vector<Value>> rows = { { "R1", "10k", "a" }, { "R2", "4k7", "b" },
            { "C1", "100n", "c" }, { "C2", "*", std::nullopt }, { "X[1]", "q\"t", "d" },
            { "U7", "Ab-cd", "e" }, { "a#b", "2", "f" } };
        for (const auto& r : rows) {
            rs.addNew();
            for (int i = 0; i < 3; ++i)
                rs.setValue(i, r[static_cast<std::size_t>(i)]);
            rs.update();
        }
    }

    std::vector<std::string> query(const std::string& sql)
    {
        Recordset rs = db.openRecordset(sql);
        return codes(rs);
    }

    std::string refusal(const std::string& sql)
    {
        try {
            db.openRecordset(sql);
        } catch (const Error& e) {
            return e.what();
        }
        return "<accepted>";
    }

    Database db;
};

using Codes = std::vector<std::string>;

} // namespace

RAV_INSTANTIATE_BACKENDS(DialectTest);

TEST_P(DialectTest, SelectListsAndColumnForms)
{
    const char* forms[] = {
        "SELECT Device.field3 FROM Device",
        "SELECT [Device].[field3] FROM Device",
        "SELECT [Device]![field3] FROM Device",
        "SELECT Device![field3] FROM Device;",
        "select FIELD3 from device",
    };
    for (const char* sql : forms) {
        Recordset rs = db.openRecordset(sql);
        ASSERT_EQ(rs.fieldCount(), 1) << sql;
        EXPECT_EQ(rs.fieldInfo(0).name, "field3") << sql;
        EXPECT_EQ(rs.recordCount(), 7) << sql;
    }
    Recordset blanks = db.openRecordset("SELECT [Part No], Code FROM Device WHERE [Part No] = \"c\"");
    EXPECT_EQ(blanks.fieldInfo(0).name, "Part No");
    EXPECT_EQ(blanks.value(1), Value("C1"));
    EXPECT_EQ(db.openRecordset("SELECT * FROM Other").fieldCount(), 3);
    EXPECT_EQ(db.openRecordset("[Device]").recordCount(), 7);
}

TEST_P(DialectTest, WhereOperatorsAndLogic)
{
    EXPECT_EQ(query("SELECT * FROM Device WHERE Code = \"r1\""), (Codes { "R1" }));
    EXPECT_EQ(query("SELECT * FROM Device WHERE Code <> \"R1\" AND Code < \"C9\" ORDER BY Code"),
        (Codes { "a#b", "C1", "C2" }));
    EXPECT_EQ(query("SELECT * FROM Device WHERE Code <= \"C1\" ORDER BY Code"), (Codes { "a#b", "C1" }));
    EXPECT_EQ(query("SELECT * FROM Device WHERE Code > \"U7\" ORDER BY Code"), (Codes { "X[1]" }));
    EXPECT_EQ(query("SELECT * FROM Device WHERE Code >= \"U7\" ORDER BY Code"), (Codes { "U7", "X[1]" }));
    EXPECT_EQ(query("SELECT * FROM Device WHERE Code = \"R1\" Or Code = \"C1\" And field3 = \"nothing\""),
        (Codes { "R1" })); // And binds tighter than Or
    EXPECT_EQ(query("SELECT * FROM Device WHERE (Code = \"R1\" Or Code = \"C1\") And Not field3 = \"10k\""),
        (Codes { "C1" }));
    EXPECT_EQ(query("SELECT * FROM Device WHERE [Part No] Is Null"), (Codes { "C2" }));
    EXPECT_EQ(
        query("SELECT * FROM Device WHERE Code Not Like \"[!C]*\" ORDER BY Code"), (Codes { "C1", "C2" }));
}

TEST_P(DialectTest, OrderByWithSeveralKeys)
{
    EXPECT_EQ(
        query("SELECT * FROM Device WHERE Code Like \"[CR]*\" ORDER BY [Device]![field3] DESC, Code ASC;"),
        (Codes { "R2", "R1", "C1", "C2" }));
    EXPECT_EQ(query("SELECT * FROM Device ORDER BY Device!Code"),
        (Codes { "a#b", "C1", "C2", "R1", "R2", "U7", "X[1]" }));
}

TEST_P(DialectTest, LikePatterns)
{
    const std::pair<const char*, Codes> cases[] = { { "r*", { "R1", "R2" } }, { "?1", { "C1", "R1" } },
        { "*#", { "C1", "C2", "R1", "R2", "U7" } }, { "[a-c]*", { "a#b", "C1", "C2" } }, { "[!a-r]?", { "U7" } },
        { "a[#]b", { "a#b" } }, { "X[[]1]", { "X[1]" } }, { "R", {} },
        { "c2", { "C2" } } }; // no wildcard: a plain comparison, still ignoring case
    for (const auto& [pattern, codes] : cases)
        EXPECT_EQ(query("SELECT * FROM Device WHERE Code Like \"" + std::string(pattern) + "\" ORDER BY Code"), codes)
            << pattern;
    EXPECT_EQ(query("SELECT * FROM Device WHERE Code Like \"**\"").size(), 7u);
    // Stars alone match every text, the empty one too, but not Null.
    EXPECT_EQ(query("SELECT * FROM Device WHERE [Part No] Like \"*\"").size(), 6u);
    EXPECT_EQ(query("SELECT * FROM Device WHERE [Part No] Not Like \"*\"").size(), 0u);
    EXPECT_EQ(query("SELECT * FROM Device WHERE field3 Like \"[*]\""), (Codes { "C2" }));
    EXPECT_EQ(query("SELECT * FROM Device WHERE field3 Like \"*-*\""), (Codes { "U7" }));
    EXPECT_NE(refusal("SELECT * FROM Device WHERE Code Like \"[ab\"").find("[ab"), std::string::npos);
}

TEST_P(DialectTest, RefusedTextsNameTheOffendingToken)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        { "SELECT * FROM Device GROUP BY Code", "'GROUP'" },
        { "SELECT * FROM Device WHERE Code = 5", "'5'" },
        { "SELECT * FROM Device WHERE Code == \"A\"", "'='" },
        { "SELECT * FROM Device WHERE Code = \"A", "no closing quote" },
        { "SELECT * FROM Device WHERE [Code = \"A\"", "no closing ']'" },
        { "SELECT * FROM Nowhere", "Nowhere" },
        { "SELECT Price FROM Device", "Price" },
        { "SELECT Other.Code FROM Device", "'Other'" },
        { "SELECT * FROM Device WHERE Code = \"A\" ; DROP TABLE Device", "'DROP'" },
        { "SELECT * FROM Device WHERE Code = field3", "'field3'" },
        { "SELECT * FROM Device WHERE Code & \"A\"", "'&'" },
        { "SELECT DISTINCT Code FROM Device", "'DISTINCT'" },
        { "SELECT * FROM Device WHERE", "end of the text" },
        { "SELECT * FROM Device ORDER Code", "'Code'" },
        { "SELECT * FROM Device WHERE (Code = \"A\"", "end of the text" },
        { "SELECT * FROM Device WHERE Code Is \"A\"", "the text \"A\"" },
    };
    for (const auto& [sql, token] : cases) {
        const std::string msg = refusal(sql);
        EXPECT_NE(msg.find(token), std::string::npos) << sql << " -> " << msg;
    }
    Recordset rs = db.openRecordset("Device");
    EXPECT_THROW(rs.findFirst("Code = \"A\" Code"), Error);
    EXPECT_THROW(rs.findFirst("Nope = \"A\""), Error);
    EXPECT_THROW(rs.findFirst(""), Error);
}

TEST_P(DialectTest, HostileValuesNeverChangeTheStatement)
{
    // Doubled quotes inside a quoted text stand for one quote.
    EXPECT_EQ(query("SELECT * FROM Device WHERE field3 = \"q\"\"t\""), (Codes { "X[1]" }));
    EXPECT_EQ(query("SELECT * FROM Device WHERE Code = 'X[1]'"), (Codes { "X[1]" }));
    EXPECT_EQ(query("SELECT * FROM Device WHERE Code = \"\"\" OR \"\"1\"\"=\"\"1\""), (Codes {}));
    EXPECT_EQ(query("SELECT * FROM Device WHERE Code = \"x' OR '1'='1\""), (Codes {}));
    EXPECT_EQ(query("SELECT * FROM Device WHERE Code = \"R1; DELETE FROM Device\""), (Codes {}));
    EXPECT_EQ(query("SELECT * FROM Device WHERE Code = \"]) OR 1=1 --\""), (Codes {}));
    // An unescaped quote ends the text early: the rest is refused, not run.
    EXPECT_NE(refusal("SELECT * FROM Device WHERE Code = \"A\" OR \"1\"=\"1\""), "<accepted>");
    Recordset rs = db.openRecordset("Device");
    EXPECT_FALSE(rs.findFirst("Code = \"R1\"\" OR Code Like \"\"*\""));
    // Stored values with quotes and brackets come back unchanged.
    rs.addNew();
    rs.setValue("Code", Value("\"];--"));
    rs.setValue("field3", Value("it's [x]!"));
    rs.update();
    ASSERT_TRUE(rs.findFirst("Code = \"\"\"];--\""));
    EXPECT_EQ(rs.value("field3"), Value("it's [x]!"));
    EXPECT_TRUE(rs.findFirst("[field3] = \"it's [x]!\""));
    EXPECT_EQ(db.openRecordset("Device").recordCount(), 8);
}
