// The List of Materials wizard's state and work without its window, on the
// demo project and EID. Catalogue numbers: 1 Part, 2 Part Full Name, 3
// External Index Code, 6 Component Name, 8 Component Value, 15 Price.
#include "cancel_flag.h"
#include "lom_wizard_fixture.h"
#include "lom_wizard_model.h"
#include "test_env.h"

#include <gtest/gtest.h>

namespace rav::lom
{
namespace
{

namespace fs = std::filesystem;
using Outcome = LomWizardModel::Outcome;
using Numbers = std::vector<int>;

Numbers numbers(const std::vector<LomWizardModel::Field>& fields)
{
    Numbers out;
    for (const auto& f : fields)
        out.push_back(f.number);
    return out;
}

// Presses Cancel at yield number `atYield`, or (0) at the first yield after
// the build (which ends by clearing its caption); checks that nothing else
// may be pressed meanwhile.
struct CancelPress final : ProgressSink {
    CancelPress(LomWizardModel& m, int atYield)
        : model(m)
        , at(atYield)
    {
    }
    void setCaption(const std::string& caption) override { built = built || caption.empty(); }
    void yield() override
    {
        if (!pressed && (++yields == at || (at == 0 && built))) {
            pressed = true;
            EXPECT_FALSE(model.canNext() || model.canBack() || model.canPreview() || !model.working());
            EXPECT_FALSE(model.cancel()); // the work stops, the wizard stays
        }
    }
    LomWizardModel& model;
    int at, yields = 0;
    bool built = false, pressed = false;
};

class WizardModel : public ::testing::Test
{
protected:
    void SetUp() override { lomtest::OpenDemo(dir.path()); }
    void TearDown() override
    {
        DeleteTempDatabase(lomState().tempDbName);
        Z_CloseProject();
    }
    // The field page, `output` as the LOM file and `fields` chosen (in
    // catalogue order).
    void toFields(LomWizardModel& m, const Numbers& fields, const char* output = "LOM.txt")
    {
        ASSERT_TRUE(m.go(1));
        m.setOutputFile((dir / output).string(), true);
        Numbers rows;
        for (std::size_t r = 0; r < m.available().size(); ++r)
            if (std::find(fields.begin(), fields.end(), m.available()[r].number) != fields.end())
                rows.push_back(static_cast<int>(r));
        m.add(rows, -1);
    }
    std::string file(const char* name) const { return (dir / name).string(); }

