// The project's identity, the two part collections and the EIC write-back,
// each over a project file built for the case.
#include "project_model.h"
#include "project_parts.h"
#include "test_env.h"
#include "textcodec.h"
#include "zareza2v.h"

#include <gtest/gtest.h>
#include <tuple>

namespace
{

using rav::kernel::DeviceAttributes;
using rav::kernel::PartRecord;
using rav::kernel::ProjectParts;
using rav::kernel::TextMask;
using rav::project::Project;

const std::string kSep = "\xE2\x82\xAC"; // the 0x80 separator, as the editor sees it

rav::project::Device device(const std::string& name, const std::string& text)
{
    rav::project::Device d;
    d.name = name;
    d.library = "lib";
    rav::project::splitDeviceText(text, d);
    return d;
}

class Parts : public ::testing::Test
{
protected:
    void open(const Project& project)
    {
        rav::project::writeDpz(project, dir / "p.dpz");
        ASSERT_NE(Z_OpenProject((dir / "p.dpz").c_str()), 0) << Z_LastError();
    }
    void openDevices(const std::vector<rav::project::Device>& devices)
    {
        Project p;
        p.name = "P";
        p.devices = devices;
        open(p);
    }
    void TearDown() override
    {
        Z_CloseProject();
        parts.reset();
    }
    std::string deviceText(const std::string& name)
    {
        Z_DeviceRecord r {};
        if (!D_ReadDevice(OM_FindName(DB_DeviceMap(), rav::text::utf8ToCp1252(name).value().c_str()), &r))
            return "<unreadable>";
        return rav::text::cp1252ToUtf8(Z_TextPointer(r.text));
    }
    DeviceAttributes parse(const std::string& name)
    {
        return parts.ParseDeviceText(OM_FindName(DB_DeviceMap(), name.c_str()));
    }

