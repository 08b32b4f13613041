#include "lom_profile.h"

#include "textcodec.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace rav::lom
{

namespace fs = std::filesystem;

// Generated from resources/profiles at build time: pairs of name and text.
extern const char* const kBuiltinProfiles[][2];
extern const int kBuiltinProfileCount;

namespace
{

std::vector<std::string> splitAlternatives(const std::string& s)
{
    std::vector<std::string> out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t bar = s.find('|', from);
        out.push_back(
            text::trimBlanks(s.substr(from, bar == std::string::npos ? std::string::npos : bar - from)));
        if (bar == std::string::npos)
            return out;
        from = bar + 1;
    }
}

} // namespace

Profile ParseProfile(const std::string& name, const std::string& text)
{
    Profile profile;
    profile.name = name;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string trimmed = text::trimBlanks(line);
        if (trimmed.empty() || trimmed[0] == '#')
            continue;
        const auto fail = [&](const std::string& what) {
            throw std::runtime_error("profile " + name + ", line " + std::to_string(number) + ": " + what);
        };
        const std::size_t space = trimmed.find_first_of(" \t");
        const std::string key = trimmed.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : text::trimBlanks(trimmed.substr(space));
        if (key == "description") {
            profile.description = rest;
        } else if (key == "group") {
            if (rest != "yes" && rest != "no")
                fail("group is \"yes\" or \"no\"");
            profile.group = rest == "yes";
        } else if (key == "column" || key == "required") {
            const std::size_t eq = rest.find('=');
            if (eq == std::string::npos)
                fail("a column reads \"HEADER = SOURCE | SOURCE ...\"");
            ProfileColumn column { text::trimBlanks(rest.substr(0, eq)),
                splitAlternatives(rest.substr(eq + 1)), key == "required" };
            if (column.header.empty())
                fail("a column without header");
            for (const auto& s : column.sources)
                if (s.empty())
                    fail("an empty source in column \"" + column.header + "\"");
            profile.columns.push_back(std::move(column));
        } else if (key == "numeric") {
            auto it = std::find_if(profile.columns.begin(), profile.columns.end(),
                [&](const ProfileColumn& c) { return c.header == rest; });
            if (it == profile.columns.end())
                fail("numeric names a column given above, not \"" + rest + "\"");
            it->number = true;
        } else {
            fail("unknown entry \"" + key + "\" (description, group, column, required, numeric)");
        }
    }
    if (profile.columns.empty())
        throw std::runtime_error("profile " + name + " has no columns");
    return profile;
}

std::string UserProfileDir()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    fs::path base;
    if (data && *data)
        base = data;
    else if (const char* home = std::getenv("HOME"))
        base = fs::path(home) / ".local" / "share";
    else
        base = ".";
    return (base / "Ravederi" / "profiles").string();
}

std::vector<Profile> ListProfiles()
{
    std::map<std::string, Profile> byName;
    for (int i = 0; i < kBuiltinProfileCount; ++i) {
        Profile p = ParseProfile(kBuiltinProfiles[i][0], kBuiltinProfiles[i][1]);
        p.origin = "built-in";
        byName[p.name] = std::move(p);
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(UserProfileDir(), ec)) {
        if (entry.path().extension() != ".profile")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in && !in.eof())
            throw std::runtime_error("cannot read profile " + entry.path().string());
        Profile p = ParseProfile(entry.path().stem().string(), text.str());
        p.origin = entry.path().string();
        byName[p.name] = std::move(p);
    }
    std::vector<Profile> out;
    for (auto& [name, p] : byName)
        out.push_back(std::move(p));
    return out;
}

std::optional<Profile> FindProfile(const std::string& name)
{
    for (auto& p : ListProfiles())
        if (p.name == name)
            return std::move(p);
    return std::nullopt;
}

std::vector<TableColumn> ResolveProfile(const Profile& profile, const FieldCatalogue& catalogue)
{
    std::vector<TableColumn> columns;
    for (const auto& c : profile.columns) {
        TableColumn column { c.header, {}, c.required, {}, c.number };
        // Every alternative the EID offers, in order: the first is the
        // column's source, the others fill the lines where it is empty.
        bool found = false;
        for (const auto& s : c.sources) {
            ColumnSource source;
            if (s == "@parts" || s == "@quantity" || s == "@empty") {
                source.kind = s == "@parts" ? ColumnSource::Kind::Parts
                    : s == "@quantity"      ? ColumnSource::Kind::Quantity
                                            : ColumnSource::Kind::Empty;
            } else if (const int number = catalogue.numberOfCaption(s); number > 0) {
                source = { ColumnSource::Kind::Field, number };
            } else {
                continue;
            }
            if (found)
                column.orElse.push_back(source);
            else
                column.source = source;
            found = true;
            if (source.kind != ColumnSource::Kind::Field)
                break; // never empty, or empty on purpose: nothing after it is tried
        }
        if (!found) {
            std::string tried;
            for (const auto& s : c.sources)
                tried += (tried.empty() ? "\"" : ", \"") + s + "\"";
            throw std::invalid_argument("profile " + profile.name + ": column \"" + c.header
                + "\" needs one of the fields " + tried + ", and the EID has none of them");
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

} // namespace rav::lom
