// The tool box's query texts, run against real EIDs and project views, and
// the field lists and captions built from the tool-box field catalogue.
#include "association.h"
#include "database.h"
#include "lom_catalogue.h"
#include "project_fixture.h"
#include "recedit_view.h"
#include "recordset.h"
#include "test_env.h"
#include "toolbox_queries.h"
#include "view_tabs.h"
#include "zareza2v.h"

#include <gtest/gtest.h>

namespace rav::recedit
{
namespace
{

using test::queryRows;
using test::Rows;

class ToolBoxQueries : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::makeEid(eid(), { "Code", "Name", "Maker" }, "Code",
            { { "R1", "Resistor", "Acme" }, { "C7", "Cap", "<null>" }, { "XR1Y", "Other", "Zed" },
                { "Q\"2", "Quoted", "Acme" } });
        ASSERT_TRUE(lom::BuildToolBoxCatalogue(catalogue, eid()));
    }
    std::string eid() const { return (dir / "Part.eid").string(); }

    test::ScratchDir dir;
    lom::FieldCatalogue catalogue;
};

TEST_F(ToolBoxQueries, EidFilterSelectsAndSortsTheEid)
{
    // Entries 6.. are the EID's columns: 6 Code, 7 Name, 8 Maker.
    const std::string all = makeFindQuerySTr(catalogue, 6, "Like", "*", 7);
    EXPECT_EQ(all, "SELECT * FROM Device WHERE [Device]![Code] Like \"*\" ORDER BY [Device]![Name];");
    const Rows rows = queryRows(eid(), all);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][1], "Cap");
    EXPECT_EQ(rows[3][1], "Resistor");

    EXPECT_EQ(queryRows(eid(), makeFindQuerySTr(catalogue, 8, "=", "acme", 6)).size(), 2u)
        << "texts compare without regard to case";
    EXPECT_EQ(queryRows(eid(), makeFindQuerySTr(catalogue, 6, ">=", "R", 6)).size(), 2u);
    EXPECT_EQ(queryRows(eid(), WholeEidQuery("Code"))[0][0], "C7") << "the whole EID in EIC order";
    // Quotes in a value are doubled and still match.
    EXPECT_EQ(QuotedValue("a\"b"), "\"a\"\"b\"");
    const Rows quoted = queryRows(eid(), makeFindQuerySTr(catalogue, 6, "=", "Q\"2", 6));
    ASSERT_EQ(quoted.size(), 1u);
    EXPECT_EQ(quoted[0][1], "Quoted");
}

TEST_F(ToolBoxQueries, NamesWithQuotesAndBracketsAreEscaped)
{
    const auto odd = dir / "Odd.eid";
    test::makeEid(odd, { "Co\"de", "a]b" }, "Co\"de", { { "K1", "x]y" }, { "K2", "z" } });
    lom::FieldCatalogue c;
    ASSERT_TRUE(lom::BuildToolBoxCatalogue(c, odd.string()));
    const std::string find = makeFindQuerySTr(c, 7, "=", "x]y", 6);
    EXPECT_EQ(find, "SELECT * FROM Device WHERE [Device]![a]]b] = \"x]y\" ORDER BY [Device]![Co\"de];");
    const Rows rows = queryRows(odd.string(), find);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "K1");
    EXPECT_EQ(queryRows(odd.string(), WholeEidQuery("Co\"de")).size(), 2u);
    EXPECT_EQ(queryRows(odd.string(), "SELECT * FROM Device WHERE " + EicCriteria("a]b", "z")).size(), 1u);
}

