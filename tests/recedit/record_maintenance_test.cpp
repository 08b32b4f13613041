// Adding, deleting, moving and jumping on a real EID, through the record
// set a grid would be bound to.
#include "browse_tab.h"
#include "data_source.h"
#include "database.h"
#include "project_fixture.h"
#include "record_maintenance.h"
#include "recordset.h"
#include "test_env.h"

#include <gtest/gtest.h>

namespace rav::recedit
{
namespace
{

using test::queryRows;

class RecordMaintenance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // EIC first so that the EIC column is narrow (size 6) for the cut test.
        test::makeEid(file(), { "Code", "Name" }, "Code",
            { { "A", "first" }, { "B", "second" }, { "C", "third" } }, { 6, 30 });
        db = db::Database::open(file().string());
        rs = db.openRecordset("SELECT * FROM Device ORDER BY [Device]![Code];");
    }
    std::filesystem::path file() const { return dir / "Part.eid"; }
    AskValue answer(const std::string& value)
    {
        return [this, value](const std::string& prompt) {
            prompts.push_back(prompt);
            return value;
        };
    }
    std::vector<std::string> codes() const
    {
        std::vector<std::string> out;
        for (const auto& row : queryRows(file(), "SELECT * FROM Device ORDER BY [Device]![Code];"))
            out.push_back(row[0]);
        return out;
    }

    test::ScratchDir dir;
    db::Database db;
    db::Recordset rs;
    RecordingMessageSink messages;
    std::vector<std::string> prompts;
};

TEST_F(RecordMaintenance, AddsANewEicAndLeavesTheRecordInEditMode)
{
    const AddResult r = AddRecord(file().string(), rs, answer("D"), messages);
    ASSERT_EQ(r.outcome, AddOutcome::Added) << r.error;
    EXPECT_EQ(prompts, (std::vector<std::string> { "Give the Value for field : [Code]" }));
    EXPECT_EQ(rs.absolutePosition(), 3);
    EXPECT_EQ(rs.editMode(), db::EditMode::Edit);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(codes(), (std::vector<std::string> { "A", "B", "C", "D" }));

    // The user types the other columns and commits them.
    rs.setValue("Name", db::Value("fourth"));
    rs.update();
    EXPECT_EQ(queryRows(file(), "SELECT * FROM Device WHERE [Code] = \"D\"")[0][1], "fourth");
}

TEST_F(RecordMaintenance, RefusesExistingBlankAndUnreadableAndCutsLongEics)
{
    // The EIC index ignores letter case, and so does the check.
    const std::pair<const char*, AddOutcome> refused[] = { { "B", AddOutcome::Duplicate },
        { "c", AddOutcome::Duplicate }, { "", AddOutcome::Blank }, { "   ", AddOutcome::Blank } };
    for (const auto& [value, outcome] : refused)
        EXPECT_EQ(AddRecord(file().string(), rs, answer(value), messages).outcome, outcome) << value;
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[0].text,
        "Specified value : B , exists in database. Enter a unique value to add a new record");
    EXPECT_EQ(codes().size(), 3u);
    EXPECT_EQ(rs.editMode(), db::EditMode::None);
    // A file that is no EID ends the add quietly, before asking.
    test::writeFile(dir / "junk.eid", "not a database");
    prompts.clear();
    messages.messages.clear();
    const AddResult junk = AddRecord((dir / "junk.eid").string(), rs, answer("Z"), messages);
    EXPECT_EQ(junk.outcome, AddOutcome::Failed);
    EXPECT_FALSE(junk.error.empty());
    EXPECT_TRUE(prompts.empty());

    // Leading blanks stay: only the emptiness test trims.
    AddResult r = AddRecord(file().string(), rs, answer("  E"), messages);
    ASSERT_EQ(r.outcome, AddOutcome::Added) << r.error;
    EXPECT_EQ(r.value, "  E");
    rs.update();

    // Longer than the column (6): cut from the left, no message.
    r = AddRecord(file().string(), rs, answer("LONGCODE"), messages);
    ASSERT_EQ(r.outcome, AddOutcome::Added) << r.error;
    EXPECT_EQ(r.value, "LONGCO");
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(codes(), (std::vector<std::string> { "  E", "A", "B", "C", "LONGCO" }));
}

