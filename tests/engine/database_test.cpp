#include "engine_fixture.h"

#include <sqlite3.h>

#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

using namespace rav::db;
using rav::db::test::BackendTest;
using rav::db::test::EngineTest;

namespace
{

// A second process that holds a database open until it is destroyed.
class Holder : public rav::test::RunningProgram
{
public:
    Holder(const std::string& mode, const std::string& path)
        : RunningProgram({ std::string(RAV_BIN_DIR) + "/engine_lock_probe", "hold", mode, path })
    {
    }
};

int probe(const std::string& mode, const std::string& path)
{
    const auto r = rav::test::runProgram(
        std::string(RAV_BIN_DIR) + "/engine_lock_probe probe " + mode + " '" + path + "'");
    return r.exitCode;
}

std::string errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "<no error>";
}

// Whether `f` throws an error whose message contains `word`.
bool failsWith(const std::function<void()>& f, const std::string& word)
{
    return errorOf(f).find(word) != std::string::npos;
}

} // namespace

TEST_P(BackendTest, CreateRecordsLocaleAndVersionAndRefusesAnExistingFile)
{
    {
        Database db = Database::create(target(), kGeneralLocale, FormatVersion::Version30);
        EXPECT_EQ(db.mode(), OpenMode::Exclusive);
        db.setApplicationId(0x52454944);
    }
    Database db = Database::open(target());
    EXPECT_EQ(db.langId(), 0x0409);
    EXPECT_EQ(db.formatVersion(), 30);
    EXPECT_EQ(db.applicationId(), 0x52454944u);
    EXPECT_TRUE(db.tableNames().empty()); // nothing but what callers create
    db.close();
    EXPECT_TRUE(failsWith([&] { Database::create(target()); }, "exists"));
}

// A scratch file gets create()'s header, but neither it nor any later
// write keeps a journal file or waits for the disk.
TEST_F(EngineTest, ScratchDatabaseHasTheHeaderButNoJournalOrDiskWaits)
{
    const auto setting = [](Database& db, const char* pragma) {
        Statement s = db.prepare(std::string("PRAGMA ") + pragma);
        return s.step() ? std::string(s.columnText(0).value_or("")) : std::string("<none>");
    };
    for (const bool scratch : { false, true }) {
        const std::string path = file(scratch ? "scratch.db" : "kept.db");
        {
            Database db = scratch ? Database::createScratch(path) : Database::create(path);
            EXPECT_EQ(db.mode(), OpenMode::Exclusive);
            EXPECT_EQ(setting(db, "journal_mode"), scratch ? "memory" : "delete");
            EXPECT_EQ(setting(db, "synchronous"), scratch ? "0" : "2");
        }
        Database db = Database::open(path);
        EXPECT_EQ(db.langId(), 0x0409);
        EXPECT_EQ(db.formatVersion(), 30);
        db.close();
        EXPECT_TRUE(failsWith([&] { Database::createScratch(path); }, "exists"));
    }
}

// Many keys in one look-up: each found record comes with its key's
// position, letter case ignored; keys that would break an array literal, a
// JSON text or a statement find their records and nothing else.
TEST_P(BackendTest, ALookUpOfManyKeysFindsEachRecordOnceWhateverTheKey)
{
    const std::vector<std::string> codes { "A1", "q\"uote", "back\\slash", "{br,ace}", "NULL", "x';--", "x",
        "tab\there", "ctl\x01", "\xC2\xB5m", "A" };
    std::vector<std::vector<Value>> rows;
    for (const std::string& code : codes)
        rows.push_back({ Value(code), Value("n") });
    Database db = makeDevice(rows);
    std::vector<std::string_view> keys { "a1", "missing", "", "q\"uote", "BACK\\SLASH", "{br,ace}", "null", "x';--",
        "x", "tab\there", "ctl\x01", "\xC2\xB5M", "\\u0041" };
    Statement found = db.lookupKeys("Device", "code", keys);
    std::map<std::int64_t, std::string> seen;
    while (found.step())
        seen[found.columnInt(0)] = found.column(1).value_or("<null>") + "/" + found.column(2).value_or("<null>");
    const std::map<std::int64_t, std::string> expected { { 0, "A1/n" }, { 3, "q\"uote/n" }, { 4, "back\\slash/n" },
        { 5, "{br,ace}/n" }, { 6, "NULL/n" }, { 7, "x';--/n" }, { 8, "x/n" }, { 9, "tab\there/n" },
        { 10, "ctl\x01/n" }, { 11, "\xC2\xB5m/n" } };
    EXPECT_EQ(seen, expected);

    if (GetParam() != Backend::Server)
        return;
    // A server's text holds no NUL: a key with one matches nothing and
    // leaves the others' positions; a value with one is refused where it
    // would be stored, never cut at the NUL.
    const std::string nul("A1\0x", 4);
    Statement none = db.lookupKeys("Device", "code", { nul, "a1" });
    std::vector<std::int64_t> at;
    while (none.step())
        at.push_back(none.columnInt(0));
    EXPECT_EQ(at, std::vector<std::int64_t> { 1 });
    Statement put = db.prepare("INSERT INTO Device (Code, Name) VALUES (?1, 'n')");
    EXPECT_TRUE(failsWith([&] {
        put.bind(1, Value(nul));
        put.step();
    }, "NUL"));
    EXPECT_EQ(db.countSelect("SELECT * FROM Device WHERE Code = \"A1\""), 1);
}

