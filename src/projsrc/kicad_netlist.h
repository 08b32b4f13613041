// A KiCad intermediate netlist (the "kicadxml" export: <export> with
// <design> and <components><comp ref=...>) read as the parts of a design
// (kicad_parts.h), so a designer with a real KiCad design gets a project the
// editor opens.
//
// What the netlist gives each part:
// - Title: the root sheet's (the first <sheet>'s) title; source: <design>
//   <source>.
// - One part per <comp>, in file order: ref, <value>, <footprint>,
//   <libsource lib= part= description=>, <sheetpath names=>.
// - Fields: the comp's <fields><field name=..> and, as KiCad 6 and later
//   write them, its <property name=.. value=../> elements; when a name
//   appears both ways the <field> counts; <datasheet> (but "~") is the field
//   "Datasheet" unless there is one. The value-less properties "dnp",
//   "exclude_from_bom" and "exclude_from_board" are KiCad's flags.
#pragma once

#include "kicad_parts.h"

#include <filesystem>
#include <string>

namespace rav::project
{

using KicadNetlistOptions = KicadImportOptions;

// The parts of the netlist `xml`. `fileName` names the netlist in messages
// ("board.xml:12:5: ..."). Throws ProjectError for malformed XML or a file
// that is not a KiCad netlist.
KicadDesign readKicadNetlistDesign(const std::string& xml, const std::filesystem::path& fileName);

// Builds a project from netlist bytes. `fileName` names the netlist in
// messages ("board.xml:12:5: ...") and gives the last-resort project name.
// Throws ProjectError for malformed XML, a file that is not a KiCad netlist,
// or a text that Windows-1252 cannot hold.
Project projectFromKicadNetlist(
    const std::string& xml, const std::filesystem::path& fileName, const KicadNetlistOptions& options = {});

// Reads the netlist file first; a file that cannot be read is a ProjectError.
KicadImport importKicadNetlist(const std::filesystem::path& file, const KicadNetlistOptions& options = {});
Project readKicadNetlist(const std::filesystem::path& file, const KicadNetlistOptions& options = {});

} // namespace rav::project
