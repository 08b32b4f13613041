// Test material over the editor's logic: projects written from the
// kernel's JSON form and opened through the kernel, EIDs made with
// CreateEidDatabase and filled through the engine, the rows of a query,
// and a progress sink that keeps what it was told. In the library
// rav_test_fixtures, which links the engine, the EID format and the kernel;
// tests of windows run on the editor library instead and do not link it.
#pragma once

#include "sinks.h"

#include <filesystem>
#include <string>
#include <vector>

namespace rav::test
{

// A device of a test project: name, first word (package) and its tokens
// (full name, EIC, simulation reference).
struct TestDevice {
    std::string name;
    std::string firstWord;
    std::vector<std::string> tokens;
};
// A placed component: its name, its device (empty: none) and its value and
// description texts (empty: none).
struct TestComponent {
    std::string name;
    std::string device;
    std::string value;
    std::string description;
};

// JSON text of a project with these devices and components.
std::string projectJson(const std::string& name, const std::vector<TestDevice>& devices,
    const std::vector<TestComponent>& components);
// Every device placed once, as a component named after it with "_1".
std::vector<TestComponent> placedOnce(const std::vector<TestDevice>& devices);

// Writes the project file from JSON and opens it in the kernel; false (with
// a test failure added) when either step fails.
bool openProject(const std::filesystem::path& dpz, const std::string& json);

// An EID with these columns (sizes given, or 30 each) and EIC field,
// holding `rows` (values in column order; "<null>" leaves a value Null).
void makeEid(const std::filesystem::path& file, const std::vector<std::string>& columns,
    const std::string& eic, const std::vector<std::vector<std::string>>& rows,
    const std::vector<int>& sizes = {});

// All rows of a dialect query over a database file, Null as "<null>".
using Rows = std::vector<std::vector<std::string>>;
Rows queryRows(const std::filesystem::path& db, const std::string& sql);

// Keeps every call: captions and ranges in order in `events` (as
// "caption:<text>" and "range:<min>-<max>"), and can raise the cancel flag
// at a chosen yield.
class RecordingProgress : public ProgressSink
{
public:
    void setCaption(const std::string& caption) override;
    void setRange(std::int64_t minimum, std::int64_t maximum) override;
    void setValue(std::int64_t value) override;
    void yield() override;

    std::vector<std::string> events;
    std::vector<std::string> captions;
    std::int64_t maximum = -1; // of the last range
    std::int64_t lastValue = -1;
    int values = 0; // setValue calls
    int yields = 0;
    int cancelAtYield = 0; // the yield that raises the cancel flag (0: none)
};

} // namespace rav::test
