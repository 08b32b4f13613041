#include "engine_fixture.h"

#include <sqlite3.h>

using namespace rav::db;
using rav::db::test::BackendTest;
using rav::db::test::EngineTest;

RAV_INSTANTIATE_BACKENDS(BackendTest);

namespace
{

std::vector<std::vector<Value>> rowsAtoE()
{
    return { { "A1", "Bolt" }, { "A2", std::nullopt }, { "A3", "" }, { "b4", "nut" }, { "B5", "Nut" } };
}

} // namespace

TEST_P(BackendTest, NavigationOverNoRowsAndOverOneRow)
{
    Database db = makeDevice();
    Recordset rs = db.openRecordset("Device");
    EXPECT_TRUE(rs.bof() && rs.eof());
    EXPECT_EQ(rs.absolutePosition(), -1);
    rs.moveFirst();
    rs.moveLast();
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    rs.movePrevious();
    EXPECT_TRUE(rs.bof());
    EXPECT_FALSE(rs.setAbsolutePosition(0));
    EXPECT_FALSE(rs.findFirst("Code = \"A1\""));
    EXPECT_TRUE(rs.noMatch());
    EXPECT_THROW(rs.value(0), Error);
    EXPECT_THROW(rs.edit(), Error);
    EXPECT_THROW(rs.remove(), Error);
    EXPECT_THROW(rs.rowAt(0), Error);

    rs.addNew();
    rs.setValue("Code", Value("A1"));
    rs.update();
    rs.requery();
    EXPECT_FALSE(rs.bof() || rs.eof());
    EXPECT_EQ(rs.absolutePosition(), 0);
    rs.moveNext();
    rs.moveNext(); // past the end stays there
    EXPECT_TRUE(rs.eof() && !rs.bof());
    EXPECT_EQ(rs.absolutePosition(), -1);
    rs.movePrevious();
    EXPECT_EQ(rs.absolutePosition(), 0);
    rs.movePrevious();
    EXPECT_TRUE(rs.bof() && !rs.eof());
    rs.moveNext();
    EXPECT_EQ(rs.value(0), Value("A1"));
}

TEST_P(BackendTest, PositionsOverManyRows)
{
    Database db = makeDevice(rowsAtoE());
    Recordset rs = db.openRecordset("SELECT * FROM Device ORDER BY Code DESC");
    EXPECT_EQ(rs.recordCount(), 5);
    EXPECT_EQ(codes(rs), (std::vector<std::string> { "B5", "b4", "A3", "A2", "A1" }));
    ASSERT_TRUE(rs.setAbsolutePosition(3));
    EXPECT_EQ(rs.value("Code"), Value("A2"));
    EXPECT_FALSE(rs.setAbsolutePosition(5));
    EXPECT_FALSE(rs.setAbsolutePosition(-1));
    EXPECT_EQ(rs.absolutePosition(), 3); // unchanged
    rs.moveLast();
    EXPECT_EQ(rs.absolutePosition(), 4);
    rs.moveFirst();
    EXPECT_EQ(rs.absolutePosition(), 0);
    EXPECT_EQ(rs.rowAt(2), (std::vector<Value> { "A3", "", std::nullopt }));
    EXPECT_EQ(rs.absolutePosition(), 0); // rowAt does not move
}

TEST_P(BackendTest, FindFirstNextPreviousLastAndNoMatch)
{
    Database db = makeDevice(rowsAtoE());
    for (const char* source : { "Device", "SELECT * FROM Device ORDER BY Name DESC, Code" }) {
        SCOPED_TRACE(source);
        Recordset rs = db.openRecordset(source);
        ASSERT_TRUE(rs.findFirst("Name = \"NUT\""));
        const std::string first = *rs.value("Code");
        const long firstPos = rs.absolutePosition();
        ASSERT_TRUE(rs.findNext("[Name] = \"nut\""));
        const std::string second = *rs.value("Code");
        EXPECT_GT(rs.absolutePosition(), firstPos);
        EXPECT_NE(first, second);
        EXPECT_FALSE(rs.findNext("Name = \"nut\""));
        EXPECT_TRUE(rs.noMatch());
        EXPECT_EQ(*rs.value("Code"), second); // no match leaves the record
        ASSERT_TRUE(rs.findPrevious("Name = \"Nut\""));
        EXPECT_EQ(*rs.value("Code"), first);
        ASSERT_TRUE(rs.findLast("Name Like \"n*\""));
        EXPECT_EQ(*rs.value("Code"), second);
        EXPECT_FALSE(rs.findFirst("Code = \"Z9\""));
        EXPECT_EQ(*rs.value("Code"), second);
        rs.moveLast();
        rs.moveNext();
        EXPECT_FALSE(rs.findNext("Code Like \"*\"")); // nothing after the end
        EXPECT_TRUE(rs.findPrevious("Code Like \"*\""));
        EXPECT_EQ(rs.absolutePosition(), 4);
    }
}

