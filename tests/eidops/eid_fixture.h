// Builds small EIDs for the operation tests and reads back what they hold.
#pragma once

#include "database.h"
#include "eid_format.h"
#include "recordset.h"
#include "test_env.h"

#include <gtest/gtest.h>
#include <map>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace rav::test
{

using Row = std::vector<db::Value>;

// Where a test's EIDs live: files in its scratch folder, or tables on the
// test server, one per file name. `available()` is false for the server when
// the run has none.
class EidPlace
{
public:
    EidPlace(std::filesystem::path dir, db::Backend backend)
        : dir_(std::move(dir))
        , backend_(backend)
    {
    }
    std::string operator()(const std::string& fileName)
    {
        if (backend_ == db::Backend::File)
            return (dir_ / fileName).string();
        auto& name = servers_[fileName];
        if (name.empty())
            name = serverEidName();
        return name;
    }
    bool available() { return !(*this)("probe").empty(); }

private:
    std::filesystem::path dir_;
    db::Backend backend_;
    std::map<std::string, std::string> servers_;
};

inline std::string backendName(const ::testing::TestParamInfo<db::Backend>& info)
{
    return info.param == db::Backend::Server ? "Server" : "File";
}

// A new EID with the given fields; fails the test when it cannot be made.
inline std::string MakeEid(const std::string& name, const std::vector<eid::EidField>& fields,
    const std::string& eic, const std::vector<Row>& rows = {})
{
    if (name.empty())
        return name; // no server for this run: the test skips
    std::string why;
    EXPECT_TRUE(eid::CreateEidDatabase(name, fields, eic, &why)) << why;
    if (!rows.empty()) {
        db::Database db = db::Database::open(name, db::OpenMode::Exclusive);
        db::Recordset rs = db.openRecordset("Device");
        for (const Row& r : rows) {
            rs.addNew();
            for (std::size_t i = 0; i < r.size(); ++i)
                rs.setValue(static_cast<int>(i), r[i]);
            rs.update();
        }
    }
    return name;
}

// The Code/Name table of the worked examples: Code (the EIC, 5 characters)
// and Name (10 characters).
inline std::string MakeCodeNameEid(const std::string& name, const std::vector<Row>& rows = {})
{
    return MakeEid(name, { { "Code", 5 }, { "Name", 10 } }, "Code", rows);
}

// Every record as its values in column order, ordered by `orderBy` (a
// native SQL ORDER BY list).
inline std::vector<Row> Records(const std::string& file, const std::string& orderBy = "rowid")
{
    db::Database db = db::Database::open(file, db::OpenMode::Shared);
    db::Statement st = db.prepare("SELECT * FROM Device ORDER BY " + orderBy);
    std::vector<Row> rows;
    while (st.step()) {
        Row r;
        for (int i = 0; i < st.columnCount(); ++i)
            r.push_back(st.column(i));
        rows.push_back(r);
    }
    return rows;
}

inline std::string IntegrityCheck(const std::string& file)
{
    db::Database db = db::Database::open(file, db::OpenMode::Exclusive);
    db::Statement st = db.prepare("PRAGMA integrity_check");
    std::string out;
    while (st.step())
        out += st.column(0).value_or("");
    return out;
}

inline Row R(std::initializer_list<db::Value> values)
{
    return Row(values);
}

} // namespace rav::test
