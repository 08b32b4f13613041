// The Associate tab's state: what a device change clears, when each
// Associate button is offered, which suggestion is chosen for the user.
#include "associate_tab.h"

#include <gtest/gtest.h>

namespace rav::recedit
{
namespace
{

TEST(AssociateTab, AnotherDeviceEmptiesTheEicBoxAndTheSuggestions)
{
    AssociateTab tab;
    tab.selectDevice("C1", true);
    tab.selectRecord("CAP-100N", true);
    tab.setSuggestions({ { "CAP-100N", "Cap", 90 } });
    ASSERT_TRUE(tab.canAssociate(AssociateMode::Manual));

    // The same device again (a refresh after associating) keeps both.
    EXPECT_FALSE(tab.selectDevice("C1", true));
    EXPECT_EQ(tab.eic(), "CAP-100N");

    EXPECT_TRUE(tab.selectDevice("D1", true));
    EXPECT_EQ(tab.eic(), "");
    EXPECT_TRUE(tab.suggestions().empty());
    EXPECT_FALSE(tab.canAssociate(AssociateMode::Manual)) << "the diode must not get the capacitor's code";
}

TEST(AssociateTab, EachModeOffersItsOwnButtonOnlyWhenItsInputBelongsToTheDevice)
{
    struct Case {
        const char* name;
        AssociateMode mode;
        bool bothSelected;
        bool searchedForThisDevice;
        const char* eic;
        bool automatic, manual;
    } const cases[] = {
        { "manual with a code", AssociateMode::Manual, true, false, "X", false, true },
        { "manual, blank code", AssociateMode::Manual, true, false, "  ", false, false },
        { "manual, no rows", AssociateMode::Manual, false, false, "X", false, false },
        { "automatic after Find", AssociateMode::Automatic, true, true, "", true, false },
        { "automatic, search for another device", AssociateMode::Automatic, true, false, "", false, false },
        { "automatic, no rows", AssociateMode::Automatic, false, true, "", false, false },
    };
    for (const Case& c : cases) {
        AssociateTab tab;
        tab.setMode(c.mode);
        tab.selectDevice("R1", c.bothSelected);
        if (!c.searchedForThisDevice) {
            tab.searched();
            tab.selectDevice("R2", c.bothSelected);
        } else {
            tab.searched();
        }
        tab.setEic(c.eic);
        EXPECT_EQ(tab.canAssociate(AssociateMode::Automatic), c.automatic) << c.name;
        EXPECT_EQ(tab.canAssociate(AssociateMode::Manual), c.manual) << c.name;
        EXPECT_EQ(tab.searchIsStale(), c.mode == AssociateMode::Automatic && !c.searchedForThisDevice)
            << c.name;
    }
    AssociateTab tab;
    tab.setFindReady(true);
    EXPECT_FALSE(tab.canFind()) << "manual mode, the mode after building the view";
    EXPECT_TRUE(tab.eicBoxEnabled());
    tab.setMode(AssociateMode::Automatic);
    EXPECT_TRUE(tab.canFind());
    EXPECT_FALSE(tab.eicBoxEnabled());
}

TEST(AssociateTab, AWeakBestMatchIsNotChosenForTheUser)
{
    struct Case {
        std::vector<double> scores;
        int preselected;
        bool warning;
    } const cases[] = {
        { {}, -1, false },
        { { 80, 20 }, 0, false },
        { { AssociateTab::kWeakScore }, 0, false },
        { { 49.9, 10 }, -1, true },
    };
    for (const Case& c : cases) {
        AssociateTab tab;
        std::vector<SuggestedRecord> records;
        for (double score : c.scores)
            records.push_back({ "CODE", "text", score });
        tab.setSuggestions(records);
        EXPECT_EQ(tab.preselected(), c.preselected) << c.scores.size();
        EXPECT_EQ(tab.onlyWeakSuggestions(), c.warning) << c.scores.size();
    }
}

} // namespace
} // namespace rav::recedit
