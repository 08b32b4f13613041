// The project file loader on any bytes: either a ProjectError, or a project
// that writes to a new file and reads back equal.
#include "fuzz_support.h"
#include "project_model.h"

#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto file = rav::fuzz::writeScratch("input.dpz", data, size);
    rav::project::Project project;
    try {
        project = rav::project::readDpz(file);
    } catch (const rav::project::ProjectError&) {
        return 0;
    }
    const auto copy = rav::fuzz::scratch() / "copy.dpz";
    std::filesystem::remove(copy);
    try {
        rav::project::writeDpz(project, copy);
    } catch (const rav::project::ProjectError&) {
        return 0; // a file the loader accepts may still break the writer's rules
    }
    rav::fuzz::check(rav::project::readDpz(copy) == project, "project changed by a write and read");
    return 0;
}
