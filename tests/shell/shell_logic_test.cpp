// The shell's widget-free logic: settings formats, placement correction,
// host commands, help topics and files, and the locale font table.
#include "help_document.h"
#include "help_topic.h"
#include "host_commands.h"
#include "host_utility.h"
#include "locale_font.h"
#include "lom_settings.h"
#include "placement.h"
#include "test_env.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace rav::shell;

TEST(ShellSettingsTest, NumbersAreWrittenWithASignPositionAndReadBack)
{
    EXPECT_EQ(FormatSignedNumber(44), " 44");
    EXPECT_EQ(FormatSignedNumber(0), " 0");
    EXPECT_EQ(FormatSignedNumber(-3), "-3");

    EXPECT_EQ(ParseWholeNumber(" 44"), 44);
    EXPECT_EQ(ParseWholeNumber("44,6"), 45); // the comma is a decimal point
    EXPECT_EQ(ParseWholeNumber("2,5"), 2); // halves go to even
    EXPECT_EQ(ParseWholeNumber("3,5"), 4);
    EXPECT_EQ(ParseWholeNumber("tab"), 0);
    EXPECT_EQ(ParseWholeNumber(""), 0);
    EXPECT_EQ(ParseWholeNumber("-1"), -1);
}

TEST(ShellSettingsTest, LomSettingsUseTheirDefaultsAndSurviveARoundTrip)
{
    rav::HostUtility& host = rav::HostUtility::instance();
    fs::remove(host.settingsFile());
    ShellState state;
    IniLoMR(state, host);
    EXPECT_EQ(state.FieldSort, "0");
    EXPECT_EQ(state.FieldSep, 44);
    EXPECT_EQ(state.DBaseName, "");
    EXPECT_EQ(state.FieldSeq, "");

    IniLomW(state, host);
    EXPECT_EQ(host.ReadSetting("POSTLOM", "FieldSort", "?"), "0");
    EXPECT_EQ(host.ReadSetting("POSTLOM", "FieldSep", "?"), " 44");
    EXPECT_EQ(host.ReadSetting("POSTLOM", "DBaseName", "?"), "");
    EXPECT_EQ(host.ReadSetting("POSTLOM", "FieldSeq", "?"), "");

    host.WriteSetting("POSTLOM", "FieldSep", "9");
    host.WriteSetting("POSTLOM", "DBaseName", "/data/Part.eid");
    ShellState again;
    IniLoMR(again, host);
    EXPECT_EQ(again.FieldSep, 9);
    EXPECT_EQ(again.DBaseName, "/data/Part.eid");
    IniLomW(again, host);
    EXPECT_EQ(host.ReadSetting("POSTLOM", "FieldSep", "?"), " 9");

    ReadSuiteDirs(again, host);
    EXPECT_EQ(again.LibDir, "/Dodiv 2000/LIB");
    host.WriteSetting("Zarov2U", "LibDir", "/opt/dodiv/lib");
    ReadSuiteDirs(again, host);
    EXPECT_EQ(again.LibDir, "/opt/dodiv/lib");
    fs::remove(host.settingsFile());
}

TEST(ShellSettingsTest, TempDirIsCreatedOnceUnderTheCacheFolder)
{
    ShellState state;
    EnsureTempDir(state, rav::HostUtility::instance());
    const fs::path expected = fs::path(std::getenv("XDG_CACHE_HOME")) / "Ravederi" / "Temp";
    EXPECT_EQ(fs::path(state.TempDir), expected);
    ASSERT_TRUE(fs::is_directory(expected));

    rav::test::writeFile(expected / "keep.tmp", "x");
    EnsureTempDir(state, rav::HostUtility::instance());
    EXPECT_TRUE(fs::exists(expected / "keep.tmp")); // an existing folder is left alone
    fs::remove_all(expected);
}

TEST(PlacementTest, PositionsAreCorrectedAgainstTheWorkArea)
{
    const long workWidth = 15360; // 1024 px at 15 twips per pixel
    const long workHeight = 11520; // 768 px
    StoredPlacement stored { "1000", "2000", "3000", "4000" };
    CorrectedPlacement c = CorrectPlacement(stored, workWidth, workHeight, 111, 222);
    EXPECT_TRUE(c.usable);
    EXPECT_EQ(c.placement.top, 1000);
    EXPECT_EQ(c.placement.left, 2000);
    EXPECT_EQ(c.placement.height, 3000);
    EXPECT_EQ(c.placement.width, 4000);

    // The top may leave exactly a fortieth of the work height visible.
    stored.top = std::to_string(workHeight - workHeight / 40);
    EXPECT_TRUE(CorrectPlacement(stored, workWidth, workHeight, 111, 222).usable);
    stored.top = std::to_string(workHeight - workHeight / 40 + 1);
    c = CorrectPlacement(stored, workWidth, workHeight, 111, 222);
    EXPECT_FALSE(c.usable);
    EXPECT_EQ(c.placement.top, 0);
    EXPECT_EQ(c.placement.left, 2000);

    stored = StoredPlacement { "100", std::to_string(workWidth - workWidth / 40 + 1), "0", "-1" };
    c = CorrectPlacement(stored, workWidth, workHeight, 111, 222);
    EXPECT_FALSE(c.usable);
    EXPECT_EQ(c.placement.left, 0);
    EXPECT_EQ(c.placement.height, 222); // height 0: the current one
    EXPECT_EQ(c.placement.width, 111);

    c = CorrectPlacement(StoredPlacement {}, workWidth, workHeight, 111, 222); // nothing stored
    EXPECT_FALSE(c.usable);
    EXPECT_EQ(c.placement.top, 0);
    EXPECT_EQ(c.placement.left, 0);
}

