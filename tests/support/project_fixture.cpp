#include "project_fixture.h"

#include "cancel_flag.h"
#include "database.h"
#include "eid_format.h"
#include "project_model.h"
#include "recordset.h"
#include "zareza2v.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

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
        QJsonArray tokens;
        for (const auto& t : d.tokens)
            tokens.append(QString::fromStdString(t));
        devs.append(QJsonObject { { "name", QString::fromStdString(d.name) }, { "library", "test.lib" },
            { "firstWord", QString::fromStdString(d.firstWord) }, { "tokens", tokens } });
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

std::vector<TestComponent> placedOnce(const std::vector<TestDevice>& devices)
{
    std::vector<TestComponent> out;
    for (const auto& d : devices)
        out.push_back({ d.name + "_1", d.name, {}, {} });
    return out;
}

bool openProject(const std::filesystem::path& dpz, const std::string& json)
{
    try {
        project::writeDpz(project::parseJson(json), dpz);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "project not written: " << e.what();
        return false;
    }
    if (Z_OpenProject(dpz.string().c_str()) == 0) {
        ADD_FAILURE() << "project not opened: " << Z_LastError();
        return false;
    }
    return true;
}

void makeEid(const std::filesystem::path& file, const std::vector<std::string>& columns,
    const std::string& eic, const std::vector<std::vector<std::string>>& rows, const std::vector<int>& sizes)
{
    std::vector<eid::EidField> fields;
    for (std::size_t i = 0; i < columns.size(); ++i)
        fields.push_back({ columns[i], i < sizes.size() ? sizes[i] : 30 });
    std::string error;
    ASSERT_TRUE(eid::CreateEidDatabase(file.string(), fields, eic, &error)) << error;
    db::Database d = db::Database::open(file.string(), db::OpenMode::Exclusive);
    db::Transaction t(d);
    db::Recordset rs = d.openRecordset("Device");
    for (const auto& row : rows) {
        rs.addNew();
        for (std::size_t i = 0; i < row.size(); ++i)
            if (row[i] != "<null>")
                rs.setValue(static_cast<int>(i), db::Value(row[i]));
        rs.update();
    }
    t.commit();
}

Rows queryRows(const std::filesystem::path& db, const std::string& sql)
{
    Rows out;
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

void RecordingProgress::setCaption(const std::string& caption)
{
    events.push_back("caption:" + caption);
    captions.push_back(caption);
}

void RecordingProgress::setRange(std::int64_t minimum, std::int64_t maximum)
{
    events.push_back("range:" + std::to_string(minimum) + "-" + std::to_string(maximum));
    this->maximum = maximum;
}

void RecordingProgress::setValue(std::int64_t value)
{
    lastValue = value;
    ++values;
}

void RecordingProgress::yield()
{
    ++yields;
    if (cancelAtYield > 0 && yields == cancelAtYield)
        cancelFlag().store(true);
}

} // namespace rav::test