TEST_P(BackendTest, NullIsNotTheEmptyText)
{
    Database db = makeDevice(rowsAtoE());
    Recordset rs = db.openRecordset("Device");
    ASSERT_TRUE(rs.findFirst("Code = \"A2\""));
    EXPECT_FALSE(rs.value("Name").has_value());
    ASSERT_TRUE(rs.findFirst("Name = \"\""));
    EXPECT_EQ(rs.value("Code"), Value("A3"));
    EXPECT_EQ(rs.value("Name"), Value(""));
    EXPECT_FALSE(rs.findNext("Name = \"\""));
    ASSERT_TRUE(rs.findFirst("Name Is Null"));
    EXPECT_EQ(rs.value("Code"), Value("A2"));
    EXPECT_EQ(db.openRecordset("SELECT * FROM Device WHERE Name Is Not Null").recordCount(), 4);
    EXPECT_EQ(db.openRecordset("SELECT * FROM Device WHERE Name <> \"Bolt\"").recordCount(), 3);
}

TEST_P(BackendTest, ComparisonSortingAndUniquenessIgnoreCase)
{
    Database db = makeDevice(rowsAtoE());
    Recordset byName
        = db.openRecordset("SELECT Code FROM Device WHERE Name >= \"a\" ORDER BY Name, Code DESC");
    EXPECT_EQ(codes(byName), (std::vector<std::string> { "A1", "B5", "b4" }));
    Recordset byCode = db.openRecordset("SELECT * FROM Device ORDER BY Code");
    EXPECT_EQ(codes(byCode), (std::vector<std::string> { "A1", "A2", "A3", "b4", "B5" }));
    EXPECT_TRUE(byCode.findFirst("Code = \"B4\""));
    EXPECT_TRUE(byCode.findFirst("Code Like \"[a]#\""));
    EXPECT_EQ(byCode.value("Code"), Value("A1"));
    byCode.addNew();
    byCode.setValue("Code", Value("bOlT"));
    byCode.update();
    byCode.addNew();
    byCode.setValue("Code", Value("BOLT"));
    EXPECT_THROW(byCode.update(), Error);
}

TEST_P(BackendTest, EditAndAddNewFollowTheDynasetRules)
{
    Database db = makeDevice(rowsAtoE());
    Recordset rs = db.openRecordset("SELECT * FROM Device WHERE Code Like \"A*\" ORDER BY Code");
    EXPECT_THROW(rs.setValue("Name", Value("x")), Error); // not editing
    rs.moveNext();
    rs.edit();
    EXPECT_EQ(rs.editMode(), EditMode::Edit);
    rs.setValue("Name", Value("Washer"));
    EXPECT_EQ(rs.value("Name"), Value("Washer")); // the edit buffer
    rs.update();
    EXPECT_EQ(rs.editMode(), EditMode::None);
    EXPECT_EQ(rs.value("Name"), Value("Washer"));
    EXPECT_EQ(rs.lastModifiedPosition(), 1);
    rs.moveLast();
    ASSERT_TRUE(rs.findFirst("Name = \"Washer\"")); // a row written through the set is found again
    EXPECT_EQ(rs.absolutePosition(), 1);

    rs.edit();
    rs.setValue("Code", Value("Z2")); // no longer matches the filter, stays in the set
    rs.update();
    rs.moveFirst();
    rs.edit();
    rs.setValue("Name", Value("dropped"));
    rs.moveNext(); // moving drops a pending edit
    EXPECT_EQ(rs.editMode(), EditMode::None);
    rs.moveFirst();
    EXPECT_EQ(rs.value("Name"), Value("Bolt"));
    EXPECT_EQ(codes(rs), (std::vector<std::string> { "A1", "Z2", "A3" }));

    rs.setAbsolutePosition(2);
    rs.addNew();
    EXPECT_FALSE(rs.value("Code").has_value());
    rs.field("Code").setValue(Value("A0"));
    rs.update();
    EXPECT_EQ(rs.absolutePosition(), 2); // the current record stays
    EXPECT_EQ(rs.value("Code"), Value("A3"));
    EXPECT_EQ(rs.recordCount(), 4);
    EXPECT_EQ(rs.lastModifiedPosition(), 3); // added at the end
    EXPECT_TRUE(rs.findFirst("Code = \"A0\""));
    EXPECT_EQ(rs.absolutePosition(), 3);
    rs.requery(); // now in query order
    EXPECT_EQ(codes(rs), (std::vector<std::string> { "A0", "A1", "A3" }));
}