TEST(PlacementTest, TheStoreKeepsWholeTwipsPerWindow)
{
    EXPECT_DOUBLE_EQ(TwipsPerPixel(96), 15.0);
    EXPECT_EQ(PixelsToTwips(10, 15.0), 150);
    EXPECT_EQ(TwipsToPixels(150, 15.0), 10);

    StorePlacement("frmRecEdit", FormPlacement { 120, 240, 6000, 4800 });
    const StoredPlacement stored = ReadStoredPlacement("frmRecEdit");
    EXPECT_EQ(stored.top, "120");
    EXPECT_EQ(stored.left, "240");
    EXPECT_EQ(stored.width, "6000");
    EXPECT_EQ(stored.height, "4800");
    EXPECT_EQ(ReadStoredPlacement("frmToolBox").top, "-1");
    const std::string file = rav::test::readFile(PlacementStoreFile());
    EXPECT_NE(file.find("[RAVEDERI]"), std::string::npos);
    EXPECT_NE(file.find("frmRecEdit_TOP=120"), std::string::npos);
}

TEST(HostCommandTest, TargetsAndCodesAreMatchedExactly)
{
    EXPECT_EQ(ParseHostCommand("RAVEDERI,UP").code, HostCode::Update);
    EXPECT_EQ(ParseHostCommand("All,MN").code, HostCode::Minimise);
    EXPECT_EQ(ParseHostCommand("All,MX").code, HostCode::Maximise);
    EXPECT_EQ(ParseHostCommand("RAVEDERI,DF").code, HostCode::Default);
    EXPECT_EQ(ParseHostCommand("RAVEDERI,EX,extra").code, HostCode::Exit);

    for (const char* ignored :
        { "ravederi,EX", "ALL,EX", "Other,EX", "RAVEDERI,ex", "RAVEDERI,", " RAVEDERI,EX", "" }) {
        const ParsedCommand parsed = ParseHostCommand(ignored);
        EXPECT_FALSE(parsed.code.has_value()) << ignored;
        EXPECT_EQ(parsed.error, CommandError::None) << ignored;
    }
    EXPECT_EQ(ParseHostCommand("RAVEDERI").error, CommandError::SubscriptOutOfRange);
    EXPECT_EQ(ParseHostCommand("All").error, CommandError::SubscriptOutOfRange);
    EXPECT_EQ(ParseHostCommand("Other").error, CommandError::None);
}

TEST(HostCommandTest, ShellRequestsKeepTheirCommandLine)
{
    EXPECT_EQ(ShellRequestText(1, "notepad a,b.txt"), "SHELL,1,notepad a,b.txt");
    const auto request = ParseShellRequest("SHELL,1,notepad a,b.txt");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->style, 1);
    EXPECT_EQ(request->commandLine, "notepad a,b.txt");
    EXPECT_FALSE(ParseShellRequest("SHUTDOWN"));
    EXPECT_FALSE(ParseShellRequest("SHELL,x,ls"));
    EXPECT_FALSE(ParseShellRequest("SHELL,1"));
}

TEST(HelpTopicTest, NumbersMapToTopics)
{
    EXPECT_EQ(HelpTopicNumber(0, 0, 0, 0), 0);
    EXPECT_EQ(HelpTopicNumber(1, 0, 0, 0), 1);
    EXPECT_EQ(HelpTopicNumber(1, 1, 0, 0), 2);
    EXPECT_EQ(HelpTopicNumber(1, 1, 1, 0), 3);
    EXPECT_EQ(HelpTopicNumber(1, 1, 1, 1), 4);
    EXPECT_EQ(HelpTopicNumber(2, 1, 1, 1), 13305);
    EXPECT_EQ(HelpTopicNumber(1, 0, 3, 0), 0); // a tool without its sub-menu
    EXPECT_EQ(HelpTopicNumber(0, 2, 0, 0), 0);
    EXPECT_EQ(HelpTopicNumber(1, 1, 0, 5), 0);
    EXPECT_EQ(HelpTopicNumber(11, 100, 11, 11), 10 * 13301 + 4 + 99 * 133 + 10 * 12 + 10);
    EXPECT_FALSE(HelpTopicNumber(200000, 0, 0, 0).has_value()); // 32-bit overflow
}

