// What only a server EID has: its connection. A wrong password, a server
// that is not there and a connection dropped mid-operation each give one
// clear line; no password ever shows in a name or a message.
#include "engine_fixture.h"


using namespace rav::db;

namespace
{

std::string errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "<no error>";
}

class ServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        name = rav::test::serverEidName();
        if (name.empty())
            GTEST_SKIP() << "no PostgreSQL server for this run (RAV_PG_DIR unset)";
        Database db = Database::create(name);
        db.createTable(rav::db::test::deviceDef());
    }
    // The name with `from` replaced by `to`.
    std::string with(const std::string& from, const std::string& to) const
    {
        std::string s = name;
        s.replace(s.find(from), from.size(), to);
        return s;
    }
    std::string name;
};

} // namespace

TEST_F(ServerTest, ConnectionFailuresAreOneClearLineWithoutThePassword)
{
    const std::string port = name.substr(name.rfind(':') + 1, name.find('/', name.rfind(':')) - name.rfind(':') - 1);
    struct Case {
        std::string name;
        std::string expected;
    };
    const std::vector<Case> cases = {
        { with("ravederi@", "ravederi:Secret-pw@"), "wrong password" },
        { with("ravederi@", "nobody_here@"), "no password given" },
        { with(":" + port + "/", ":1/"), "cannot be reached" },
        { with("postgres?", "no_such_db?"), "no_such_db" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const std::string msg = errorOf([&] { Database::open(c.name); });
        EXPECT_NE(msg.find(c.expected), std::string::npos) << msg;
        EXPECT_EQ(msg.find('\n'), std::string::npos) << msg;
        EXPECT_EQ(msg.find("Secret-pw"), std::string::npos) << msg;
    }
    // A password in the name is used by libpq but kept out of the name we keep.
    const std::string password = rav::test::readFile(std::string(std::getenv("RAV_PG_DIR")) + "/password");
    Database db = Database::open(with("ravederi@", "ravederi:" + password.substr(0, password.find('\n')) + "@"));
    EXPECT_EQ(db.path(), name);
}

TEST_F(ServerTest, ADroppedConnectionFailsTheOperationAndLosesNothingCommitted)
{
    Database db = Database::open(name);
    Recordset rs = db.openRecordset("Device");
    rs.addNew();
    rs.setValue("Code", Value("A1"));
    rs.update();
    {
        Transaction t(db);
        db.execute("UPDATE Device SET Name = \"half\"");
        // Another session ends ours, as a server restart or a network cut would.
        Statement mine = db.prepare("SELECT pg_backend_pid()");
        ASSERT_TRUE(mine.step());
        Database admin = Database::open(name);
        Statement kill = admin.prepare("SELECT pg_terminate_backend(?1::int)");
        kill.bind(1, mine.columnInt(0));
        ASSERT_TRUE(kill.step());
        EXPECT_EQ(kill.column(0), Value("t"));
        const std::string msg = errorOf([&] { db.execute("UPDATE Device SET Note = \"x\""); });
        EXPECT_NE(msg.find("connection to the database server was lost"), std::string::npos) << msg;
        EXPECT_EQ(msg.find('\n'), std::string::npos) << msg;
    }
    Database again = Database::open(name);
    Recordset back = again.openRecordset("Device");
    ASSERT_EQ(back.recordCount(), 1);
    EXPECT_EQ(back.value("Code"), Value("A1"));
    EXPECT_EQ(back.value("Name"), Value()); // the uncommitted change is gone, the record stays
}

TEST_F(ServerTest, SavesAndDeletionsOfRecordsChangedByOthersAreRefusedWithTheDifferences)
{
    Database mineDb = Database::open(name);
    Database theirsDb = Database::open(name);
    {
        Recordset rs = mineDb.openRecordset("Device");
        for (const char* code : { "A1", "A2" }) {
            rs.addNew();
            rs.setValue("Code", Value(code));
            rs.setValue("Name", Value("orig"));
            rs.update();
        }
    }
    Recordset mine = mineDb.openRecordset("SELECT * FROM Device ORDER BY Code");
    Recordset theirs = theirsDb.openRecordset("SELECT * FROM Device ORDER BY Code");
    mine.moveFirst();
    mine.edit();
    mine.setValue("Name", Value("mine"));
    theirs.moveFirst();
    theirs.edit();
    theirs.setValue("Note", Value("theirs"));
    theirs.update();

    try {
        mine.update();
        FAIL() << "the save was not refused";
    } catch (const ConflictError& e) {
        EXPECT_FALSE(e.deletedByOthers());
        ASSERT_EQ(e.fields().size(), 2u) << e.what();
        const auto& [nameField, note] = std::tie(e.fields()[0], e.fields()[1]);
        EXPECT_EQ(std::tie(nameField.name, nameField.mine, nameField.theirs, nameField.original),
            std::make_tuple(std::string("Name"), Value("mine"), Value("orig"), Value("orig")));
        EXPECT_EQ(std::tie(note.name, note.mine, note.theirs, note.original),
            std::make_tuple(std::string("Note"), Value(), Value("theirs"), Value()));
        EXPECT_NE(std::string(e.what()).find("Name: mine \"mine\", theirs \"orig\", original \"orig\""), std::string::npos)
            << e.what();
    }
    // Having seen their change, the save goes through; nothing of theirs was lost.
    mine.cancelUpdate();
    mine.edit();
    EXPECT_EQ(mine.value("Note"), Value("theirs"));
    mine.setValue("Name", Value("mine"));
    mine.update();

    // A deletion of a record they changed is refused, one they deleted too.
    mine.moveNext();
    EXPECT_EQ(mine.value("Code"), Value("A2"));
    theirs.moveNext();
    theirs.edit();
    theirs.setValue("Name", Value("later"));
    theirs.update();
    EXPECT_THROW(mine.remove(), ConflictError);
    theirs.remove();
    try {
        mine.remove();
        FAIL() << "the deletion was not refused";
    } catch (const ConflictError& e) {
        EXPECT_TRUE(e.deletedByOthers()) << e.what();
    }
    Database fresh = Database::open(name);
    Recordset check = fresh.openRecordset("Device");
    ASSERT_EQ(check.recordCount(), 1);
    EXPECT_EQ(check.value("Name"), Value("mine"));
    EXPECT_EQ(check.value("Note"), Value("theirs"));
}

TEST_F(ServerTest, AReadOnlyRoleReadsAndItsEditsAreRefusedWithOneLine)
{
    const std::string schema = name.substr(name.find("schema=") + 7, name.find('&') - name.find("schema=") - 7);
    const std::string role = "reader_" + schema;
    {
        Database owner = Database::open(name);
        Recordset rs = owner.openRecordset("Device");
        rs.addNew();
        rs.setValue("Code", Value("A1"));
        rs.update();
        owner.executeNative("CREATE ROLE " + role + " LOGIN PASSWORD 'read-only-pw'");
        owner.executeNative("GRANT USAGE ON SCHEMA " + schema + " TO " + role);
        owner.executeNative("GRANT SELECT ON ALL TABLES IN SCHEMA " + schema + " TO " + role);
    }
    Database reader = Database::open(with("ravederi@", role + ":read-only-pw@"));
    Recordset rs = reader.openRecordset("SELECT * FROM Device WHERE Code Like \"a*\"");
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.value("Code"), Value("A1"));
    const std::vector<std::function<void()>> edits = {
        [&] {
            rs.edit();
            rs.setValue("Name", Value("x"));
            rs.update();
        },
        [&] {
            rs.cancelUpdate();
            rs.remove();
        },
        [&] { reader.execute("DELETE FROM Device"); },
    };
    for (const auto& edit : edits) {
        const std::string msg = errorOf(edit);
        EXPECT_NE(msg.find("refused: the database role " + role + " may read this EID but not change it"),
            std::string::npos)
            << msg;
        EXPECT_EQ(msg.find('\n'), std::string::npos) << msg;
    }
    Database owner = Database::open(name);
    owner.executeNative("DROP OWNED BY " + role);
    owner.executeNative("DROP ROLE " + role);
}

