#include "kicad_netlist.h"

#include "textcodec.h"

#include <QByteArray>
#include <QLatin1StringView>
#include <QXmlStreamReader>

#include <cstdint>
#include <cstring>
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

// Thrown by PlainXml for anything outside the plain form it reads; the file
// is then read again by QtXml, which takes all of XML and says exactly
// what is wrong where.
struct NotPlain {
};

// The XML that netlists are written in, read straight from the bytes: UTF-8,
// ASCII names without namespaces, elements, attributes, text with the
// predefined entities and character references, CDATA, comments and
// processing instructions. It takes a document only when it is sure the
// full reader takes it too and reads the same texts; a DOCTYPE, another
// encoding, a carriage return, a tab or line end inside an attribute value,
// and every mistake are NotPlain. Its calls are QXmlStreamReader's
// readNextStartElement, readElementText and skipCurrentElement.
class PlainXml
{
public:
    explicit PlainXml(std::string_view s)
        : s_(s)
    {
        checkCharacters();
        if (s_.starts_with("\xEF\xBB\xBF"))
            pos_ = 3;
        declaration();
    }

    // The next start element inside the current one (true), or the end of
    // the current one, consumed (false).
    bool next()
    {
        if (emptyPending_) {
            emptyPending_ = false;
            open_.pop_back();
            return false;
        }
        if (open_.empty()) {
            if (rootRead_)
                return false;
            misc();
            if (!at("<") || at("</") || at("<!"))
                refuse();
            rootRead_ = true;
            startTag();
            return true;
        }
        content(nullptr);
        if (at("</")) {
            endTag();
            return false;
        }
        startTag();
        return true;
    }

    bool is(std::string_view name) const { return name_ == name; }
    std::string name() const { return std::string(name_); }

    // The value of the current start element's attribute `name`; empty when
    // it has none.
    std::string attribute(std::string_view name) const
    {
        for (const auto& [n, raw] : attributes_)
            if (n == name) {
                std::string out;
                decode(raw, out);
                return out;
            }
        return {};
    }

    // The text of the current element and all inside it, its end consumed.
    std::string text()
    {
        std::string out;
        readToEnd(&out);
        return out;
    }

    void skip() { readToEnd(nullptr); }

    // After the root element only comments, processing instructions and
    // blanks.
    void finish()
    {
        misc();
        if (pos_ != s_.size())
            refuse();
    }

