// Export to text files and removal of records: every record, or the
// inclusive range between a start and an end value in the order of a sort
// column, and the check the wizard makes before it runs either.
#include "eid_export.h"
#include "eid_fixture.h"
#include "eid_import.h"

#include <gtest/gtest.h>

namespace rav::test
{
namespace
{

using eid::CheckRangeConditions;
using eid::Operation;
using eid::Range;
using eid::RangeCheck;

class ExportTest : public ::testing::Test
{
protected:
    // A1 to A5, stored out of order so that the sort column matters.
    std::string FiveRecords()
    {
        return MakeCodeNameEid(dir / "Five.eid",
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
    RecordingMessageSink messages;
    NullProgressSink progress;
};

TEST_F(ExportTest, LinesHoldEveryColumnWithNullAsEmpty)
{
    const std::string eid
        = MakeCodeNameEid(dir / "Part.eid", { R({ "A1", "Bolt" }), R({ "A2", std::nullopt }) });
    const eid::OperationResult r = Export(eid, {}, ";");
    ASSERT_TRUE(r.completed) << r.failure;
    EXPECT_EQ(r.processed, 2);
    EXPECT_EQ(Exported(), "A1;Bolt\r\nA2;\r\n");
}

TEST_F(ExportTest, ExportReplacesAnExistingFileAndAnEmptyTableGivesAnEmptyFile)
{
    const std::string eid = MakeCodeNameEid(dir / "Part.eid");
    writeFile(dir / "Out.txt", "old\r\n");
    ASSERT_TRUE(Export(eid, {}).completed);
    EXPECT_EQ(Exported(), "");
}

TEST_F(ExportTest, TabRoundTripKeepsTheTexts)
{
    const std::string eid = MakeEid(dir / "Part.eid", { { "Code", 5 }, { "Name", 10 }, { "Note", 20 } },
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

TEST_F(ExportTest, RemovalWithoutRangeDeletesEveryRecord)
{
    const std::string eid = FiveRecords();
    const eid::OperationResult r = Remove(eid, {});
    ASSERT_TRUE(r.completed) << r.failure;
    EXPECT_EQ(r.processed, 5);
    EXPECT_TRUE(Records(eid).empty());
}

TEST_F(ExportTest, RangeA2ToA4SortedByCodeTouchesA2A3A4)
{
    const std::string eid = FiveRecords();
    const Range range { "Code", "A2", "A4", "Code" };
    EXPECT_EQ(CheckRangeConditions(eid, Operation::Export, range, messages), RangeCheck::Found);
    EXPECT_TRUE(messages.messages.empty());
    ASSERT_TRUE(Export(eid, range).completed);
    EXPECT_EQ(Exported(), "A2,two\r\nA3,three\r\nA4,four\r\n");

    const eid::OperationResult r = Remove(eid, range);
    ASSERT_TRUE(r.completed) << r.failure;
    EXPECT_EQ(r.processed, 3);
    EXPECT_EQ(ByCode(eid), (std::vector<Row> { R({ "A1", "one" }), R({ "A5", "five" }) }));
}

TEST_F(ExportTest, RangeValuesIgnoreLetterCase)
{
    const std::string eid = FiveRecords();
    const Range range { "code", "a2", "a4", "CODE" };
    EXPECT_EQ(CheckRangeConditions(eid, Operation::Remove, range, messages), RangeCheck::Found);
    ASSERT_TRUE(Export(eid, range).completed);
    EXPECT_EQ(Exported(), "A2,two\r\nA3,three\r\nA4,four\r\n");
}

TEST_F(ExportTest, RangeFollowsTheSortColumnNotTheRangeColumn)
{
    // Sorted by Name: five, four, one, three, two.
    const std::string eid = FiveRecords();
    const Range range { "Code", "A4", "A3", "Name" };
    EXPECT_EQ(CheckRangeConditions(eid, Operation::Export, range, messages), RangeCheck::Found);
    ASSERT_TRUE(Export(eid, range).completed);
    EXPECT_EQ(Exported(), "A4,four\r\nA1,one\r\nA3,three\r\n");
}

TEST_F(ExportTest, StartEqualToEndTakesExactlyTheFirstSuchRecord)
{
    const std::string eid = MakeCodeNameEid(
        dir / "Dup.eid", { R({ "A1", "x" }), R({ "A2", "same" }), R({ "A3", "same" }), R({ "A4", "z" }) });
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

TEST_F(ExportTest, UniqueStartEqualToEndStillAsksAboutTheEnd)
{
    // The end is looked for after the start record, so a value that only the
    // start record has is an end that cannot be found.
    const std::string eid = FiveRecords();
    const Range range { "Code", "A3", "A3", "Code" };
    const eid::RangeLocation loc = eid::LocateRange(eid, range);
    EXPECT_TRUE(loc.startIsEnd);
    EXPECT_EQ(loc.end, -1);
    messages.answer = true;
    EXPECT_EQ(CheckRangeConditions(eid, Operation::Export, range, messages), RangeCheck::ToEndOfSet);
    ASSERT_TRUE(Export(eid, range).completed);
    EXPECT_EQ(Exported(), "A3,three\r\n");
}

TEST_F(ExportTest, UnknownEndIsAskedAndYesRunsToTheLastRecord)
{
    const std::string eid = FiveRecords();
    const Range range { "Code", "A2", "A9", "Code" };
    messages.answer = true;
    EXPECT_EQ(CheckRangeConditions(eid, Operation::Remove, range, messages), RangeCheck::ToEndOfSet);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].kind, MessageKind::Question);
    EXPECT_EQ(messages.messages[0].text,
        "Specified End condition cannot be found in the database!\n"
        "Is it okay to use the end of database as end condition?");
    ASSERT_TRUE(Remove(eid, range).completed);
    EXPECT_EQ(ByCode(eid), (std::vector<Row> { R({ "A1", "one" }) }));

    messages.answer = false;
    const std::string other = MakeCodeNameEid(dir / "Other.eid", { R({ "A2", "x" }) });
    EXPECT_EQ(CheckRangeConditions(other, Operation::Export, range, messages), RangeCheck::EndRefused);
}

TEST_F(ExportTest, UnknownStartIsReportedAndNothingRuns)
{
    const std::string eid = FiveRecords();
    const Range range { "Code", "B1", "A4", "Code" };
    EXPECT_EQ(CheckRangeConditions(eid, Operation::Export, range, messages), RangeCheck::StartMissing);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].id, "548");
    EXPECT_EQ(messages.messages[0].kind, MessageKind::Information);
    EXPECT_EQ(messages.messages[0].text, "Specified Start condition cannot be found in the database!");

    const eid::OperationResult r = Remove(eid, range);
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(Records(eid).size(), 5u);
}

TEST_F(ExportTest, ImportRangeNeedsNoCheck)
{
    const std::string eid = MakeCodeNameEid(dir / "Part.eid");
    EXPECT_EQ(
        CheckRangeConditions(eid, Operation::Import, { "Code", "X", "Y", "" }, messages), RangeCheck::Found);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ExportTest, UnknownColumnOrMissingFileFailsTheCheckQuietly)
{
    const std::string eid = FiveRecords();
    std::string why;
    EXPECT_EQ(CheckRangeConditions(eid, Operation::Export, { "Price", "1", "2", "Code" }, messages, &why),
        RangeCheck::Failed);
    EXPECT_NE(why.find("Price"), std::string::npos);
    EXPECT_EQ(CheckRangeConditions((dir / "none.eid").string(), Operation::Export,
                  { "Code", "1", "2", "Code" }, messages, &why),
        RangeCheck::Failed);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ExportTest, ExportFileThatCannotBeCreatedEndsQuietly)
{
    const std::string eid = FiveRecords();
    std::filesystem::create_directories(dir / "Out.txt");
    const eid::OperationResult r = Export(eid, {});
    EXPECT_FALSE(r.completed);
    EXPECT_FALSE(r.failure.empty());
    EXPECT_TRUE(messages.messages.empty());
    // The database was closed: it opens exclusively again.
    EXPECT_EQ(IntegrityCheck(eid), "ok");
}

TEST_F(ExportTest, EidHeldElsewhereIsNeitherExportedNorTouched)
{
    const std::string eid = FiveRecords();
    db::Database other = db::Database::open(eid, db::OpenMode::Shared);
    EXPECT_FALSE(Export(eid, {}).completed);
    EXPECT_FALSE(Remove(eid, {}).completed);
    other.close();
    EXPECT_EQ(Records(eid).size(), 5u);
}

TEST_F(ExportTest, ProgressCaptionsNameTheOperation)
{
    struct Caption : ProgressSink {
        void setCaption(const std::string& c) override { caption = c; }
        void setRange(std::int64_t, std::int64_t hi) override { max = hi; }
        void setValue(std::int64_t v) override { last = v; }
        std::string caption;
        std::int64_t max = 0, last = 0;
    } p;
    const std::string eid = FiveRecords();
    eid::ExportOptions o { eid, (dir / "Out.txt").string(), ",", {} };
    ASSERT_TRUE(eid::ExportTextFile(o, messages, p).completed);
    EXPECT_EQ(p.caption, "Exporting ...");
    EXPECT_EQ(p.last, p.max);
    ASSERT_TRUE(eid::RemoveRecords({ eid, { "Code", "A1", "A2", "Code" } }, p).completed);
    EXPECT_EQ(p.caption, "Deleting ...");
}

} // namespace
} // namespace rav::test
