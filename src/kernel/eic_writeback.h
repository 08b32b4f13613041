// EIC write-backs as one unit: what will change (old code -> new code per
// device) before anything is written, the writing as one journalled
// write-back through the kernel, and undoing the last one. Every writer of
// EICs (the record editor's library update, the command line's set-eic and
// suggest) goes through here, so each can show the same preview first.
#pragma once

#include "sinks.h"

#include <string>
#include <vector>

namespace rav::kernel
{

struct EicChange {
    std::string device;
    std::string oldCode;
    std::string newCode;
    bool known = true; // false: the project has no device of that name
    bool operator==(const EicChange&) const = default;
};

struct WantedCode {
    std::string device;
    std::string code;
};

// The changes writing `wanted` would make to the open project: devices whose
// code would stay as it is are left out; a device named twice counts once,
// with its last code.
std::vector<EicChange> planEicChanges(const std::vector<WantedCode>& wanted);

// "DEVICE: OLD -> NEW" per line ("(none)" for an empty code; "no such
// device" for an unknown one).
std::string describeChanges(const std::vector<EicChange>& changes);

// Writes the planned codes as one write-back (one transaction, one journal
// entry). Devices the kernel refuses are reported through `messages` (14,
// 15) and left out; the others are written. Returns the number written;
// throws std::runtime_error when the project file cannot be written at all.
std::size_t applyEicChanges(const std::vector<EicChange>& changes, MessageSink& messages);

// Starts and ends a write-back around several UpdateDeviceEic calls (for
// writers that go row by row). The destructor commits unless rollback()
// ran; begin failures throw std::runtime_error.
class WriteBack
{
public:
    WriteBack();
    ~WriteBack();
    WriteBack(const WriteBack&) = delete;
    WriteBack& operator=(const WriteBack&) = delete;
    void commit();
    void rollback();

private:
    bool open_ = false;
};

// When the open project was made from KiCad schematics (project from-kicad
// ROOT.kicad_sch), offers to write its codes into them as well: the change
// per symbol (old -> new) is shown as a question, and the files are written
// on Yes (kicad_writeback.h). Returns the number of symbols changed; 0 when
// the project has no schematics, nothing would change, or the user says No.
// A refusal (a file saved in KiCad since, read-only, a shared sheet needing
// two codes) is shown through `messages`, never thrown.
std::size_t offerDesignWrite(MessageSink& messages);

// Undoes the last journalled write-back of the open project and returns what
// that changed back (device: code before the undo -> code after). Throws
// std::runtime_error with the kernel's sentence ("There is nothing to
// undo.") when it cannot.
std::vector<EicChange> undoLastWriteBack();

} // namespace rav::kernel