TEST(HelpTopicTest, LimitMessagesJoinWithBlanks)
{
    EXPECT_EQ(HelpLimitMessage(11, 100, 11, 11), "");
    EXPECT_EQ(HelpLimitMessage(12, 101, 0, 0), "Menu No: exceeds 11 SubMenu No. exceeds 100");
    EXPECT_EQ(HelpLimitMessage(1, 101, 0, 0), " SubMenu No. exceeds 100");
    EXPECT_EQ(HelpLimitMessage(1, 1, 12, 12), " Tool No: exceeds 11 SubTool No: exceeds 11");
    EXPECT_EQ(HelpLimitMessage(12, 0, 0, 0), "Menu No: exceeds 11");
}

TEST(HelpDocumentTest, TopicsParseAndRender)
{
    const rav::help::HelpDocument doc = rav::help::ParseHelpDocument(
        "# comment\n@topic 0 Contents\nFirst line\ncontinues.\r\n\n== Part <A>\n- one [[13302|wizard]]\n- "
        "two\n"
        "@topic 13302 Wizard\nText & more\n@topic 13302 Again\nstray\n@topic x Bad\n");
    ASSERT_EQ(doc.topics.size(), 2u);
    EXPECT_EQ(doc.topics.at(13302).title, "Wizard");
    ASSERT_EQ(doc.errors.size(), 3u); // duplicate topic, its stray line, bad number
    EXPECT_NE(doc.errors[0].find("line 11"), std::string::npos);

    const std::string html = rav::help::RenderTopicHtml(doc, 0);
    EXPECT_NE(html.find("<h2>Contents</h2>"), std::string::npos);
    EXPECT_NE(html.find("<p>First line continues.</p>"), std::string::npos);
    EXPECT_NE(html.find("<h3>Part &lt;A&gt;</h3>"), std::string::npos);
    EXPECT_NE(html.find("<li>one <a href=\"topic:13302\">wizard</a></li>"), std::string::npos);
    EXPECT_NE(rav::help::RenderTopicHtml(doc, 13302).find("Text &amp; more"), std::string::npos);
    EXPECT_NE(rav::help::RenderTopicHtml(doc, 77).find("no topic 77"), std::string::npos);
}

TEST(HelpDocumentTest, TheShippedHelpFileCoversEveryWindow)
{
    const rav::help::HelpDocument doc = rav::help::LoadHelpDocument(RAV_HELP_FILE);
    EXPECT_TRUE(doc.errors.empty()) << doc.errors.front();
    // The top topics of the main window and the modules, and the pages
    // their windows ask for by (menu, sub-menu).
    const std::pair<long, long> places[] = { { 0, 0 }, { 1, 0 }, { 1, 1 }, { 1, 2 }, { 1, 3 }, { 2, 0 },
        { 2, 1 }, { 2, 2 }, { 2, 3 }, { 2, 4 }, { 2, 5 }, { 2, 6 }, { 3, 0 }, { 3, 1 }, { 3, 2 }, { 4, 0 },
        { 4, 1 }, { 4, 2 }, { 4, 3 }, { 4, 4 } };
    for (const auto& [m, s] : places) {
        const auto topic = HelpTopicNumber(m, s, 0, 0);
        ASSERT_TRUE(topic);
        ASSERT_TRUE(doc.topics.count(*topic)) << "menu " << m << " sub-menu " << s << " topic " << *topic;
        EXPECT_GE(doc.topics.at(*topic).lines.size(), 2u);
    }
}

TEST(HelpDocumentTest, PositionWindowMacroMapsToTheScreen)
{
    rav::help::HelpWindowPosition position;
    ASSERT_TRUE(rav::help::ParsePositionWindow(kHelpWindowMacro, position));
    EXPECT_EQ(position.x, 600);
    EXPECT_EQ(position.y, 150);
    EXPECT_EQ(position.width, 400);
    EXPECT_EQ(position.height, 800);
    EXPECT_EQ(position.state, 1);
    EXPECT_EQ(position.name, "main");
    const rav::help::PixelRect r = rav::help::MapHelpPosition(position, { 0, 0, 1024, 768 });
    EXPECT_EQ(r.x, 600);
    EXPECT_EQ(r.y, 112);
    EXPECT_EQ(r.width, 400);
    EXPECT_EQ(r.height, 600);
    // A window that would stick out is kept on the screen.
    position.x = 1000;
    EXPECT_EQ(rav::help::MapHelpPosition(position, { 10, 0, 1024, 768 }).x, 10 + 1024 - 400);
    EXPECT_FALSE(rav::help::ParsePositionWindow("CloseWindow(\"main\")", position));
    EXPECT_FALSE(rav::help::ParsePositionWindow("PositionWindow(1, 2, 3)", position));
}

