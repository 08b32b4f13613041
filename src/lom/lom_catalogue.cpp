#include "lom_catalogue.h"

#include "database.h"
#include "eid_format.h"
#include "host_utility.h"
#include "textcodec.h"

#include <stdexcept>

namespace rav::lom
{

namespace
{

struct ProjectField {
    const char* caption; // default text
    const char* id; // message id of the caption
};

// The project attributes in catalogue order; the tool box uses the first five.
constexpr ProjectField kProjectFields[kLomProjectFields] = {
    { "Part-P", "5425" },
    { "Part Full Name-P", "5426" },
    { "External Index Code-P", "5427" },
    { "Simulation Reference-P", "5428" },
    { "Package-P", "5441" },
    { "Component Name-P", "5442" },
    { "Component Description-P", "5443" },
    { "Component Value-P", "5444" },
};

bool buildCatalogue(FieldCatalogue& catalogue, CatalogueKind kind, db::Database& eid)
{
    std::vector<std::string> columns;
    try {
        for (const auto& f : eid.tableDef(eid::kDeviceTable).fields)
            columns.push_back(f.name);
    } catch (const std::exception&) {
        return false; // the previous catalogue stays
    }
    catalogue.reset(kind, columns);
    return true;
}

bool buildCatalogue(FieldCatalogue& catalogue, CatalogueKind kind, const std::string& eidFile)
{
    if (text::trimBlanks(eidFile).empty())
        return false;
    db::Database eid;
    try {
        eid = db::Database::open(eidFile, db::OpenMode::Shared);
    } catch (const std::exception&) {
        return false;
    }
    return buildCatalogue(catalogue, kind, eid);
}

} // namespace

int projectFieldCount(CatalogueKind kind)
{
    return kind == CatalogueKind::Lom ? kLomProjectFields : kToolBoxProjectFields;
}

FieldCatalogue::FieldCatalogue()
    : entries_(1)
{
}

const CatalogueEntry& FieldCatalogue::entry(int k) const
{
    if (k < 0 || k > size())
        throw std::out_of_range("catalogue entry " + std::to_string(k) + " does not exist");
    return entries_[static_cast<std::size_t>(k)];
}

std::vector<std::string> FieldCatalogue::captions() const
{
    std::vector<std::string> out;
    for (std::size_t k = 1; k < entries_.size(); ++k)
        out.push_back(entries_[k].caption);
    return out;
}

int FieldCatalogue::numberOfCaption(const std::string& caption) const
{
    for (std::size_t k = 1; k < entries_.size(); ++k)
        if (entries_[k].caption == caption)
            return static_cast<int>(k);
    return 0;
}

void FieldCatalogue::reset(CatalogueKind kind, const std::vector<std::string>& eidColumns)
{
    const auto& host = HostUtility::instance();
    entries_.assign(1, CatalogueEntry {});
    const int project = projectFieldCount(kind);
    for (int k = 0; k < project; ++k)
        entries_.push_back(
            { "", host.GetLocalMessage(kProjectFields[k].caption, kProjectFields[k].id), k + 1 });
    for (const auto& column : eidColumns)
        entries_.push_back({ column, column + "-D", static_cast<int>(entries_.size()) });
}

void FieldCatalogue::addDesignFields(const std::vector<std::string>& names)
{
    for (const auto& name : names)
        entries_.push_back({ "", name + "-A", static_cast<int>(entries_.size()), name });
}

bool BuildLomCatalogue(FieldCatalogue& catalogue, const std::string& eidFile)
{
    return buildCatalogue(catalogue, CatalogueKind::Lom, eidFile);
}

bool BuildLomCatalogue(FieldCatalogue& catalogue, db::Database& eid)
{
    return buildCatalogue(catalogue, CatalogueKind::Lom, eid);
}

bool BuildToolBoxCatalogue(FieldCatalogue& catalogue, const std::string& eidFile)
{
    return buildCatalogue(catalogue, CatalogueKind::ToolBox, eidFile);
}

std::vector<std::string> SelectedCaptions(const FieldCatalogue& catalogue, const std::vector<int>& numbers)
{
    std::vector<std::string> out;
    out.reserve(numbers.size() + 1);
    for (int n : numbers)
        out.push_back(n >= 1 && n <= catalogue.size() ? catalogue.entry(n).caption : std::string());
    out.emplace_back();
    return out;
}

FieldCatalogue& fieldCatalogue()
{
    static FieldCatalogue catalogue;
    return catalogue;
}

} // namespace rav::lom
