// What the integrity report and the suggestions look at: the project's
// devices (with the value and footprint of the parts that use them) and the
// records of an EID. Texts are UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rav::integrity
{

// One placed part, as the checks compare it with its device.
struct ProjectPart {
    std::string name;
    std::string value; // "" when none
    std::string footprint; // its symbol, else the device text's first word
    std::string sourceCode; // the part's own code field, as the design wrote it; "" when none
    std::string sourceField; // the name of that field
};

struct ProjectDevice {
    std::string name;
    std::string fullName;
    std::string eic; // the device's External Index Code, "" when it has none
    std::string value; // value text of the first placed part using it, "" when none
    std::string footprint; // symbol of that part, else the device text's first word
    std::size_t uses = 0; // placed parts using the device
    std::vector<ProjectPart> parts; // the placed parts using it, in the kernel's order
};

struct EidRecords {
    std::string eicField;
    std::vector<std::string> columns; // in table order
    std::vector<std::string> eics; // one per record, in EIC order
    // Per record, the other columns' values joined by blanks (only when read
    // with texts): what the suggestions score.
    std::vector<std::string> texts;
};

// The devices of the project open in the kernel, in the kernel's order.
// A part's source code is its first attribute among `codeFields` with a
// value (DefaultCodeFields() when empty).
std::vector<ProjectDevice> readProjectDevices(const std::vector<std::string>& codeFields = {});

// The records of an EID. Throws std::runtime_error with one sentence naming
// the file when it is missing or not an EID.
EidRecords readEidRecords(const std::string& file, bool withTexts);

} // namespace rav::integrity
