#include "help_document.h"

#include "textcodec.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace rav::help
{

namespace
{

std::string_view trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool parseInt(std::string_view text, int& value)
{
    text = trim(text);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// Escapes a line and turns [[N|text]] into links.
std::string inlineHtml(std::string_view line)
{
    std::string out;
    while (!line.empty()) {
        const auto open = line.find("[[");
        if (open == std::string_view::npos) {
            out += rav::text::escapeHtml(line);
            break;
        }
        const auto close = line.find("]]", open);
        const auto bar = line.find('|', open);
        int topic = 0;
        if (close == std::string_view::npos || bar == std::string_view::npos || bar > close
            || !parseInt(line.substr(open + 2, bar - open - 2), topic)) {
            out += rav::text::escapeHtml(line.substr(0, open + 2));
            line.remove_prefix(open + 2);
            continue;
        }
        out += rav::text::escapeHtml(line.substr(0, open));
        out += "<a href=\"topic:" + std::to_string(topic) + "\">";
        out += rav::text::escapeHtml(line.substr(bar + 1, close - bar - 1));
        out += "</a>";
        line.remove_prefix(close + 2);
    }
    return out;
}

} // namespace

HelpDocument ParseHelpDocument(std::string_view text)
{
    HelpDocument document;
    HelpTopic* current = nullptr;
    int lineNumber = 0;
    std::size_t pos = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        pos = 3;
    while (pos <= text.size()) {
        const auto end = text.find('\n', pos);
        std::string_view line
            = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() + 1 : end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty() && line.front() == '#')
            continue;
        if (line.substr(0, 7) == "@topic ") {
            std::string_view rest = trim(line.substr(7));
            const auto space = rest.find(' ');
            int number = 0;
            if (!parseInt(rest.substr(0, space), number)) {
                document.errors.push_back("line " + std::to_string(lineNumber) + ": bad topic number");
                current = nullptr;
                continue;
            }
            if (document.topics.count(number)) {
                document.errors.push_back("line " + std::to_string(lineNumber) + ": topic "
                    + std::to_string(number) + " defined twice");
                current = nullptr;
                continue;
            }
            HelpTopic& topic = document.topics[number];
            topic.number = number;
            topic.title = space == std::string_view::npos ? "" : std::string(trim(rest.substr(space)));
            current = &topic;
            continue;
        }
        if (!current) {
            if (!trim(line).empty())
                document.errors.push_back("line " + std::to_string(lineNumber) + ": text outside a topic");
            continue;
        }
        current->lines.emplace_back(line);
    }
    return document;
}

HelpDocument LoadHelpDocument(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        HelpDocument document;
        document.errors.push_back("cannot read " + fileName);
        return document;
    }
    std::ostringstream all;
    all << in.rdbuf();
    return ParseHelpDocument(all.str());
}

std::string RenderTopicHtml(const HelpDocument& document, std::int32_t topic)
{
    const auto it = document.topics.find(topic);
    if (it == document.topics.end()) {
        return "<h2>Help</h2><p>The help file has no topic " + std::to_string(topic)
            + ".</p><p><a href=\"topic:0\">Contents</a></p>";
    }
    std::string html = "<h2>" + rav::text::escapeHtml(it->second.title) + "</h2>\n";
    std::string paragraph;
    bool inList = false;
    auto flushParagraph = [&] {
        if (!paragraph.empty())
            html += "<p>" + paragraph + "</p>\n";
        paragraph.clear();
    };
    auto closeList = [&] {
        if (inList)
            html += "</ul>\n";
        inList = false;
    };
    for (const std::string& raw : it->second.lines) {
        const std::string_view line = trim(raw);
        if (line.empty()) {
            flushParagraph();
            closeList();
        } else if (line.substr(0, 3) == "== ") {
            flushParagraph();
            closeList();
            html += "<h3>" + inlineHtml(line.substr(3)) + "</h3>\n";
        } else if (line.substr(0, 2) == "- ") {
            flushParagraph();
            if (!inList)
                html += "<ul>\n";
            inList = true;
            html += "<li>" + inlineHtml(line.substr(2)) + "</li>\n";
        } else if (inList) {
            // A continuation line of a bullet item.
            const auto last = html.rfind("</li>");
            html.insert(last, " " + inlineHtml(line));
        } else {
            if (!paragraph.empty())
                paragraph += ' ';
            paragraph += inlineHtml(line);
        }
    }
    flushParagraph();
    closeList();
    return html;
}

bool ParsePositionWindow(std::string_view macro, HelpWindowPosition& position)
{
    macro = trim(macro);
    constexpr std::string_view name = "PositionWindow(";
    if (macro.size() < name.size() + 1 || macro.substr(0, name.size()) != name || macro.back() != ')')
        return false;
    std::string_view args = macro.substr(name.size(), macro.size() - name.size() - 1);
    std::vector<std::string_view> parts;
    while (true) {
        const auto comma = args.find(',');
        parts.push_back(trim(args.substr(0, comma)));
        if (comma == std::string_view::npos)
            break;
        args.remove_prefix(comma + 1);
    }
    if (parts.size() != 6)
        return false;
    HelpWindowPosition parsed;
    if (!parseInt(parts[0], parsed.x) || !parseInt(parts[1], parsed.y) || !parseInt(parts[2], parsed.width)
        || !parseInt(parts[3], parsed.height) || !parseInt(parts[4], parsed.state))
        return false;
    std::string_view quoted = parts[5];
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
        return false;
    parsed.name = std::string(quoted.substr(1, quoted.size() - 2));
    position = parsed;
    return true;
}

PixelRect MapHelpPosition(const HelpWindowPosition& position, const PixelRect& screen)
{
    auto scale = [](int units, int pixels) {
        return static_cast<int>(static_cast<long long>(units) * pixels / 1024);
    };
    PixelRect rect;
    rect.width = std::clamp(scale(position.width, screen.width), 1, std::max(screen.width, 1));
    rect.height = std::clamp(scale(position.height, screen.height), 1, std::max(screen.height, 1));
    rect.x = screen.x + std::clamp(scale(position.x, screen.width), 0, screen.width - rect.width);
    rect.y = screen.y + std::clamp(scale(position.y, screen.height), 0, screen.height - rect.height);
    return rect;
}

} // namespace rav::help