    rav::test::ScratchDir dir;
    ProjectParts& parts = ProjectParts::instance();
    rav::RecordingMessageSink messages;
};

TEST_F(Parts, DeviceTextTokensGiveTheAttributes)
{
    openDevices({ device("ONE", "R0805 A"), device("TWO", "R0805 A" + kSep + "B"),
        device("THREE", "R0805 A" + kSep + "B" + kSep + "C"),
        device("FOUR", "R0805 A" + kSep + "B" + kSep + "C" + kSep + "D"), device("TRAIL", "R0805 A" + kSep),
        device("BARE", "R0805"), device("EMPTY", "R0805 " + kSep + kSep),
        device("PADDED", "  R0805 A" + kSep + "B  "), device("BLANKS", "R0805 long name" + kSep + "X 1") });

    EXPECT_EQ(parse("ONE"), (DeviceAttributes { "A", "", "" }));
    EXPECT_EQ(parts.FirstWord(), "R0805");
    EXPECT_EQ(parts.DeviceTokens().Count(), 1u);
    EXPECT_EQ(parse("TWO"), (DeviceAttributes { "A", "B", "" }));
    EXPECT_EQ(parse("THREE"), (DeviceAttributes { "A", "B", "C" }));
    EXPECT_EQ(parts.DeviceTokens()[3], "C");
    EXPECT_EQ(parse("FOUR"), (DeviceAttributes {}));
    EXPECT_EQ(parts.DeviceTokens().Count(), 4u);
    EXPECT_EQ(parse("TRAIL"), (DeviceAttributes { "A", "", "" }));
    EXPECT_EQ(parts.DeviceTokens().Count(), 2u);
    EXPECT_EQ(parse("BARE"), (DeviceAttributes {}));
    EXPECT_EQ(parts.FirstWord(), "");
    EXPECT_EQ(parts.DeviceTokens().Count(), 0u);
    EXPECT_EQ(parse("EMPTY"), (DeviceAttributes { "", "", "" }));
    EXPECT_EQ(parts.DeviceTokens().Count(), 3u);
    EXPECT_EQ(parse("PADDED"), (DeviceAttributes { "A", "B", "" }));
    EXPECT_EQ(parts.FirstWord(), "R0805");
    EXPECT_EQ(parse("BLANKS"), (DeviceAttributes { "long name", "X 1", "" }));
    EXPECT_EQ(parse("NOSUCH"), (DeviceAttributes {}));
    EXPECT_EQ(parts.DeviceTokens().Count(), 0u);
    EXPECT_THROW(parts.DeviceTokens()[1], std::out_of_range);
}

TEST_F(Parts, DeviceCollectionListsEveryDeviceInOrder)
{
    openDevices({ device("R-A-B", "R0805 A" + kSep + "B"), device("BARE", "R0805"),
        device("FOUR", "SOT23 1" + kSep + "2" + kSep + "3" + kSep + "4") });
    parts.CollectProjectDevices();
    ASSERT_TRUE(parts.HasParts());
    ASSERT_EQ(parts.PartList().Count(), 3u);
    EXPECT_EQ(parts.PartList()[1],
        (PartRecord { "", "R-A-B", "A", "B", "", "R0805", "", "", OM_FindName(DB_DeviceMap(), "R-A-B") }));
    EXPECT_EQ(parts.PartList()[2].PartName, "BARE");
    EXPECT_EQ(parts.PartList()[2].Package, "");
    EXPECT_EQ(parts.PartList()[3].Package, "SOT23");
    EXPECT_EQ(parts.PartList()[3].FullName, "");
    EXPECT_THROW(parts.PartList()[4], std::out_of_range);
    EXPECT_THROW(parts.PartList()[0], std::out_of_range);
}

TEST_F(Parts, LayoutCollectionAndDetails)
{
    Project p;
    p.name = "P";
    p.symbols = { "R0603", "TP" };
    p.devices = { device("RES", "R0603 Resistor" + kSep + "RES-0603-10K" + kSep + "RES") };
    p.components = {
        { "R1", "R0603", "RES", { { { { 4, "Pull-up" }, { 8, "10k" } } } } },
        // The value lives on the second gate; the first has none.
        { "U1", "R0603", "RES", { { { { 4, "Power gate" } } }, { { { 12, "LM358" } } } } },
        { "TP1", "TP", "", { { { { 4, "Test" } } } } },
        { "MH1", "", "", {} },
    };
    open(p);

    parts.CollectLayoutComponents();
    ASSERT_TRUE(parts.HasParts());
    ASSERT_EQ(parts.PartList().Count(), 4u);
    EXPECT_EQ(parts.PartList()[1].CompName, "R1");
    EXPECT_EQ(parts.PartList()[1].PartName, "RES");
    EXPECT_EQ(parts.PartList()[1].FullName, ""); // only after ReadPartDetails
    EXPECT_EQ(parts.PartList()[3].PartName, "none");
    EXPECT_EQ(parts.PartList()[4].PartName, "none");

    for (std::size_t i = 1; i <= parts.PartList().Count(); ++i)
        parts.ReadPartDetails(i);
    const PartRecord r1 = parts.PartList()[1];
    EXPECT_EQ(r1,
        (PartRecord { "R1", "RES", "Resistor", "RES-0603-10K", "RES", "R0603", "Pull-up", "10k",
            parts.PartList()[1].Handle }));
    EXPECT_GT(r1.Handle, 0);
    EXPECT_EQ(parts.PartList()[2].Value, "LM358");
    EXPECT_EQ(parts.PartList()[2].Description, "Power gate");
    // "none" in the collection, an empty part name once detailed.
    EXPECT_EQ(parts.PartList()[3], (PartRecord { "TP1", "", "", "", "", "TP", "Test", "none", parts.PartList()[3].Handle }));
    EXPECT_EQ(parts.PartList()[4], (PartRecord { "MH1", "", "", "", "", "", "none", "none", parts.PartList()[4].Handle }));
    EXPECT_THROW(parts.ReadPartDetails(5), std::out_of_range);

    // Block by block (3, then 1): the same records in the same order, and
    // the count without collecting.
    const std::vector<PartRecord> whole = parts.PartList().items();
    EXPECT_EQ(parts.CountLayoutComponents(), 4u);
    std::vector<PartRecord> blocks;
    ProjectParts::LayoutCursor cursor;
    std::vector<std::size_t> sizes;
    while (parts.CollectLayoutBlock(cursor, 3)) {
        EXPECT_TRUE(parts.HasParts());
        sizes.push_back(parts.PartList().Count());
        for (std::size_t i = 1; i <= parts.PartList().Count(); ++i) {
            parts.ReadPartDetails(i);
            blocks.push_back(parts.PartList()[i]);
        }
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t> { 3, 1 }));
    EXPECT_EQ(blocks, whole);
    EXPECT_FALSE(parts.CollectLayoutBlock(cursor, 3));

