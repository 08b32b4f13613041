// KiCad schematics (".kicad_sch", the formats of KiCad 6 to 9) read
// directly, without a netlist export: the whole hierarchy from the root
// sheet, each placed part once with its fields and flags, and where each
// of its symbols sits in which file, so that codes can be written back.
//
// How the design is read:
// - The root file and every sub-sheet it names ("Sheetfile", "Sheet file"
//   in KiCad 6), depth first in file order; a sheet's file is looked up
//   beside the root file, then beside the sheet that names it. A file used
//   by several sheets is read once and its symbols placed once per sheet
//   instance. A sheet that (through others) names itself is refused.
// - Instance paths are the sheets' uuids from the root ("/ROOT/SHEET" in
//   KiCad 7 and later, where the root's uuid leads; "/SHEET" in KiCad 6). A
//   symbol's reference and unit for an instance come from its "instances"
//   (KiCad 7+) or from the root's "symbol_instances" (KiCad 6); without
//   either, from its "Reference" property.
// - Power symbols (the library symbol says "power") and references starting
//   with "#" are not parts; nor are graphics, labels, wires or texts.
// - The units of a multi-unit symbol with one reference are one part, taking
//   its fields from the first unit met and any field that one leaves empty
//   from the others.
// - Values "~" mean empty, as KiCad writes an empty field in older files.
#pragma once

#include "kicad_parts.h"
#include "project_model.h"

#include <filesystem>
#include <string>
#include <vector>

namespace rav::project
{

// One schematic file of the design, as read.
struct SchematicFile {
    std::filesystem::path path; // the file opened
    std::string name; // relative to the root file's folder, "/"-separated
    std::string bytes; // the whole file
    long version = 0; // the file's "(version N)"
};

struct SchematicField {
    std::string name, value;
    bool operator==(const SchematicField&) const = default;
};

// One symbol placed in one sheet instance (a unit of a part).
struct SchematicSymbol {
    std::size_t file = 0; // index into SchematicDesign::files
    std::string uuid; // the symbol's own uuid (one per symbol in the file)
    std::string sheetPath; // the sheet instance, "/ROOT/SHEET"
    std::string reference;
    int unit = 1;
};

// One part of the design: every unit placed with one reference.
struct SchematicPart {
    std::string reference, value, footprint;
    std::string library, symbolName; // the library id "Device:R" split
    std::string description; // the library symbol's description
    std::string sheetNames; // "/" or "/Sub Sheet/"
    std::string sheetName, sheetFile; // the sheet the part sits on ("Root" for the root), its file
    std::vector<SchematicField> libraryProperties; // the library symbol's ki_keywords, ki_fp_filters
    // Every field but Reference and Value: the user's fields in file order,
    // then Footprint, Datasheet, Description, as KiCad's netlist lists them.
    std::vector<SchematicField> fields;
    bool dnp = false, excludeFromBom = false, excludeFromBoard = false;
    std::vector<std::size_t> symbols; // indices into SchematicDesign::symbols
};

struct SchematicDesign {
    std::string title; // the root sheet's title block title
    std::vector<SchematicFile> files; // the root first
    std::vector<SchematicSymbol> symbols;
    // Ordered by reference as KiCad's netlist orders them: prefix, then number.
    std::vector<SchematicPart> parts;
};

// The newest file format this reader knows (KiCad 9's); newer files are
// refused rather than half understood.
constexpr long kNewestSchematicVersion = 20250114;

// Reads the design of the root schematic. Throws ProjectError with one line
// for a file that cannot be read, is not a KiCad 6+ schematic (a KiCad 5
// ".sch" file is named as such), is malformed or cut short, is newer than
// this reader, names a sub-sheet file that is missing, or names itself.
SchematicDesign readSchematicDesign(const std::filesystem::path& root);

// The design's parts as the project step takes them (kicad_parts.h), with
// the fields KiCad's netlist export adds (the sheet's name and file, the
// library symbol's keywords and footprint filters), so that a schematic and
// the netlist KiCad exports from it give the same project.
KicadDesign kicadDesignOf(const SchematicDesign& design);

// A short text that changes whenever the bytes do ("19896-1a2b..."): how a
// write-back tells that KiCad saved a file since it was read.
std::string fingerprint(const std::string& bytes);

} // namespace rav::project
