#include "kicad_netlist.h"

#include "textcodec.h"

#include <QByteArray>
#include <QLatin1StringView>
#include <QXmlStreamReader>

#include <fstream>
#include <sstream>

namespace rav::project
{

namespace
{

std::string str(QStringView s)
{
    return s.toString().toStdString();
}

class Reader
{
public:
    Reader(const std::string& xml, std::string fileName)
        : xml_(QByteArray::fromRawData(xml.data(), static_cast<qsizetype>(xml.size())))
        , fileName_(std::move(fileName))
    {
    }

    KicadDesign read()
    {
        if (!xml_.readNextStartElement())
            fail();
        if (xml_.name() != u"export")
            throw ProjectError(place() + ": not a KiCad netlist (the root element is <" + str(xml_.name())
                + ">, not <export>)");
        while (xml_.readNextStartElement()) {
            if (xml_.name() == u"design")
                readDesign();
            else if (xml_.name() == u"components")
                readComponents();
            else
                xml_.skipCurrentElement();
        }
        if (xml_.hasError())
            fail();
        // Anything after the root element must still be well-formed.
        while (!xml_.atEnd())
            xml_.readNext();
        if (xml_.hasError())
            fail();
        return std::move(design_);
    }

private:
    std::string place() const
    {
        return fileName_ + ":" + std::to_string(xml_.lineNumber()) + ":"
            + std::to_string(xml_.columnNumber());
    }

    [[noreturn]] void fail() const
    {
        const std::string why = xml_.hasError() ? str(xml_.errorString()) : std::string("the file is empty");
        throw ProjectError(place() + ": " + why);
    }

    std::string text()
    {
        const QString t = xml_.readElementText(QXmlStreamReader::IncludeChildElements);
        if (xml_.hasError())
            fail();
        return t.toStdString();
    }

    // The design's title is the root sheet's: the first <sheet> in every
    // netlist seen. Sub-sheets carry titles of their own, which are not the
    // design's.
    void readDesign()
    {
        bool rootSeen = false;
        while (xml_.readNextStartElement()) {
            if (xml_.name() == u"source") {
                design_.source = text();
            } else if (xml_.name() == u"sheet" && !rootSeen) {
                rootSeen = true;
                readTitle(1);
            } else {
                xml_.skipCurrentElement();
            }
        }
    }

    // Inside <sheet> (depth 1) and its <title_block> (depth 2).
    void readTitle(int depth)
    {
        while (xml_.readNextStartElement()) {
            if (depth == 1 && xml_.name() == u"title_block")
                readTitle(2);
            else if (depth == 2 && xml_.name() == u"title")
                design_.title = text::trimBlanks(text());
            else
                xml_.skipCurrentElement();
        }
    }

    void readComponents()
    {
        while (xml_.readNextStartElement()) {
            if (xml_.name() != u"comp") {
                xml_.skipCurrentElement();
                continue;
            }
            KicadPart c;
            std::vector<std::pair<std::string, std::string>> properties;
            std::string datasheet;
            c.reference = str(xml_.attributes().value(QLatin1StringView("ref")));
            if (c.reference.empty())
                throw ProjectError(place() + ": a <comp> without ref");
            while (xml_.readNextStartElement()) {
                const auto name = xml_.name();
                if (name == u"value") {
                    c.value = text();
                } else if (name == u"footprint") {
                    c.footprint = text();
                } else if (name == u"datasheet") {
                    datasheet = text();
                } else if (name == u"libsource") {
                    const auto a = xml_.attributes();
                    c.library = str(a.value(QLatin1StringView("lib")));
                    c.part = str(a.value(QLatin1StringView("part")));
                    c.libDescription = str(a.value(QLatin1StringView("description")));
                    xml_.skipCurrentElement();
                } else if (name == u"sheetpath") {
                    c.sheetPath = str(xml_.attributes().value(QLatin1StringView("names")));
                    xml_.skipCurrentElement();
                } else if (name == u"property") {
                    // KiCad 6 and later also write each field as an empty
                    // <property name=".." value=".."/>, some only that way.
                    const auto a = xml_.attributes();
                    properties.emplace_back(
                        str(a.value(QLatin1StringView("name"))), str(a.value(QLatin1StringView("value"))));
                    xml_.skipCurrentElement();
                } else if (name == u"fields") {
                    while (xml_.readNextStartElement()) {
                        if (xml_.name() != u"field") {
                            xml_.skipCurrentElement();
                            continue;
                        }
                        std::string fieldName = str(xml_.attributes().value(QLatin1StringView("name")));
                        c.fields.emplace_back(std::move(fieldName), text());
                    }
                } else {
                    xml_.skipCurrentElement();
                }
            }
            // A field written both ways counts once, as its <field>.
            // KiCad's own do-not-place flag is a property without a value.
            for (auto& [n, v] : properties) {
                if (n == "dnp")
                    c.dnp = true;
                else if (n == "exclude_from_bom")
                    c.excludeFromBom = true;
                else if (n == "exclude_from_board")
                    c.excludeFromBoard = true;
                else if (!c.field(n))
                    c.fields.emplace_back(std::move(n), std::move(v));
            }
            // "~" is KiCad's "no datasheet".
            if (!datasheet.empty() && datasheet != "~" && !c.field("Datasheet"))
                c.fields.emplace_back("Datasheet", std::move(datasheet));
            design_.parts.push_back(std::move(c));
        }
    }

    QXmlStreamReader xml_;
    std::string fileName_;
    KicadDesign design_;
};

} // namespace

KicadDesign readKicadNetlistDesign(const std::string& xml, const std::filesystem::path& fileName)
{
    return Reader(xml, fileName.string()).read();
}

Project projectFromKicadNetlist(
    const std::string& xml, const std::filesystem::path& fileName, const KicadNetlistOptions& options)
{
    return projectFromKicadParts(readKicadNetlistDesign(xml, fileName), fileName, options).project;
}

namespace
{

std::string readBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw ProjectError("cannot read " + file.string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw ProjectError("cannot read " + file.string());
    return bytes.str();
}

} // namespace

KicadImport importKicadNetlist(const std::filesystem::path& file, const KicadNetlistOptions& options)
{
    return projectFromKicadParts(readKicadNetlistDesign(readBytes(file), file), file, options);
}

Project readKicadNetlist(const std::filesystem::path& file, const KicadNetlistOptions& options)
{
    return importKicadNetlist(file, options).project;
}

} // namespace rav::project
