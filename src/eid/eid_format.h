// The External Info Database (EID) file: one table `Device` of text columns
// in the user's order, with one primary unique index `ExtIndexCode` on the
// EIC column. This file creates such databases, recognises them and finds
// their EIC field; every other EID operation builds on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rav::db
{
class Database;
}

namespace rav::eid
{

inline constexpr const char* kDeviceTable = "Device";
inline constexpr const char* kEicIndex = "ExtIndexCode";
inline constexpr const char* kDefaultFileName = "Part.eid";
// The most fields table `Device` can have, as in the engine format EIDs
// came from.
inline constexpr int kMaxEidFields = 255;
// Marks our files in the database header ("REID"), so that tools that read
// SQLite's application id can tell an EID from other SQLite files.
inline constexpr std::uint32_t kEidApplicationId = 0x52454944;

// One column to create: its name and its size in characters.
struct EidField {
    std::string name;
    int size = 0;
};

// Why a field entry was refused, first failure wins; the window shows the
// message with the id beside each value.
enum class FieldEntryError {
    None,
    InvalidSize, // 5416 "Invalid Field Size (Range : 1 to 255)!"
    DuplicateName, // 5417 "Duplicate Field Name!"
    BlankInName, // 5418 "Spaces not allowed in Field Name!"
};

// Checks one entry of the field list against the other defined names (the
// entry's own row excluded by the caller). Names are compared without
// regard to letter case. An empty name passes, as the engine refuses it later.
FieldEntryError ValidateFieldEntry(
    const std::string& name, int size, const std::vector<std::string>& otherNames);

// Checks a whole list before a build: one to kMaxEidFields fields, each entry valid,
// names acceptable to the engine, the EIC field among them. Returns an empty
// text when fine, else the description of the first problem.
std::string ValidateFieldList(const std::vector<EidField>& fields, const std::string& eicField);

// Builds a new EID: deletes an earlier file of that name (refused while the
// file is open elsewhere), creates the database, table `Device` with the
// fields in order (Text, zero-length allowed) and index `ExtIndexCode`
// (primary, unique) on the EIC field, and closes it. On failure returns
// false and, when given, sets *errorDescription.
bool CreateEidDatabase(const std::string& fileName, const std::vector<EidField>& fields,
    const std::string& eicField, std::string* errorDescription = nullptr);

// The recognition test: a blank name is false; otherwise the file must
// open exclusively as a database and give a dynaset over `Device`. Never
// throws and shows nothing.
bool IsEidDatabase(const std::string& fileName);

// The EIC field lookup: the field list of index `ExtIndexCode` of table
// `Device` without its leading sign. Throws rav::db::Error when the table
// or the index is missing.
std::string EicFieldName(const rav::db::Database& db);

} // namespace rav::eid
