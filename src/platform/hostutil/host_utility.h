// The host suite's utility object: its settings file, the message texts in
// the user's language, the conversion of texts coming back from the kernel,
// and a path helper. One instance serves the whole process; every caller
// reaches it through HostUtility::instance().
//
// Threading: the editor is single-threaded, but the object guards its own
// state with a mutex so that a worker thread may look up texts safely.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace rav
{

class HostUtility
{
public:
    // Created on first use, lives until the process ends.
    static HostUtility& instance();

    HostUtility(const HostUtility&) = delete;
    HostUtility& operator=(const HostUtility&) = delete;

    // Settings of the host suite, an INI file (host.ini) under
    // $XDG_CONFIG_HOME/dodiv/. A missing file, section or key gives
    // `defaultText`. Values are kept exactly, blanks included (" 44").
    // Section and key names match without regard to ASCII letter case, as
    // the host's own settings file does, and without blanks around them.
    std::string ReadSetting(
        const std::string& section, const std::string& key, const std::string& defaultText);
    // Replaces the first occurrence of the key, or adds it at the end of its
    // section (adding the section at the end of the file when needed). Every
    // other line of the file keeps its place. The file is replaced
    // atomically (temporary file + rename), so a crash never leaves half a
    // settings file. Throws std::invalid_argument for names or values the
    // format cannot hold (line breaks, "]" in a section, "=" in a key, a key
    // starting with "[", ";" or "#") and
    // std::runtime_error when the file cannot be written.
    void WriteSetting(const std::string& section, const std::string& key, const std::string& value);

    // A NUL-terminated Windows-1252 text owned by the kernel, as UTF-8.
    // A null pointer gives the empty text. The text is copied, never freed.
    // (A kernel that hands out 32-bit text handles adds its own overload.)
    std::string KernelString(const char* kernelText) const;

    // The text for message `id` in the user's language; `defaultText` when
    // the id is empty or the catalogue has no entry for it. Blanks around the
    // id are ignored.
    std::string GetLocalMessage(const std::string& defaultText, const std::string& id) const;

    // Appends "/" unless the path already ends with one. An empty path is
    // left empty: it stands for the current directory, and turning it into
    // "/" would silently move everything to the file-system root.
    void AddPathSeparator(std::string& path) const;

    // The language of the catalogue in use ("en", "de"), chosen from
    // LC_ALL, LC_MESSAGES or LANG (first set one, first two letters) unless a
    // language was set explicitly. "C", "POSIX" and languages without a
    // catalogue give "en".
    std::string language() const;
    // Chooses the catalogue; an empty text returns to the locale's choice.
    void setLanguage(const std::string& language);
    // Languages that have a catalogue (built in, or in the translators'
    // folder named by RAVEDERI_MESSAGES_DIR), sorted.
    std::vector<std::string> languages() const;

    // Where the settings live; follows XDG_CONFIG_HOME at every call
    // (falling back to $HOME/.config).
    std::filesystem::path settingsFile() const;

private:
    HostUtility();

    using Catalogue = std::map<std::string, std::string, std::less<>>;
    // The catalogue of `lang`, loaded once per language and source folder.
    const Catalogue& catalogueFor(const std::string& lang) const;
    std::string languageLocked() const;

    mutable std::mutex mutex_;
    std::string explicitLanguage_; // empty: follow the locale
    // Key: language + "\n" + override folder at load time, so that pointing
    // RAVEDERI_MESSAGES_DIR elsewhere loads the translator's files afresh.
    mutable std::map<std::string, std::unique_ptr<Catalogue>> catalogues_;
};

namespace messages
{

// Parses a catalogue in the message file format:
//   - UTF-8 text, one entry per line: the id, one TAB, the text;
//   - lines that are empty or start with "#" are comments;
//   - in the text, "\s" stands for a blank (escapeText writes it only for
//     leading and trailing blanks, so that " missing or invalid" survives
//     editors that trim lines), "\t" for a TAB, "\n" for a line feed and
//     "\\" for a backslash; any other backslash is kept as it stands;
//   - a CR before the line end is dropped.
// Lines without a TAB are ignored. When an id appears twice, the first
// entry counts.
std::map<std::string, std::string, std::less<>> parseCatalogue(const std::string& bytes);

// Writes one text with the escapes above, the inverse of parseCatalogue.
std::string escapeText(const std::string& text);

} // namespace messages

} // namespace rav