TEST_P(BackendTest, TableDefinitionIsReadBackFromTheSchema)
{
    Database db = Database::create(target());
    TableDef def = rav::db::test::deviceDef();
    def.fields.push_back({ "Strict", 5, false, true });
    def.indexes.push_back(IndexDef { "ByName", { "-Name", "Note" }, false, false });
    db.createTable(def);
    db.close();

    db = Database::open(target());
    const TableDef back = db.tableDef("device"); // names ignore case
    EXPECT_EQ(back.name, "Device");
    ASSERT_EQ(back.fields.size(), 4u);
    const std::vector<std::pair<std::string, int>> expected
        = { { "Code", 20 }, { "Name", 10 }, { "Note", 255 }, { "Strict", 5 } };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(back.fields[i].name, expected[i].first);
        EXPECT_EQ(back.fields[i].size, expected[i].second);
    }
    EXPECT_TRUE(back.fields[0].required); // primary key field
    EXPECT_TRUE(back.fields[1].allowZeroLength && !back.fields[1].required);
    EXPECT_TRUE(!back.fields[3].allowZeroLength && back.fields[3].required);

    ASSERT_EQ(back.indexes.size(), 2u);
    EXPECT_TRUE(back.indexes[0].primary && back.indexes[0].unique);
    EXPECT_EQ(back.indexes[0].fieldListText(), "+Code");
    const IndexDef* byName = back.findIndex("BYNAME");
    ASSERT_NE(byName, nullptr);
    EXPECT_FALSE(byName->unique || byName->primary);
    EXPECT_EQ(byName->fieldListText(), "-Name;+Note");
    EXPECT_EQ(back.fieldIndex("note"), 2);
    EXPECT_TRUE(failsWith([&] { db.tableDef("Missing"); }, "Missing"));

    db.dropTable("device");
    EXPECT_FALSE(db.hasTable("Device"));
}

TEST_P(BackendTest, BadTableDefinitionsAreRefused)
{
    Database db = Database::create(target());
    const std::pair<std::function<void(TableDef&)>, const char*> changes[] = {
        { [](TableDef& t) { t.fields[1].size = 0; }, "size 0" },
        { [](TableDef& t) { t.fields[1].size = 256; }, "size 256" },
        { [](TableDef& t) { t.fields[1].name = "CODE"; }, "twice" },
        { [](TableDef& t) { t.fields[1].name = ""; }, "empty" },
        { [](TableDef& t) { t.fields[1].name = "Bad[Name"; }, "Bad[Name" },
        { [](TableDef& t) { t.fields.clear(); }, "at least one field" },
        { [](TableDef& t) { t.indexes[0].fields = { "Nope" }; }, "Nope" },
        { [](TableDef& t) { t.indexes.push_back(IndexDef { "Second", { "Name" }, true, true }); }, "one primary" },
    };
    for (const auto& [change, word] : changes) {
        TableDef t = rav::db::test::deviceDef();
        change(t);
        const std::string msg = errorOf([&] { db.createTable(t); });
        EXPECT_NE(msg.find(word), std::string::npos) << msg;
    }
    EXPECT_FALSE(db.hasTable("Device")); // nothing half made
}

