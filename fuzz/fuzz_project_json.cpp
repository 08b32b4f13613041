// The readable project source: any text is either refused with a
// ProjectError or gives a project whose JSON reads back to an equal one.
#include "fuzz_support.h"
#include "project_model.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string json(reinterpret_cast<const char*>(data), size);
    rav::project::Project project;
    try {
        project = rav::project::parseJson(json);
    } catch (const rav::project::ProjectError&) {
        return 0;
    }
    rav::fuzz::check(rav::project::parseJson(rav::project::toJson(project)) == project,
        "project changed by a JSON round trip");
    return 0;
}
