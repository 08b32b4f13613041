// The field catalogue and the LOM query: captions, numbering, the blank
// and invalid EID cases, query texts and delimiter rules.
#include "lom_catalogue.h"
#include "lom_query.h"
#include "project_fixture.h"
#include "test_env.h"

#include <gtest/gtest.h>

namespace rav::lom
{
namespace
{

using test::ScratchDir;

TEST(LomCatalogue, ProjectEntriesThenEidColumnsForTheListAndTheToolBox)
{
    ScratchDir dir;
    test::makeEid(dir / "Part.eid", { "Code", "Price" }, "Code", {});
    FieldCatalogue c;
    ASSERT_TRUE(BuildLomCatalogue(c, (dir / "Part.eid").string()));
    ASSERT_EQ(c.size(), 10);
    EXPECT_EQ(c.entry(8).caption, "Component Value-P");
    EXPECT_EQ(c.entry(8).fieldName, "");
    EXPECT_EQ(c.entry(10).caption, "Price-D");
    EXPECT_EQ(c.entry(10).fieldName, "Price");
    EXPECT_EQ(c.entry(10).number, 10);
    EXPECT_EQ(c.entry(0).caption, "");
    EXPECT_THROW(c.entry(11), std::out_of_range);
    EXPECT_EQ(c.numberOfCaption("Price-D"), 10);
    EXPECT_EQ(c.numberOfCaption("Nothing"), 0);
    EXPECT_EQ(SelectedCaptions(c, { 9, 1 }), (std::vector<std::string> { "Code-D", "Part-P", "" }));
    EXPECT_EQ(SelectedCaptions(c, { 42 }), (std::vector<std::string> { "", "" }));
    EXPECT_EQ(makeQueryString(c, { { 10, 2, 6 }, 2, "," }).sql,
        "SELECT Device.field10,Device.field2,Device.field6 FROM Device ORDER BY Device.field2;");
    EXPECT_EQ(makeQueryString(c, { { 4 }, 0, "," }).sql, "SELECT Device.field4 FROM Device;");

    // A blank or unusable EID keeps the previous catalogue.
    test::writeFile(dir / "text.eid", "not a database\n");
    EXPECT_FALSE(BuildLomCatalogue(c, "   "));
    for (const std::string& bad :
        { std::string(), (dir / "missing.eid").string(), (dir / "text.eid").string() })
        EXPECT_FALSE(BuildToolBoxCatalogue(c, bad)) << bad;
    EXPECT_EQ(c.size(), 10);

    // The tool box's catalogue has five project entries and replaces the other.
    ASSERT_TRUE(BuildToolBoxCatalogue(c, (dir / "Part.eid").string()));
    ASSERT_EQ(c.size(), 7);
    EXPECT_EQ(c.entry(6).caption, "Code-D");
    EXPECT_EQ(c.entry(7).fieldName, "Price");
}

TEST(LomQuery, DelimiterRules)
{
    struct Case {
        const char* text;
        const char* delimiter;
        const char* shown;
    } cases[] = {
        { "TAB", "\t", "TAB" }, { "Tab", "\t", "Tab" }, { "tab", "\t", "tab" }, { "SPACE", " ", "SPACE" },
        { ";", ";", ";" }, { ",", ",", "," }, { "xyz", "x", "x" }, { "Xyz", "X", "X" }, { "|x", "|", "|" },
        { "", ",", "," }, { "tabs", "t", "t" },
        { "\xE2\x82\xAC;", "\xE2\x82\xAC", "\xE2\x82\xAC" }, // one character, not one byte
    };
    FieldCatalogue c;
    c.reset(CatalogueKind::Lom, {});
    for (const auto& k : cases) {
        std::string shown;
        EXPECT_EQ(ResolveDelimiter(k.text, &shown), k.delimiter) << k.text;
        EXPECT_EQ(shown, k.shown) << k.text;
        const LomQuery q = makeQueryString(c, { { 1 }, 1, k.text });
        EXPECT_EQ(q.delimiter, k.delimiter) << k.text;
        EXPECT_EQ(q.delimiterBoxText, k.shown) << k.text;
    }
}

// Chosen fields move up and down as one block; a block at the edge stays.
TEST(LomQuery, MoveItemsKeepsTheBlockTogether)
{
    struct Case {
        std::vector<int> selected;
        int delta;
        std::vector<int> items;
        std::vector<int> after;
    };
    const Case cases[] = {
        { { 2 }, -1, { 10, 30, 20, 40 }, { 1 } },
        { { 1, 2 }, 1, { 10, 40, 20, 30 }, { 2, 3 } },
        { { 0, 2 }, -1, { 10, 20, 30, 40 }, { 0, 2 } }, // the first is at the top: nothing moves
        { { 3, 1 }, -1, { 20, 10, 40, 30 }, { 0, 2 } },
        { { 9 }, 1, { 10, 20, 30, 40 }, {} },
    };
    for (const Case& c : cases) {
        std::vector<int> items { 10, 20, 30, 40 };
        EXPECT_EQ(MoveItems(items, c.selected, c.delta), c.after);
        EXPECT_EQ(items, c.items);
    }
}

} // namespace
} // namespace rav::lom
