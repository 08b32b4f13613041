#include "database.h"
#include "eid_format.h"
#include "recordset.h"
#include "test_env.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace rav::eid;
using rav::db::Database;
using rav::db::OpenMode;
using rav::test::ScratchDir;

namespace
{

std::string pathIn(const ScratchDir& dir, const std::string& name)
{
    return (dir / name).string();
}

// Holds a file open, shared, in another process until destroyed.
class OtherProcessHolds : public rav::test::RunningProgram
{
public:
    explicit OtherProcessHolds(const std::string& path)
        : RunningProgram({ std::string(RAV_BIN_DIR) + "/engine_lock_probe", "hold", "shared", path })
    {
    }
};

} // namespace

TEST(EidCreation, CodeAndPriceExample)
{
    ScratchDir dir;
    const std::string file = pathIn(dir, "Part.eid");
    std::string error;
    ASSERT_TRUE(CreateEidDatabase(file, { { "Code", 20 }, { "Price", 10 } }, "Code", &error)) << error;
    EXPECT_TRUE(IsEidDatabase(file));

    Database db = Database::open(file, OpenMode::Exclusive);
    EXPECT_EQ(db.tableNames(), std::vector<std::string> { "Device" }); // nothing else is stored
    EXPECT_EQ(db.applicationId(), kEidApplicationId);
    EXPECT_EQ(db.langId(), 0x0409);
    const auto def = db.tableDef("Device");
    ASSERT_EQ(def.fields.size(), 2u);
    EXPECT_EQ(def.fields[1].name, "Price");
    EXPECT_EQ(def.fields[1].size, 10);
    ASSERT_EQ(def.indexes.size(), 1u);
    EXPECT_EQ(def.indexes[0].name, "ExtIndexCode");
    EXPECT_TRUE(def.indexes[0].primary);
    EXPECT_EQ(EicFieldName(db), "Code");

    // Zero-length values are accepted in every column, the EIC too.
    auto rs = db.openRecordset("Device");
    rs.addNew();
    rs.setValue("Code", std::string());
    rs.setValue("Price", std::string());
    rs.update();
    EXPECT_EQ(rs.recordCount(), 1);
}

TEST(EidCreation, BadFieldListsFailWithADescriptionAndKeepTheOldFile)
{
    ScratchDir dir;
    const std::string file = pathIn(dir, "Part.eid");
    rav::test::writeFile(file, "keep me");
    std::string error;
    const std::vector<std::pair<std::vector<EidField>, std::string>> cases = {
        { {}, "at least one field" },
        { { { "Code", 0 } }, "size" },
        { { { "Code", 256 } }, "size" },
        { { { "Code", 20 }, { "CODE", 5 } }, "duplicate" },
        { { { "Part No", 20 } }, "blank" },
        { { { "", 20 } }, "empty" },
        { { { "Bad[", 20 } }, "Bad[" },
        { { { "Price", 20 } }, "EIC" },
    };
    for (const auto& [fields, word] : cases) {
        EXPECT_FALSE(CreateEidDatabase(file, fields, "Code", &error)) << word;
        EXPECT_NE(error.find(word), std::string::npos) << error;
    }
    EXPECT_EQ(rav::test::readFile(file), "keep me");
    // A good list replaces an earlier file; the EIC may be any field, named in any case.
    ASSERT_TRUE(CreateEidDatabase(file, { { "Maker", 30 }, { "OrderNo", 255 } }, "orderno", &error)) << error;
    Database db = Database::open(file);
    EXPECT_EQ(EicFieldName(db), "OrderNo");
    EXPECT_EQ(db.tableDef("Device").fields[1].size, 255);
}

