// The KiCad netlist reader: any bytes are either refused with a
// ProjectError or give a project that survives the JSON round trip.
#include "fuzz_support.h"
#include "kicad_netlist.h"
#include "project_model.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string xml(reinterpret_cast<const char*>(data), size);
    rav::project::Project project;
    try {
        project = rav::project::projectFromKicadNetlist(xml, "fuzz.xml");
    } catch (const rav::project::ProjectError&) {
        return 0;
    }
    rav::fuzz::check(!project.name.empty(), "project without a name");
    rav::fuzz::check(rav::project::parseJson(rav::project::toJson(project)) == project,
        "project changed by a JSON round trip");
    return 0;
}
