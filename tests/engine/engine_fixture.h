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
    // The database the test works on: a file here, a server table in BackendTest.
    virtual std::string target() const { return file(); }

    Database makeDevice(const std::vector<std::vector<Value>>& rows = {})
    {
        Database db = Database::create(target());
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

// The same cases on a SQLite file and on a table on the test server, which
// must behave alike.
class BackendTest : public EngineTest, public ::testing::WithParamInterface<Backend>
{
protected:
    void SetUp() override
    {
        if (GetParam() == Backend::Server) {
            server_ = rav::test::serverEidName();
            if (server_.empty())
                GTEST_SKIP() << "no PostgreSQL server for this run (RAV_PG_DIR unset)";
        }
    }
    std::string target() const override { return GetParam() == Backend::Server ? server_ : file(); }

private:
    std::string server_;
};

inline std::string backendName(const ::testing::TestParamInfo<Backend>& info)
{
    return info.param == Backend::Server ? "Server" : "File";
}

} // namespace rav::db::test

#define RAV_INSTANTIATE_BACKENDS(Suite)                                                                      \
    INSTANTIATE_TEST_SUITE_P(Backends, Suite, ::testing::Values(rav::db::Backend::File, rav::db::Backend::Server), \
        rav::db::test::backendName)

namespace rav::db::test
{

} // namespace rav::db::test
