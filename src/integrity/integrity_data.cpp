#include "integrity_data.h"

#include "database.h"
#include "eid_format.h"
#include "host_utility.h"
#include "project_parts.h"
#include "values.h"
#include "zareza2v.h"

#include <filesystem>
#include <strings.h>
#include <stdexcept>
#include <unordered_map>

namespace rav::integrity
{

namespace
{

std::string kernelText(std::int32_t handle)
{
    return HostUtility::instance().KernelString(handle > 0 ? Z_TextPointer(handle) : nullptr);
}

} // namespace

// Read straight through the kernel's C interface rather than through the
// shared part collections, which the windows keep for their own use.
std::vector<ProjectDevice> readProjectDevices(const std::vector<std::string>& codeFields)
{
    const std::vector<std::string>& fields = codeFields.empty() ? DefaultCodeFields() : codeFields;
    auto& kernel = kernel::ProjectParts::instance();
    std::vector<ProjectDevice> devices;
    std::unordered_map<std::int32_t, std::size_t> byHandle;
    const std::int32_t deviceMap = DB_DeviceMap();
    std::int32_t cursor = OM_GetFirst(deviceMap);
    for (std::int32_t h; (h = OM_SearchMask(deviceMap, &cursor, 0, 0)) > 0;) {
        const kernel::DeviceAttributes a = kernel.ParseDeviceText(h);
        byHandle.emplace(h, devices.size());
        devices.push_back(
            { kernelText(O_GetName(OM_Object(deviceMap, h))), a.FullName, a.Eic, "", kernel.FirstWord(), 0 });
    }
    const std::int32_t componentMap = DB_LayCompMap();
    cursor = OM_GetFirst(componentMap);
    for (std::int32_t h; (h = OM_SearchMask(componentMap, &cursor, 0, 0)) > 0;) {
        Z_ComponentRecord record {};
        if (L_ReadComponent(h, &record) == 0 || record.device == 0)
            continue;
        auto it = byHandle.find(D_Device(record.device));
        if (it == byHandle.end())
            continue;
        ProjectDevice& device = devices[it->second];
        ProjectPart part;
        part.name = kernelText(O_GetName(OM_Object(componentMap, h)));
        part.value = kernel.ReadComponentText(h, record, kernel::TextMask::Value);
        if (part.value == "none")
            part.value.clear();
        part.footprint
            = record.symbol != 0 ? kernelText(O_GetName(S_Symbol(record.symbol))) : device.footprint;
        for (const auto& name : fields) {
            part.sourceCode = kernel.ReadComponentAttribute(h, name);
            if (!part.sourceCode.empty()) {
                part.sourceField = name;
                break;
            }
        }
        // The first part speaks for the device.
        if (device.uses++ == 0) {
            device.value = part.value;
            device.footprint = part.footprint;
        }
        device.parts.push_back(std::move(part));
    }
    return devices;
}

EidRecords readEidRecords(const std::string& file, bool withTexts)
{
    std::error_code ec;
    if (!db::isServerName(file) && !std::filesystem::is_regular_file(file, ec))
        throw std::runtime_error("The EID file \"" + file + "\" does not exist.");
    EidRecords out;
    try {
        db::Database eid = db::Database::open(file, db::OpenMode::Shared);
        out.eicField = eid::EicFieldName(eid);
        const db::TableDef def = eid.tableDef(eid::kDeviceTable);
        std::size_t eicColumn = 0;
        std::string select;
        for (const auto& field : def.fields) {
            if (strcasecmp(field.name.c_str(), out.eicField.c_str()) == 0)
                eicColumn = out.columns.size();
            select += (select.empty() ? "" : ", ") + db::quoteIdent(field.name);
            out.columns.push_back(field.name);
        }
        // Without texts only the code column is read.
        if (!withTexts) {
            select = db::quoteIdent(out.columns[eicColumn]);
            eicColumn = 0;
        }
        db::Statement s = eid.prepare(
            "SELECT " + select + " FROM " + db::quoteIdent(eid::kDeviceTable) + " ORDER BY " + db::quoteIdent(out.eicField));
        while (s.step()) {
            out.eics.emplace_back(s.columnText(static_cast<int>(eicColumn)).value_or(""));
            if (!withTexts)
                continue;
            std::string text;
            for (std::size_t k = 0; k < out.columns.size(); ++k) {
                if (k == eicColumn)
                    continue;
                const auto value = s.columnText(static_cast<int>(k));
                if (value && !value->empty()) {
                    if (!text.empty())
                        text += ' ';
                    text += *value;
                }
            }
            out.texts.push_back(std::move(text));
        }
    } catch (const std::exception& e) {
        throw std::runtime_error("\"" + file + "\" is not a readable EID (" + e.what() + ").");
    }
    return out;
}

} // namespace rav::integrity
