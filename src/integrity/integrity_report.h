// The integrity report: where the project's devices and an EID disagree.
#pragma once

#include "integrity_data.h"

#include <string>
#include <vector>

namespace rav::integrity
{

enum class FindingKind {
    MissingRecord, // a device's EIC has no record in the EID (letter case aside, as look-ups go)
    NoCode, // a device has no EIC at all
    UnusedRecord, // a record no device uses
    ConflictingCodes, // devices of the same value and footprint with different EICs
    CodeSpelling, // EICs that differ only in letter case or blanks
    PlaceholderCode, // a device's EIC, or a part's code field, holds a stand-in ("_", "n/a")
    PartCodeDiffers, // parts whose own code field disagrees with their device's EIC
    CodeOnDifferentParts, // one EIC on parts of different values or footprints
    DuplicatePart, // one part name on several placed parts
};

// The word used in CSV and JSON output ("missing-record", ...).
const char* kindName(FindingKind kind);

struct Finding {
    FindingKind kind;
    std::vector<std::string> devices; // device names concerned
    std::vector<std::string> codes; // EICs concerned
    // ConflictingCodes: the shared value and footprint; CodeOnDifferentParts:
    // the different ones, joined by " | ".
    std::string value;
    std::string footprint;
    std::vector<std::string> parts; // placed parts concerned (the last three kinds, placeholders in parts)
};

struct Report {
    std::size_t deviceCount = 0;
    std::size_t recordCount = 0;
    std::vector<Finding> findings; // by kind, then in the devices' or codes' order
    std::size_t count(FindingKind kind) const;
};

Report checkIntegrity(const std::vector<ProjectDevice>& devices, const EidRecords& eid);

enum class Format { Text, Csv, Json };
// "text", "csv" or "json"; false for anything else.
bool parseFormat(const std::string& name, Format& format);
std::string formatReport(const Report& report, Format format);

// What CodeSpelling compares: lower case, blanks removed.
std::string foldCode(const std::string& code);

} // namespace rav::integrity
