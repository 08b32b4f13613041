// The KiCad schematic reader: any bytes as a root sheet are either refused
// with a ProjectError or give a design whose parts become a project that
// survives the JSON round trip. Sub-sheets that the bytes name are looked
// for in the scratch folder and are normally missing, which must be
// refused the same way.
#include "fuzz_support.h"
#include "kicad_parts.h"
#include "kicad_sch.h"
#include "project_model.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto file = rav::fuzz::writeScratch("fuzz.kicad_sch", data, size);
    rav::project::Project project;
    try {
        const rav::project::SchematicDesign design = rav::project::readSchematicDesign(file);
        for (const auto& part : design.parts)
            rav::fuzz::check(!part.symbols.empty(), "a part without a symbol");
        project = rav::project::projectFromKicadParts(rav::project::kicadDesignOf(design), file, {}).project;
    } catch (const rav::project::ProjectError&) {
        return 0;
    }
    rav::fuzz::check(rav::project::parseJson(rav::project::toJson(project)) == project,
        "project changed by a JSON round trip");
    return 0;
}
