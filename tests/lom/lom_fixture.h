// Test material for the List of Materials: projects built from the
// kernel's JSON form and opened through the kernel, EIDs made with
// CreateEidDatabase and filled through the engine, and a progress sink
// that keeps what it was told.
#pragma once

#include "sinks.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace rav::test
{

// One placed component for projectJson: its name, its device (empty: none)
// and its value and description texts (empty: none).
struct TestComponent {
    std::string name;
    std::string device;
    std::string value;
    std::string description;
};
// One device: name, first word and tokens (full name, EIC, simulation reference).
struct TestDevice {
    std::string name;
    std::string firstWord;
    std::vector<std::string> tokens;
};

std::string projectJson(const std::string& name, const std::vector<TestDevice>& devices,
    const std::vector<TestComponent>& components);

// Builds the project file from JSON text and opens it in the kernel.
// Fails the test (ADD_FAILURE) when either step fails.
void openProjectFromJson(const std::filesystem::path& dpz, const std::string& json);

// An EID with these columns (all size 50) and EIC field, holding `rows`
// (values in column order).
void makeEid(const std::filesystem::path& file, const std::vector<std::string>& columns,
    const std::string& eic, const std::vector<std::vector<std::string>>& rows);

// Every call, in order, as "caption:<text>", "range:<min>-<max>", "value:<v>".
class RecordingProgress : public ProgressSink
{
public:
    void setCaption(const std::string& caption) override { events.push_back("caption:" + caption); }
    void setRange(std::int64_t minimum, std::int64_t maximum) override
    {
        events.push_back("range:" + std::to_string(minimum) + "-" + std::to_string(maximum));
    }
    void setValue(std::int64_t value) override
    {
        lastValue = value;
        ++values;
    }
    void yield() override
    {
        ++yields;
        if (cancelAtYield > 0 && yields == cancelAtYield)
            onCancel();
    }
    std::vector<std::string> events; // captions and ranges
    std::int64_t lastValue = -1;
    int values = 0;
    int yields = 0;
    int cancelAtYield = 0; // the yield at which onCancel runs (0: never)
    void (*onCancel)() = nullptr;
};

// All rows of a dialect query over a database file, Null as "<null>".
std::vector<std::vector<std::string>> queryRows(const std::filesystem::path& db, const std::string& sql);

} // namespace rav::test
