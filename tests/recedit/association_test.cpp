// Association over a real project view: the project written from JSON and
// opened through the kernel, the view built from its devices and an EID,
// associations written into the view, and the EICs written back into the
// project file by the library update.
#include "association.h"
#include "cancel_flag.h"
#include "database.h"
#include "lom_catalogue.h"
#include "project_fixture.h"
#include "project_parts.h"
#include "recordset.h"
#include "test_env.h"
#include "toolbox_queries.h"
#include "zareza2v.h"

#include <gtest/gtest.h>

namespace rav::recedit
{
namespace
{

using test::queryRows;
using test::Rows;

class Association : public ::testing::Test
{
protected:
    void SetUp() override
    {
        cancelFlag().store(false);
        test::makeEid(eid(), { "Code", "Name", "Maker" }, "Code",
            { { "RES-10K", "Resistor 10k", "Acme" }, { "CAP-1U", "Cap 1u", "<null>" },
                { "LED-R", "Red LED", "Glow" } });
        const std::vector<test::TestDevice> devices { { "R10K", "R0603", { "Resistor", "RES-10K", "RSIM" } },
            { "C1U", "C0603", { "Cap", "", "" } }, { "LEDR", "LED0603", { "LED" } },
            { "STAR", "X", { "*", "", "" } } };
        ASSERT_TRUE(test::openProject(
            dir / "board.dpz", test::projectJson("Board", devices, test::placedOnce(devices))));
        build = BuildProjectView(eid(), dir.path().string(), catalogue, progress, messages);
        ASSERT_TRUE(build.built) << build.error;
        view = db::Database::open(build.tempDbName);
        pv = view.openRecordset(makeMyQuerySTr(1, "Like", "*", 1));
        eidDb = db::Database::open(eid());
        sr = eidDb.openRecordset(WholeEidQuery("Code"));
    }
    void TearDown() override
    {
        pv.close();
        view.close();
        Z_CloseProject();
        kernel::ProjectParts::instance().reset();
    }
    std::string eid() const { return (dir / "Part.eid").string(); }
    // Goes to the part and the EID record of these names.
    void select(const std::string& part, const std::string& code)
    {
        ASSERT_TRUE(pv.findFirst("[field1] = \"" + part + "\""));
        if (!code.empty()) {
            ASSERT_TRUE(sr.findFirst("[Code] = \"" + code + "\""));
        }
    }
    Rows row(const std::string& part)
    {
        return queryRows(build.tempDbName, "SELECT * FROM Device WHERE [field1] = \"" + part + "\"");
    }
    // The EIC of a device as the kernel reads it from the project now open.
    std::string projectEic(const std::string& device)
    {
        auto& parts = kernel::ProjectParts::instance();
        parts.CollectProjectDevices();
        for (std::size_t i = 1; i <= parts.PartList().Count(); ++i)
            if (parts.PartList()[i].PartName == device)
                return parts.PartList()[i].Eic;
        ADD_FAILURE() << "no device " << device;
        return {};
    }

    test::ScratchDir dir;
    lom::FieldCatalogue catalogue;
    test::RecordingProgress progress;
    RecordingMessageSink messages;
    lom::BuildResult build;
    db::Database view;
    db::Recordset pv;
    db::Database eidDb;
    db::Recordset sr;
};

TEST_F(Association, TheProjectViewHoldsTheDevicesAndTheirRecords)
{
    EXPECT_EQ(build.eicFieldName, "Code");
    EXPECT_EQ(row("R10K"),
        (Rows { { "R10K", "Resistor", "RES-10K", "RSIM", "R0603", "RES-10K", "Resistor 10k", "Acme" } }));
    EXPECT_EQ(row("C1U"), (Rows { { "C1U", "Cap", "", "", "C0603", "<null>", "<null>", "<null>" } }));
    EXPECT_EQ(progress.lastValue, 4) << "left at the number of parts";
    EXPECT_EQ(pv.recordCount(), 4);
    // The project filter "<>" "*" keeps the rows whose column is not the text "*".
    EXPECT_EQ(queryRows(build.tempDbName, makeMyQuerySTr(2, "<>", "*", 1)).size(), 3u);
}

TEST_F(Association, AutomaticModeCopiesTheRecordAndKeepsValuesWhereItHasNull)
{
    // The part first gets Acme as its maker from the resistor...
    select("C1U", "RES-10K");
    ASSERT_TRUE(AssociateAutomatic(pv, sr, "Code"));
    // ...then the capacitor, whose maker is Null: Acme stays.
    select("C1U", "CAP-1U");
    ASSERT_TRUE(AssociateAutomatic(pv, sr, "Code"));
    EXPECT_EQ(row("C1U")[0],
        (std::vector<std::string> { "C1U", "Cap", "CAP-1U", "", "C0603", "CAP-1U", "Cap 1u", "Acme" }));

    // Without a current row nothing is written.
    sr.moveLast();
    sr.moveNext();
    EXPECT_FALSE(BothSelected(&pv, &sr));
    EXPECT_FALSE(AssociateAutomatic(pv, sr, "Code"));
}

TEST_F(Association, ManualModeFindsTheRecordOrAsksToStoreTheEicAlone)
{
    select("LEDR", "");
    EXPECT_EQ(AssociateManual(pv, sr, "Code", "LED-R", messages), ManualOutcome::Associated);
    EXPECT_EQ(sr.value("Code"), db::Value("LED-R")) << "the search result moves to the record";
    EXPECT_EQ(row("LEDR")[0][7], "Glow");
    EXPECT_TRUE(messages.messages.empty());

    messages.answer = false;
    EXPECT_EQ(AssociateManual(pv, sr, "Code", "NEW-1", messages), ManualOutcome::Declined);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text,
        "Specified EIC not found in the EID file. Continue Updating the Project Library with the Specified "
        "EIC : NEW-1");
    EXPECT_EQ(row("LEDR")[0][2], "LED-R");

