// A project made from a KiCad intermediate netlist (the "kicadxml" export:
// <export> with <design> and <components><comp ref=...>), so a designer with
// a real KiCad design gets a project the editor opens.
//
// How the netlist becomes a project (kept simple so the result is
// predictable from the netlist alone):
// - Project name: the root sheet's (the first <sheet>'s) title; else the base
//   name, without extension, of <design><source> (either slash counts);
//   else the base name of the netlist file itself.
// - Hierarchies: the root "/" first and current, then one per further
//   distinct <sheetpath names=...> in file order. Components are not tied to
//   a hierarchy; the names only describe the design's sheets.
// - One layout component per <comp>, in file order, named by its ref.
//   Symbol: the footprint after its library prefix
//   ("Resistor_SMD:R_0603_1608Metric" -> "R_0603_1608Metric"); none when the
//   comp has no footprint. Symbols are listed in first-seen order.
//   One schematic component holding the texts mask 8 = <value> and
//   mask 4 = the description (see Fields below); a text that would be empty
//   is left out. Then one text mask 16 "NAME=VALUE" per field with a value
//   (names holding "=" are left out), in file order, and "DNP=1" for a comp
//   with KiCad's <property name="dnp"/> (unless it has a DNP field).
// - One device per distinct (libsource part, value, footprint) in
//   first-seen order, named part + "-" + value (the ref stands in for an
//   empty part; "-" + value is left out when the value is empty or equals
//   the part), made unique with "-2", "-3", ...; library =
//   libsource lib. Its text: first word = the symbol name, else the part
//   name, else "-" (blanks in it become "_", since the first word ends at
//   the first blank); tokens = the description, the EIC, and the simulation
//   reference ("Sim.Device", else "Spice_Primitive" field) only when the
//   comp has one. The EIC is the value of the chosen field, or of the first
//   of "EIC", "MPN", "manf#", "Manufacturer_Part_Number", "Part Number" the
//   comp has; field names compare without regard to ASCII case. The device
//   takes these from the first comp of its group.
// - Fields: the comp's <fields><field name=..> and, as KiCad 6 and later
//   write them, its <property name=.. value=../> elements; when a name
//   appears both ways the <field> counts. The description is the
//   "Description" field when not empty, else the libsource description.
// - With normaliseValues, each value is first put in canonical form
//   ("10K", "10000", "10kΩ" -> "10k"; see component_value.h); the canonical
//   value is then the component's value text and part of the device key
//   and name. Values that are not plain numbers stay as written.
// - Every text must fit Windows-1252; the first that does not stops the
//   conversion with an error naming the comp's ref and the field.
#pragma once

#include "project_model.h"

#include <filesystem>
#include <string>

namespace rav::project
{

struct KicadNetlistOptions {
    // The comp field that holds the EIC; empty: the default list above.
    std::string eicField;
    // Values in canonical form (component_value.h) before anything else
    // uses them, so that "10K" and "10000" make one device.
    bool normaliseValues = false;
};

// Builds a project from netlist bytes. `fileName` names the netlist in
// messages ("board.xml:12:5: ...") and gives the last-resort project name.
// Throws ProjectError for malformed XML, a file that is not a KiCad netlist,
// or a text that Windows-1252 cannot hold.
Project projectFromKicadNetlist(
    const std::string& xml, const std::filesystem::path& fileName, const KicadNetlistOptions& options = {});

// Reads the netlist file first; a file that cannot be read is a ProjectError.
Project readKicadNetlist(const std::filesystem::path& file, const KicadNetlistOptions& options = {});

} // namespace rav::project
