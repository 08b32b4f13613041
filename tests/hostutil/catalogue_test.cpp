#include "host_utility.h"
#include "test_env.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <tuple>

namespace
{

using rav::HostUtility;

// Sets the locale variables for one test and restores them afterwards; the
// explicit language choice is cleared on both ends.
class LocaleGuard
{
public:
    LocaleGuard(const char* lcAll, const char* lang)
    {
        for (const char* var : { "LC_ALL", "LC_MESSAGES", "LANG", "RAVEDERI_MESSAGES_DIR" }) {
            const char* v = std::getenv(var);
            saved_.emplace_back(var, v ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(var);
        }
        if (lcAll)
            setenv("LC_ALL", lcAll, 1);
        if (lang)
            setenv("LANG", lang, 1);
        HostUtility::instance().setLanguage("");
    }
    ~LocaleGuard()
    {
        for (const auto& [var, value] : saved_) {
            if (value)
                setenv(var.c_str(), value->c_str(), 1);
            else
                unsetenv(var.c_str());
        }
        HostUtility::instance().setLanguage("");
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

std::map<std::string, std::string, std::less<>> builtInCatalogue(const std::string& lang)
{
    return rav::messages::parseCatalogue(rav::test::readFile(
        std::filesystem::path(RAV_MESSAGES_SOURCE_DIR) / (lang + ".msg")));
}

TEST(Language, FollowsTheLocaleVariablesAndListsTheBuiltInCatalogues)
{
    HostUtility& host = HostUtility::instance();
    const std::tuple<const char*, const char*, const char*> cases[] = { { nullptr, "de_DE.UTF-8", "de" },
        { nullptr, "C", "en" }, { "POSIX", "de_DE.UTF-8", "en" }, // LC_ALL wins over LANG
        { nullptr, "xx_YY", "en" } }; // no catalogue for it
    for (const auto& [lcAll, lang, expected] : cases) {
        LocaleGuard env(lcAll, lang);
        EXPECT_EQ(host.language(), expected) << lang;
    }
    LocaleGuard env(nullptr, "C.UTF-8");
    EXPECT_EQ(host.languages(), (std::vector<std::string> { "de", "en" }));
    setenv("LC_MESSAGES", "de_AT", 1);
    EXPECT_EQ(host.language(), "de");
    host.setLanguage("EN");
    EXPECT_EQ(host.language(), "en"); // an explicit choice beats the locale
}

TEST(LocalMessage, LooksUpTheUsersLanguageAndFallsBackToTheDefault)
{
    HostUtility& host = HostUtility::instance();
    LocaleGuard env(nullptr, "de_DE.UTF-8");
    EXPECT_EQ(host.GetLocalMessage("&Help", "1725"), "&Hilfe");
    EXPECT_EQ(host.GetLocalMessage("Cancel", "99388 "), "Abbrechen"); // tag stored with a blank
    EXPECT_EQ(host.GetLocalMessage("Some text", "123456789"), "Some text");
    EXPECT_EQ(host.GetLocalMessage("List of Material Editor", ""), "List of Material Editor");
    host.setLanguage("en");
    EXPECT_EQ(host.GetLocalMessage("whatever", "99892"), " missing or invalid");
    EXPECT_EQ(host.GetLocalMessage("whatever", "5419"), " EID Edit View ");
}

TEST(LocalMessage, TranslatorsFolderReplacesTheBuiltInCatalogue)
{
    rav::test::ScratchDir dir;
    rav::test::writeFile(dir / "de.msg", "# test\n1725\t&Hilfe!\n5419\t\\sA\\tB\\\\C\\s\r\n");
    rav::test::writeFile(dir / "fr.msg", "1725\t&Aide\n");
    LocaleGuard env(nullptr, "de_DE.UTF-8");
    setenv("RAVEDERI_MESSAGES_DIR", dir.path().c_str(), 1);
    HostUtility& host = HostUtility::instance();
    EXPECT_EQ(host.GetLocalMessage("&Help", "1725"), "&Hilfe!");
    EXPECT_EQ(host.GetLocalMessage(" EID Edit View ", "5419"), " A\tB\\C ");
    // An id the translator has not done yet shows its default.
    EXPECT_EQ(host.GetLocalMessage("&Close", "9917"), "&Close");
    EXPECT_EQ(host.languages(), (std::vector<std::string> { "de", "en", "fr" }));
    host.setLanguage("fr");
    EXPECT_EQ(host.GetLocalMessage("&Help", "1725"), "&Aide");
}

TEST(Catalogues, EveryEnglishIdHasItsDefaultAndAGermanText)
{
    const auto en = builtInCatalogue("en");
    const auto de = builtInCatalogue("de");
    ASSERT_GT(en.size(), 150u);
    HostUtility& host = HostUtility::instance();
    LocaleGuard env(nullptr, "C");
    for (const auto& [id, text] : en) {
        const auto it = de.find(id);
        ASSERT_NE(it, de.end()) << "no German text for " << id;
        EXPECT_FALSE(it->second.empty()) << id;
        // Callers glue variable parts to the edge blanks, so translations keep them.
        EXPECT_EQ(it->second.front() == ' ', text.front() == ' ') << id;
        EXPECT_EQ(it->second.back() == ' ', text.back() == ' ') << id;
        // The built-in English catalogue is what a lookup in English gives.
        EXPECT_EQ(host.GetLocalMessage("?", id), text) << id;
    }
    EXPECT_EQ(de.size(), en.size());
}

TEST(Catalogues, EveryIdFallsBackToItsDefaultWhenACatalogueLacksIt)
{
    rav::test::ScratchDir dir;
    rav::test::writeFile(dir / "en.msg", "# deliberately empty\n");
    rav::test::writeFile(dir / "de.msg", "");
    LocaleGuard env(nullptr, "C");
    setenv("RAVEDERI_MESSAGES_DIR", dir.path().c_str(), 1);
    HostUtility& host = HostUtility::instance();
    for (const char* lang : { "en", "de" }) {
        host.setLanguage(lang);
        for (const auto& [id, text] : builtInCatalogue("en"))
            EXPECT_EQ(host.GetLocalMessage("default of " + id, id), "default of " + id) << lang << id;
    }
}

TEST(CatalogueFormat, EscapesRoundTrip)
{
    for (const std::string text :
        { " lead", "trail ", "  both  ", "in side", "a\tb", "back\\slash\\s", "x\ny", "" }) {
        const auto parsed = rav::messages::parseCatalogue("1\t" + rav::messages::escapeText(text) + "\n");
        ASSERT_EQ(parsed.count("1"), 1u) << text;
        EXPECT_EQ(parsed.at("1"), text);
    }
    const auto first = rav::messages::parseCatalogue("7\tfirst\n7\tsecond\nno tab here\n#8\tcomment\n");
    EXPECT_EQ(first.size(), 1u);
    EXPECT_EQ(first.at("7"), "first");
}

} // namespace
