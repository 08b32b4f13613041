#include "lom_fixture.h"

#include "database.h"
#include "eid_format.h"
#include "project_model.h"
#include "recordset.h"
#include "zareza2v.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace rav::test
{

std::string projectJson(const std::string& name, const std::vector<TestDevice>& devices,
    const std::vector<TestComponent>& components)
{
    QJsonObject root;
    root["format"] = "ravederi-project";
    root["version"] = 1;
    root["name"] = QString::fromStdString(name);
    root["hierarchies"] = QJsonArray { "Main" };
    root["currentHierarchy"] = "Main";
    root["symbols"] = QJsonArray { "SYM" };
    QJsonArray devs;
    for (const auto& d : devices) {
        QJsonObject o;
        o["name"] = QString::fromStdString(d.name);
        o["library"] = "test.lib";
        o["firstWord"] = QString::fromStdString(d.firstWord);
        QJsonArray tokens;
        for (const auto& t : d.tokens)
            tokens.append(QString::fromStdString(t));
        o["tokens"] = tokens;
        devs.append(o);
    }
    root["devices"] = devs;
    QJsonArray comps;
    for (const auto& c : components) {
        QJsonObject o;
        o["name"] = QString::fromStdString(c.name);
        o["symbol"] = "SYM";
        if (!c.device.empty())
            o["device"] = QString::fromStdString(c.device);
        QJsonArray texts;
        if (!c.value.empty())
            texts.append(QJsonObject { { "mask", 8 }, { "text", QString::fromStdString(c.value) } });
        if (!c.description.empty())
            texts.append(QJsonObject { { "mask", 4 }, { "text", QString::fromStdString(c.description) } });
        o["schematic"] = QJsonArray { QJsonObject { { "texts", texts } } };
        comps.append(o);
    }
    root["components"] = comps;
    return QJsonDocument(root).toJson().toStdString();
}

void openProjectFromJson(const std::filesystem::path& dpz, const std::string& json)
{
    try {
        project::writeDpz(project::parseJson(json), dpz);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "project not built: " << e.what();
        return;
    }
    if (Z_OpenProject(dpz.string().c_str()) == 0)
        ADD_FAILURE() << "project not opened: " << Z_LastError();
}

void makeEid(const std::filesystem::path& file, const std::vector<std::string>& columns,
    const std::string& eic, const std::vector<std::vector<std::string>>& rows)
{
    std::vector<eid::EidField> fields;
    for (const auto& c : columns)
        fields.push_back({ c, 50 });
    std::string error;
    ASSERT_TRUE(eid::CreateEidDatabase(file.string(), fields, eic, &error)) << error;
    db::Database d = db::Database::open(file.string(), db::OpenMode::Exclusive);
    db::Transaction t(d);
    db::Recordset rs = d.openRecordset("Device");
    for (const auto& row : rows) {
        rs.addNew();
        for (std::size_t i = 0; i < row.size(); ++i)
            rs.setValue(static_cast<int>(i), db::Value(row[i]));
        rs.update();
    }
    t.commit();
}

std::vector<std::vector<std::string>> queryRows(const std::filesystem::path& db, const std::string& sql)
{
    std::vector<std::vector<std::string>> out;
    db::Database d = db::Database::open(db.string());
    db::Recordset rs = d.openRecordset(sql);
    for (long p = 0; p < rs.recordCount(); ++p) {
        std::vector<std::string> row;
        for (const auto& v : rs.rowAt(p))
            row.push_back(v ? *v : "<null>");
        out.push_back(row);
    }
    return out;
}

} // namespace rav::test
