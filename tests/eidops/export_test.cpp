// Export to text files and removal of records: every record, or the
// inclusive range between a start and an end value in the order of a sort
// column, and the check the wizard makes before it runs either.
#include "eid_export.h"
#include "eid_fixture.h"
#include "eid_history.h"
#include "eid_import.h"
#include "project_fixture.h"

#include <gtest/gtest.h>

namespace rav::test
{
namespace
{

using eid::CheckRangeConditions;
using eid::Operation;
using eid::Range;
using eid::RangeCheck;

class ExportTest : public ::testing::TestWithParam<db::Backend>
{
protected:
    void SetUp() override
    {
        if (!eidName.available())
            GTEST_SKIP() << "no PostgreSQL server for this run (RAV_PG_DIR unset)";
    }
    // Cases that rest on what only a file has (its lock, its own integrity check).
    bool OnServer() const { return GetParam() == db::Backend::Server; }

    // A1 to A5, stored out of order so that the sort column matters.
    std::string FiveRecords()
    {
        return MakeCodeNameEid(eidName("Five.eid"),
            { R({ "A3", "three" }), R({ "A1", "one" }), R({ "A5", "five" }), R({ "A2", "two" }),
                R({ "A4", "four" }) });
    }
    eid::OperationResult Export(const std::string& eid, const Range& range, const std::string& delim = ",")
    {
        eid::ExportOptions o;
        o.eidFile = eid;
        o.textFile = (dir / "Out.txt").string();
        o.delimiterText = delim;
        o.range = range;
        return eid::ExportTextFile(o, messages, progress);
    }
    eid::OperationResult Remove(const std::string& eid, const Range& range)
    {
        return eid::RemoveRecords({ eid, range }, progress);
    }
    std::string Exported() { return readFile(dir / "Out.txt"); }
    std::vector<Row> ByCode(const std::string& eid) { return Records(eid, "Code"); }

