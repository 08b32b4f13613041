#include "host_utility.h"
#include "test_env.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>

namespace
{

using rav::HostUtility;
using rav::test::readFile;
using rav::test::ScratchDir;
using rav::test::writeFile;

// Points the settings file at a fresh folder for one test, and back after.
class SettingsFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved_ = std::getenv("XDG_CONFIG_HOME");
        setenv("XDG_CONFIG_HOME", scratch_.path().c_str(), 1);
    }
    void writeIni(const std::string& bytes) const
    {
        std::filesystem::create_directories(iniPath().parent_path());
        writeFile(iniPath(), bytes);
    }
    void TearDown() override { setenv("XDG_CONFIG_HOME", saved_.c_str(), 1); }
    std::filesystem::path iniPath() const { return scratch_.path() / "dodiv" / "host.ini"; }

    HostUtility& host = HostUtility::instance();

private:
    ScratchDir scratch_;
    std::string saved_;
};

TEST_F(SettingsFixture, FollowsTheConfigFolderAndMissingFileSectionOrKeyGivesTheDefault)
{
    EXPECT_EQ(host.settingsFile(), iniPath());
    EXPECT_EQ(host.ReadSetting("POSTLOM", "FieldSort", "0"), "0");
    writeIni("[POSTLOM]\nFieldSep= 44\n");
    EXPECT_EQ(host.ReadSetting("POSTLOM", "DBaseName", ""), "");
    EXPECT_EQ(host.ReadSetting("Zarov2U", "LibDir", "\\Dodiv 2000\\LIB"), "\\Dodiv 2000\\LIB");
}

TEST_F(SettingsFixture, WrittenValuesReadBackExactlyWithTheirBlanks)
{
    host.WriteSetting("POSTLOM", "FieldSep", " 44");
    host.WriteSetting("POSTLOM", "DBaseName", "");
    host.WriteSetting("POSTLOM", "FieldSeq", "1, 3 ,5  ");
    EXPECT_EQ(host.ReadSetting("POSTLOM", "FieldSep", "x"), " 44");
    EXPECT_EQ(host.ReadSetting("POSTLOM", "DBaseName", "x"), ""); // present but empty: not the default
    EXPECT_EQ(host.ReadSetting("POSTLOM", "FieldSeq", "x"), "1, 3 ,5  ");
    EXPECT_EQ(readFile(iniPath()), "[POSTLOM]\nFieldSep= 44\nDBaseName=\nFieldSeq=1, 3 ,5  \n");
    // Blanks around names are not part of them: one entry, read back either way.
    host.WriteSetting("# Sec\t", " Key ", "1");
    host.WriteSetting("# Sec", "Key", "2");
    EXPECT_EQ(host.ReadSetting("# Sec\t", "Key ", ""), "2");
    EXPECT_NE(readFile(iniPath()).find("\n[# Sec]\nKey=2\n"), std::string::npos);
}

TEST_F(SettingsFixture, RewritingAKeyKeepsEveryOtherLineInPlace)
{
    const std::string before = "; written by the suite\n"
                               "[Zarov2U]\r\n"
                               "LibDir=/opt/dodiv/lib\r\n"
                               "\r\n"
                               "[POSTLOM]\n"
                               "FieldSort=2\n"
                               "FieldSep= 9\n"
                               "\n"
                               "[Other]\n"
                               "FieldSep=unrelated\n";
    writeIni(before);
    host.WriteSetting("postlom", "fieldsep", " 44"); // names match without case
    host.WriteSetting("POSTLOM", "DBaseName", "/d/a.eid"); // new key joins its section
    host.WriteSetting("Third", "Key", "v"); // new section goes last
    EXPECT_EQ(readFile(iniPath()),
        "; written by the suite\n"
        "[Zarov2U]\r\n"
        "LibDir=/opt/dodiv/lib\r\n"
        "\r\n"
        "[POSTLOM]\n"
        "FieldSort=2\n"
        "FieldSep= 44\n"
        "DBaseName=/d/a.eid\n"
        "\n"
        "[Other]\n"
        "FieldSep=unrelated\n"
        "\n"
        "[Third]\n"
        "Key=v\n");
    EXPECT_EQ(host.ReadSetting("Zarov2U", "LibDir", ""), "/opt/dodiv/lib"); // CR of CRLF dropped
    EXPECT_EQ(host.ReadSetting("Other", "FieldSep", ""), "unrelated");
    // No temporary files are left beside the settings file.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(iniPath().parent_path()))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(SettingsFixture, RefusesWhatTheFileCannotHold)
{
    EXPECT_THROW(host.WriteSetting("POSTLOM", "Key", "two\nlines"), std::invalid_argument);
    EXPECT_THROW(host.WriteSetting("POST]LOM", "Key", "v"), std::invalid_argument);
    EXPECT_THROW(host.WriteSetting("POSTLOM", "a=b", "v"), std::invalid_argument);
    for (const char* key : { "[Key", ";Key", "#Key" }) // would read back as a section or a comment
        EXPECT_THROW(host.WriteSetting("POSTLOM", key, "v"), std::invalid_argument) << key;
    EXPECT_FALSE(std::filesystem::exists(iniPath()));
}

TEST_F(SettingsFixture, AnUnwritableFolderIsAnError)
{
    writeIni(""); // host.ini's folder exists; a plain file stands where the next folder should be
    writeFile(iniPath().parent_path().parent_path() / "blocker", "");
    setenv("XDG_CONFIG_HOME", (iniPath().parent_path().parent_path() / "blocker").c_str(), 1);
    EXPECT_THROW(host.WriteSetting("POSTLOM", "FieldSort", "0"), std::runtime_error);
}

TEST(HostStrings, KernelStringDecodesWindows1252AndPathSeparatorIsAddedOnce)
{
    const HostUtility& host = HostUtility::instance();
    EXPECT_EQ(host.KernelString(nullptr), "");
    EXPECT_EQ(host.KernelString("10\xB5" "F \x80"), "10\xC2\xB5" "F \xE2\x82\xAC");
    std::string a = "/tmp/cache";
    host.AddPathSeparator(a);
    host.AddPathSeparator(a);
    EXPECT_EQ(a, "/tmp/cache/");
    std::string empty;
    host.AddPathSeparator(empty);
    EXPECT_EQ(empty, "");
}

} // namespace
