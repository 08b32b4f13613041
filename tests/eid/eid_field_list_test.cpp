// The EID wizard's state without its window: the field list of a new EID
// and which page Next leads to and when it may be pressed.
#include "eid_field_list.h"

#include <gtest/gtest.h>

#include <tuple>

namespace rav::eid
{
namespace
{

using E = FieldEntryError;

TEST(EidFieldList, AddsRenamesAndRemovesFieldsByTheWizardsRules)
{
    EidFieldList list;
    EXPECT_EQ(list.rows(), 1); // the entry row alone
    EXPECT_TRUE(list.isEntryRow(list.current()));
    EXPECT_FALSE(list.removeCurrent());

    // One entry after the other on the current row; a refused one changes
    // nothing and leaves the current row where it was.
    struct Step {
        int row; // -1: the entry row
        const char* name;
        const char* size;
        E error;
        std::vector<std::string> names; // afterwards
    };
    const Step steps[] = {
        { -1, "Code", "20", E::None, { "Code" } },
        { -1, "Price", "0", E::InvalidSize, { "Code" } },
        { -1, "Price", "256", E::InvalidSize, { "Code" } },
        { -1, "Price", "abc", E::InvalidSize, { "Code" } },
        { -1, "Price", "-3", E::InvalidSize, { "Code" } },
        { -1, "Part No", "10", E::BlankInName, { "Code" } },
        { -1, "CODE", "10", E::DuplicateName, { "Code" } },
        { -1, "Price", "12 chars", E::None, { "Code", "Price" } },
        { -1, "Note", "255", E::None, { "Code", "Price", "Note" } },
        { 0, "CODE", "20", E::None, { "CODE", "Price", "Note" } }, // its own name in other case
        { 0, "note", "20", E::DuplicateName, { "CODE", "Price", "Note" } },
        { 1, "Price", "8,6", E::None, { "CODE", "Price", "Note" } },
    };
    for (const Step& s : steps) {
        ASSERT_TRUE(list.setCurrent(s.row < 0 ? list.count() : s.row));
        const int before = list.current();
        EXPECT_EQ(list.commit(s.name, s.size), s.error) << s.name << " " << s.size;
        EXPECT_EQ(list.names(), s.names) << s.name;
        EXPECT_EQ(list.current(), s.error == E::None ? list.count() : before) << s.name;
    }
    EXPECT_EQ(list.fields()[1].size, 9); // the number at the start, rounded
    EXPECT_EQ(list.fields()[2].size, 255);
    EXPECT_FALSE(list.setCurrent(4));
    EXPECT_FALSE(list.setCurrent(-1));

    // The EIC field stays on its field while others go; its own removal clears it.
    list.setEicField(2);
    EXPECT_EQ(list.eicName(), "Note");
    ASSERT_TRUE(list.setCurrent(1));
    EXPECT_TRUE(list.removeCurrent());
    EXPECT_EQ(list.names(), (std::vector<std::string> { "CODE", "Note" }));
    EXPECT_EQ(list.current(), 2);
    EXPECT_EQ(list.eicName(), "Note");
    ASSERT_TRUE(list.setCurrent(1));
    EXPECT_TRUE(list.removeCurrent());
    EXPECT_EQ(list.eicField(), -1);
    list.setEicField(5);
    EXPECT_EQ(list.eicField(), -1);

    // Each refusal names its message and the box to correct.
    for (const auto& [e, id, sizeBox] : { std::tuple { E::InvalidSize, "5416", true },
             std::tuple { E::DuplicateName, "5417", false }, std::tuple { E::BlankInName, "5418", false } })
        EXPECT_TRUE(RefusalOf(e) && RefusalOf(e)->id == std::string(id) && RefusalOf(e)->sizeBox == sizeBox)
            << id;
    EXPECT_FALSE(RefusalOf(E::None));
}

TEST(EidWizardSteps, NextFollowsThePathAndWhatEachPageNeeds)
{
    using P = WizardPath;
    using O = Operation;
    const std::pair<WizardChoices, bool> cases[] = {
        { { .createNew = true, .newFile = "Part.eid" }, true },
        { { .createNew = true }, false },
        { { .createNew = false, .newFile = "Part.eid" }, false }, // the existing file is what counts
        { { .createNew = false, .existingIsEid = true }, true },
        { { .path = P::Create, .step = 0 }, false },
        { { .path = P::Create, .step = 0, .fieldCount = 1 }, true },
        { { .path = P::Create, .step = 1, .fieldCount = 2 }, true },
        { { .path = P::Edit, .step = 0 }, true }, // removal needs no text file
        { { .path = P::Edit, .step = 0, .operation = O::Export }, false },
        { { .path = P::Edit, .step = 0, .operation = O::Import, .textFile = "In.txt" }, true },
        { { .path = P::Edit, .step = 1, .operation = O::Import }, true },
    };
    for (const auto& [choices, next] : cases)
        EXPECT_EQ(NextAllowed(choices), next) << static_cast<int>(choices.path) << " " << choices.step;

    // Next shows the next page until the last page, which builds or runs;
    // each page has its own help.
    const std::tuple<P, int, NextAction, long> pages[] = { { P::None, -1, NextAction::ShowPage, 1 },
        { P::Create, 0, NextAction::ShowPage, 2 }, { P::Create, 1, NextAction::CreateFile, 3 },
        { P::Edit, 0, NextAction::ShowPage, 4 }, { P::Edit, 2, NextAction::RunOperation, 6 } };
    for (const auto& [path, step, action, help] : pages) {
        EXPECT_EQ(ActionOfNext(path, step), action) << step;
        EXPECT_EQ(HelpSubMenu(path, step), help) << step;
    }
    EXPECT_TRUE(!BackAllowed(-1) && !BackAllowed(0) && BackAllowed(1));
}

} // namespace
} // namespace rav::eid
