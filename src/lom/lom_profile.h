// Assembler profiles: named column sets with fixed header names, so a List
// of Materials fits what an assembly house or a buyer reads without
// renaming columns by hand. Built-in profiles are compiled in; the user adds
// or overrides them with files NAME.profile in UserProfileDir().
//
// File format (UTF-8 text, one entry per line, "#" starts a comment line):
//   description  TEXT                 shown by --list-profiles
//   group        yes|no               one line per group of equal parts
//   column       HEADER = SOURCES     a column
//   required     HEADER = SOURCES     a column the checks want filled
//   numeric      HEADER               the column given above holds numbers
// SOURCES is one or more alternatives separated by "|": a field caption
// ("Component Value-P", "MPN-D"), "@parts" (the part names), "@quantity"
// or "@empty"; on each line the first alternative with a value is taken.
// Only quantities and numeric columns become numbers in a workbook.
#pragma once

#include "lom_catalogue.h"
#include "lom_table.h"

#include <optional>
#include <string>
#include <vector>

namespace rav::lom
{

struct ProfileColumn {
    std::string header;
    std::vector<std::string> sources;
    bool required = false;
    bool number = false; // declared numeric
};

struct Profile {
    std::string name;
    std::string description;
    bool group = true;
    std::vector<ProfileColumn> columns;
    std::string origin; // "built-in" or the file it came from
};

// Throws std::runtime_error "NAME, line N: ..." for a line it cannot read
// or a profile without columns.
Profile ParseProfile(const std::string& name, const std::string& text);

// $XDG_DATA_HOME/Ravederi/profiles (~/.local/share/... without it).
std::string UserProfileDir();

// Built-in profiles, then the user's (a user file replaces a built-in of
// the same name), by name. A user file that cannot be read throws.
std::vector<Profile> ListProfiles();
std::optional<Profile> FindProfile(const std::string& name);

// The profile's columns over a catalogue. Throws std::invalid_argument
// naming the column when none of its alternatives exists.
std::vector<TableColumn> ResolveProfile(const Profile& profile, const FieldCatalogue& catalogue);

} // namespace rav::lom
