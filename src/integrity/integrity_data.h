// What the integrity report and the suggestions look at: the project's
// devices (with the value and footprint of the parts that use them) and the
// records of an EID. Texts are UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rav::integrity
{

struct ProjectDevice {
    std::string name;
    std::string fullName;
    std::string eic; // the device's External Index Code, "" when it has none
    std::string value; // value text of the first placed part using it, "" when none
    std::string footprint; // symbol of that part, else the device text's first word
    std::size_t uses = 0; // placed parts using the device
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
std::vector<ProjectDevice> readProjectDevices();

// The records of an EID. Throws std::runtime_error with one sentence naming
// the file when it is missing or not an EID.
EidRecords readEidRecords(const std::string& file, bool withTexts);

} // namespace rav::integrity
