// The settings file (host.ini) and the message catalogues. Whatever the
// settings file holds, a setting written is the setting read back, and the
// other settings keep their values.
#include "fuzz_support.h"
#include "host_utility.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ::setenv("XDG_CONFIG_HOME", rav::fuzz::scratch().c_str(), 1);
    std::filesystem::create_directories(rav::fuzz::scratch() / "dodiv");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    (void)rav::messages::parseCatalogue(bytes);

    rav::HostUtility& host = rav::HostUtility::instance();
    rav::fuzz::writeScratch("dodiv/host.ini", data, size);
    const std::string sort = host.ReadSetting("POSTLOM", "FieldSort", "?");
    const std::string other = host.ReadSetting("Other", "Key", "?");
    // A section and key taken from the input, when the format can hold them.
    std::string section = bytes.substr(0, std::min<std::size_t>(bytes.find('\n'), 8));
    if (section.empty())
        section = "POSTLOM";
    try {
        host.WriteSetting(section, "FieldSep", "|x");
    } catch (const std::invalid_argument&) {
        return 0;
    }
    rav::fuzz::check(host.ReadSetting(section, "FieldSep", "?") == "|x", "a written setting does not read back");
    rav::fuzz::check(host.ReadSetting("POSTLOM", "FieldSort", "?") == sort, "another setting changed");
    rav::fuzz::check(host.ReadSetting("Other", "Key", "?") == other, "another section changed");
    return 0;
}