TEST_F(ToolBoxQueries, SearchTakesItsValueFromTheCurrentProjectRow)
{
    // A project view stand-in with the columns the search reads.
    const auto pv = dir / "view.db";
    test::makeEid(pv, { "field1", "field2", "field3", "field4", "field5", "field6" }, "field1",
        { { "PART", "Full", "R1", "", "", "R1" }, { "NULLPART", "x", "<null>", "", "", "<null>" } });
    db::Database d = db::Database::open(pv.string());
    db::Recordset rs = d.openRecordset("SELECT * FROM Device ORDER BY Device.field1;");
    rs.moveLast(); // PART

    Rows rows = queryRows(eid(), makeSearchQuerySTr(&rs, catalogue, 6, "Like", 6, "Code"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "R1");
    EXPECT_EQ(rows[1][0], "XR1Y");

    // A Null value with Like matches everything (two stars).
    rs.moveFirst(); // NULLPART
    const std::string nullLike = makeSearchQuerySTr(&rs, catalogue, 6, "LIKE", 7, "Code");
    EXPECT_NE(nullLike.find("LIKE \"**\""), std::string::npos) << nullLike;
    EXPECT_EQ(queryRows(eid(), nullLike).size(), 4u);

    // No current row, or no record set: no text at all.
    rs.moveLast();
    rs.moveNext();
    ASSERT_TRUE(rs.eof());
    EXPECT_EQ(makeSearchQuerySTr(&rs, catalogue, 6, "=", 6, "Code"), "");
    EXPECT_EQ(makeSearchQuerySTr(nullptr, catalogue, 6, "=", 6, "Code"), "");
}

TEST_F(ToolBoxQueries, FieldListsFollowTheCatalogue)
{
    const FieldLists lists = FillFieldLists(catalogue);
    ASSERT_EQ(lists.projectItems.size(), 8u);
    EXPECT_EQ(lists.projectItems[2], (ListItem { "External Index Code-P", 3 }));
    ASSERT_EQ(lists.eidItems.size(), 3u);
    EXPECT_EQ(lists.eidItems[0], (ListItem { "Code-D", 6 }));
    EXPECT_EQ(lists.eidItems[2], (ListItem { "Maker-D", 8 }));
    EXPECT_TRUE(lists.refreshEnabled && lists.findEnabled && lists.filterEnabled);
    EXPECT_EQ(ProjectViewColumnCaptions(catalogue, { "field1", "field3", "field8", "field99", "other" }),
        (std::vector<std::string> { "Part-P", "External Index Code-P", "Maker-D", "field99", "other" }));

    // An EID with only its EIC still has one EID entry.
    const auto only = dir / "Only.eid";
    test::makeEid(only, { "Code" }, "Code", {});
    lom::FieldCatalogue c;
    ASSERT_TRUE(lom::BuildToolBoxCatalogue(c, only.string()));
    const FieldLists one = FillFieldLists(c);
    ASSERT_EQ(one.eidItems.size(), 1u);
    EXPECT_EQ(one.eidItems[0].number, 6);

    // A catalogue of the project entries alone leaves the EID lists empty.
    lom::FieldCatalogue projectOnly;
    projectOnly.reset(lom::CatalogueKind::ToolBox, {});
    const FieldLists none = FillFieldLists(projectOnly);
    EXPECT_TRUE(none.eidItems.empty());
    EXPECT_FALSE(none.filterEnabled || none.findEnabled);
    EXPECT_TRUE(none.refreshEnabled);
}

// The Project View and EID View tabs as models: their lists, the filter
// chosen, the query and texts it makes, and what their buttons allow.
TEST_F(ToolBoxQueries, ViewTabsKeepTheirFilterAndSayWhatIsAllowed)
{
    const FieldLists lists = FillFieldLists(catalogue);
    EidViewTab view;
    EXPECT_FALSE(view.canFilter()) << "no EID yet";
    view.open(eid(), lists);
    EXPECT_TRUE(view.canFilter() && view.canChooseFile());
    // New lists start on their first field, Like "*": every record.
    EXPECT_EQ(view.filter().where(), 0);
    EXPECT_EQ(view.filter().operatorText(), "Like");
    EXPECT_EQ(view.filterText(catalogue), "");
    EXPECT_EQ(queryRows(eid(), view.query(catalogue)).size(), 4u);
    EXPECT_EQ(view.status(4), "Records: 4  (no filter)");

    struct Case {
        int where;
        int op; // index into Operators()
        const char* value;
        int sort;
        std::size_t rows;
        std::string filter;
        std::string sortField;
    };
    const Case cases[] = {
        { 2, 3, "acme", 1, 2, "Maker = \"acme\"", "Name" }, { 0, 2, "R", 0, 2, "Code >= \"R\"", "Code" },
        { 1, 0, "*e*", 2, 3, "Name Like \"*e*\"", "Maker" },
        { 0, 4, "*", 0, 4, "Code <> \"*\"", "Code" }, // "<>" a star: every code that is not "*"
        { 9, 9, "*", -1, 0, "", "" }, // out of range: no field, "Like", no sort
    };
    for (const Case& c : cases) {
        view.filter().setWhere(c.where);
        view.filter().setOperator(c.op);
        view.filter().setValue(c.value);
        view.filter().setSort(c.sort);
        if (!view.filter().complete()) {
            EXPECT_EQ(view.filter().where(), -1);
            EXPECT_EQ(view.filter().operatorText(), "Like");
            continue;
        }
        EXPECT_EQ(queryRows(eid(), view.query(catalogue)).size(), c.rows) << c.filter;
        EXPECT_EQ(view.filterText(catalogue), c.filter);
        EXPECT_EQ(view.sortField(catalogue), c.sortField);
        // The status line names the filter the grid shows, not one still being chosen.
        EXPECT_EQ(view.status(1).find(c.filter), std::string::npos);
        view.filterShown(catalogue);
        EXPECT_EQ(view.status(1), "Records: 1  Filter: " + c.filter);
    }
    // A header click moves the sort field when the list has that field.
    EXPECT_TRUE(view.followSort(catalogue, "Maker"));
    EXPECT_EQ(view.filter().sort(), 2);
    EXPECT_FALSE(view.followSort(catalogue, "field1"));
    EXPECT_EQ(view.filter().sort(), 2);

    // An edit in progress keeps the grid: no filter, no other EID.
    view.setEditPending(true);
    EXPECT_FALSE(view.canFilter() || view.canChooseFile());
    view.setEditPending(false);
    using C = EidViewTab::Choice;
    EXPECT_EQ(std::vector({ view.judge("", true), view.judge(eid(), true), view.judge("junk.eid", false),
                  view.judge("Other.eid", true) }),
        std::vector({ C::Unchanged, C::Unchanged, C::Refused, C::Accepted }));
    // Another EID shows every record.
    view.open(eid(), lists);
    EXPECT_EQ(view.status(1234), "Records: 1,234  (no filter)");

    // The project view: its lists and its query over field1..fieldN.
    ProjectViewTab project;
    EXPECT_FALSE(project.canRefresh());
    project.setLists(lists);
    EXPECT_TRUE(project.canRefresh());
    project.filter().setWhere(2);
    project.filter().setOperator(3);
    project.filter().setValue("R1");
    project.filter().setSort(0);
    EXPECT_EQ(project.query(), makeMyQuerySTr(3, "=", "R1", 1));
    project.setLists(lists); // new lists: every row again
    EXPECT_EQ(project.query(), makeMyQuerySTr(1, "Like", "*", 1));
}

TEST(RecEditPlacement, DefaultRectanglesAndTheAssociateTab)
{
    // Right of a 3000-twip main window in a 15000 x 9000 work area.
    EXPECT_EQ(DefaultRecEditRect(0, 15000, 9000, 3000), (TwipsRect { 3000, 0, 12000, 9000 }));
    // A main window as wide as the work area: from the middle.
    EXPECT_EQ(DefaultRecEditRect(0, 15000, 9000, 16000), (TwipsRect { 7500, 0, 1000, 9000 }));
    EXPECT_EQ(DefaultToolBoxRect(15000, 9000, 4000, 3000), (TwipsRect { 11000, 6000, 4000, 3000 }));

    // Usable height H = 6000 - 200; a bar at 4000 stays.
    AssociateLayout l = LayOutAssociateTab(9000, 6000, 4000, 60);
    EXPECT_EQ(l.splitterTop, 4000);
    EXPECT_EQ(l.wholeView, (TwipsRect { 50, 50, 8900, 3950 }));
    EXPECT_EQ(l.searchResult, (TwipsRect { 50, 4060, 8900, 5800 - 60 - 4000 + 100 }));
    // Dropped below the bottom: 1000 above the limit.
    l = LayOutAssociateTab(9000, 6000, 7000, 60);
    EXPECT_EQ(l.splitterTop, 4800);
}

TEST(RecEditCaptions, AServerEidIsShownWithoutItsPassword)
{
    const std::string uri = "postgresql://team:s3cret@db:5432/parts?table=Device";
    for (const std::string& caption : { RecEdCaption(uri), SearchResultCaption(uri) }) {
        EXPECT_EQ(caption.find("s3cret"), std::string::npos) << caption;
        EXPECT_NE(caption.find("postgresql://team@db:5432/parts?table=Device"), std::string::npos) << caption;
    }
}

} // namespace
} // namespace rav::recedit
