// The JSON source form of a project. Documented by example in
// examples/demo.json; the keys are:
//
//   format "ravederi-project", version 1, name, hierarchies [names],
//   currentHierarchy (a name of hierarchies; absent: none), helpFollow,
//   symbols [names], strings {name: value},
//   devices [{name, library, firstWord, tokens [texts] (absent: the device
//            text has no blank)}],
//   components [{name, symbol (absent: none), device (absent: none),
//               schematic [{texts [{mask, text}]}]}]
//
// Unknown keys are refused, so a misspelt key never passes unnoticed.
#include "project_model.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <algorithm>

namespace rav::project
{

namespace
{

constexpr const char* kFormat = "ravederi-project";
constexpr int kVersion = 1;

[[noreturn]] void fail(const std::string& where, const std::string& what)
{
    throw ProjectError(where + ": " + what);
}

void onlyKeys(const QJsonObject& object, std::initializer_list<const char*> allowed, const std::string& where)
{
    for (const QString& key : object.keys()) {
        const bool known = std::any_of(
            allowed.begin(), allowed.end(), [&](const char* k) { return key == QLatin1String(k); });
        if (!known)
            fail(where, "unknown key \"" + key.toStdString() + "\"");
    }
}

std::string text(const QJsonValue& value, const std::string& where)
{
    if (!value.isString())
        fail(where, "a text is expected");
    return value.toString().toStdString();
}

std::string optionalText(const QJsonObject& object, const char* key, const std::string& where)
{
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return {};
    return text(v, where + "." + key);
}

QJsonArray array(const QJsonValue& value, const std::string& where)
{
    if (value.isUndefined())
        return {};
    if (!value.isArray())
        fail(where, "a list is expected");
    return value.toArray();
}

QJsonObject object(const QJsonValue& value, const std::string& where)
{
    if (!value.isObject())
        fail(where, "an object is expected");
    return value.toObject();
}

std::vector<std::string> texts(const QJsonValue& value, const std::string& where)
{
    std::vector<std::string> out;
    const QJsonArray list = array(value, where);
    for (qsizetype i = 0; i < list.size(); ++i)
        out.push_back(text(list[i], where + "[" + std::to_string(i) + "]"));
    return out;
}

std::string at(const std::string& list, qsizetype i)
{
    return list + "[" + std::to_string(i) + "]";
}

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

QJsonArray toArray(const std::vector<std::string>& list)
{
    QJsonArray out;
    for (const auto& s : list)
        out.append(q(s));
    return out;
}

} // namespace

Project parseJson(const std::string& json)
{
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    if (error.error != QJsonParseError::NoError) {
        const auto offset = static_cast<std::size_t>(std::max(0, error.offset));
        const auto line = 1
            + std::count(json.begin(),
                json.begin() + static_cast<std::ptrdiff_t>(std::min(offset, json.size())), '\n');
        throw ProjectError("line " + std::to_string(line) + ": " + error.errorString().toStdString());
    }
    if (!doc.isObject())
        fail("project", "a JSON object is expected");
    const QJsonObject root = doc.object();
    onlyKeys(root,
        { "format", "version", "name", "hierarchies", "currentHierarchy", "helpFollow", "symbols", "strings",
            "devices", "components" },
        "project");
    if (root.value("format").toString() != QLatin1String(kFormat))
        fail("format", std::string("must be \"") + kFormat + "\"");
    if (!root.value("version").isDouble() || root.value("version").toDouble() != kVersion)
        fail("version", "must be " + std::to_string(kVersion));

    Project p;
    p.name = text(root.value("name"), "name");
    p.hierarchies = texts(root.value("hierarchies"), "hierarchies");
    const std::string current = optionalText(root, "currentHierarchy", "project");
    if (root.contains("currentHierarchy") && !root.value("currentHierarchy").isNull()) {
        const auto it = std::find(p.hierarchies.begin(), p.hierarchies.end(), current);
        if (it == p.hierarchies.end())
            fail("currentHierarchy", "\"" + current + "\" is not one of hierarchies");
        p.currentHierarchy = static_cast<std::size_t>(it - p.hierarchies.begin());
    }
    if (root.contains("helpFollow")) {
        if (!root.value("helpFollow").isBool())
            fail("helpFollow", "true or false is expected");
        p.helpFollow = root.value("helpFollow").toBool();
    }
    p.symbols = texts(root.value("symbols"), "symbols");

    if (root.contains("strings")) {
        const QJsonObject strings = object(root.value("strings"), "strings");
        for (auto it = strings.begin(); it != strings.end(); ++it)
            p.strings[it.key().toStdString()] = text(it.value(), "strings." + it.key().toStdString());
    }

    const QJsonArray devices = array(root.value("devices"), "devices");
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const std::string where = at("devices", i);
        const QJsonObject o = object(devices[i], where);
        onlyKeys(o, { "name", "library", "firstWord", "tokens" }, where);
        Device d;
        d.name = text(o.value("name"), where + ".name");
        d.library = optionalText(o, "library", where);
        d.firstWord = optionalText(o, "firstWord", where);
        if (o.contains("tokens") && !o.value("tokens").isNull())
            d.tokens = texts(o.value("tokens"), where + ".tokens");
        p.devices.push_back(std::move(d));
    }