    rav::test::ScratchDir dir;
    RecordingMessageSink messages;
    NullProgressSink quiet;
};

TEST_F(WizardModel, PagesOpenOnlyWithWhatTheyNeed)
{
    rav::test::writeFile(dir / "text.eid", "not a database");
    for (const std::string& current : { std::string(), file("text.eid"), file("demo.eid") }) {
        shell::shellState().DBaseName = current;
        LomWizardModel m;
        const bool usable = current == file("demo.eid");
        EXPECT_EQ(m.eid(), usable ? current : "");
        EXPECT_EQ(m.canNext(), usable);
        m.setEid(file("text.eid"));
        EXPECT_FALSE(m.canNext() || m.go(1));
        m.setEid(file("demo.eid"));
        EXPECT_TRUE(m.canNext());
    }
    LomWizardModel m;
    EXPECT_EQ(LomWizardModel::projectText(), "SENSOR-NODE-F411 rev B.dpz [Main]");
    EXPECT_FALSE(m.canBack() || m.canPreview());
    m.typeEid(file("text.eid")); // typed: found out by Next
    EXPECT_TRUE(m.canNext());
    EXPECT_FALSE(m.go(1) || m.canNext());
    m.typeEid(" " + file("demo.eid"));
    ASSERT_TRUE(m.go(1));
    EXPECT_TRUE(m.canBack() && !m.canNext()); // no field, no file
    m.add({ 0 }, -1);
    EXPECT_FALSE(m.canNext() || m.go(2)); // no file
    m.setOutputFile("  " + file("LOM.txt") + " ", false);
    EXPECT_EQ(m.outputFile(), file("LOM.txt"));
    ASSERT_TRUE(m.go(2));
    EXPECT_TRUE(m.canNext() && m.canBack() && m.canPreview());
    EXPECT_NE(m.summary().find("To LOM file : " + file("LOM.txt")), std::string::npos);
}

TEST_F(WizardModel, ChosenFieldsAddRemoveAndMoveWithTheSortField)
{
    LomWizardModel m;
    ASSERT_TRUE(m.go(1));
    m.add({ 2, 0, 1 }, -1);
    EXPECT_EQ(numbers(m.chosen()), (Numbers { 1, 2, 3 }));
    EXPECT_EQ(m.sortField(), 1); // the first chosen unless one is picked
    m.add({ 11, 0 }, 2); // before the selected EIC, in their available order
    EXPECT_EQ(numbers(m.chosen()), (Numbers { 1, 2, 4, 15, 3 }));
    m.remove({ 2, 0 }); // back to the end of the available list
    EXPECT_EQ(numbers(m.chosen()), (Numbers { 2, 15, 3 }));
    EXPECT_EQ(numbers(m.available()).back(), 4);
    EXPECT_EQ(m.sortField(), 2); // the sort field went: the first chosen sorts

    m.setSortField(15);
    const struct {
        Numbers rows;
        int delta;
        Numbers order, now;
    } moves[] = {
        { { 2 }, -1, { 2, 3, 15 }, { 1 } }, // the edge cases are the shared move's own
        { { 0, 1 }, 1, { 15, 2, 3 }, { 1, 2 } },
    };
    for (const auto& c : moves) {
        EXPECT_EQ(m.move(c.rows, c.delta), c.now);
        EXPECT_EQ(numbers(m.chosen()), c.order);
    }
    EXPECT_EQ(m.sortField(), 15);
}

TEST_F(WizardModel, QueryDelimiterAndJob)
{
    LomWizardModel m;
    toFields(m, { 1, 15 });
    m.setSortField(15);
    m.setDelimiterText("xyz");
    const LomQuery q = m.makeQuery();
    EXPECT_EQ(q.sql, "SELECT Device.field1,Device.field15 FROM Device ORDER BY Device.field15;");
    EXPECT_EQ(q.delimiter, "x");
    EXPECT_EQ(m.delimiterText(), "x");
    for (const auto& [name, text] : { std::pair { "LOM.txt", true }, { "LOM.csv", false }, { "LOM.XLSX", false },
             { "lom.html", false } }) {
        m.setOutputFile(name, true);
        EXPECT_EQ(m.delimiterEnabled(), text) << name; // only the text file has one
        EXPECT_EQ(m.job().format == LomFormat::Text, text) << name;
    }
    // Boards multiply quantities, which only grouped lines have; a profile
    // brings its own columns and grouping.
    m.multiplier = 3;
    EXPECT_TRUE(m.job().group);
    EXPECT_EQ(m.job().fields, (Numbers { 1, 15 }));
    m.profile = "buyer";
    m.dnp = DnpMode::Exclude;
    const LomJobOptions job = m.job();
    EXPECT_TRUE(job.profile.has_value() && !job.group && job.dnp == DnpMode::Exclude);
}

TEST_F(WizardModel, SameEidKeepsTheWorkAnotherStartsAgain)
{
    LomWizardModel m;
    toFields(m, { 1, 6 });
    ASSERT_TRUE(m.go(2));
    EXPECT_EQ(m.build(quiet, messages), Outcome::Done);
    ASSERT_TRUE(m.go(1) && m.go(0));
    m.setEid(file("demo.eid"));
    EXPECT_TRUE(lomState().lomDatabaseBuilt && m.fieldsLoaded());
    ASSERT_TRUE(m.go(1) && m.go(2));
    EXPECT_EQ(numbers(m.chosen()), (Numbers { 1, 6 }));
    EXPECT_EQ(m.build(quiet, messages), Outcome::Done);
    EXPECT_EQ(m.buildCount(), 1);

    ASSERT_TRUE(m.go(1) && m.go(0));
    m.setEid(file("other.eid"));
    EXPECT_FALSE(lomState().lomDatabaseBuilt || m.fieldsLoaded());
    ASSERT_TRUE(m.go(1));
    EXPECT_EQ(shell::shellState().DBaseName, file("other.eid"));
    EXPECT_TRUE(m.chosen().empty() && m.available().size() == 15u);
}

// A typed name of an existing file is replaced only after a question (No by
// default); a failed write keeps every choice; a written file's choices are
// offered again for the same project, the fields only with the same EID.
TEST_F(WizardModel, FinishAsksWritesAndTheNextRunOffersTheChoicesAgain)
{
    rav::test::writeFile(dir / "LOM.csv", "keep");
    {
        LomWizardModel m;
        toFields(m, { 1, 6, 8 }, "LOM.csv");
        m.setOutputFile(file("LOM.csv"), false); // typed
        m.move({ 2 }, -1);
        m.setSortField(6);
        m.setDelimiterText(";");
        m.group = m.check = true;
        ASSERT_TRUE(m.go(2));
        EXPECT_EQ(m.finish(quiet, messages), Outcome::Failed); // No
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_TRUE(messages.messages[0].id == "916140" && messages.messages[0].noByDefault);
        EXPECT_EQ(rav::test::readFile(dir / "LOM.csv"), "keep");
        messages.answer = true;
        ASSERT_EQ(m.finish(quiet, messages), Outcome::Done) << m.lastError();
        const std::string report = m.writtenReport().text;
        EXPECT_EQ(report.substr(0, report.find('\n')), "27 lines (41 parts) written to " + file("LOM.csv") + ".");
        EXPECT_NE(report.find("The check found"), std::string::npos);

        m.setOutputFile(file("gone/LOM.txt"), true);
        EXPECT_EQ(m.finish(quiet, messages), Outcome::Failed);
        EXPECT_TRUE(messages.messages.back().id == "916017" && m.lastError().find("gone") != std::string::npos);
    }
    for (const char* eid : { "demo.eid", "other.eid" }) {
        LomWizardModel m;
        EXPECT_EQ(m.outputFile(), file("LOM.csv"));
        EXPECT_TRUE(m.delimiterText() == ";" && m.group);
        m.setEid(file(eid));
        ASSERT_TRUE(m.go(1));
        const bool same = std::string(eid) == "demo.eid";
        EXPECT_EQ(numbers(m.chosen()), same ? (Numbers { 1, 8, 6 }) : Numbers {}) << eid;
        EXPECT_EQ(m.sortField(), same ? 6 : 0) << eid;
    }
}

// Cancel during the build, the file or the preview's lines stops the work: no
// temporary database of a half build, no file, the cancel flag down again,
// every choice kept, and the next try works.
TEST_F(WizardModel, CancelledWorkLeavesNothingHalfDoneAndTheWizardUsable)
{
    const struct {
        bool preview;
        const char* output;
        int atYield;
        std::size_t tempLeft; // cancelled after the build: the full build stays
    } cases[] = { { false, "LOM.txt", 5, 0 }, { false, "LOM.txt", 0, 1 }, { false, "LOM.csv", 0, 1 },
        { true, "LOM.txt", 5, 0 }, { true, "LOM.csv", 0, 1 } };
    for (const auto& c : cases) {
        const std::string what = std::string(c.preview ? "preview " : "finish ") + c.output;
        LomWizardModel m;
        toFields(m, { 1, 8 }, c.output);
        ASSERT_TRUE(m.go(2));
        CancelPress press(m, c.atYield);
        LomTable lines;
        EXPECT_EQ(c.preview ? m.previewLines(press, messages, lines) : m.finish(press, messages), Outcome::Cancelled)
            << what;
        EXPECT_TRUE(press.pressed && lines.rows.empty()) << what;
        EXPECT_FALSE(fs::exists(dir / c.output) || cancelFlag().load() || m.working()) << what;
        EXPECT_EQ(lomtest::TempFiles(dir.path()), c.tempLeft) << what;
        EXPECT_TRUE(m.canNext() && m.canBack() && m.canPreview()) << what;
        EXPECT_EQ(numbers(m.chosen()), (Numbers { 1, 8 })) << what;
        EXPECT_EQ(m.previewLines(quiet, messages, lines), Outcome::Done) << what;
        EXPECT_EQ(m.finish(quiet, messages), Outcome::Done) << what;
        DeleteTempDatabase(lomState().tempDbName);
        fs::remove(dir / c.output);
    }
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(LomWizardModel().cancel()); // outside work Cancel closes the wizard
}

} // namespace
} // namespace rav::lom
