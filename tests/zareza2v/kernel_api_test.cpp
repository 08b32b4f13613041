// The kernel's C interface over project files built from models.
#include "project_model.h"
#include "test_env.h"
#include "zareza2v.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <string>
#include <tuple>
#include <vector>

namespace
{

using rav::project::Project;
using rav::test::ScratchDir;

Project smallProject()
{
    Project p;
    p.name = "BOARD-1";
    p.hierarchies = { "Main", "Power" };
    p.currentHierarchy = 1;
    p.symbols = { "R0603", "SOT23" };
    p.devices = { { "RES-10K", "passives.lib", "R0603",
                      std::vector<std::string> { "Resistor 10k", "RES-0603-10K", "RES" } },
        { "NPN", "discretes.lib", "SOT23", std::nullopt } };
    p.components = { { "R1", "R0603", "RES-10K", { { { { 8, "10k" }, { 4, "Pull-up" } } } } },
        { "Q1", "SOT23", "NPN", { { { { 4, "Driver" } } }, { { { 8, "BC847" } } } } },
        { "MH1", "", "", {} } };
    p.strings = { { "OTHER", "value" } };
    p.helpFollow = true;
    return p;
}

std::string kernelText(std::int32_t handle)
{
    const char* t = Z_TextPointer(handle);
    return t ? t : "";
}

// Every entry of a map, in the kernel's order.
std::vector<std::int32_t> entries(std::int32_t map)
{
    std::vector<std::int32_t> out;
    std::int32_t cursor = OM_GetFirst(map);
    for (std::int32_t e; (e = OM_SearchMask(map, &cursor, 0, 0)) > 0;)
        out.push_back(e);
    return out;
}

// Reads everything the kernel offers, as a reader of a damaged file would.
void walkEverything()
{
    (void)kernelText(O_GetName(DB_DataBase()));
    (void)kernelText(O_GetName(OM_Object(DB_HierarchyMap(), DB_CurHier())));
    for (std::int32_t c : entries(DB_LayCompMap())) {
        Z_ComponentRecord r {};
        if (!L_ReadComponent(c, &r))
            continue;
        (void)kernelText(r.name);
        (void)kernelText(O_GetName(S_Symbol(r.symbol)));
        Z_DeviceRecord d {};
        if (D_ReadDevice(r.device, &d))
            (void)kernelText(d.text);
        for (std::int32_t k = 1; k <= r.schCompCount; ++k) {
            const std::int32_t id = L_GetSchCompId(c, k);
            Z_SchematicRecord s {};
            if (C_ReadComponent(id, &s) <= 0)
                continue;
            for (std::int32_t pos = OA_SearchMask(C_CompTextArray(id), 1, -1); pos > 0;
                 pos = OA_SearchMask(C_CompTextArray(id), pos + 1, -1)) {
                Z_ItemRecord item {};
                if (I_ReadItem(C_CompText(id, pos), &item))
                    (void)kernelText(item.text);
            }
        }
    }
    for (std::int32_t d : entries(DB_DeviceMap())) {
        Z_DeviceRecord r {};
        D_ReadDevice(d, &r);
        (void)kernelText(r.text);
    }
    std::int32_t flag = 0;
    E_MemCopy(&flag, E_SysTable(12) + 2044, 4);
}

class KernelApi : public ::testing::Test
{
protected:
    void SetUp() override
    {
        file = (dir / "board.dpz").string();
        rav::project::writeDpz(smallProject(), file);
        ASSERT_NE(Z_OpenProject(file.c_str()), 0) << Z_LastError();
    }
    void TearDown() override
    {
        Z_CloseProject();
        Z_SetHelpDisplay(nullptr, nullptr);
    }
    ScratchDir dir;
    std::string file;
};

TEST_F(KernelApi, IdentityAndMapsInProjectOrder)
{
    EXPECT_EQ(kernelText(O_GetName(DB_DataBase())), "BOARD-1");
    EXPECT_EQ(kernelText(O_GetName(OM_Object(DB_HierarchyMap(), DB_CurHier()))), "Power");
    EXPECT_EQ(entries(DB_HierarchyMap()).size(), 2u);

    auto names = [](std::int32_t map) {
        std::vector<std::string> out;
        for (std::int32_t e : entries(map))
            out.push_back(kernelText(O_GetName(OM_Object(map, e))));
        return out;
    };
    EXPECT_EQ(names(DB_LayCompMap()), (std::vector<std::string> { "R1", "Q1", "MH1" }));
    EXPECT_EQ(names(DB_DeviceMap()), (std::vector<std::string> { "RES-10K", "NPN" }));
    EXPECT_EQ(OM_FindName(DB_DeviceMap(), "NPN"), entries(DB_DeviceMap())[1]);
    EXPECT_EQ(OM_FindName(DB_DeviceMap(), "npn"), 0);
    EXPECT_EQ(OM_FindName(DB_LayCompMap(), "NPN"), 0);
    // A cursor past the end stays at the end.
    std::int32_t cursor = 99;
    EXPECT_EQ(OM_SearchMask(DB_LayCompMap(), &cursor, 0, 0), 0);
}

TEST_F(KernelApi, RecordWordsSitAtTheirByteOffsets)
{
    const std::int32_t r1 = entries(DB_LayCompMap())[0];
    Z_ComponentRecord comp {};
    ASSERT_NE(L_ReadComponent(r1, &comp), 0);
    std::int32_t words[9];
    std::memcpy(words, &comp, sizeof words);
    EXPECT_EQ(kernelText(words[1]), "R1"); // +4
    EXPECT_EQ(kernelText(O_GetName(S_Symbol(words[5]))), "R0603"); // +20
    EXPECT_EQ(kernelText(O_GetName(D_Device(words[6]))), "RES-10K"); // +24
    EXPECT_EQ(words[8], 1); // +32

    Z_DeviceRecord dev {};
    ASSERT_NE(D_ReadDevice(words[6], &dev), 0);
    std::int32_t dwords[6];
    std::memcpy(dwords, &dev, sizeof dwords);
    EXPECT_EQ(kernelText(dwords[2]), "passives.lib"); // +8
    EXPECT_EQ(kernelText(dwords[3]), "R0603 Resistor 10k\x80RES-0603-10K\x80RES"); // +12

    const std::int32_t sch = L_GetSchCompId(r1, 1);
    Z_SchematicRecord s {};
    EXPECT_GT(C_ReadComponent(sch, &s), 0);
    EXPECT_EQ(L_GetSchCompId(r1, 2), 0);
    EXPECT_EQ(L_GetSchCompId(r1, 0), 0);
    const std::int32_t pos = OA_SearchMask(C_CompTextArray(sch), 1, 4);
    EXPECT_EQ(pos, 2);
    Z_ItemRecord item {};
    ASSERT_NE(I_ReadItem(C_CompText(sch, pos), &item), 0);
    std::int32_t iwords[13];
    std::memcpy(iwords, &item, sizeof iwords);
    EXPECT_EQ(kernelText(iwords[11]), "Pull-up"); // +44
    EXPECT_EQ(OA_SearchMask(C_CompTextArray(sch), 3, 4), 0);

    // A component without device and symbol: both words 0, no gates.
    Z_ComponentRecord mh {};
    ASSERT_NE(L_ReadComponent(entries(DB_LayCompMap())[2], &mh), 0);
    EXPECT_EQ(std::tie(mh.device, mh.symbol, mh.schCompCount), std::make_tuple(0, 0, 0));
}

TEST_F(KernelApi, HandlesOfTheWrongKindAreRefused)
{
    const std::int32_t comp = entries(DB_LayCompMap())[0];
    const std::int32_t dev = entries(DB_DeviceMap())[0];
    Z_ComponentRecord c {};
    Z_DeviceRecord d {};
    Z_ItemRecord i {};
    EXPECT_EQ(L_ReadComponent(dev, &c), 0);
    EXPECT_EQ(D_ReadDevice(comp, &d), 0);
    EXPECT_EQ(D_ReadDevice(0, &d), 0);
    EXPECT_EQ(D_ReadDevice(-5, &d), 0);
    EXPECT_EQ(I_ReadItem(comp, &i), 0);
    EXPECT_EQ(Z_TextPointer(comp), nullptr);
    EXPECT_EQ(D_Device(comp), 0);
    EXPECT_EQ(OM_Object(DB_DeviceMap(), comp), 0);
    EXPECT_EQ(E_MemCopy(&i, comp, 4), 0);
}

TEST_F(KernelApi, ChangedDeviceTextIsStoredAndOldTextsStayValid)
{
    const std::int32_t dev = OM_FindName(DB_DeviceMap(), "RES-10K");
    Z_DeviceRecord before {};
    ASSERT_NE(D_ReadDevice(dev, &before), 0);
    const char* oldText = Z_TextPointer(before.text);

    EXPECT_NE(D_ChangeDevice(dev, before.library, "R0603 A\x80X\x80RES"), 0);
    EXPECT_STREQ(oldText, "R0603 Resistor 10k\x80RES-0603-10K\x80RES");
    Z_DeviceRecord after {};
    ASSERT_NE(D_ReadDevice(dev, &after), 0);
    EXPECT_EQ(kernelText(after.text), "R0603 A\x80X\x80RES");
    EXPECT_EQ(after.library, before.library);

    // Refusals change nothing.
    EXPECT_EQ(D_ChangeDevice(0, before.library, "R0603 B"), 0);
    EXPECT_EQ(D_ChangeDevice(dev, before.name, "R0603 B"), 0);
    EXPECT_NE(std::string(Z_LastError()), "");
    EXPECT_EQ(D_ChangeDevice(dev, before.library, std::string(1024, 'x').c_str()), 0);
    EXPECT_NE(D_ChangeDevice(dev, before.library, std::string(1023, 'x').c_str()), 0);
    EXPECT_NE(D_ChangeDevice(dev, before.library, "R0603 A\x80X\x80RES"), 0);

    Z_CloseProject();
    EXPECT_EQ(DB_DataBase(), 0);
    ASSERT_NE(Z_OpenProject(file.c_str()), 0);
    Z_DeviceRecord reopened {};
    ASSERT_NE(D_ReadDevice(OM_FindName(DB_DeviceMap(), "RES-10K"), &reopened), 0);
    EXPECT_EQ(kernelText(reopened.text), "R0603 A\x80X\x80RES");
}

TEST_F(KernelApi, StringTableSystemTableAndHelp)
{
    EXPECT_EQ(kernelText(E_GetString("OTHER")), "value");
    EXPECT_LE(E_GetString("RAVEDERI"), 0);
    EXPECT_NE(E_SetString("RAVEDERI", "MAINWIDTH"), 0);
    EXPECT_EQ(kernelText(E_GetString("RAVEDERI")), "MAINWIDTH");
    Z_CloseProject();
    ASSERT_NE(Z_OpenProject(file.c_str()), 0);
    EXPECT_EQ(kernelText(E_GetString("RAVEDERI")), "MAINWIDTH");
    E_SetString("RAVEDERI", "");
    EXPECT_EQ(kernelText(E_GetString("RAVEDERI")), "");

    const std::int32_t base = E_SysTable(12);
    ASSERT_GT(base, 0);
    std::int32_t flag = 0;
    EXPECT_EQ(E_MemCopy(&flag, base + 2044, 4), 4);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(E_MemCopy(&flag, base + 4094, 4), 0); // runs past the table
    EXPECT_EQ(E_SysTable(11), 0);

    EXPECT_EQ(H_DispTopic(7, "help.hlp", 3), 0); // no display: refused
    std::vector<std::string> seen;
    Z_SetHelpDisplay(
        [](void* ctx, std::int64_t window, const char* helpFile, std::int32_t topic) {
            static_cast<std::vector<std::string>*>(ctx)->push_back(
                std::to_string(window) + " " + helpFile + " " + std::to_string(topic));
        },
        &seen);
    EXPECT_EQ(H_DispTopic(0x123456789LL, "/srv/Ravederi.HLP", 13305), 1);
    EXPECT_EQ(seen, std::vector<std::string> { std::to_string(0x123456789LL) + " /srv/Ravederi.HLP 13305" });
}

TEST_F(KernelApi, SaveAsContinuesOnTheCopy)
{
    const std::int32_t dev = OM_FindName(DB_DeviceMap(), "NPN");
    Z_DeviceRecord r {};
    ASSERT_NE(D_ReadDevice(dev, &r), 0);
    ASSERT_NE(D_ChangeDevice(dev, r.library, "SOT23 Transistor"), 0);
    const std::string copy = (dir / "copy.dpz").string();
    ASSERT_NE(Z_SaveProjectAs(copy.c_str()), 0) << Z_LastError();
    EXPECT_EQ(std::string(Z_ProjectPath()), copy);
    ASSERT_NE(D_ReadDevice(OM_FindName(DB_DeviceMap(), "NPN"), &r), 0);
    EXPECT_EQ(kernelText(r.text), "SOT23 Transistor");
    // The copy exists now, so saving onto it again is refused.
    EXPECT_EQ(Z_SaveProjectAs(copy.c_str()), 0);
}

TEST(KernelWithoutProject, EverythingAnswersNothing)
{
    Z_CloseProject();
    EXPECT_EQ(DB_DataBase(), 0);
    EXPECT_EQ(DB_CurHier(), 0);
    EXPECT_EQ(DB_LayCompMap(), 0);
    std::int32_t cursor = OM_GetFirst(DB_LayCompMap());
    EXPECT_EQ(OM_SearchMask(DB_LayCompMap(), &cursor, 0, 0), 0);
    EXPECT_EQ(O_GetName(DB_DataBase()), 0);
    EXPECT_EQ(E_GetString("RAVEDERI"), 0);
    EXPECT_EQ(E_SetString("RAVEDERI", "x"), 0);
    EXPECT_EQ(E_SysTable(12), 0);
    EXPECT_EQ(Z_TextPointer(1), nullptr);
    EXPECT_STREQ(Z_ProjectPath(), "");
}

// Opens `file` expecting failure: no project open afterwards and a message
// containing `phrase`.
void expectRefused(const std::string& file, const std::string& phrase)
{
    EXPECT_EQ(Z_OpenProject(file.c_str()), 0) << file;
    EXPECT_EQ(DB_DataBase(), 0);
    EXPECT_NE(std::string(Z_LastError()).find(phrase), std::string::npos) << Z_LastError();
}

void runSql(const std::string& file, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
}

TEST(KernelOpen, BadFilesFailClearlyAndLeaveNoProjectOpen)
{
    ScratchDir dir;
    const std::string good = (dir / "good.dpz").string();
    rav::project::writeDpz(smallProject(), good);
    ASSERT_NE(Z_OpenProject(good.c_str()), 0);

    expectRefused((dir / "missing.dpz").string(), "does not exist");
    EXPECT_EQ(Z_OpenProject(""), 0);
    expectRefused(dir.path().string(), "not a regular file");
    for (const auto& [text, phrase] : { std::pair { "just some words\n", "is not a project file" }, { "", "is not a project file" } }) {
        rav::test::writeFile(dir / "text.dpz", text);
        expectRefused((dir / "text.dpz").string(), phrase);
    }
    const std::string other = (dir / "other.db").string();
    runSql(other, "CREATE TABLE Device(EIC TEXT); INSERT INTO Device VALUES('x');");
    expectRefused(other, "another kind");
    // Our id on a foreign schema: damaged, not misread.
    const std::string fake = (dir / "fake.dpz").string();
    runSql(fake, "PRAGMA application_id = 1383485546; PRAGMA user_version = 1; CREATE TABLE project(id);");
    expectRefused(fake, "damaged");

    // A good project changed behind the kernel's back.
    const std::pair<const char*, const char*> changes[] = {
        { "PRAGMA user_version = 9;", "newer program" },
        { "PRAGMA foreign_keys = OFF; UPDATE component SET device = 77 WHERE id = 1;", "missing row of table device" },
        { "PRAGMA foreign_keys = OFF; INSERT INTO text_item(sch_component, mask, text) VALUES (99, 8, 'x');", "damaged" },
        { "DELETE FROM project;", "project row is missing" },
    };
    for (const auto& [sql, phrase] : changes) {
        const std::string changed = (dir / "changed.dpz").string();
        std::filesystem::remove(changed);
        rav::project::writeDpz(smallProject(), changed);
        runSql(changed, sql);
        expectRefused(changed, phrase);
    }
}

// Every component as the kernel reads it: name, then per gate its
// component's name and its items' masks and texts.
std::string dumpComponents()
{
    std::string out;
    for (std::int32_t c : entries(DB_LayCompMap())) {
        Z_ComponentRecord r {};
        if (!L_ReadComponent(c, &r))
            continue;
        out += kernelText(r.name) + ":";
        for (std::int32_t k = 1; k <= r.schCompCount; ++k) {
            const std::int32_t id = L_GetSchCompId(c, k);
            Z_SchematicRecord s {};
            Z_ComponentRecord owner {};
            if (C_ReadComponent(id, &s) <= 0 || !L_ReadComponent(s.component, &owner))
                continue;
            out += " [" + kernelText(owner.name);
            for (std::int32_t pos = 1; pos <= s.textCount; ++pos) {
                Z_ItemRecord item {};
                if (I_ReadItem(C_CompText(id, pos), &item))
                    out += " " + std::to_string(item.mask) + "=" + kernelText(item.text);
            }
            out += "]";
        }
        out += "\n";
    }
    return out;
}

TEST(KernelOpen, RowIdsWithGapsAndGatesOutOfIdOrderReadTheSame)
{
    ScratchDir dir;
    const std::string file = (dir / "ids.dpz").string();
    Project p = smallProject();
    p.components.insert(p.components.begin() + 2, { "U1", "", "", { { { { 8, "A" } } }, { {} }, { { { 4, "C" } } } } });
    rav::project::writeDpz(p, file);
    ASSERT_NE(Z_OpenProject(file.c_str()), 0) << Z_LastError();
    const std::string before = dumpComponents();
    Z_CloseProject();
    EXPECT_EQ(before, "R1: [R1 8=10k 4=Pull-up]\nQ1: [Q1 4=Driver] [Q1 8=BC847]\nU1: [U1 8=A] [U1] [U1 4=C]\nMH1:\n");

    // Gate ids in reverse component order (in order within a component),
    // component ids 10, 20 ..., a device text holding a NUL.
    runSql(file,
        "PRAGMA foreign_keys = OFF;"
        "UPDATE text_item SET sch_component = (SELECT (5 - component) * 10 + id FROM sch_component"
        " WHERE id = text_item.sch_component);"
        "UPDATE sch_component SET id = (5 - component) * 10 + id;"
        "UPDATE component SET id = id * 10; UPDATE sch_component SET component = component * 10;"
        "UPDATE device SET text = X'5230363033004E554C' WHERE name = CAST('NPN' AS BLOB);");
    ASSERT_NE(Z_OpenProject(file.c_str()), 0) << Z_LastError();
    EXPECT_EQ(dumpComponents(), before);
    // The text with a NUL goes into the journal whole, and undo puts it back whole.
    const std::int32_t npn = OM_FindName(DB_DeviceMap(), "NPN");
    Z_DeviceRecord d {};
    ASSERT_NE(D_ReadDevice(npn, &d), 0);
    EXPECT_EQ(kernelText(d.text), "R0603");
    ASSERT_NE(D_ChangeDevice(npn, d.library, "SOT23 X"), 0);
    ASSERT_EQ(Z_UndoChange(), 1) << Z_LastError();
    Z_CloseProject();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, "SELECT hex(text) FROM device WHERE name = CAST('NPN' AS BLOB)", -1, &q, nullptr);
    ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)), "5230363033004E554C");
    sqlite3_finalize(q);
    sqlite3_close(db);
}

