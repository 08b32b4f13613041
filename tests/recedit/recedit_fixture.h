// Test material for the record editor's logic: EIDs made with
// CreateEidDatabase and filled through the engine, projects written from
// their JSON form and opened through the kernel, and the rows of a query.
#pragma once

#include "sinks.h"

#include <filesystem>
#include <string>
#include <vector>

namespace rav::test
{

// A device of a test project: name, first word (package) and its tokens
// (full name, EIC, simulation reference).
struct Device {
    std::string name;
    std::string firstWord;
    std::vector<std::string> tokens;
};

// JSON text of a project with these devices, each placed once as a
// component named after it with "_1".
std::string projectJson(const std::string& name, const std::vector<Device>& devices);

// Writes the project file from JSON and opens it in the kernel; false (with
// a test failure added) when either step fails.
bool openProject(const std::filesystem::path& dpz, const std::string& json);

// An EID with these columns (sizes given, or 30 each) and EIC field,
// holding `rows` (values in column order; "<null>" leaves a value Null).
void makeEid(const std::filesystem::path& file, const std::vector<std::string>& columns,
    const std::string& eic, const std::vector<std::vector<std::string>>& rows,
    const std::vector<int>& sizes = {});

// Rows of a query over a database file; Null as "<null>".
using Rows = std::vector<std::vector<std::string>>;
Rows queryRows(const std::filesystem::path& db, const std::string& sql);

// A progress sink that counts and can raise the cancel flag at a chosen yield.
class CountingProgress : public ProgressSink
{
public:
    void setCaption(const std::string& caption) override { captions.push_back(caption); }
    void setRange(std::int64_t, std::int64_t maximum) override { this->maximum = maximum; }
    void setValue(std::int64_t value) override { last = value; }
    void yield() override;
    std::vector<std::string> captions;
    std::int64_t maximum = -1;
    std::int64_t last = -1;
    int yields = 0;
    int cancelAt = 0; // raise the cancel flag at this yield (0: never)
};

} // namespace rav::test
