// The rows of the tool box's "Integrity" tab: one per finding of the
// integrity report, each naming the device (or the record) a click on it
// goes to.
#pragma once

#include "integrity_report.h"

#include <string>
#include <vector>

namespace rav::recedit
{

struct FindingRow {
    std::string finding; // the kind of finding, in the user's language
    std::string devices; // the devices concerned, comma-separated
    std::string codes; // the EICs concerned
    std::string detail; // value and footprint where the finding has them
    std::string device; // the device a click selects; empty: none
    std::string code; // without a device: the EID record a click selects
};

// The report's findings as rows, in the report's order.
std::vector<FindingRow> FindingRows(const integrity::Report& report);
// The line above the rows: how many devices and records were compared and
// how many findings there are.
std::string IntegritySummary(const integrity::Report& report);

} // namespace rav::recedit