TEST_P(BackendTest, RemovingRowsKeepsNavigationConsistent)
{
    Database db = makeDevice(rowsAtoE());
    Recordset rs = db.openRecordset("SELECT * FROM Device ORDER BY Code");
    rs.setAbsolutePosition(1);
    rs.remove();
    EXPECT_EQ(rs.absolutePosition(), -1);
    EXPECT_FALSE(rs.bof());
    EXPECT_FALSE(rs.eof());
    EXPECT_THROW(rs.value("Code"), Error);
    EXPECT_EQ(rs.recordCount(), 4);
    rs.moveNext();
    EXPECT_EQ(rs.value("Code"), Value("A3"));
    EXPECT_EQ(rs.absolutePosition(), 1);
    rs.movePrevious();
    EXPECT_EQ(rs.value("Code"), Value("A1"));
    EXPECT_FALSE(rs.findFirst("Code = \"A2\""));

    // The removal loop of a whole set: delete, then move to the next one.
    for (rs.moveFirst(); !rs.eof(); rs.moveNext())
        rs.remove();
    EXPECT_EQ(rs.recordCount(), 0);
    EXPECT_EQ(db.openRecordset("Device").recordCount(), 0);
    rs.moveFirst();
    EXPECT_TRUE(rs.bof() && rs.eof());
}

TEST_P(BackendTest, TheKeySetIsTakenWhenTheSetOpens)
{
    Database db = makeDevice(rowsAtoE());
    Recordset mine = db.openRecordset("Device");
    Recordset other = db.openRecordset("Device");
    other.addNew();
    other.setValue("Code", Value("C6"));
    other.update();
    EXPECT_EQ(mine.recordCount(), 5);
    EXPECT_FALSE(mine.findFirst("Code = \"C6\""));
    // A change through another set shows in this one without moving.
    mine.moveFirst();
    EXPECT_EQ(mine.value("Name"), Value("Bolt"));
    other.moveFirst();
    other.edit();
    other.setValue("Name", Value("Rivet"));
    other.update();
    EXPECT_EQ(mine.value("Name"), Value("Rivet"));
    other.setAbsolutePosition(0);
    other.remove();
    mine.moveFirst();
    EXPECT_THROW(mine.value("Code"), Error); // removed elsewhere
    EXPECT_EQ(mine.rowAt(0), (std::vector<Value> { std::nullopt, std::nullopt, std::nullopt }));
    mine.requery();
    EXPECT_EQ(mine.recordCount(), 5);
    EXPECT_TRUE(mine.findFirst("Code = \"C6\""));
}