    [[noreturn]] static void refuse() { throw NotPlain {}; }
    [[noreturn]] static void refuse(const std::string&) { refuse(); }
    [[noreturn]] static void fail() { refuse(); }

private:
    static bool blank(char c) { return c == ' ' || c == '\n' || c == '\t'; }
    static bool nameStart(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    }
    static bool nameChar(char c) { return nameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

    bool at(std::string_view what) const { return s_.compare(pos_, what.size(), what) == 0; }

    void blanks()
    {
        while (pos_ < s_.size() && blank(s_[pos_]))
            ++pos_;
    }

    // No control character but tab and line feed (a carriage return would
    // need the line-end rules), valid UTF-8 without U+FFFE and U+FFFF.
    void checkCharacters() const
    {
        const auto* b = reinterpret_cast<const unsigned char*>(s_.data());
        const std::size_t n = s_.size();
        constexpr std::uint64_t ones = 0x0101010101010101ull, high = 0x8080808080808080ull;
        for (std::size_t i = 0; i < n;) {
            // Eight printable ASCII bytes at a time: none with the high bit,
            // none below 0x20, none 0x7F.
            if (i + 8 <= n) {
                std::uint64_t w = 0;
                std::memcpy(&w, b + i, 8);
                const std::uint64_t del = w ^ (ones * 0x7F);
                if (((w & high) | ((w - ones * 0x20) & ~w & high) | ((del - ones) & ~del & high)) == 0) {
                    i += 8;
                    continue;
                }
            }
            const unsigned c = b[i];
            if (c >= 0x20 && c < 0x7F) {
                ++i;
                continue;
            }
            if (c == '\n' || c == '\t') {
                ++i;
                continue;
            }
            // Other control characters, C1 ones included, go to the full
            // reader.
            if (c < 0xC2 || c > 0xF4)
                refuse();
            const std::size_t len = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            if (i + len > n || (c == 0xC2 && b[i + 1] < 0xA0))
                refuse();
            for (std::size_t k = 1; k < len; ++k)
                if ((b[i + k] & 0xC0) != 0x80)
                    refuse();
            // Overlong forms, surrogates, beyond U+10FFFF, U+FFFE/U+FFFF.
            if ((c == 0xE0 && b[i + 1] < 0xA0) || (c == 0xED && b[i + 1] >= 0xA0)
                || (c == 0xF0 && b[i + 1] < 0x90) || (c == 0xF4 && b[i + 1] >= 0x90)
                || (c == 0xEF && b[i + 1] == 0xBF && b[i + 2] >= 0xBE))
                refuse();
            i += len;
        }
    }

    // Only the plain declaration: version 1.0, UTF-8 if any encoding,
    // standalone yes or no, in that order.
    void declaration()
    {
        if (!at("<?xml") || pos_ + 5 >= s_.size() || !blank(s_[pos_ + 5]))
            return;
        pos_ += 5;
        const auto pseudo = [&](std::string_view key, bool required,
                                std::initializer_list<std::string_view> allowed, bool anyCase) {
            const std::size_t back = pos_;
            blanks();
            if (pos_ == back || !at(key)) {
                if (required)
                    refuse();
                pos_ = back;
                return;
            }
            pos_ += key.size();
            blanks();
            if (!at("="))
                refuse();
            ++pos_;
            blanks();
            if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\''))
                refuse();
            const char quote = s_[pos_++];
            const std::size_t end = s_.find(quote, pos_);
            if (end == std::string_view::npos)
                refuse();
            const std::string_view value = s_.substr(pos_, end - pos_);
            bool ok = false;
            for (std::string_view a : allowed)
                ok = ok || (anyCase ? text::equalsIgnoreCase(value, a) : value == a);
            if (!ok)
                refuse();
            pos_ = end + 1;
        };
        pseudo("version", true, { "1.0" }, false);
        pseudo("encoding", false, { "UTF-8" }, true);
        pseudo("standalone", false, { "yes", "no" }, false);
        blanks();
        if (!at("?>"))
            refuse();
        pos_ += 2;
    }

    // Blanks, comments and processing instructions (outside the root).
    void misc()
    {
        for (;;) {
            blanks();
            if (at("<!--"))
                comment();
            else if (at("<?"))
                instruction();
            else
                return;
        }
    }

    void comment()
    {
        const std::size_t end = s_.find("--", pos_ + 4);
        if (end == std::string_view::npos || s_.compare(end, 3, "-->") != 0)
            refuse();
        pos_ = end + 3;
    }

    void instruction()
    {
        pos_ += 2;
        const std::string_view target = nameAt();
        if (target.size() == 3 && text::equalsIgnoreCase(target, "xml"))
            refuse();
        const std::size_t end = s_.find("?>", pos_);
        if (end == std::string_view::npos || (end > pos_ && !blank(s_[pos_])))
            refuse();
        pos_ = end + 2;
    }

    std::string_view nameAt()
    {
        const std::size_t start = pos_;
        if (pos_ >= s_.size() || !nameStart(s_[pos_]))
            refuse();
        while (++pos_ < s_.size() && nameChar(s_[pos_])) { }
        // A name this reader does not take: namespaces, non-ASCII.
        if (pos_ < s_.size() && (s_[pos_] == ':' || static_cast<unsigned char>(s_[pos_]) >= 0x80))
            refuse();
        return s_.substr(start, pos_ - start);
    }

    void startTag()
    {
        ++pos_; // '<'
        name_ = nameAt();
        attributes_.clear();
        for (;;) {
            const std::size_t back = pos_;
            blanks();
            if (at("/>")) {
                pos_ += 2;
                emptyPending_ = true;
                break;
            }
            if (at(">")) {
                ++pos_;
                break;
            }
            if (pos_ == back)
                refuse(); // attributes apart by blanks
            const std::string_view n = nameAt();
            if (n == "xmlns")
                refuse();
            for (const auto& a : attributes_)
                if (a.first == n)
                    refuse();
            blanks();
            if (!at("="))
                refuse();
            ++pos_;
            blanks();
            if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\''))
                refuse();
            const char quote = s_[pos_++];
            const std::size_t start = pos_;
            for (;; ++pos_) {
                if (pos_ >= s_.size())
                    refuse();
                const char c = s_[pos_];
                if (c == quote)
                    break;
                if (c == '<' || c == '\n' || c == '\t')
                    refuse();
                if (c == '&')
                    pos_ = reference(pos_, nullptr, true) - 1;
            }
            attributes_.emplace_back(n, s_.substr(start, pos_ - start));
            ++pos_;
        }
        open_.push_back(name_);
    }

    void endTag()
    {
        pos_ += 2;
        const std::string_view n = nameAt();
        blanks();
        if (!at(">") || open_.empty() || open_.back() != n)
            refuse();
        ++pos_;
        open_.pop_back();
    }

    // The entity or character reference at `amp`, appended to `out` when
    // given; returns the offset after its ';'.
    std::size_t reference(std::size_t amp, std::string* out, bool inAttribute = false) const
    {
        const std::size_t semi = s_.find(';', amp + 1);
        if (semi == std::string_view::npos || semi - amp > 12)
            refuse();
        const std::string_view r = s_.substr(amp + 1, semi - amp - 1);
        char plain = 0;
        if (r == "lt")
            plain = '<';
        else if (r == "gt")
            plain = '>';
        else if (r == "amp")
            plain = '&';
        else if (r == "quot")
            plain = '"';
        else if (r == "apos")
            plain = '\'';
        if (plain) {
            if (out)
                *out += plain;
            return semi + 1;
        }
        if (r.size() < 2 || r[0] != '#')
            refuse();
        const bool hex = r[1] == 'x';
        std::string_view digits = r.substr(hex ? 2 : 1);
        if (digits.empty())
            refuse();
        char32_t cp = 0;
        for (const char c : digits) {
            unsigned d = 0;
            if (c >= '0' && c <= '9')
                d = static_cast<unsigned>(c - '0');
            else if (hex && c >= 'a' && c <= 'f')
                d = static_cast<unsigned>(c - 'a' + 10);
            else if (hex && c >= 'A' && c <= 'F')
                d = static_cast<unsigned>(c - 'A' + 10);
            else
                refuse();
            cp = cp * (hex ? 16 : 10) + d;
            if (cp > 0x10FFFF)
                refuse();
        }
        // Characters XML allows; a carriage return, and a tab or line feed
        // in an attribute value, stay with the full reader.
        if (!(((cp == 0x9 || cp == 0xA) && !inAttribute) || (cp >= 0x20 && cp <= 0xD7FF)
                || (cp >= 0xE000 && cp <= 0xFFFD) || cp >= 0x10000))
            refuse();
        if (out)
            appendUtf8(*out, cp);
        return semi + 1;
    }

    static void appendUtf8(std::string& out, char32_t cp)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    // An attribute value as written (checked in startTag), references
    // replaced.
    void decode(std::string_view raw, std::string& out) const
    {
        if (raw.find('&') == std::string_view::npos) {
            out.assign(raw);
            return;
        }
        const std::size_t base = static_cast<std::size_t>(raw.data() - s_.data());
        for (std::size_t i = 0; i < raw.size();) {
            if (raw[i] == '&') {
                i = reference(base + i, &out) - base;
            } else {
                out += raw[i];
                ++i;
            }
        }
    }

    // Character data up to the next start or end tag, appended to `out`
    // when given; comments, processing instructions and CDATA on the way.
    void content(std::string* out)
    {
        for (;;) {
            const std::size_t lt = s_.find('<', pos_);
            if (lt == std::string_view::npos)
                refuse();
            // "]]>" may not stand in text; "&" starts a reference.
            std::size_t run = pos_;
            for (std::size_t i = pos_; i < lt; ++i) {
                const char c = s_[i];
                if (c == '&') {
                    if (out)
                        out->append(s_.data() + run, i - run);
                    i = reference(i, out) - 1;
                    run = i + 1;
                } else if (c == '>' && i >= pos_ + 2 && s_[i - 1] == ']' && s_[i - 2] == ']') {
                    refuse();
                }
            }
            if (out)
                out->append(s_.data() + run, lt - run);
            pos_ = lt;
            if (at("<!--")) {
                comment();
            } else if (at("<![CDATA[")) {
                const std::size_t end = s_.find("]]>", pos_ + 9);
                if (end == std::string_view::npos)
                    refuse();
                if (out)
                    out->append(s_.data() + pos_ + 9, end - pos_ - 9);
                pos_ = end + 3;
            } else if (at("<?")) {
                instruction();
            } else if (at("<!")) {
                refuse();
            } else {
                return;
            }
        }
    }

    void readToEnd(std::string* out)
    {
        if (emptyPending_) {
            emptyPending_ = false;
            open_.pop_back();
            return;
        }
        const std::size_t depth = open_.size();
        while (open_.size() >= depth) {
            content(out);
            if (at("</")) {
                endTag();
            } else {
                startTag();
                if (emptyPending_) {
                    emptyPending_ = false;
                    open_.pop_back();
                }
            }
        }
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    std::string_view name_; // of the current start element
    std::vector<std::pair<std::string_view, std::string_view>> attributes_; // raw values
    std::vector<std::string_view> open_; // the elements open, outermost first
    bool emptyPending_ = false; // the current element ended with "/>"
    bool rootRead_ = false;
};