TEST(KernelOpen, CorruptedFilesNeverCrashTheKernel)
{
    ScratchDir dir;
    const std::string good = (dir / "good.dpz").string();
    rav::project::writeDpz(smallProject(), good);
    const std::string bytes = rav::test::readFile(good);
    ASSERT_GT(bytes.size(), 4096u);

    std::mt19937 random(20240611); // fixed seed: the same corruptions every run
    const std::string bad = (dir / "bad.dpz").string();
    int opened = 0, refused = 0;
    auto attempt = [&](const std::string& content) {
        rav::test::writeFile(bad, content);
        if (Z_OpenProject(bad.c_str())) {
            ++opened;
            walkEverything();
            Z_CloseProject();
        } else {
            ++refused;
            EXPECT_EQ(DB_DataBase(), 0);
            EXPECT_NE(std::string(Z_LastError()), "");
        }
    };
    // Truncations at page boundaries and in the middle of pages.
    for (std::size_t cut : { std::size_t(100), std::size_t(1000), std::size_t(4096), bytes.size() / 2,
             bytes.size() - 4096, bytes.size() - 1 })
        attempt(bytes.substr(0, cut));
    // Random bytes overwritten past the header, a few at a time.
    for (int round = 0; round < 40; ++round) {
        std::string damaged = bytes;
        for (int k = 0; k < 8; ++k)
            damaged[100 + random() % (damaged.size() - 100)] = static_cast<char>(random());
        attempt(damaged);
    }
    // Pure noise with a valid header.
    std::string noise = bytes.substr(0, 100);
    while (noise.size() < bytes.size())
        noise += static_cast<char>(random());
    attempt(noise);
    EXPECT_GT(refused, 0);
    EXPECT_EQ(opened + refused, 6 + 40 + 1);
}

} // namespace
