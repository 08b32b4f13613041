// Shared set-up of the engine tests: a scratch folder and a small table.
#pragma once

#include "database.h"
#include "recordset.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rav::db::test
{

// Device (Code 20 primary, Name 10, Note 255) in a fresh file.
inline TableDef deviceDef()
{
    TableDef def;
    def.name = "Device";
    def.fields = { { "Code", 20 }, { "Name", 10 }, { "Note", 255 } };
    def.indexes = { IndexDef { "ExtIndexCode", { "Code" }, true, true } };
    return def;
}

class EngineTest : public ::testing::Test
{
protected:
    std::string file(const std::string& name = "t.db") const { return (dir / name).string(); }

    Database makeDevice(const std::vector<std::vector<Value>>& rows = {})
    {
        Database db = Database::create(file());
        db.createTable(deviceDef());
        Recordset rs = db.openRecordset("Device");
        for (const auto& row : rows) {
            rs.addNew();
            for (std::size_t i = 0; i < row.size(); ++i)
                rs.setValue(static_cast<int>(i), row[i]);
            rs.update();
        }
        return db;
    }

    // The Code values of a set from its current position to the end.
    static std::vector<std::string> codes(Recordset& rs)
    {
        std::vector<std::string> out;
        for (rs.moveFirst(); !rs.eof(); rs.moveNext())
            out.push_back(rs.value("Code").value_or("<null>"));
        return out;
    }

    rav::test::ScratchDir dir;
};

} // namespace rav::db::test