    ScratchDir dir;
    EidPlace eidName { dir.path(), GetParam() };
    RecordingMessageSink messages;
    RecordingProgress progress;
};

TEST_P(ExportTest, LinesHoldEveryColumnWithNullAsEmpty)
{
    const std::string eid
        = MakeCodeNameEid(eidName("Part.eid"), { R({ "A1", "Bolt" }), R({ "A2", std::nullopt }) });
    const eid::OperationResult r = Export(eid, {}, ";");
    ASSERT_TRUE(r.completed) << r.failure;
    EXPECT_EQ(r.processed, 2);
    EXPECT_EQ(Exported(), "A1;Bolt\r\nA2;\r\n");
    EXPECT_EQ(progress.lastValue, progress.maximum);
    // An existing file is replaced; an empty table gives an empty file.
    ASSERT_TRUE(Remove(eid, {}).completed);
    ASSERT_TRUE(Export(eid, {}).completed);
    EXPECT_EQ(Exported(), "");
    EXPECT_EQ(progress.captions, (std::vector<std::string> { "Exporting ...", "Deleting ...", "Exporting ..." }));
}

TEST_P(ExportTest, TabRoundTripKeepsTheTexts)
{
    const std::string eid = MakeEid(eidName("Part.eid"), { { "Code", 5 }, { "Name", 10 }, { "Note", 20 } },
        "Code", { R({ "A1", "Bolt M3", std::nullopt }), R({ "A2", "", "a, b; c" }) });
    ASSERT_TRUE(Export(eid, {}, "TAB").completed);
    EXPECT_EQ(Exported(), "A1\tBolt M3\t\r\nA2\t\ta, b; c\r\n");

    // Change the records, then bring the export back over them.
    {
        db::Database db = db::Database::open(eid, db::OpenMode::Exclusive);
        db.executeNative("UPDATE Device SET Name = 'changed', Note = 'changed'");
    }
    eid::ImportOptions in;
    in.eidFile = eid;
    in.textFile = (dir / "Out.txt").string();
    in.delimiterText = "tab";
    in.overwrite = true;
    const eid::OperationResult r = eid::ImportTextFile(in, messages, progress);
    ASSERT_TRUE(r.completed) << r.failure;
    EXPECT_EQ(r.overwritten, 2);
    // The Null comes back as an empty text.
    EXPECT_EQ(ByCode(eid), (std::vector<Row> { R({ "A1", "Bolt M3", "" }), R({ "A2", "", "a, b; c" }) }));
}

// Each range over A1..A5: what the check says, what the export writes and
// which records a removal leaves. Unknown ends are agreed to.
TEST_P(ExportTest, RangesFollowTheSortColumnAndIgnoreLetterCase)
{
    struct Case {
        Range range;
        RangeCheck check;
        std::string exported;
        std::vector<std::string> left;
    };
    const std::string unknownEnd = "Specified End condition cannot be found in the database!\n"
                                   "Is it okay to use the end of database as end condition?";
    const std::vector<Case> cases {
        { {}, RangeCheck::Found, "A3,three\r\nA1,one\r\nA5,five\r\nA2,two\r\nA4,four\r\n", {} },
        { { "Code", "A2", "A4", "Code" }, RangeCheck::Found, "A2,two\r\nA3,three\r\nA4,four\r\n", { "A1", "A5" } },
        { { "code", "a2", "a4", "CODE" }, RangeCheck::Found, "A2,two\r\nA3,three\r\nA4,four\r\n", { "A1", "A5" } },
        // Sorted by Name: five, four, one, three, two.
        { { "Code", "A4", "A3", "Name" }, RangeCheck::Found, "A4,four\r\nA1,one\r\nA3,three\r\n", { "A2", "A5" } },
        // The end is looked for after the start record, so a value that only
        // the start record has is an end that cannot be found.
        { { "Code", "A3", "A3", "Code" }, RangeCheck::ToEndOfSet, "A3,three\r\n", { "A1", "A2", "A4", "A5" } },
        { { "Code", "A2", "A9", "Code" }, RangeCheck::ToEndOfSet, "A2,two\r\nA3,three\r\nA4,four\r\nA5,five\r\n",
            { "A1" } },
    };
    messages.answer = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range.startValue + ".." + c.range.endValue);
        std::filesystem::remove(dir / "Five.eid");
        const std::string eid = FiveRecords();
        messages.messages.clear();
        if (c.range.enabled()) {
            EXPECT_EQ(CheckRangeConditions(eid, Operation::Export, c.range, messages), c.check);
        }
        if (c.check == RangeCheck::Found) {
            EXPECT_TRUE(messages.messages.empty());
        } else {
            ASSERT_EQ(messages.messages.size(), 1u);
            EXPECT_EQ(messages.messages[0].kind, MessageKind::Question);
            EXPECT_EQ(messages.messages[0].text, unknownEnd);
        }
        ASSERT_TRUE(Export(eid, c.range).completed);
        EXPECT_EQ(Exported(), c.exported);
        const eid::OperationResult r = Remove(eid, c.range);
        ASSERT_TRUE(r.completed) << r.failure;
        EXPECT_EQ(r.processed, static_cast<std::int64_t>(5 - c.left.size()));
        std::vector<std::string> left;
        for (const Row& row : ByCode(eid))
            left.push_back(*row[0]);
        EXPECT_EQ(left, c.left);
    }
    // A refused end stops the operation.
    messages.answer = false;
    EXPECT_EQ(CheckRangeConditions(FiveRecords(), Operation::Remove, cases.back().range, messages), RangeCheck::EndRefused);
}

