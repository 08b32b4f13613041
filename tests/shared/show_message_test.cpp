#include "host_utility.h"
#include "show_message.h"

#include <gtest/gtest.h>

namespace
{

using rav::catalogueMessage;
using rav::HostUtility;
using rav::MessageKind;

class CatalogueMessage : public ::testing::Test
{
protected:
    void SetUp() override { HostUtility::instance().setLanguage("en"); }
    void TearDown() override { HostUtility::instance().setLanguage(""); }
};

// The extra text is appended where a message takes one, put in front for a
// missing value, and ignored by fixed texts.
TEST_F(CatalogueMessage, ExtraTextGoesWhereTheMessageTakesIt)
{
    const auto read = catalogueMessage(14, "R12");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->id, "3734");
    EXPECT_EQ(read->kind, MessageKind::Exclamation);
    const std::pair<int, const char*> cases[] = { { 14, "Can't read the Part: R12" },
        { 3, "Maximum Rows is R12" }, { 100, "System Error: R12" }, { 7, "R12 missing or invalid" },
        { 1, "Field Name must be unique" }, { 5, "Starting Range not specified " } };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(catalogueMessage(code, "R12")->text, text) << code;
    rav::RecordingMessageSink sink;
    EXPECT_TRUE(rav::ShowMessage(15, "C7", sink));
    EXPECT_FALSE(rav::ShowMessage(16, "C7", sink));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].id, "3733");
}

TEST_F(CatalogueMessage, EveryKnownCodeHasAMessageAndNoOtherCodeHasOne)
{
    int known = 0;
    for (int code = -5; code <= 120; ++code) {
        const auto message = catalogueMessage(code, "");
        const bool expected = (code >= 1 && code <= 15) || code == 100;
        EXPECT_EQ(message.has_value(), expected) << code;
        if (message) {
            ++known;
            EXPECT_FALSE(message->text.empty()) << code;
            EXPECT_EQ(message->title, "Dodiv 2000 - List of Material Editor ()");
        }
    }
    EXPECT_EQ(known, 16);
}

TEST_F(CatalogueMessage, FollowsTheUsersLanguage)
{
    HostUtility::instance().setLanguage("de");
    const auto message = catalogueMessage(14, "R12");
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->text, "Bauteil kann nicht gelesen werden: R12");
    EXPECT_EQ(catalogueMessage(7, "EIC")->text, "EIC fehlt oder ist ungültig");
}

} // namespace

// Counts are grouped as the language writes them; arguments go where the
// translation puts them, and a number without an argument stays.
TEST_F(CatalogueMessage, CountsAndArgumentsFollowTheLanguage)
{
    struct Case {
        const char* language;
        std::int64_t count;
        const char* grouped;
    };
    for (const Case& c : { Case { "en", 300019, "300,019" }, Case { "en", 999, "999" },
             Case { "en", -1234567, "-1,234,567" }, Case { "de", 300019, "300.019" } }) {
        HostUtility::instance().setLanguage(c.language);
        EXPECT_EQ(rav::GroupedCount(c.count), c.grouped) << c.count;
    }
    HostUtility::instance().setLanguage("de");
    EXPECT_EQ(rav::FormatMessage("", "916001", { "3", "parts.eid" }), "Alle 3 Datensätze aus parts.eid löschen?");
    EXPECT_EQ(rav::FormatMessage("%2 before %1, %3 stays 100%", "no-such-id", { "a", "b" }), "b before a, %3 stays 100%");
}