TEST_F(EngineTest, TheFileEnforcesSizesEvenForRawWrites)
{
    makeDevice().close();
    // A plain connection that knows nothing of the engine, as any SQLite tool has.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file().c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> guard(raw, sqlite3_close);
    auto rawInsert = [&](const std::string& code, const std::string& name) {
        const std::string sql = "INSERT INTO Device (Code, Name) VALUES ('" + code + "', '" + name + "')";
        char* err = nullptr;
        const int rc = sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, &err);
        const std::string msg = err ? err : "";
        sqlite3_free(err);
        return std::make_pair(rc, msg);
    };
    EXPECT_EQ(rawInsert("A1", "0123456789").first, SQLITE_OK);
    const auto tooLong = rawInsert("A2", "0123456789X");
    EXPECT_EQ(tooLong.first, SQLITE_CONSTRAINT);
    EXPECT_NE(tooLong.second.find("Name (size 10)"), std::string::npos) << tooLong.second;
    // Sizes count characters: ten two-byte letters fit a size-10 field.
    std::string tenE;
    for (int i = 0; i < 10; ++i)
        tenE += "\xC3\xA9";
    EXPECT_EQ(rawInsert("A3", tenE).first, SQLITE_OK);
    EXPECT_EQ(rawInsert("A4", tenE + "\xC3\xA9").first, SQLITE_CONSTRAINT);
    // The primary key refuses Null and case-only duplicates.
    EXPECT_EQ(rawInsert("a1", "x").first, SQLITE_CONSTRAINT);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(raw, "INSERT INTO Device (Name) VALUES ('x')", nullptr, nullptr, &err),
        SQLITE_CONSTRAINT);
    sqlite3_free(err);
}

TEST_P(BackendTest, OurWritesFailWithMessagesNamingTheField)
{
    Database db = makeDevice({ { "A1", "Bolt" } });
    Recordset rs = db.openRecordset("Device");
    rs.addNew();
    EXPECT_TRUE(failsWith([&] { rs.setValue("Name", Value("01234567890")); }, "Name (size 10)"));
    rs.setValue("Code", Value("a1"));
    EXPECT_TRUE(failsWith([&] { rs.update(); }, "Code"));
    EXPECT_EQ(rs.editMode(), EditMode::AddNew); // still editing after the failure
    rs.setValue("Code", Value(std::nullopt));
    EXPECT_TRUE(failsWith([&] { rs.update(); }, "Code cannot be Null"));
    rs.cancelUpdate();
    EXPECT_EQ(rs.recordCount(), 1);
    rs.addNew();
    EXPECT_TRUE(failsWith([&] { rs.setValue(1, Value(std::string("a\0b", 3))); }, "NUL"));
    EXPECT_TRUE(failsWith([&] { rs.setValue(1, Value("\xFF")); }, "UTF-8"));
}

TEST_F(EngineTest, OpeningSomethingThatIsNotADatabaseFails)
{
    EXPECT_TRUE(failsWith([&] { Database::open(file("missing.db")); }, "missing.db"));
    rav::test::writeFile(dir / "text.db", "Code,Name\nA1,Bolt\n");
    EXPECT_TRUE(failsWith([&] { Database::open(file("text.db")); }, "not a database"));
    std::string noise;
    unsigned state = 12345;
    for (int i = 0; i < 8192; ++i) {
        state = state * 1103515245u + 12345u;
        noise += static_cast<char>(state >> 16);
    }
    rav::test::writeFile(dir / "noise.db", noise);
    EXPECT_NE(errorOf([&] { Database::open(file("noise.db")); }), "<no error>");
    // A real header followed by garbage must fail cleanly too.
    rav::test::writeFile(dir / "header.db", std::string("SQLite format 3\0", 16) + noise);
    Database maybe;
    const std::string msg = errorOf([&] {
        maybe = Database::open(file("header.db"));
        maybe.openRecordset("Device");
    });
    EXPECT_NE(msg, "<no error>");
    EXPECT_NE(errorOf([&] { Database::open(dir.path().string()); }), "<no error>");
}