// A set read front to back comes a row at a time; other statements on the
// same connection may run between its rows, and one left half read frees
// the connection.
TEST_F(ServerTest, ASetReadRowByRowLetsOtherStatementsRunBetweenItsRows)
{
    Database db = Database::open(name);
    for (const char* code : { "A1", "B2", "C3", "D4" })
        db.executeNative(std::string("INSERT INTO Device (Code, Name) VALUES ('") + code + "', 'n')");
    Statement rows = db.prepareSelect("SELECT * FROM Device ORDER BY Code");
    std::vector<std::string> seen;
    for (int i = 0; rows.step(); ++i) {
        seen.push_back(rows.column(0).value_or("") + (i == 1 ? "+" + std::to_string(db.countSelect("SELECT * FROM Device")) : ""));
        if (i == 0)
            db.executeNative("UPDATE Device SET Name = 'changed' WHERE Code = 'D4'");
    }
    EXPECT_EQ(seen, (std::vector<std::string> { "A1", "B2+4", "C3", "D4" }));
    Statement half = db.prepareSelect("SELECT * FROM Device ORDER BY Code");
    ASSERT_TRUE(half.step());
    half.reset();
    Statement first = db.prepareSelect("SELECT * FROM Device WHERE Code = \"D4\"");
    ASSERT_TRUE(first.step());
    EXPECT_EQ(first.column(1), Value("changed"));
    EXPECT_FALSE(first.step());
}
