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

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
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

// The design's texts are views: into the files' bytes (which are therefore
// never changed), where nearly all of them stand, or into texts the design
// keeps (strings with escapes, sheet paths). They live as long as the
// design that holds them.
struct SchematicField {
    std::string_view name, value;
    bool operator==(const SchematicField&) const = default;
};

// One symbol placed in one sheet instance (a unit of a part).
struct SchematicSymbol {
    std::uint32_t file = 0; // index into SchematicDesign::files
    int unit = 1;
    std::string_view uuid; // the symbol's own uuid (one per symbol in the file)
    std::string_view sheetPath; // the sheet instance, "/ROOT/SHEET"
    std::string_view reference;
};

// One part of the design: every unit placed with one reference.
struct SchematicPart {
    std::string_view reference, value, footprint;
    std::string_view library, symbolName; // the library id "Device:R" split
    std::string_view description; // the library symbol's description
    std::string_view sheetNames; // "/" or "/Sub Sheet/"
    std::string_view sheetName, sheetFile; // the sheet the part sits on ("Root" for the root), its file
    std::span<const SchematicField> libraryProperties; // the library symbol's ki_keywords, ki_fp_filters
    // Every field but Reference and Value: the user's fields in file order,
    // then Footprint, Datasheet, Description, as KiCad's netlist lists them.
    std::span<const SchematicField> fields;
    std::span<const SchematicSymbol> symbols; // its units, in the order placed
    bool dnp = false, excludeFromBom = false, excludeFromBoard = false;
};

// A design is moved, not copied: its parts and symbols view what it holds.
struct SchematicDesign {
    std::string title; // the root sheet's title block title
    std::vector<SchematicFile> files; // the root first
    std::vector<SchematicSymbol> symbols; // grouped by part, in the parts' order
    // Ordered by reference as KiCad's netlist orders them: prefix, then number.
    std::vector<SchematicPart> parts;
    // What the views above point into besides the files' bytes.
    std::shared_ptr<const void> storage;

    SchematicDesign() = default;
    SchematicDesign(SchematicDesign&&) = default;
    SchematicDesign& operator=(SchematicDesign&&) = default;
    SchematicDesign(const SchematicDesign&) = delete;
    SchematicDesign& operator=(const SchematicDesign&) = delete;
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
std::string fingerprint(std::string_view bytes);

} // namespace rav::project
