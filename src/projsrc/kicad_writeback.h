// Codes written back into the KiCad schematics a project was made from.
//
// A project made by `from-kicad` from a schematic remembers the root file,
// the field its EICs came from, and a fingerprint of every file it read
// (tables design_source and design_file of the ".dpz"). The write-back:
// - plans first: per symbol, the code its field holds and the one it will
//   hold; nothing is written until the plan is complete and every check
//   passed (files unchanged since the import, writable, no symbol of a shared
//   sheet needing two codes);
// - changes only the value of the field, or adds the field after the
//   symbol's last property in the form that file already uses for a hidden
//   field, so every other byte stays as it was;
// - replaces the files as one set through a journal in the project file
//   (design_write): new files are written beside the old ones, the journal
//   row is committed (the point of no return), then the files are renamed
//   into place. A run killed before the commit leaves the old set; one
//   killed after it is finished by the next run (recoverDesignWrite), which
//   every command over such a project calls first.
//
// State of a design_write row:  apply --renamed--> done --undo--> revert --renamed--> (deleted)
#pragma once

#include "kicad_sch.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace rav::project
{

// What a project made from a schematic remembers of it.
struct DesignLink {
    std::filesystem::path root; // the root schematic, absolute
    std::string field; // the field the EICs were read from; empty: the default list
    std::vector<std::pair<std::string, std::string>> files; // name relative to the root's folder, fingerprint
};

// Stores `link` in the project file `dpz` (replacing an earlier one).
void storeDesignLink(const std::filesystem::path& dpz, const DesignLink& link);
// The link of a project, or nothing for a project not made from a schematic.
std::optional<DesignLink> loadDesignLink(const std::filesystem::path& dpz);
// The link of a design just read.
DesignLink linkOf(const SchematicDesign& design, const std::filesystem::path& root, const std::string& field);

// Re-importing over an existing project keeps the work done in it. Before
// the new project is written, `keepAssignedCodes` gives each device of
// `fresh` that the old project `dpz` has the code assigned there since the
// last import, unless the design now carries a code of its own that differs
// from the one it carried then: then the design wins, and the change is
// returned as "DEVICE: OLD -> NEW" lines. `designCodes` receives the codes
// the design carries now (to be stored with storeDesignCodes).
std::vector<std::string> keepAssignedCodes(
    const std::filesystem::path& dpz, Project& fresh, std::map<std::string, std::string>& designCodes);
// The codes the design carried at the import, per device, kept for the next
// re-import.
void storeDesignCodes(const std::filesystem::path& dpz, const std::map<std::string, std::string>& codes);
// Copies the undo journals of the old project `from` (EIC write-backs, for
// the devices `to` still has, by name; design writes) into the new one.
void carryJournals(const std::filesystem::path& from, const std::filesystem::path& to);

// One symbol's field change.
struct SymbolCodeChange {
    std::string reference; // the part (for a shared sheet, the first instance's)
    std::string file; // the file's name
    std::string oldCode, newCode;
    bool added = false; // the symbol had no such field
};

struct DesignWritePlan {
    std::vector<SymbolCodeChange> changes;
    // Each file that changes: its name, path, bytes now and after.
    struct File {
        std::string name;
        std::filesystem::path path;
        std::string before, after;
    };
    std::vector<File> files;
    std::map<std::string, std::string> deviceCodes; // device -> code, for the devices written
};

// The field the codes go to: `requested` when given, else the one the import
// read them from, else "EIC".
std::string writeBackField(const DesignLink& link, const std::string& requested);

// Plans writing each device's EIC into field `field` of its symbols. Throws
// ProjectError with one line when the project has no design link, a file
// changed since the import or cannot be read, or a symbol of a shared sheet
// would need two codes.
DesignWritePlan planDesignWrite(const std::filesystem::path& dpz, const std::string& field);

// "REF (FILE): OLD -> NEW" per change ("(none)" for an empty or missing field).
std::string describeDesignWrite(const DesignWritePlan& plan);

// Writes the planned files as one set and journals them for undo. Throws
// ProjectError (nothing written) for a read-only file or folder.
void applyDesignWrite(const std::filesystem::path& dpz, const DesignWritePlan& plan);

// Finishes a set replacement a killed run left half done; returns whether
// there was one.
bool recoverDesignWrite(const std::filesystem::path& dpz);

// Whether the newest journalled change of the project is a design write
// (newer than any EIC write-back of the kernel).
bool lastChangeIsDesignWrite(const std::filesystem::path& dpz);

// Takes back the last design write: the files get their earlier bytes.
// Returns one "FILE: restored" line per file. Throws ProjectError when a
// file changed since that write (nothing is undone then).
std::string undoDesignWrite(const std::filesystem::path& dpz);

} // namespace rav::project
