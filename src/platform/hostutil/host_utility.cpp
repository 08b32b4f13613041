// The host utility stand-in: an INI settings file, message catalogues built
// into the library (or a translator's folder), kernel text decoding.
#include "host_utility.h"

#include "textcodec.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <unistd.h>

namespace fs = std::filesystem;

namespace rav
{
namespace
{

constexpr std::string_view kBlanks = " \t";

std::string_view trimView(std::string_view s)
{
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

std::string_view dropCr(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

std::string envValue(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// One line of an INI file as the reader sees it.
struct IniLine {
    enum class Kind { Other, Section, Entry } kind = Kind::Other;
    std::string_view name; // section or key name, trimmed
    std::string_view value; // entry value, exactly as stored
};

IniLine classify(std::string_view raw)
{
    const std::string_view line = dropCr(raw);
    const std::string_view trimmed = trimView(line);
    IniLine out;
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#')
        return out;
    if (trimmed.front() == '[') {
        const auto close = trimmed.find(']');
        if (close != std::string_view::npos) {
            out.kind = IniLine::Kind::Section;
            out.name = trimView(trimmed.substr(1, close - 1));
        }
        return out;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos)
        return out;
    out.kind = IniLine::Kind::Entry;
    out.name = trimView(line.substr(0, eq));
    out.value = line.substr(eq + 1);
    return out;
}

std::vector<std::string_view> splitLines(std::string_view content)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        const auto nl = content.find('\n', start);
        if (nl == std::string_view::npos) {
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

// The whole file, or nothing when it does not exist or cannot be read (a
// settings file that cannot be read behaves like an empty one).
std::optional<std::string> slurp(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return std::move(buffer).str();
}

// Writes `content` to a temporary file beside `target` and renames it over
// the target, so readers see either the old or the new file, never a mix.
void replaceAtomically(const fs::path& target, const std::string& content)
{
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    std::string pattern = (target.parent_path() / (target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw std::runtime_error(
            "cannot write settings file " + target.string() + ": " + std::strerror(errno));
    const char* p = content.data();
    std::size_t left = content.size();
    int err = 0;
    while (left > 0 && err == 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(pattern.c_str(), target.c_str()) != 0)
        err = errno;
    if (err == 0)
        return;
    ::unlink(pattern.c_str());
    throw std::runtime_error("cannot write settings file " + target.string() + ": " + std::strerror(err));
}

bool hasLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
}

// The language part of a locale name: "de_DE.UTF-8" -> "de"; empty for the
// portable locales that carry no language.
std::string languageOfLocale(std::string_view locale)
{
    const auto end = locale.find_first_of("_.@");
    const std::string_view lang = locale.substr(0, end);
    if (lang.empty() || lang == "C" || lang == "POSIX")
        return {};
    return text::asciiLower(lang.substr(0, 2));
}

fs::path overrideFolder()
{
    const std::string dir = envValue("RAVEDERI_MESSAGES_DIR");
    return dir.empty() ? fs::path() : fs::path(dir);
}

bool catalogueExists(const std::string& lang)
{
    if (lang.empty() || lang.find_first_of("/\\.") != std::string::npos)
        return false;
    const fs::path folder = overrideFolder();
    std::error_code ec;
    if (!folder.empty() && fs::is_regular_file(folder / (lang + ".msg"), ec))
        return true;
    return QFile::exists(
        QStringLiteral(":/messages/") + QString::fromStdString(lang) + QStringLiteral(".msg"));
}

} // namespace

namespace messages
{

std::map<std::string, std::string, std::less<>> parseCatalogue(const std::string& bytes)
{
    std::map<std::string, std::string, std::less<>> out;
    for (std::string_view raw : splitLines(bytes)) {
        const std::string_view line = dropCr(raw);
        if (line.empty() || line.front() == '#')
            continue;
        const auto tab = line.find('\t');
        if (tab == std::string_view::npos)
            continue;
        const std::string id(trimView(line.substr(0, tab)));
        if (id.empty())
            continue;
        const std::string_view escaped = line.substr(tab + 1);
        std::string text;
        text.reserve(escaped.size());
        for (std::size_t i = 0; i < escaped.size(); ++i) {
            const char c = escaped[i];
            if (c != '\\' || i + 1 == escaped.size()) {
                text += c;
                continue;
            }
            switch (escaped[i + 1]) {
            case 's':
                text += ' ';
                ++i;
                break;
            case 't':
                text += '\t';
                ++i;
                break;
            case 'n':
                text += '\n';
                ++i;
                break;
            case '\\':
                text += '\\';
                ++i;
                break;
            default:
                text += c;
                break;
            }
        }
        out.emplace(id, std::move(text)); // the first entry of an id wins
    }
    return out;
}

std::string escapeText(const std::string& text)
{
    const auto firstNonBlank = text.find_first_not_of(' ');
    const auto lastNonBlank = text.find_last_not_of(' ');
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool edgeBlank
            = c == ' ' && (firstNonBlank == std::string::npos || i < firstNonBlank || i > lastNonBlank);
        if (edgeBlank)
            out += "\\s";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

} // namespace messages

HostUtility::HostUtility() = default;

HostUtility& HostUtility::instance()
{
    static HostUtility utility;
    return utility;
}

fs::path HostUtility::settingsFile() const
{
    fs::path base = envValue("XDG_CONFIG_HOME");
    if (base.empty())
        base = fs::path(envValue("HOME")) / ".config";
    return base / "dodiv" / "host.ini";
}

std::string HostUtility::ReadSetting(
    const std::string& section, const std::string& key, const std::string& defaultText)
{
    std::lock_guard lock(mutex_);
    const auto content = slurp(settingsFile());
    if (!content)
        return defaultText;
    bool inSection = false;
    for (std::string_view raw : splitLines(*content)) {
        const IniLine line = classify(raw);
        if (line.kind == IniLine::Kind::Section)
            inSection = text::equalsIgnoreCase(line.name, trimView(section));
        else if (inSection && line.kind == IniLine::Kind::Entry && text::equalsIgnoreCase(line.name, trimView(key)))
            return std::string(line.value);
    }
    return defaultText;
}

void HostUtility::WriteSetting(
    const std::string& sectionText, const std::string& keyText, const std::string& value)
{
    // The reader trims names, so blanks around one cannot be stored: the
    // name is the trimmed one, as ReadSetting looks it up.
    const std::string section(trimView(sectionText));
    const std::string key(trimView(keyText));
    if (hasLineBreak(section) || section.find(']') != std::string::npos || section.empty())
        throw std::invalid_argument("settings section name not storable: \"" + sectionText + "\"");
    // A key line starting like a comment or a section would not read back.
    if (hasLineBreak(key) || key.find('=') != std::string::npos || key.empty()
        || std::string_view("[;#").find(key.front()) != std::string_view::npos)
        throw std::invalid_argument("settings key name not storable: \"" + keyText + "\"");
    if (hasLineBreak(value))
        throw std::invalid_argument("settings value with a line break: key \"" + key + "\"");

    std::lock_guard lock(mutex_);
    const fs::path file = settingsFile();
    const std::string content = slurp(file).value_or(std::string());
    std::vector<std::string> lines;
    for (std::string_view raw : splitLines(content))
        lines.emplace_back(raw);

    const std::string entry = key + "=" + value;
    bool inSection = false;
    bool sectionFound = false;
    std::size_t insertAt = lines.size(); // after the last non-blank line of the section
    bool done = false;
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
        const IniLine line = classify(lines[i]);
        if (line.kind == IniLine::Kind::Section) {
            if (inSection)
                break; // the first matching section ended without the key
            inSection = text::equalsIgnoreCase(line.name, section);
            if (inSection) {
                sectionFound = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (line.kind == IniLine::Kind::Entry && text::equalsIgnoreCase(line.name, key)) {
            // Keep the key as the file spells it; only the value changes.
            const auto eq = lines[i].find('=');
            const bool crlf = !lines[i].empty() && lines[i].back() == '\r';
            lines[i] = lines[i].substr(0, eq + 1) + value + (crlf ? "\r" : "");
            done = true;
        } else if (!trimView(dropCr(lines[i])).empty()) {
            insertAt = i + 1;
        }
    }
    if (!done) {
        if (sectionFound) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
        } else {
            if (!lines.empty() && !trimView(dropCr(lines.back())).empty())
                lines.emplace_back();
            lines.push_back("[" + section + "]");
            lines.push_back(entry);
        }
    }
    std::string out;
    out.reserve(content.size() + entry.size() + section.size() + 8);
    for (const auto& l : lines) {
        out += l;
        out += '\n';
    }
    replaceAtomically(file, out);
}

std::string HostUtility::KernelString(const char* kernelText) const
{
    if (!kernelText)
        return {};
    return text::cp1252ToUtf8(std::string_view(kernelText));
}

const HostUtility::Catalogue& HostUtility::catalogueFor(const std::string& lang) const
{
    const fs::path folder = overrideFolder();
    const std::string cacheKey = lang + "\n" + folder.string();
    auto it = catalogues_.find(cacheKey);
    if (it != catalogues_.end())
        return *it->second;

    // A translator's file replaces the built-in one wholesale, so that the
    // ids it lacks show their defaults, just as they will for users.
    std::string bytes;
    std::error_code ec;
    const fs::path translated = folder.empty() ? fs::path() : folder / (lang + ".msg");
    if (!translated.empty() && fs::is_regular_file(translated, ec)) {
        bytes = slurp(translated).value_or(std::string());
    } else {
        QFile builtIn(QStringLiteral(":/messages/") + QString::fromStdString(lang) + QStringLiteral(".msg"));
        if (builtIn.open(QIODevice::ReadOnly)) {
            const QByteArray data = builtIn.readAll();
            bytes.assign(data.constData(), static_cast<std::size_t>(data.size()));
        }
    }
    auto catalogue = std::make_unique<Catalogue>(messages::parseCatalogue(bytes));
    const Catalogue& ref = *catalogue;
    catalogues_.emplace(cacheKey, std::move(catalogue));
    return ref;
}

std::string HostUtility::GetLocalMessage(const std::string& defaultText, const std::string& id) const
{
    // Some stored ids carry a trailing blank ("99388 "); the id is the number.
    const std::string_view key = trimView(id);
    if (key.empty())
        return defaultText;
    std::lock_guard lock(mutex_);
    const Catalogue& catalogue = catalogueFor(languageLocked());
    const auto it = catalogue.find(key);
    return it == catalogue.end() ? defaultText : it->second;
}

void HostUtility::AddPathSeparator(std::string& path) const
{
    if (!path.empty() && path.back() != '/')
        path += '/';
}

std::string HostUtility::languageLocked() const
{
    std::string lang = explicitLanguage_;
    if (lang.empty()) {
        for (const char* var : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
            const std::string value = envValue(var);
            if (!value.empty()) {
                lang = languageOfLocale(value);
                break;
            }
        }
    }
    return catalogueExists(lang) ? lang : std::string("en");
}

std::string HostUtility::language() const
{
    std::lock_guard lock(mutex_);
    return languageLocked();
}

void HostUtility::setLanguage(const std::string& language)
{
    std::lock_guard lock(mutex_);
    explicitLanguage_ = text::asciiLower(language);
}

std::vector<std::string> HostUtility::languages() const
{
    std::vector<std::string> out;
    const QStringList builtIn = QDir(QStringLiteral(":/messages")).entryList({ QStringLiteral("*.msg") });
    for (const QString& name : builtIn)
        out.push_back(name.chopped(4).toStdString());
    const fs::path folder = overrideFolder();
    std::error_code ec;
    if (!folder.empty() && fs::is_directory(folder, ec)) {
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            if (entry.path().extension() == ".msg")
                out.push_back(entry.path().stem().string());
        }
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

} // namespace rav