TEST(LocaleFontTest, LocaleNamesGiveIdentifiersAndCharsets)
{
    EXPECT_EQ(LcidFromLocaleName("ja_JP.UTF-8"), 0x0411u);
    EXPECT_EQ(LcidFromLocaleName("zh_TW"), 0x0404u);
    EXPECT_EQ(LcidFromLocaleName("de_DE.UTF-8@euro"), 0x0407u);
    EXPECT_EQ(LcidFromLocaleName("de_AT"), 0x0C07u);
    EXPECT_EQ(LcidFromLocaleName("C.UTF-8"), 0x0409u);
    EXPECT_EQ(LcidFromLocaleName("xx_YY"), 0x0409u);

    EXPECT_EQ(CharsetForLcid(0x0409), 0);
    EXPECT_EQ(CharsetForLcid(0x0411), 128);
    EXPECT_EQ(CharsetForLcid(0x0419), 204);
    EXPECT_EQ(CharsetForLcid(0x0415), 238);
    EXPECT_EQ(CharsetForLcid(0x0439), 0); // Hindi has no 8-bit code page
}

TEST(LocaleFontTest, TheTableChoosesFacesSizesAndCharsets)
{
    std::vector<std::string> asked;
    auto installed = [&](std::initializer_list<std::string> faces) {
        return [&asked, list = std::vector<std::string>(faces)](std::string& face) {
            asked.push_back(face);
            for (const std::string& f : list)
                if (f == face)
                    return true;
            return false;
        };
    };
    auto fallback = [](FontScript script) {
        return script == FontScript::Western ? std::string("General Sans") : std::string("CJK Fallback");
    };

    // Japanese: the table face when installed, a face for the script otherwise.
    FontChoice jp = ChooseLocaleFont(0x0411, 0,
        installed(
            { "\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF" }),
        fallback);
    EXPECT_EQ(
        jp.FontFace, "\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF");
    EXPECT_EQ(jp.FontSize, 9);
    EXPECT_EQ(jp.Charset, 128);
    jp = ChooseLocaleFont(0x0411, 0, installed({}), fallback);
    EXPECT_EQ(jp.FontFace, "CJK Fallback");
    EXPECT_EQ(jp.script, FontScript::Japanese);

    const FontChoice tw = ChooseLocaleFont(0x0404, 0, installed({}), fallback);
    EXPECT_EQ(tw.Charset, 136);
    EXPECT_EQ(tw.script, FontScript::TraditionalChinese);
    const FontChoice cn = ChooseLocaleFont(0x0804, 0, installed({ "\xE5\xAE\x8B\xE4\xBD\x93" }), fallback);
    EXPECT_EQ(cn.FontFace, "\xE5\xAE\x8B\xE4\xBD\x93");
    EXPECT_EQ(cn.Charset, 134);
    EXPECT_EQ(ChooseLocaleFont(0x0C04, 0, installed({}), fallback).Charset, 136); // Hong Kong: traditional
    EXPECT_EQ(ChooseLocaleFont(0x1004, 0, installed({}), fallback).Charset, 134); // Singapore: simplified
    const FontChoice ko = ChooseLocaleFont(0x0812, 0, installed({}), fallback); // another Korean sub-language
    EXPECT_EQ(ko.Charset, 129);
    EXPECT_EQ(ko.FontFace, "CJK Fallback");

    // Western: the first installed of the three faces, size 8, the user's charset.
    asked.clear();
    FontChoice us = ChooseLocaleFont(0x0409, 0, installed({ "MS Sans Serif", "Arial" }), fallback);
    EXPECT_EQ(us.FontFace, "MS Sans Serif");
    EXPECT_EQ(us.FontSize, 8);
    EXPECT_EQ(us.Charset, 0);
    asked.clear();
    us = ChooseLocaleFont(0x0409, 238, installed({ "System" }), fallback);
    EXPECT_EQ(us.FontFace, "System");
    EXPECT_EQ(us.Charset, 238);
    EXPECT_EQ(asked, (std::vector<std::string> { "MS Sans Serif", "Arial", "System" }));
    EXPECT_EQ(ChooseLocaleFont(0x0407, 0, installed({}), fallback).FontFace, "General Sans");
    // Identifiers above 32767 are accepted (primary language 9: western).
    EXPECT_EQ(ChooseLocaleFont(0x8409, 0, installed({}), fallback).FontSize, 8);
}