    const QJsonArray components = array(root.value("components"), "components");
    for (qsizetype i = 0; i < components.size(); ++i) {
        const std::string where = at("components", i);
        const QJsonObject o = object(components[i], where);
        onlyKeys(o, { "name", "symbol", "device", "schematic" }, where);
        Component c;
        c.name = text(o.value("name"), where + ".name");
        c.symbol = optionalText(o, "symbol", where);
        c.device = optionalText(o, "device", where);
        const QJsonArray schematic = array(o.value("schematic"), where + ".schematic");
        for (qsizetype j = 0; j < schematic.size(); ++j) {
            const std::string sw = at(where + ".schematic", j);
            const QJsonObject so = object(schematic[j], sw);
            onlyKeys(so, { "texts" }, sw);
            SchematicComponent sc;
            const QJsonArray items = array(so.value("texts"), sw + ".texts");
            for (qsizetype k = 0; k < items.size(); ++k) {
                const std::string iw = at(sw + ".texts", k);
                const QJsonObject io = object(items[k], iw);
                onlyKeys(io, { "mask", "text" }, iw);
                const QJsonValue mask = io.value("mask");
                if (!mask.isDouble() || mask.toDouble() != static_cast<double>(mask.toInt())
                    || mask.toInt() < 0)
                    fail(iw + ".mask", "a whole number of at least 0 is expected");
                sc.texts.push_back({ mask.toInt(), text(io.value("text"), iw + ".text") });
            }
            c.schematic.push_back(std::move(sc));
        }
        p.components.push_back(std::move(c));
    }
    return p;
}

std::string toJson(const Project& p)
{
    QJsonObject root;
    root["format"] = QLatin1String(kFormat);
    root["version"] = kVersion;
    root["name"] = q(p.name);
    root["hierarchies"] = toArray(p.hierarchies);
    if (p.currentHierarchy && *p.currentHierarchy < p.hierarchies.size())
        root["currentHierarchy"] = q(p.hierarchies[*p.currentHierarchy]);
    root["helpFollow"] = p.helpFollow;
    root["symbols"] = toArray(p.symbols);
    QJsonObject strings;
    for (const auto& [name, value] : p.strings)
        strings[q(name)] = q(value);
    root["strings"] = strings;

    QJsonArray devices;
    for (const Device& d : p.devices) {
        QJsonObject o;
        o["name"] = q(d.name);
        o["library"] = q(d.library);
        o["firstWord"] = q(d.firstWord);
        if (d.tokens)
            o["tokens"] = toArray(*d.tokens);
        devices.append(o);
    }
    root["devices"] = devices;

    QJsonArray components;
    for (const Component& c : p.components) {
        QJsonObject o;
        o["name"] = q(c.name);
        if (!c.symbol.empty())
            o["symbol"] = q(c.symbol);
        if (!c.device.empty())
            o["device"] = q(c.device);
        QJsonArray schematic;
        for (const SchematicComponent& sc : c.schematic) {
            QJsonArray items;
            for (const TextItem& t : sc.texts)
                items.append(QJsonObject { { "mask", t.mask }, { "text", q(t.text) } });
            schematic.append(QJsonObject { { "texts", items } });
        }
        o["schematic"] = schematic;
        components.append(o);
    }
    root["components"] = components;
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace rav::project