    messages.answer = true;
    EXPECT_EQ(AssociateManual(pv, sr, "Code", " NEW-1 ", messages), ManualOutcome::AssociatedWithoutRecord);
    EXPECT_EQ(
        row("LEDR")[0], (std::vector<std::string> { "LEDR", "LED", " NEW-1 ", "", "LED0603", "", "", "" }));

    EXPECT_EQ(AssociateManual(pv, sr, "Code", "   ", messages), ManualOutcome::NoEic);

    // A view row whose part name is blank.
    messages.messages.clear();
    pv.edit();
    pv.setValue("field1", db::Value("  "));
    pv.update();
    EXPECT_EQ(AssociateManual(pv, sr, "Code", "LED-R", messages), ManualOutcome::NoPart);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(Association, LibraryUpdateWritesTrimmedEicsIntoTheProjectFile)
{
    select("LEDR", "");
    messages.answer = true;
    // Typed with blanks around it: not among the records, stored as typed.
    ASSERT_EQ(AssociateManual(pv, sr, "Code", "  LED-R ", messages), ManualOutcome::AssociatedWithoutRecord);
    messages.messages.clear();
    progress = {};

    const LibraryUpdateResult r = UpdateProjectLibrary(view, progress, messages);
    EXPECT_EQ(r.rows, 4);
    EXPECT_EQ(r.updates, 2) << "R10K keeps RES-10K, LEDR gets LED-R; the others have none";
    EXPECT_FALSE(r.cancelled);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(progress.maximum, 4);
    EXPECT_EQ(progress.lastValue, 5);

    Z_CloseProject();
    ASSERT_NE(Z_OpenProject((dir / "board.dpz").string().c_str()), 0) << Z_LastError();
    EXPECT_EQ(projectEic("LEDR"), "LED-R");
    EXPECT_EQ(projectEic("R10K"), "RES-10K");
    EXPECT_EQ(projectEic("C1U"), "");
}

TEST_F(Association, AViewWithoutEicsUpdatesNothingAndACancelStopsAfterTheCurrentRow)
{
    view.execute("UPDATE Device SET field3 = Null");
    LibraryUpdateResult r = UpdateProjectLibrary(view, progress, messages);
    EXPECT_EQ(r.rows, 4);
    EXPECT_EQ(r.updates, 0);

    view.execute("UPDATE Device SET field3 = \"NEW\"");
    progress = {};
    progress.cancelAtYield = 2;
    r = UpdateProjectLibrary(view, progress, messages);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.rows, 2);
    EXPECT_EQ(r.updates, 2);
    EXPECT_FALSE(cancelFlag().load()) << "the update clears the flag it stopped on";
    int withNew = 0;
    for (const char* device : { "R10K", "C1U", "LEDR", "STAR" })
        withNew += projectEic(device) == "NEW";
    EXPECT_EQ(withNew, 2);
}

TEST_F(Association, TheLibraryUpdateAsksWithNoAsDefaultAndEndsWithItsResult)
{
    // Nothing to change: said so, and no question.
    EXPECT_FALSE(ConfirmProjectLibraryUpdate(PlanProjectLibraryUpdate(view), messages));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].kind, MessageKind::Information);

    view.execute("UPDATE Device SET field3 = \"NEW\"");
    const auto plan = PlanProjectLibraryUpdate(view);
    ASSERT_EQ(plan.size(), 4u);
    for (const bool answer : { false, true }) {
        messages = {};
        messages.answer = answer;
        EXPECT_EQ(ConfirmProjectLibraryUpdate(plan, messages), answer);
        ASSERT_EQ(messages.messages.size(), 1u);
        const UserMessage& q = messages.messages[0];
        EXPECT_EQ(q.kind, MessageKind::Question);
        EXPECT_TRUE(q.noByDefault) << "Enter must not write into the project";
        EXPECT_TRUE(q.text.starts_with("Write 4 codes into the project?\n\n")) << q.text;
    }

    struct Case {
        LibraryUpdateResult result;
        std::string text;
    } const cases[] = {
        { { 4, 4, false }, "Codes written into the project: 4." },
        { { 2, 2, true }, "Stopped after 2 of the project's devices; the codes written so far stay." },
    };
    for (const Case& c : cases) {
        messages = {};
        ReportProjectLibraryUpdate(plan.size(), c.result, messages);
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].text, c.text);
    }
}

TEST_F(Association, NoPartsGiveNoProjectView)
{
    pv.close();
    view.close();
    Z_CloseProject();
    ASSERT_TRUE(test::openProject(dir / "empty.dpz", test::projectJson("Empty", {}, {})));
    const lom::BuildResult empty
        = BuildProjectView(eid(), dir.path().string(), catalogue, progress, messages);
    EXPECT_TRUE(empty.noParts && !empty.built);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].id, "37122");
}

} // namespace
} // namespace rav::recedit
