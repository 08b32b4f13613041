#include "lom_settings.h"

#include "database.h"
#include "host_utility.h"
#include "values.h"

#include <cmath>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <limits>

namespace fs = std::filesystem;

namespace rav::shell
{

namespace
{

const char* const kLomSection = "POSTLOM";
const char* const kDirsSection = "Zarov2U";

} // namespace

std::string FormatSignedNumber(long value)
{
    const std::string digits = std::to_string(value);
    return value < 0 ? digits : " " + digits;
}

long ParseWholeNumber(std::string_view text)
{
    const double number = NumericValue(text);
    if (std::isnan(number))
        return 0;
    if (number >= static_cast<double>(std::numeric_limits<long>::max()))
        return std::numeric_limits<long>::max();
    if (number <= static_cast<double>(std::numeric_limits<long>::min()))
        return std::numeric_limits<long>::min();
    // The default rounding mode rounds halves to even, as the suite's
    // conversions do (2.5 -> 2, 3.5 -> 4).
    return static_cast<long>(std::nearbyint(number));
}

void IniLoMR(ShellState& state, HostUtility& host)
{
    state.FieldSort = host.ReadSetting(kLomSection, "FieldSort", "0");
    state.FieldSep = ParseWholeNumber(host.ReadSetting(kLomSection, "FieldSep", "44"));
    state.DBaseName = host.ReadSetting(kLomSection, "DBaseName", "");
    state.FieldSeq = host.ReadSetting(kLomSection, "FieldSeq", "");
}

void IniLomW(const ShellState& state, HostUtility& host)
{
    host.WriteSetting(kLomSection, "FieldSort", state.FieldSort);
    host.WriteSetting(kLomSection, "FieldSep", FormatSignedNumber(state.FieldSep));
    // A server EID is kept without its password: that stays with libpq
    // (~/.pgpass, a service file, the environment).
    host.WriteSetting(kLomSection, "DBaseName", db::nameWithoutPassword(state.DBaseName));
    host.WriteSetting(kLomSection, "FieldSeq", state.FieldSeq);
}

void ReadSuiteDirs(ShellState& state, HostUtility& host)
{
    state.LibDir = host.ReadSetting(kDirsSection, "LibDir", "/Dodiv 2000/LIB");
}

void IniLoMR()
{
    IniLoMR(shellState(), HostUtility::instance());
}

void IniLomW()
{
    IniLomW(shellState(), HostUtility::instance());
}

void ReadSuiteDirs()
{
    ReadSuiteDirs(shellState(), HostUtility::instance());
}

std::string GetAppDir()
{
    Dl_info info {};
    // Any function of this library locates its file.
    if (dladdr(reinterpret_cast<void*>(&GetAppDir), &info) && info.dli_fname) {
        std::error_code ignored;
        const fs::path file = fs::weakly_canonical(info.dli_fname, ignored);
        return file.parent_path().string();
    }
    std::error_code ignored;
    return fs::current_path(ignored).string();
}

std::string ComponentWorkDir()
{
    fs::path base;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache)
        base = cache;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".cache";
    else
        base = fs::temp_directory_path();
    return (base / "Ravederi").string();
}

void EnsureTempDir(ShellState& state, HostUtility& host)
{
    std::string dir = ComponentWorkDir();
    host.AddPathSeparator(dir);
    state.TempDir = dir + "Temp";
    std::error_code ignored;
    if (!fs::is_directory(state.TempDir, ignored))
        fs::create_directories(state.TempDir, ignored);
}

void EnsureTempDir()
{
    EnsureTempDir(shellState(), HostUtility::instance());
}

} // namespace rav::shell
