#include "eid_format.h"

#include "database.h"
#include "recordset.h"
#include "textcodec.h"

#include <filesystem>

namespace rav::eid
{

FieldEntryError ValidateFieldEntry(
    const std::string& name, int size, const std::vector<std::string>& otherNames)
{
    if (size < 1 || size > db::kMaxFieldSize)
        return FieldEntryError::InvalidSize;
    for (const auto& other : otherNames)
        if (text::equalsIgnoreCase(other, name))
            return FieldEntryError::DuplicateName;
    if (name.find(' ') != std::string::npos)
        return FieldEntryError::BlankInName;
    return FieldEntryError::None;
}

std::string ValidateFieldList(const std::vector<EidField>& fields, const std::string& eicField)
{
    if (fields.empty())
        return "at least one field is needed";
    if (fields.size() > static_cast<std::size_t>(kMaxEidFields))
        return std::to_string(fields.size()) + " fields; an EID holds at most " + std::to_string(kMaxEidFields);
    std::vector<std::string> seen;
    for (const auto& f : fields) {
        switch (ValidateFieldEntry(f.name, f.size, seen)) {
        case FieldEntryError::InvalidSize:
            return "field " + f.name + ": invalid field size " + std::to_string(f.size) + " (range 1 to 255)";
        case FieldEntryError::DuplicateName:
            return "duplicate field name " + f.name;
        case FieldEntryError::BlankInName:
            return "field name \"" + f.name + "\" contains a blank";
        case FieldEntryError::None:
            break;
        }
        try {
            db::checkObjectName(f.name, "field");
        } catch (const db::Error& e) {
            return e.what();
        }
        seen.push_back(f.name);
    }
    for (const auto& f : fields)
        if (f.name == eicField || text::equalsIgnoreCase(f.name, eicField))
            return {};
    return "the EIC field " + eicField + " is not one of the fields";
}

bool CreateEidDatabase(const std::string& fileName, const std::vector<EidField>& fields,
    const std::string& eicField, std::string* errorDescription)
{
    try {
        // A list the engine would refuse fails before the old file is touched.
        if (std::string problem = ValidateFieldList(fields, eicField); !problem.empty())
            throw db::Error(problem);
        // Built under a name of its own and renamed at the end, so that a
        // crash or a full disk never leaves half an EID under the user's name
        // (nor takes the earlier file away before the new one is complete).
        // On a server the table is replaced where it stands (there is no
        // rename); the old one goes first, as the old file does.
        const bool onServer = db::isServerName(fileName);
        const std::string building = onServer ? fileName : fileName + ".new";
        db::removeDatabaseFile(building);
        try {
            db::Database database
                = db::Database::create(building, db::kGeneralLocale, db::FormatVersion::Version30);
            database.setApplicationId(kEidApplicationId);
            db::TableDef device;
            device.name = kDeviceTable;
            for (const auto& f : fields)
                device.fields.push_back(db::FieldDef { f.name, f.size, true, false });
            std::string eic = eicField;
            for (const auto& f : fields)
                if (text::equalsIgnoreCase(f.name, eicField))
                    eic = f.name;
            device.indexes.push_back(db::IndexDef { kEicIndex, { eic }, true, true });
            database.createTable(device);
            database.close();
            if (!onServer)
                db::replaceDatabaseFile(building, fileName);
        } catch (...) {
            if (onServer)
                throw;
            std::error_code ignored;
            std::filesystem::remove(building, ignored);
            std::filesystem::remove(building + "-journal", ignored);
            throw;
        }
        return true;
    } catch (const db::Error& e) {
        if (errorDescription)
            *errorDescription = e.what();
        return false;
    }
}

bool IsEidDatabase(const std::string& fileName)
{
    if (text::trimBlanks(fileName).empty())
        return false;
    try {
        // The table's definition is enough: a record set would read the key
        // of every record, which a million-record EID pays on every check.
        db::Database database = db::Database::open(fileName, db::OpenMode::Exclusive);
        // Table Device alone is not enough: a project file has a table
        // "device" as well (names ignore case). Only an EID has the EIC index.
        return database.tableDef(kDeviceTable).findIndex(kEicIndex) != nullptr;
    } catch (const std::exception&) {
        return false;
    }
}

std::string EicFieldName(const db::Database& database)
{
    const db::TableDef def = database.tableDef(kDeviceTable);
    const db::IndexDef* index = def.findIndex(kEicIndex);
    if (!index)
        throw db::Error("table Device has no index ExtIndexCode");
    return index->fieldListText().substr(1);
}

} // namespace rav::eid
