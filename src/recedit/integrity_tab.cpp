#include "integrity_tab.h"

#include "show_message.h"

namespace rav::recedit
{

namespace
{

std::string heading(integrity::FindingKind kind)
{
    using K = integrity::FindingKind;
    switch (kind) {
    case K::MissingRecord:
        return FormatMessage("EIC without record", "61621", {});
    case K::NoCode:
        return FormatMessage("No EIC", "61622", {});
    case K::UnusedRecord:
        return FormatMessage("Record not used", "61623", {});
    case K::ConflictingCodes:
        return FormatMessage("Equal parts, different EICs", "61624", {});
    case K::CodeSpelling:
        return FormatMessage("EICs differ only in case or blanks", "61625", {});
    case K::PlaceholderCode:
        return FormatMessage("Placeholder instead of a code", "61670", {});
    case K::PartCodeDiffers:
        return FormatMessage("Part's own code differs", "61671", {});
    case K::CodeOnDifferentParts:
        return FormatMessage("One EIC on different parts", "61672", {});
    case K::DuplicatePart:
        return FormatMessage("Part name used more than once", "61673", {});
    }
    return {};
}

std::string joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : ", ") + item;
    return out;
}

} // namespace

std::vector<FindingRow> FindingRows(const integrity::Report& report)
{
    std::vector<FindingRow> rows;
    rows.reserve(report.findings.size());
    for (const integrity::Finding& f : report.findings) {
        FindingRow row;
        row.finding = heading(f.kind);
        row.devices = joined(f.devices);
        row.codes = joined(f.codes);
        row.detail = f.value + (f.value.empty() || f.footprint.empty() ? "" : " / ") + f.footprint;
        if (!f.devices.empty())
            row.device = f.devices.front();
        else if (!f.codes.empty())
            row.code = f.codes.front();
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string IntegritySummary(const integrity::Report& report)
{
    return FormatMessage("%1 devices, %2 records, %3 findings. Click a finding to select its device.",
        "61620",
        { std::to_string(report.deviceCount), std::to_string(report.recordCount),
            std::to_string(report.findings.size()) });
}

} // namespace rav::recedit
