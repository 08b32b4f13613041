#include "integrity_report.h"

#include "values.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace rav::integrity
{

namespace
{

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string csvField(const std::string& s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + '"';
}

std::string joined(const std::vector<std::string>& items, const char* separator)
{
    std::string out;
    for (const auto& item : items) {
        if (!out.empty())
            out += separator;
        out += item;
    }
    return out;
}

const char* heading(FindingKind kind)
{
    switch (kind) {
    case FindingKind::MissingRecord: return "Devices whose EIC has no record";
    case FindingKind::NoCode: return "Devices without EIC";
    case FindingKind::UnusedRecord: return "Records no device uses";
    case FindingKind::ConflictingCodes: return "Same value and footprint, different EICs";
    case FindingKind::CodeSpelling: return "EICs differing only in case or blanks";
    case FindingKind::PlaceholderCode: return "Placeholders where a code belongs";
    case FindingKind::PartCodeDiffers: return "Parts whose own code differs from their device's";
    case FindingKind::CodeOnDifferentParts: return "One EIC on different values or footprints";
    case FindingKind::DuplicatePart: return "Part names used more than once";
    }
    return "";
}

constexpr FindingKind kKinds[] = { FindingKind::MissingRecord, FindingKind::NoCode, FindingKind::UnusedRecord,
    FindingKind::ConflictingCodes, FindingKind::CodeSpelling, FindingKind::PlaceholderCode,
    FindingKind::PartCodeDiffers, FindingKind::CodeOnDifferentParts, FindingKind::DuplicatePart };

// Adds `item` once, keeping the order first met.
void addOnce(std::vector<std::string>& list, const std::string& item)
{
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.push_back(item);
}

// The findings that look at the parts behind each device: stand-ins for
// codes, parts whose own code field says otherwise than their device, one
// code on different parts, and names used twice.
void checkParts(const std::vector<ProjectDevice>& devices, Report& report)
{
    for (const auto& d : devices) {
        if (IsPlaceholderCode(d.eic) && !trimmed(d.eic).empty())
            report.findings.push_back({ FindingKind::PlaceholderCode, { d.name }, { d.eic }, {}, {}, {} });
        // Parts with a stand-in in their code field, per stand-in.
        std::map<std::string, std::vector<std::string>> standIns;
        for (const auto& p : d.parts)
            if (!p.sourceCode.empty() && IsPlaceholderCode(p.sourceCode))
                standIns[p.sourceCode].push_back(p.name);
        for (auto& [code, parts] : standIns)
            report.findings.push_back({ FindingKind::PlaceholderCode, { d.name }, { code }, {}, {}, parts });
    }
    for (const auto& d : devices) {
        const std::string code = IsPlaceholderCode(d.eic) ? std::string() : trimmed(d.eic);
        std::map<std::string, std::vector<std::string>> differing; // by the part's code
        for (const auto& p : d.parts) {
            if (p.sourceCode.empty() || IsPlaceholderCode(p.sourceCode))
                continue;
            if (trimmed(p.sourceCode) != code)
                differing[p.sourceCode].push_back(p.name);
        }
        for (auto& [partCode, parts] : differing)
            report.findings.push_back(
                { FindingKind::PartCodeDiffers, { d.name }, { d.eic, partCode }, {}, {}, parts });
    }

    // Codes compare as the EID looks them up: letter case and outer blanks aside.
    struct Use {
        std::vector<std::string> values, footprints, devices, parts, codes;
    };
    std::map<std::string, Use> uses;
    std::vector<std::string> order;
    for (const auto& d : devices) {
        if (IsPlaceholderCode(d.eic))
            continue;
        const std::string key = lower(trimmed(d.eic));
        auto [it, fresh] = uses.try_emplace(key);
        if (fresh)
            order.push_back(key);
        Use& u = it->second;
        addOnce(u.codes, d.eic);
        addOnce(u.devices, d.name);
        for (const auto& p : d.parts) {
            addOnce(u.values, trimmed(p.value));
            addOnce(u.footprints, p.footprint);
            u.parts.push_back(p.name);
        }
    }
    for (const auto& key : order) {
        Use& u = uses[key];
        // Values compare as the report's other checks do: case and blanks aside.
        std::vector<std::string> folded;
        for (const auto& v : u.values)
            addOnce(folded, lower(v));
        if (folded.size() < 2 && u.footprints.size() < 2)
            continue;
        report.findings.push_back({ FindingKind::CodeOnDifferentParts, u.devices, u.codes,
            joined(u.values, " | "), joined(u.footprints, " | "), u.parts });
    }

    std::map<std::string, std::vector<std::string>> devicesOf;
    std::vector<std::string> names;
    for (const auto& d : devices)
        for (const auto& p : d.parts) {
            auto& list = devicesOf[p.name];
            if (list.empty())
                names.push_back(p.name);
            list.push_back(d.name);
        }
    for (const auto& name : names)
        if (devicesOf[name].size() > 1)
            report.findings.push_back({ FindingKind::DuplicatePart, devicesOf[name], {}, {}, {}, { name } });
}

} // namespace

const char* kindName(FindingKind kind)
{
    switch (kind) {
    case FindingKind::MissingRecord: return "missing-record";
    case FindingKind::NoCode: return "no-code";
    case FindingKind::UnusedRecord: return "unused-record";
    case FindingKind::ConflictingCodes: return "conflicting-codes";
    case FindingKind::CodeSpelling: return "code-spelling";
    case FindingKind::PlaceholderCode: return "placeholder-code";
    case FindingKind::PartCodeDiffers: return "part-code-differs";
    case FindingKind::CodeOnDifferentParts: return "code-on-different-parts";
    case FindingKind::DuplicatePart: return "duplicate-part";
    }
    return "";
}

std::string foldCode(const std::string& code)
{
    std::string out;
    out.reserve(code.size());
    for (unsigned char c : code)
        if (!std::isspace(c))
            out += static_cast<char>(std::tolower(c));
    return out;
}

std::size_t Report::count(FindingKind kind) const
{
    return static_cast<std::size_t>(
        std::count_if(findings.begin(), findings.end(), [kind](const Finding& f) { return f.kind == kind; }));
}

Report checkIntegrity(const std::vector<ProjectDevice>& devices, const EidRecords& eid)
{
    Report report;
    report.deviceCount = devices.size();
    report.recordCount = eid.eics.size();
    // The EID's code column compares without regard to (ASCII) letter case,
    // as every look-up of the editor does: "code7" finds record "CODE7".
    // Such pairs are reported among the spellings instead. Each code is
    // folded once: a million records must not mean millions of copies.
    std::vector<std::string> recordLower;
    recordLower.reserve(eid.eics.size());
    std::unordered_set<std::string_view> recordCodes;
    recordCodes.reserve(eid.eics.size());
    for (const auto& code : eid.eics)
        recordCodes.insert(recordLower.emplace_back(lower(code)));
    std::vector<std::string> deviceLower;
    deviceLower.reserve(devices.size());
    std::unordered_set<std::string_view> usedCodes;
    for (const auto& d : devices) {
        const std::string& folded = deviceLower.emplace_back(lower(d.eic));
        if (d.eic.empty()) {
            report.findings.push_back({ FindingKind::NoCode, { d.name }, {}, d.value, d.footprint, {} });
            continue;
        }
        if (IsPlaceholderCode(d.eic))
            continue; // said among the placeholders
        if (!recordCodes.count(folded))
            report.findings.push_back({ FindingKind::MissingRecord, { d.name }, { d.eic }, {}, {}, {} });
        usedCodes.insert(folded);
    }
    for (std::size_t r = 0; r < eid.eics.size(); ++r)
        if (!usedCodes.count(recordLower[r]))
            report.findings.push_back({ FindingKind::UnusedRecord, {}, { eid.eics[r] }, {}, {}, {} });

    // Same value (letter case and outer blanks aside) and footprint, but more
    // than one code among the devices that have one.
    struct Group {
        std::vector<const ProjectDevice*> members;
        std::vector<std::string> codes;
    };
    std::map<std::pair<std::string, std::string>, Group> groups;
    for (const auto& d : devices) {
        const std::string value = lower(trimmed(d.value));
        if (value.empty() || IsPlaceholderCode(d.eic))
            continue;
        Group& g = groups[{ value, d.footprint }];
        g.members.push_back(&d);
        if (std::find(g.codes.begin(), g.codes.end(), d.eic) == g.codes.end())
            g.codes.push_back(d.eic);
    }
    for (const auto& [key, g] : groups) {
        if (g.codes.size() < 2)
            continue;
        Finding f { FindingKind::ConflictingCodes, {}, g.codes, trimmed(g.members.front()->value), key.second,
            {} };
        for (const auto* d : g.members)
            f.devices.push_back(d->name);
        report.findings.push_back(std::move(f));
    }

    // Codes of devices and records that fold to the same text. Most codes
    // have one spelling, so a second one is what allocates a list.
    auto fold = [](const std::string& code, const std::string& lowered) {
        return code.find_first_of(" \t\r\n\f\v") == std::string::npos ? lowered : foldCode(code);
    };
    struct Spellings {
        std::string_view first;
        std::vector<std::string_view> more;
    };
    std::unordered_map<std::string, Spellings> spellings;
    spellings.reserve(eid.eics.size() + devices.size());
    std::vector<std::string> deviceFolded(devices.size());
    auto addSpelling = [&](const std::string& code, std::string folded) {
        auto [it, added] = spellings.try_emplace(std::move(folded));
        Spellings& s = it->second;
        if (added)
            s.first = code;
        else if (s.first != code && std::find(s.more.begin(), s.more.end(), code) == s.more.end())
            s.more.push_back(code);
    };
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (!IsPlaceholderCode(devices[i].eic)) {
            deviceFolded[i] = fold(devices[i].eic, deviceLower[i]);
            addSpelling(devices[i].eic, deviceFolded[i]);
        }
    for (std::size_t r = 0; r < eid.eics.size(); ++r)
        addSpelling(eid.eics[r], fold(eid.eics[r], recordLower[r]));
    std::unordered_map<std::string_view, std::vector<std::string>> devicesByFolded;
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (!IsPlaceholderCode(devices[i].eic))
            devicesByFolded[deviceFolded[i]].push_back(devices[i].name);
    std::vector<Finding> spelled;
    for (const auto& [folded, list] : spellings) {
        if (list.more.empty())
            continue;
        Finding f { FindingKind::CodeSpelling, {}, { std::string(list.first) }, {}, {}, {} };
        for (auto code : list.more)
            f.codes.emplace_back(code);
        std::sort(f.codes.begin(), f.codes.end());
        if (auto it = devicesByFolded.find(folded); it != devicesByFolded.end())
            f.devices = it->second;
        spelled.push_back(std::move(f));
    }
    std::sort(spelled.begin(), spelled.end(), [](const Finding& a, const Finding& b) { return a.codes < b.codes; });
    for (auto& f : spelled)
        report.findings.push_back(std::move(f));
    checkParts(devices, report);
    return report;
}

bool parseFormat(const std::string& name, Format& format)
{
    if (name == "text")
        format = Format::Text;
    else if (name == "csv")
        format = Format::Csv;
    else if (name == "json")
        format = Format::Json;
    else
        return false;
    return true;
}

std::string formatReport(const Report& report, Format format)
{
    std::string out;
    switch (format) {
    case Format::Text:
        out = std::to_string(report.deviceCount) + " devices, " + std::to_string(report.recordCount) + " records\n";
        for (FindingKind kind : kKinds) {
            out += "\n" + std::string(heading(kind)) + ": " + std::to_string(report.count(kind)) + "\n";
            for (const auto& f : report.findings) {
                if (f.kind != kind)
                    continue;
                switch (kind) {
                case FindingKind::MissingRecord:
                    out += "  " + f.devices[0] + "  " + f.codes[0] + "\n";
                    break;
                case FindingKind::NoCode:
                    out += "  " + f.devices[0] + (f.value.empty() ? "" : "  " + f.value)
                        + (f.footprint.empty() ? "" : "  " + f.footprint) + "\n";
                    break;
                case FindingKind::UnusedRecord:
                    out += "  " + f.codes[0] + "\n";
                    break;
                case FindingKind::ConflictingCodes:
                    out += "  " + f.value + " / " + f.footprint + ": " + joined(f.codes, ", ") + " ("
                        + joined(f.devices, ", ") + ")\n";
                    break;
                case FindingKind::CodeSpelling:
                    out += "  " + joined(f.codes, " | ")
                        + (f.devices.empty() ? "" : " (" + joined(f.devices, ", ") + ")") + "\n";
                    break;
                case FindingKind::PlaceholderCode:
                    out += "  " + f.devices[0] + "  \"" + f.codes[0] + "\""
                        + (f.parts.empty() ? "" : " in the code field of " + joined(f.parts, ", ")) + "\n";
                    break;
                case FindingKind::PartCodeDiffers:
                    out += "  " + f.devices[0] + "  " + (f.codes[0].empty() ? "(no EIC)" : f.codes[0])
                        + ", but " + joined(f.parts, ", ") + " say " + f.codes[1] + "\n";
                    break;
                case FindingKind::CodeOnDifferentParts:
                    out += "  " + joined(f.codes, " | ") + ": " + f.value + " / " + f.footprint + " ("
                        + joined(f.devices, ", ") + ")\n";
                    break;
                case FindingKind::DuplicatePart:
                    out += "  " + f.parts[0] + " (" + joined(f.devices, ", ") + ")\n";
                    break;
                }
            }
        }
        break;
    case Format::Csv:
        out = "kind,devices,codes,value,footprint,parts\r\n";
        for (const auto& f : report.findings)
            out += std::string(kindName(f.kind)) + ',' + csvField(joined(f.devices, ";")) + ','
                + csvField(joined(f.codes, ";")) + ',' + csvField(f.value) + ',' + csvField(f.footprint) + ','
                + csvField(joined(f.parts, ";")) + "\r\n";
        break;
    case Format::Json: {
        out = "{\"devices\":" + std::to_string(report.deviceCount) + ",\"records\":"
            + std::to_string(report.recordCount) + ",\"findings\":[";
        bool first = true;
        for (const auto& f : report.findings) {
            out += first ? "\n" : ",\n";
            first = false;
            out += "{\"kind\":\"" + std::string(kindName(f.kind)) + "\",\"devices\":[";
            for (std::size_t i = 0; i < f.devices.size(); ++i)
                out += (i ? "," : "") + jsonString(f.devices[i]);
            out += "],\"codes\":[";
            for (std::size_t i = 0; i < f.codes.size(); ++i)
                out += (i ? "," : "") + jsonString(f.codes[i]);
            out += "],\"value\":" + jsonString(f.value) + ",\"footprint\":" + jsonString(f.footprint)
                + ",\"parts\":[";
            for (std::size_t i = 0; i < f.parts.size(); ++i)
                out += (i ? "," : "") + jsonString(f.parts[i]);
            out += "]}";
        }
        out += "\n]}\n";
        break;
    }
    }
    return out;
}

} // namespace rav::integrity