TEST_F(RecordMaintenance, DeleteMovesToTheFollowingOrTheNewLastRecord)
{
    messages.answer = false;
    rs.setAbsolutePosition(1);
    EXPECT_FALSE(DeleteRecord(rs, messages));
    EXPECT_EQ(codes().size(), 3u);

    messages.answer = true;
    ASSERT_TRUE(DeleteRecord(rs, messages)); // B
    EXPECT_EQ(rs.absolutePosition(), 1);
    EXPECT_EQ(rs.value("Code"), db::Value("C"));
    ASSERT_TRUE(DeleteRecord(rs, messages)); // C, the last one
    EXPECT_EQ(rs.absolutePosition(), 0);
    EXPECT_EQ(rs.value("Code"), db::Value("A"));
    ASSERT_TRUE(DeleteRecord(rs, messages)); // the only one
    EXPECT_EQ(rs.recordCount(), 0);
    const BrowseState s = FollowRecord(&rs, "Code");
    EXPECT_EQ(s.position, -1);
    EXPECT_FALSE(s.deleteEnabled);
    EXPECT_TRUE(codes().empty());
}

TEST_F(RecordMaintenance, MovesAndJumpsStayOnTheRecords)
{
    const std::pair<MoveCommand, long> moves[] = { { MoveCommand::Last, 2 }, { MoveCommand::Next, 2 },
        { MoveCommand::Previous, 1 }, { MoveCommand::Previous, 0 }, { MoveCommand::Previous, 0 },
        { MoveCommand::Next, 1 }, { MoveCommand::First, 0 } };
    for (const auto& [move, position] : moves) {
        MoveRecord(rs, move);
        EXPECT_EQ(rs.absolutePosition(), position);
    }
    EXPECT_EQ(JumpToPosition(rs, "2"), 2);
    EXPECT_EQ(JumpToPosition(rs, "0"), 0);
    EXPECT_EQ(JumpToPosition(rs, "1 mm"), 1);
    EXPECT_EQ(JumpToPosition(rs, "17"), 1) << "beyond the last record: unchanged";
    EXPECT_EQ(JumpToPosition(rs, "-3"), 1);
    EXPECT_EQ(JumpToPosition(rs, "abc"), 0) << "no number reads as 0";
}

TEST_F(RecordMaintenance, FollowingTheGridEnablesTheBrowseControls)
{
    BrowseState s = FollowRecord(&rs, "CODE");
    EXPECT_EQ(s.eic, "A");
    EXPECT_EQ(s.records, 3);
    EXPECT_FALSE(s.backEnabled || s.editPending);
    EXPECT_TRUE(s.forwardEnabled && s.deleteEnabled);
    rs.moveLast();
    rs.edit();
    s = FollowRecord(&rs, "Code");
    EXPECT_TRUE(s.backEnabled && s.editPending);
    EXPECT_FALSE(s.forwardEnabled);
    rs.cancelUpdate();
    // No EIC column of that name, or no record set.
    EXPECT_EQ(FollowRecord(&rs, "Other").eic, "");
    EXPECT_EQ(FollowRecord(nullptr, "Code").position, -1);
    EXPECT_EQ(FollowRecord(nullptr, "Code").records, 0);
}

// The Browse tab changes the grid's data source and tells its grids each time.
TEST_F(RecordMaintenance, TheBrowseTabWorksThroughTheGridsDataSource)
{
    rs = {};
    db = {}; // the grid's source opens the file itself
    grid::DataSource source;
    source.setDatabaseName(QString::fromStdString(file().string()));
    source.setRecordSource("SELECT * FROM Device ORDER BY [Device]![Code];");
    ASSERT_TRUE(source.refresh()) << source.lastError();
    int told = 0;
    QObject::connect(&source, &grid::DataSource::recordChanged, [&] { ++told; });
    QObject::connect(&source, &grid::DataSource::refreshed, [&] { ++told; });
    BrowseTab tab(source);
    // Each command tells the grids.
    const auto tells = [&](const auto& command) {
        const int before = told;
        command();
        return told > before;
    };

    EXPECT_TRUE(tells([&] { tab.move(MoveCommand::Last); }));
    EXPECT_EQ(tab.state("Code").eic, "C");
    EXPECT_TRUE(tells([&] { EXPECT_EQ(tab.jump("1"), 1); }));
    messages.answer = true;
    EXPECT_TRUE(tells([&] { EXPECT_TRUE(tab.remove(messages)); })); // B: the grid reloads on C
    EXPECT_EQ(source.position(), 1);
    EXPECT_EQ(tab.state("Code").eic, "C");
    EXPECT_TRUE(tells(
        [&] { EXPECT_EQ(tab.add(file().string(), answer("D"), messages).outcome, AddOutcome::Added); }));
    EXPECT_TRUE(tab.state("Code").editPending);

    source.close();
    EXPECT_EQ(tab.jump("0"), -1);
    EXPECT_EQ(tab.add(file().string(), answer("E"), messages).outcome, AddOutcome::Failed);
    EXPECT_FALSE(tab.remove(messages));
}

} // namespace
} // namespace rav::recedit