// Any XML, through QXmlStreamReader, with the calls of PlainXml.
class QtXml
{
public:
    QtXml(const std::string& xml, std::string fileName)
        : xml_(QByteArray::fromRawData(xml.data(), static_cast<qsizetype>(xml.size())))
        , fileName_(std::move(fileName))
    {
    }

    bool next() { return xml_.readNextStartElement(); }
    bool is(std::string_view name) const
    {
        return xml_.name() == QLatin1StringView(name.data(), static_cast<qsizetype>(name.size()));
    }
    std::string name() const { return str(xml_.name()); }
    std::string attribute(std::string_view name) const
    {
        return str(xml_.attributes().value(QLatin1StringView(name.data(), static_cast<qsizetype>(name.size()))));
    }
    std::string text()
    {
        const QString t = xml_.readElementText(QXmlStreamReader::IncludeChildElements);
        if (xml_.hasError())
            fail();
        return t.toStdString();
    }
    void skip() { xml_.skipCurrentElement(); }

    void finish()
    {
        if (xml_.hasError())
            fail();
        // Anything after the root element must still be well-formed.
        while (!xml_.atEnd())
            xml_.readNext();
        if (xml_.hasError())
            fail();
    }

    [[noreturn]] void refuse(const std::string& why) const { throw ProjectError(place() + ": " + why); }