TEST_P(ExportTest, StartEqualToEndTakesExactlyTheFirstSuchRecord)
{
    const std::string eid = MakeCodeNameEid(
        eidName("Dup.eid"), { R({ "A1", "x" }), R({ "A2", "same" }), R({ "A3", "same" }), R({ "A4", "z" }) });
    const Range range { "Name", "same", "SAME", "Code" };
    const eid::RangeLocation loc = eid::LocateRange(eid, range);
    EXPECT_EQ(loc.start, 1);
    EXPECT_TRUE(loc.startIsEnd);
    EXPECT_EQ(loc.end, 2); // the next record with the value, which the run never reaches
    ASSERT_TRUE(Export(eid, range).completed);
    EXPECT_EQ(Exported(), "A2,same\r\n");
    ASSERT_TRUE(Remove(eid, range).completed);
    EXPECT_EQ(ByCode(eid), (std::vector<Row> { R({ "A1", "x" }), R({ "A3", "same" }), R({ "A4", "z" }) }));
}

// A range of many thousand records goes whole, the last one included,
// each removal in the history (a server takes them a batch at a time).
TEST_P(ExportTest, AWideRangeIsRemovedWholeAndEachRemovalRecorded)
{
    const std::string eid = MakeCodeNameEid(eidName("Wide.eid"));
    std::string text;
    char code[16];
    for (int i = 0; i < 20000; ++i) {
        std::snprintf(code, sizeof code, "%05d", 19999 - i);
        text += std::string(code) + ",n\r\n";
    }
    writeFile(dir / "Wide.txt", text);
    eid::ImportOptions in;
    in.eidFile = eid;
    in.textFile = (dir / "Wide.txt").string();
    ASSERT_TRUE(eid::ImportTextFile(in, messages, progress).completed);
    const std::size_t history = OnServer() ? eid::ReadHistory(eid).size() : 0;
    const eid::OperationResult r = Remove(eid, { "Code", "00001", "none", "Code" }); // to the end
    ASSERT_TRUE(r.completed) << r.failure;
    EXPECT_EQ(r.processed, 19999);
    EXPECT_EQ(progress.lastValue, 19999);
    EXPECT_EQ(ByCode(eid), (std::vector<Row> { R({ "00000", "n" }) }));
    if (OnServer()) {
        EXPECT_EQ(eid::ReadHistory(eid).size(), history + 19999);
    }
}

TEST_P(ExportTest, FailuresEndQuietlyAndTouchNothing)
{
    const std::string eid = FiveRecords();
    std::string why;
    EXPECT_EQ(CheckRangeConditions(eid, Operation::Export, { "Price", "1", "2", "Code" }, messages, &why),
        RangeCheck::Failed);
    EXPECT_NE(why.find("Price"), std::string::npos);
    EXPECT_EQ(CheckRangeConditions((dir / "none.eid").string(), Operation::Export,
                  { "Code", "1", "2", "Code" }, messages, &why),
        RangeCheck::Failed);
    EXPECT_EQ(CheckRangeConditions(eid, Operation::Export, { "Code", "B1", "A4", "Code" }, messages),
        RangeCheck::StartMissing);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].id, "548");
    messages.messages.clear();
    EXPECT_FALSE(Remove(eid, { "Code", "B1", "A4", "Code" }).completed); // an unknown start runs nothing
    // The import's range needs no check.
    EXPECT_EQ(CheckRangeConditions(eid, Operation::Import, { "Code", "X", "Y", "" }, messages), RangeCheck::Found);

    // An export file that cannot be created; the database is closed afterwards.
    std::filesystem::create_directories(dir / "Out.txt");
    const eid::OperationResult r = Export(eid, {});
    EXPECT_FALSE(r.completed);
    EXPECT_FALSE(r.failure.empty());
    EXPECT_TRUE(messages.messages.empty());
    if (OnServer())
        return; // a server has no integrity check of ours and no exclusive opens
    EXPECT_EQ(IntegrityCheck(eid), "ok");

    // A database held open elsewhere is neither exported nor changed.
    std::filesystem::remove(dir / "Out.txt");
    db::Database other = db::Database::open(eid, db::OpenMode::Shared);
    EXPECT_FALSE(Export(eid, {}).completed);
    EXPECT_FALSE(Remove(eid, {}).completed);
    other.close();
    EXPECT_EQ(Records(eid).size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(Backends, ExportTest, ::testing::Values(db::Backend::File, db::Backend::Server), backendName);

} // namespace
} // namespace rav::test