TEST_F(EngineTest, ExclusiveAndSharedOpensWithinOneProcess)
{
    makeDevice().close();
    auto inUse = [&](OpenMode mode) { return failsWith([&] { Database::open(file(), mode); }, "in use"); };
    {
        Database a = Database::open(file(), OpenMode::Shared);
        Database b = Database::open(file(), OpenMode::Shared);
        EXPECT_TRUE(inUse(OpenMode::Exclusive));
        a.close();
        EXPECT_THROW(Database::open(file(), OpenMode::Exclusive), Error);
    }
    {
        Database x = Database::open(file(), OpenMode::Exclusive);
        EXPECT_TRUE(inUse(OpenMode::Shared));
        EXPECT_THROW(Database::open(file(), OpenMode::Exclusive), Error);
        EXPECT_TRUE(failsWith([&] { removeDatabaseFile(file()); }, "in use"));
    }
    EXPECT_NO_THROW(Database::open(file(), OpenMode::Exclusive));
}

TEST_F(EngineTest, ExclusiveAndSharedOpensAcrossProcesses)
{
    makeDevice({ { "A1" } }).close();
    {
        Holder other("exclusive", file());
        ASSERT_EQ(other.firstLine(), "ready");
        EXPECT_TRUE(failsWith([&] { Database::open(file(), OpenMode::Shared); }, "in use"));
    }
    {
        Holder other("shared", file());
        ASSERT_EQ(other.firstLine(), "ready");
        EXPECT_NE(errorOf([&] { Database::open(file(), OpenMode::Exclusive); }), "<no error>");
        Database both = Database::open(file(), OpenMode::Shared);
        EXPECT_EQ(both.openRecordset("Device").recordCount(), 1);
    }
    {
        Database mine = Database::open(file(), OpenMode::Exclusive);
        EXPECT_EQ(probe("shared", file()), 3);
        EXPECT_EQ(probe("exclusive", file()), 3);
    }
    {
        Database mine = Database::open(file(), OpenMode::Shared);
        EXPECT_EQ(probe("shared", file()), 0);
        EXPECT_EQ(probe("exclusive", file()), 3);
    }
    EXPECT_EQ(probe("exclusive", file()), 0);
}

TEST_P(BackendTest, TransactionsRollBackUnlessCommittedAndNest)
{
    Database db = makeDevice({ { "A1" } });
    {
        Transaction t(db);
        db.execute("DELETE FROM Device");
        EXPECT_EQ(db.openRecordset("Device").recordCount(), 0);
    }
    EXPECT_EQ(db.openRecordset("Device").recordCount(), 1);
    {
        Transaction outer(db);
        {
            Transaction inner(db);
            Recordset rs = db.openRecordset("Device");
            rs.addNew();
            rs.setValue("Code", Value("A2"));
            rs.update();
            inner.commit();
        }
        {
            Transaction inner(db);
            db.execute("DELETE FROM Device WHERE Code = \"A1\"");
            inner.rollback();
        }
        outer.commit();
    }
    Recordset rs = db.openRecordset("SELECT * FROM Device ORDER BY Code");
    EXPECT_EQ(codes(rs), (std::vector<std::string> { "A1", "A2" }));
}

TEST_P(BackendTest, PreparedStatementsServeBulkPaths)
{
    Database db = makeDevice();
    {
        Transaction t(db);
        Statement insert = db.prepare("INSERT INTO Device (Code, Name) VALUES (?1, ?2)");
        for (int i = 0; i < 500; ++i) {
            insert.bind(1, Value("K" + std::to_string(i)));
            insert.bind(2, i % 2 ? Value(std::nullopt) : Value(""));
            EXPECT_FALSE(insert.step());
            insert.reset();
        }
        insert.bind(1, Value("k7"));
        insert.bind(2, Value("x"));
        EXPECT_TRUE(failsWith([&] { insert.step(); }, "Code"));
        insert.reset();
        insert.bind(1, Value("Z"));
        insert.bind(2, Value("far too long"));
        EXPECT_TRUE(failsWith([&] { insert.step(); }, "Name (size 10)"));
        t.commit();
    }
    Statement count = db.prepare("SELECT count(*), count(Name) FROM Device");
    ASSERT_TRUE(count.step());
    EXPECT_EQ(count.columnInt(0), 500);
    EXPECT_EQ(count.columnInt(1), 250); // empty texts are values, Nulls are not
    db.close();
    EXPECT_THROW(count.step(), Error); // statements end with their database
}

