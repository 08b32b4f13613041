// The editor's persistent settings and folders: the List-of-Materials
// values in the host's settings file, the suite's library folder, and the
// work folder of temporary files.
#pragma once

#include "shell_state.h"

#include <string>
#include <string_view>

namespace rav
{
class HostUtility;
}

namespace rav::shell
{

// Number -> text as the suite writes numbers with a sign position: a
// positive value or zero gets one leading blank (" 44", " 0"), a negative
// one its minus sign ("-3").
std::string FormatSignedNumber(long value);

// Text -> whole number as stored numbers are read: the number at the start
// of the text (first comma as decimal point), rounded to the nearest whole
// number with halves to even; a text that is not a number gives 0. Values
// beyond the range of long are clamped.
long ParseWholeNumber(std::string_view text);

// Reads FieldSort, FieldSep, DBaseName and FieldSeq from section POSTLOM, in
// that order, with the defaults "0", "44", "" and "".
void IniLoMR(ShellState& state, HostUtility& host);
// Writes the four values back in the same order; FieldSep as " 44".
void IniLomW(const ShellState& state, HostUtility& host);
// Reads LibDir from section Zarov2U, default "/Dodiv 2000/LIB".
void ReadSuiteDirs(ShellState& state, HostUtility& host);

// The process-wide forms of the three, on shellState() and the host utility.
void IniLoMR();
void IniLomW();
void ReadSuiteDirs();

// The folder that holds the editor's own library file.
std::string GetAppDir();

// The editor's per-user work folder: $XDG_CACHE_HOME/Ravederi (or
// ~/.cache/Ravederi). The install folder may be read-only, so temporary
// files never go beside the library.
std::string ComponentWorkDir();

// Sets TempDir to the work folder + "Temp" and creates the folder when it
// is missing. A folder that exists is left alone; a failure to create it is
// not reported (the operations that write there report their own failures).
void EnsureTempDir(ShellState& state, HostUtility& host);
void EnsureTempDir();

} // namespace rav::shell