    [[noreturn]] void fail() const
    {
        refuse(xml_.hasError() ? str(xml_.errorString()) : std::string("the file is empty"));
    }

private:
    std::string place() const
    {
        return fileName_ + ":" + std::to_string(xml_.lineNumber()) + ":"
            + std::to_string(xml_.columnNumber());
    }

    QXmlStreamReader xml_;
    std::string fileName_;
};

// The netlist's content, through either XML reader.
template <class Xml> class Reader
{
public:
    explicit Reader(Xml& xml)
        : xml_(xml)
    {
    }

    KicadDesign read()
    {
        if (!xml_.next())
            xml_.fail();
        if (!xml_.is("export"))
            xml_.refuse("not a KiCad netlist (the root element is <" + xml_.name() + ">, not <export>)");
        while (xml_.next()) {
            if (xml_.is("design"))
                readDesign();
            else if (xml_.is("components"))
                readComponents();
            else
                xml_.skip();
        }
        xml_.finish();
        return std::move(design_);
    }

private:
    // The design's title is the root sheet's: the first <sheet> in every
    // netlist seen. Sub-sheets carry titles of their own, which are not the
    // design's.
    void readDesign()
    {
        bool rootSeen = false;
        while (xml_.next()) {
            if (xml_.is("source")) {
                design_.source = xml_.text();
            } else if (xml_.is("sheet") && !rootSeen) {
                rootSeen = true;
                readTitle(1);
            } else {
                xml_.skip();
            }
        }
    }

    // Inside <sheet> (depth 1) and its <title_block> (depth 2).
    void readTitle(int depth)
    {
        while (xml_.next()) {
            if (depth == 1 && xml_.is("title_block"))
                readTitle(2);
            else if (depth == 2 && xml_.is("title"))
                design_.title = text::trimBlanks(xml_.text());
            else
                xml_.skip();
        }
    }

    void readComponents()
    {
        while (xml_.next()) {
            if (!xml_.is("comp")) {
                xml_.skip();
                continue;
            }
            KicadPart c;
            std::vector<std::pair<std::string, std::string>> properties;
            std::string datasheet;
            c.reference = xml_.attribute("ref");
            if (c.reference.empty())
                xml_.refuse("a <comp> without ref");
            while (xml_.next()) {
                if (xml_.is("value")) {
                    c.value = xml_.text();
                } else if (xml_.is("footprint")) {
                    c.footprint = xml_.text();
                } else if (xml_.is("datasheet")) {
                    datasheet = xml_.text();
                } else if (xml_.is("libsource")) {
                    c.library = xml_.attribute("lib");
                    c.part = xml_.attribute("part");
                    c.libDescription = xml_.attribute("description");
                    xml_.skip();
                } else if (xml_.is("sheetpath")) {
                    c.sheetPath = xml_.attribute("names");
                    xml_.skip();
                } else if (xml_.is("property")) {
                    // KiCad 6 and later also write each field as an empty
                    // <property name=".." value=".."/>, some only that way.
                    properties.emplace_back(xml_.attribute("name"), xml_.attribute("value"));
                    xml_.skip();
                } else if (xml_.is("fields")) {
                    while (xml_.next()) {
                        if (!xml_.is("field")) {
                            xml_.skip();
                            continue;
                        }
                        std::string fieldName = xml_.attribute("name");
                        c.fields.emplace_back(std::move(fieldName), xml_.text());
                    }
                } else {
                    xml_.skip();
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

    Xml& xml_;
    KicadDesign design_;
};

} // namespace

KicadDesign readKicadNetlistDesign(const std::string& xml, const std::filesystem::path& fileName)
{
    // Netlists as KiCad writes them read straight from the bytes; any other
    // XML, and every mistake, through the full reader.
    try {
        PlainXml plain(xml);
        return Reader<PlainXml>(plain).read();
    } catch (const NotPlain&) {
    }
    QtXml full(xml, fileName.string());
    return Reader<QtXml>(full).read();
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