// Sets larger than the engine reads at once: whichever end or middle is
// reached first, positions, finds and the walk agree with one plain query,
// and rows that go elsewhere before their turn leave no wrong row behind.
TEST_P(BackendTest, ALargeSetReadInPiecesKeepsTheQueryOrder)
{
    // Part has an index on Name, so its sorts by Name are read page by page;
    // Device's are sorted once.
    Database db = makeDevice();
    TableDef part = rav::db::test::deviceDef();
    part.name = "Part";
    part.indexes = { IndexDef { "PartCode", { "Code" }, true, true }, IndexDef { "PartName", { "Name" } } };
    db.createTable(part);
    {
        Transaction t(db);
        for (const char* table : { "Device", "Part" }) {
            Statement insert = db.prepare(std::string("INSERT INTO ") + table + " (Code, Name) VALUES (?1, ?2)");
            for (int i = 0; i < 700; ++i) {
                insert.bind(1, Value("K" + std::to_string(1000 + (i * 11) % 700)));
                insert.bind(2, i % 5 == 0 ? Value() : Value("n" + std::to_string(i % 13)));
                insert.step();
                insert.reset();
            }
        }
        t.commit();
    }
    for (const char* source : { "Device", "SELECT * FROM Device ORDER BY Name DESC, Code",
             "SELECT * FROM Part ORDER BY Name DESC, Code",
             "SELECT Name, Code FROM Part WHERE Name Is Not Null ORDER BY Name, Code DESC",
             "SELECT * FROM Part ORDER BY Name", "SELECT * FROM Device ORDER BY Code DESC" }) {
        SCOPED_TRACE(source);
        std::vector<std::string> expected;
        {
            const std::string sql = std::string(source) == "Device" ? "SELECT Code FROM Device" : source;
            Statement q = db.prepareSelect(sql);
            const int code = std::string(source).find("Name, Code") != std::string::npos ? 1 : 0;
            while (q.step())
                expected.push_back(*q.column(code));
        }
        const long n = static_cast<long>(expected.size());
        Recordset fromEnd = db.openRecordset(source);
        ASSERT_EQ(fromEnd.recordCount(), n);
        std::vector<std::string> backwards;
        for (fromEnd.moveLast(); !fromEnd.bof(); fromEnd.movePrevious())
            backwards.push_back(*fromEnd.value("Code"));
        EXPECT_EQ(std::vector<std::string>(backwards.rbegin(), backwards.rend()), expected);

        Recordset middle = db.openRecordset(source);
        const int code = middle.fieldIndex("Code");
        for (const long p : { n / 2, n - 1, 300L, 299L, 256L, 255L })
            EXPECT_EQ(middle.rowAt(p)[static_cast<std::size_t>(code)], Value(expected[static_cast<std::size_t>(p)])) << p;
        const auto tail = middle.rowsAt(n - 3, 64); // a grid's block of rows, cut short at the end
        ASSERT_EQ(tail.size(), 3u);
        EXPECT_EQ(tail[2][static_cast<std::size_t>(code)], Value(expected.back()));
        ASSERT_TRUE(middle.findFirst("Code = \"" + expected[static_cast<std::size_t>(n - 20)] + "\""));
        EXPECT_EQ(middle.absolutePosition(), n - 20);
        ASSERT_TRUE(middle.findPrevious("Code = \"" + expected[400] + "\""));
        EXPECT_EQ(middle.absolutePosition(), 400);
        middle.moveNext();
        EXPECT_EQ(middle.value("Code"), Value(expected[401]));
        EXPECT_EQ(codes(middle), expected);
    }

    // Rows removed and added elsewhere before the set reached them.
    Recordset rs = db.openRecordset("SELECT * FROM Device ORDER BY Code");
    Recordset all = db.openRecordset("SELECT * FROM Device ORDER BY Code");
    std::vector<std::string> expected = codes(all);
    rs.moveFirst();
    EXPECT_EQ(db.execute("DELETE FROM Device WHERE Code >= \"K1400\" And Code < \"K1410\""), 10);
    db.prepare("INSERT INTO Device (Code) VALUES ('K1450x')").step();
    expected.erase(expected.begin() + 400, expected.begin() + 410);
    EXPECT_EQ(codes(rs), expected);
    EXPECT_EQ(rs.recordCount(), 690);
}

TEST_P(BackendTest, FieldsByOrdinalAndByName)
{
    Database db = makeDevice(rowsAtoE());
    Recordset rs = db.openRecordset("SELECT [Name], Device.Code FROM Device ORDER BY Code");
    ASSERT_EQ(rs.fieldCount(), 2);
    EXPECT_EQ(rs.fieldInfo(0).size, 10);
    EXPECT_EQ(rs.field("CODE").size(), 20);
    EXPECT_EQ(rs.fieldIndex("code"), 1);
    EXPECT_EQ(rs.field(0).value(), Value("Bolt"));
    EXPECT_THROW(rs.field("Note"), Error);
    EXPECT_THROW(rs.value(2), Error);
    EXPECT_EQ(rs.tableName(), "Device");
}

TEST_F(EngineTest, FindOnTheIndexedFieldIsAnIndexLookup)
{
    Database db = makeDevice();
    {
        Transaction t(db);
        Statement insert = db.prepare("INSERT INTO Device (Code, Name) VALUES (?1, 'x')");
        for (int i = 0; i < 20000; ++i) {
            insert.bind(1, Value("K" + std::to_string(i)));
            insert.step();
            insert.reset();
        }
        t.commit();
    }
    // Count the virtual machine steps a find takes: a look-up is a few
    // dozen; a scan of the table is tens of thousands.
    long steps = 0;
    sqlite3_progress_handler(
        db.handle(), 1,
        [](void* n) {
            ++*static_cast<long*>(n);
            return 0;
        },
        &steps);
    Recordset rs = db.openRecordset("Device");
    steps = 0;
    ASSERT_TRUE(rs.findFirst("[Code] = \"k12345\""));
    EXPECT_EQ(rs.value("Code"), Value("K12345"));
    EXPECT_LT(steps, 500);
    const long lookup = steps;
    steps = 0;
    ASSERT_TRUE(rs.findFirst("Name = \"x\" And Code Like \"*19999\""));
    EXPECT_GT(steps, 20 * lookup); // the counter does see a scan
    sqlite3_progress_handler(db.handle(), 0, nullptr, nullptr);
}
