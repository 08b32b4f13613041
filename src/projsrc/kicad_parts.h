// The parts of a KiCad design made into a project, whatever file they were
// read from. A reader (the netlist reader in kicad_netlist.h, a schematic
// reader) fills a KicadDesign; projectFromKicadParts makes the project, so
// every KiCad source gives the same project for the same parts.
//
// How the parts become a project (predictable from the parts alone):
// - Project name: the design's title; else the base name, without extension,
//   of its source (either slash counts); else the base name of the file read.
// - Hierarchies: the root "/" first and current, then one per further
//   distinct sheet path in part order. Components are not tied to a
//   hierarchy; the names only describe the design's sheets.
// - One layout component per part, in order, named by its reference.
//   Symbol: the footprint after its library prefix
//   ("Resistor_SMD:R_0603_1608Metric" -> "R_0603_1608Metric"); none when the
//   part has no footprint. Symbols are listed in first-seen order.
//   One schematic component holding the texts mask 8 = value and
//   mask 4 = the description (see below); a text that would be empty is left
//   out. Then one text mask 16 "NAME=VALUE" per field with a value, in
//   order, and "DNP=1", "exclude_from_bom=1", "exclude_from_board=1" for the
//   part's flags (unless it has a field of that name). A field that an
//   attribute text cannot hold (no name, "=" in the name, characters outside
//   Windows-1252) is left out with a warning.
// - The part's code (EIC) is the value of the chosen field, or of the first
//   of "EIC", "MPN", "manf#", "Manufacturer_Part_Number", "Part Number" that
//   the part has with a value; field names compare without regard to ASCII
//   case. A
//   placeholder ("_", "-", "n/a", ...; see IsPlaceholderCode) is no code,
//   with a warning.
// - One device per distinct (symbol part, value, footprint, code) in
//   first-seen order, so every device carries the code of each of its parts.
//   Named part + "-" + value (the reference stands in for an empty part;
//   "-" + value is left out when the value is empty or equals the part),
//   made unique with "-2", "-3", ...; library = the symbol library.
//   Its text: first word = the footprint name, else the part name, else "-"
//   (blanks in it become "_", since the first word ends at the first blank);
//   tokens = the description, the code, and the simulation reference
//   ("Sim.Device", else "Spice_Primitive" field) only when the part has one,
//   taken from the first part of the device.
// - Warnings also name references used by more than one part (each part is
//   kept) and a chosen code field that no part has.
// - The description is the "Description" field when not empty, else the
//   library description.
// - With normaliseValues, each value is first put in canonical form
//   ("10K", "10000", "10kΩ" -> "10k"; see component_value.h); the canonical
//   value is then the component's value text and part of the device key
//   and name. Values that are not plain numbers stay as written.
// - Every text must fit Windows-1252; the first that does not stops the
//   conversion with an error naming the part's reference and the field.
#pragma once

#include "project_model.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rav::project
{

// One placed part of a KiCad design (one unit per reference: a reader that
// sees several units of one reference gives one part). All texts UTF-8, as
// the design writes them.
struct KicadPart {
    std::string reference; // "R1"
    std::string value; // "10k"
    std::string footprint; // "Resistor_SMD:R_0603_1608Metric"; empty: none
    // The symbol's library id split at its first ':' ("Device:R" ->
    // library "Device", part "R").
    std::string library;
    std::string part;
    // The library symbol's description; the "Description" field, when it
    // has a value, wins over it.
    std::string libDescription;
    // Every further field in the design's order, names as written; not the
    // reference, value and footprint. Datasheet and Description count as
    // fields. A name appears once.
    std::vector<std::pair<std::string, std::string>> fields;
    bool dnp = false; // do not place
    bool excludeFromBom = false; // KiCad's "exclude from BOM" ("in BOM" off)
    bool excludeFromBoard = false; // KiCad's "exclude from board"
    std::string sheetPath; // sheet names ("/", "/Power/"); empty: unknown

    // The value of the field `name` (ASCII case ignored); null when absent.
    const std::string* field(std::string_view name) const;
};

struct KicadDesign {
    std::string title; // the root sheet's title; empty: none
    std::string source; // the schematic file the design came from; empty: unknown
    std::vector<KicadPart> parts;
};

struct KicadImportOptions {
    // The part field that holds the EIC; empty: the default list above.
    std::string eicField;
    // Values in canonical form (component_value.h) before anything else
    // uses them, so that "10K" and "10000" make one device.
    bool normaliseValues = false;
};

// The project, and what the user should hear about the design (one line
// each, naming the references concerned).
struct KicadImport {
    Project project;
    std::vector<std::string> warnings;
};

// Makes the project from the parts of `design`. `file` is the file the
// design was read from; its base name is the last-resort project name.
// Throws ProjectError for a text that Windows-1252 cannot hold.
KicadImport projectFromKicadParts(
    KicadDesign design, const std::filesystem::path& file, const KicadImportOptions& options = {});

} // namespace rav::project