    Z_ComponentRecord record {};
    ASSERT_NE(L_ReadComponent(r1.Handle, &record), 0);
    EXPECT_EQ(parts.ReadComponentText(r1.Handle, record, TextMask::Value), "10k");
    record.schCompCount = 0;
    EXPECT_EQ(parts.ReadComponentText(r1.Handle, record, TextMask::Value), "none");

    // A new collection starts from an empty list.
    parts.CollectProjectDevices();
    EXPECT_EQ(parts.PartList().Count(), 1u);
}

TEST_F(Parts, ProjectIdentityAndEmptyProjects)
{
    Project p;
    p.name = std::string(1100, 'N');
    p.hierarchies = { "Top", "Analog" };
    p.currentHierarchy = 1;
    open(p);
    ASSERT_TRUE(parts.OpenProjectInfo());
    EXPECT_EQ(parts.ProjectName(), std::string(1023, 'N'));
    EXPECT_EQ(parts.HierarchyName(), "Analog");

    parts.CollectLayoutComponents();
    EXPECT_FALSE(parts.HasParts());
    EXPECT_EQ(parts.PartList().Count(), 0u);
    ProjectParts::LayoutCursor cursor;
    EXPECT_FALSE(parts.CollectLayoutBlock(cursor, 8));
    EXPECT_FALSE(parts.HasParts());
    parts.CollectProjectDevices();
    EXPECT_FALSE(parts.HasParts());

    Z_CloseProject();
    EXPECT_FALSE(parts.OpenProjectInfo());
    EXPECT_EQ(parts.ProjectName(), std::string(1023, 'N'));
    EXPECT_EQ(parts.HierarchyName(), "Analog");
    parts.CollectLayoutComponents();
    EXPECT_FALSE(parts.HasParts());
}

TEST_F(Parts, UpdateReplacesTokenTwoOnly)
{
    openDevices({ device("THREE", "R0805 A" + kSep + "B" + kSep + "C"), device("BARE", "R0805"),
        device("ONE", "R0805 A"),
        device("FIVE", "R0805 1" + kSep + "2" + kSep + "3" + kSep + "4" + kSep + "5"),
        device("SAME", "C0603 Cap" + kSep + "CAP-1"), device("Caf\xC3\xA9", " x") });

    // A name outside ASCII reaches the kernel in its code page; an empty first word stays empty.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        { "THREE", "X", "R0805 A" + kSep + "X" + kSep + "C" },
        { "BARE", "X", "R0805 " + kSep + "X" },
        { "ONE", "X", "R0805 A" + kSep + "X" },
        { "FIVE", "X", "R0805 1" + kSep + "X" + kSep + "3" + kSep + "4" + kSep + "5" },
        { "SAME", "CAP-1", "C0603 Cap" + kSep + "CAP-1" },
        { "Caf\xC3\xA9", "\xC3\xA9-1", " x" + kSep + "\xC3\xA9-1" },
    };
    for (const auto& [name, eic, text] : cases) {
        parts.UpdateDeviceEic(name, eic, messages);
        EXPECT_EQ(deviceText(name), text);
    }
    EXPECT_EQ(parse("BARE"), (DeviceAttributes { "", "X", "" }));
    EXPECT_TRUE(messages.messages.empty());

    // The change is in the file, not only in memory.
    Z_CloseProject();
    ASSERT_NE(Z_OpenProject((dir / "p.dpz").c_str()), 0);
    EXPECT_EQ(deviceText("THREE"), "R0805 A" + kSep + "X" + kSep + "C");
}

TEST_F(Parts, UpdateReportsUnknownPartsAndRefusedChanges)
{
    openDevices({ device("R1", "R0805 A" + kSep + "B") });
    parts.UpdateDeviceEic("R12", "X", messages);
    // Longer than the kernel takes, or outside its code page: refused, text unchanged.
    parts.UpdateDeviceEic("R1", std::string(1100, 'C'), messages);
    parts.UpdateDeviceEic("R1", "\xCE\xA9", messages);
    EXPECT_EQ(deviceText("R1"), "R0805 A" + kSep + "B");
    Z_CloseProject();
    parts.UpdateDeviceEic("R1", "X", messages);
    std::vector<std::string> seen;
    for (const auto& m : messages.messages)
        seen.push_back(m.id + " " + m.text);
    EXPECT_EQ(seen, (std::vector<std::string> { "3734 Can't read the Part: R12", "3733 Can't chage the Part: R1",
                        "3733 Can't chage the Part: R1", "3734 Can't read the Part: R1" }));
    EXPECT_EQ(messages.messages[0].kind, rav::MessageKind::Exclamation);
}

} // namespace