TEST_P(BackendTest, ActionStatementsInTheDialect)
{
    Database db = makeDevice({ { "A1", "Bolt" }, { "A2", "Nut" }, { "B1", "Nut" } });
    EXPECT_EQ(db.execute("UPDATE Device SET Name = \"Screw\", [Note] = Null WHERE Code Like \"A*\""), 2);
    EXPECT_TRUE(failsWith([&] { db.execute("UPDATE Device SET Name = \"0123456789X\""); }, "Name"));
    EXPECT_EQ(db.execute("DELETE * FROM Device WHERE [Device]![Name] = \"nut\";"), 1);
    EXPECT_TRUE(failsWith([&] { db.execute("DROP TABLE Device"); }, "DROP"));
    Recordset rs = db.openRecordset("SELECT * FROM Device ORDER BY Code");
    EXPECT_EQ(codes(rs), (std::vector<std::string> { "A1", "A2" }));
    rs.moveFirst();
    EXPECT_EQ(rs.value("Name"), Value("Screw"));
}

TEST_P(BackendTest, AStreamedSelectGivesTheRecordSetsRowsInItsOrder)
{
    // Ties on Name fall back to the order the rows were added, as in a record set.
    Database db = makeDevice(
        { { "C1", "nut", "x" }, { "A1", "Bolt", std::nullopt }, { "B1", "Nut", "" }, { "D1", "axle", "y" } });
    const std::vector<std::string> texts = { "SELECT Name, Code, [Note] FROM Device ORDER BY Name, Code DESC",
        "SELECT [Device]![Note], Code FROM Device WHERE Name Like \"n*\" ORDER BY Device.Name;",
        "SELECT * FROM Device WHERE Code = \"nobody\"" };
    for (const auto& text : texts) {
        SCOPED_TRACE(text);
        Recordset rs = db.openRecordset(text);
        std::vector<std::vector<Value>> expected;
        for (long p = 0; p < rs.recordCount(); ++p)
            expected.push_back(rs.rowAt(p));
        Statement rows = db.prepareSelect(text);
        EXPECT_EQ(rows.columnCount(), rs.fieldCount());
        std::vector<std::vector<Value>> streamed;
        while (rows.step()) {
            std::vector<Value> row;
            for (int c = 0; c < rows.columnCount(); ++c) {
                const auto view = rows.columnText(c);
                row.push_back(view ? Value(std::string(*view)) : Value(std::nullopt));
            }
            streamed.push_back(row);
        }
        EXPECT_EQ(streamed, expected);
        EXPECT_EQ(db.countSelect(text), rs.recordCount());
    }
    // The second text: Nulls stay Null and empty texts stay empty.
    Statement rows = db.prepareSelect(texts[1]);
    ASSERT_TRUE(rows.step());
    EXPECT_EQ(rows.columnText(0), std::optional<std::string_view>("x"));
    ASSERT_TRUE(rows.step());
    EXPECT_EQ(rows.columnText(0), std::optional<std::string_view>(""));
    EXPECT_FALSE(rows.step());

    EXPECT_THROW(db.prepareSelect("DELETE FROM Device"), Error);
    EXPECT_THROW(db.prepareSelect("SELECT Nothing FROM Device"), Error);
    EXPECT_THROW(db.countSelect("SELECT * FROM Nowhere"), Error);
}

TEST_F(EngineTest, ClosingEndsRecordSetsAndRemovingTakesTheJournalAlong)
{
    Database db = makeDevice({ { "A1" } });
    Recordset rs = db.openRecordset("Device");
    db.close();
    EXPECT_FALSE(rs.isOpen());
    EXPECT_THROW(rs.moveFirst(), Error);
    EXPECT_THROW(db.openRecordset("Device"), Error);
    EXPECT_NO_THROW(Database::open(file(), OpenMode::Exclusive).close()); // the lock went with it

    rav::test::writeFile(file() + "-journal", "stale");
    removeDatabaseFile(file());
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_FALSE(std::filesystem::exists(file() + "-journal"));
    EXPECT_NO_THROW(removeDatabaseFile(file())); // nothing to do
}