TEST(EidFieldEntry, RulesInOrder)
{
    const std::vector<std::string> others = { "Code", "Price" };
    using E = FieldEntryError;
    const std::tuple<std::string, int, E> cases[] = { { "Maker", 0, E::InvalidSize }, { "Maker", 256, E::InvalidSize },
        { "Maker", 255, E::None }, { "Maker", 1, E::None }, { "CODE", 20, E::DuplicateName },
        { "CODE", 0, E::InvalidSize }, // size is checked first
        { "Part No", 20, E::BlankInName }, { "", 20, E::None } };
    for (const auto& [name, size, error] : cases)
        EXPECT_EQ(ValidateFieldEntry(name, size, others), error) << name << " " << size;
    EXPECT_EQ(ValidateFieldEntry("Price 2", 20, { "price 2" }), E::DuplicateName);
    EXPECT_EQ(ValidateFieldEntry("", 20, { "" }), E::DuplicateName);
}

TEST(EidRecognition, OnlyOpenableDatabasesWithADeviceTable)
{
    ScratchDir dir;
    EXPECT_FALSE(IsEidDatabase(""));
    EXPECT_FALSE(IsEidDatabase("   "));
    EXPECT_FALSE(IsEidDatabase(pathIn(dir, "missing.eid")));
    EXPECT_FALSE(IsEidDatabase(dir.path().string()));

    const std::string other = pathIn(dir, "other.eid");
    {
        Database db = Database::create(other);
        rav::db::TableDef t;
        t.name = "Parts";
        t.fields = { { "Code", 20 } };
        db.createTable(t);
    }
    EXPECT_FALSE(IsEidDatabase(other));

    // A project file has a table "device" too (names ignore case), but no
    // EIC index: it must not pass as an EID.
    const std::string lookalike = pathIn(dir, "project.dpz");
    {
        Database db = Database::create(lookalike);
        rav::db::TableDef t;
        t.name = "device";
        t.fields = { { "name", 20 }, { "library", 20 } };
        db.createTable(t);
    }
    EXPECT_FALSE(IsEidDatabase(lookalike));

    // Text, nothing, random bytes with and without a database header in front.
    std::string noise;
    unsigned state = 7;
    for (int i = 0; i < 16384; ++i) {
        state = state * 1664525u + 1013904223u;
        noise += static_cast<char>(state >> 24);
    }
    for (const std::string& content :
        { std::string("Code,Price\r\nA1,1.00\r\n"), std::string(), noise, std::string("SQLite format 3\0", 16) + noise }) {
        rav::test::writeFile(pathIn(dir, "bad.eid"), content);
        EXPECT_FALSE(IsEidDatabase(pathIn(dir, "bad.eid"))) << content.size();
    }

    // Recognition is by content: an EID under another name still counts.
    const std::string renamed = pathIn(dir, "parts.data");
    ASSERT_TRUE(CreateEidDatabase(renamed, { { "Code", 20 } }, "Code"));
    EXPECT_TRUE(IsEidDatabase(renamed));
}

TEST(EidRecognition, AFileHeldOpenElsewhereIsNeitherRecognisedNorReplaced)
{
    ScratchDir dir;
    const std::string file = pathIn(dir, "Part.eid");
    ASSERT_TRUE(CreateEidDatabase(file, { { "Code", 20 } }, "Code"));
    {
        Database here = Database::open(file, OpenMode::Shared);
        EXPECT_FALSE(IsEidDatabase(file));
        // Nor is it replaced by a new EID.
        std::string error;
        EXPECT_FALSE(CreateEidDatabase(file, { { "Other", 20 } }, "Other", &error));
        EXPECT_NE(error.find("in use"), std::string::npos) << error;
    }
    EXPECT_TRUE(IsEidDatabase(file));
    {
        OtherProcessHolds other(file);
        ASSERT_EQ(other.firstLine(), "ready");
        EXPECT_FALSE(IsEidDatabase(file));
    }
    EXPECT_TRUE(IsEidDatabase(file));
}

TEST(EidLookup, MissingTableOrIndexIsAnError)
{
    ScratchDir dir;
    const std::string file = pathIn(dir, "x.eid");
    Database db = Database::create(file);
    EXPECT_THROW(EicFieldName(db), rav::db::Error);
    rav::db::TableDef t;
    t.name = "Device";
    t.fields = { { "Code", 20 } };
    db.createTable(t);
    EXPECT_THROW(EicFieldName(db), rav::db::Error);
}
