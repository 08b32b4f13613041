// The editor's process-wide values: what the main window reads at start-up
// and the module windows read while they run. One instance per process,
// reached through shellState(); everything runs on the user-interface
// thread, so the values are plain members without locking.
#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <string>

namespace rav::shell
{

struct ShellState {
    // Directory of the help file, as the host set it through SeverPath;
    // empty until the host sets it.
    std::string ServerPath;

    // The List-of-Materials settings (host settings file, section POSTLOM).
    std::string FieldSort = "0";
    long FieldSep = 44; // character code of the output delimiter
    std::string DBaseName; // full name of the EID in use, "" when none
    std::string FieldSeq;

    // The suite's library folder (default folder of EID files) and the work
    // folder of temporary databases.
    std::string LibDir;
    std::string TempDir;

    // The main window (a QWidget), null while it is not loaded. Module
    // windows show it again when they close.
    QPointer<QObject> MainForm;
    std::string AppTitle; // looked-up "List of Material Editor"
    std::string HelpFile; // server path + "/Ravederi.HLP"

    // The interface font chosen from the locale; every window applies it.
    std::string FontFace;
    int FontSize = 8; // points
    int Charset = 0; // character set number of the locale's code page

    // The help topic of the last valid SetHelpTopic; 0 before the first.
    std::int32_t CurrentHelpTopic = 0;
};

ShellState& shellState();

// The name of this editor in the suite: the target field of host commands,
// the sender of its notifications and its kernel string-table entry.
inline constexpr const char* kAppName = "RAVEDERI";

} // namespace rav::shell
