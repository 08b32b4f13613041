// The one line every benchmark prints first: the machine its ratios were
// measured on, since a ratio from two cores shared with other work and one
// from an idle machine are not the same figure.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace rav::bench
{

inline void printMachine()
{
    double load[1] = { 0 };
    if (getloadavg(load, 1) != 1)
        load[0] = -1;
#if defined(__clang__)
    const char* compiler = "clang " __clang_version__;
#elif defined(__GNUC__)
    const char* compiler = "GCC " __VERSION__;
#else
    const char* compiler = "unknown compiler";
#endif
    std::printf(
        "machine: %ld cores, %s, load average %.1f\n", sysconf(_SC_NPROCESSORS_ONLN), compiler, load[0]);
    std::fflush(stdout);
}

} // namespace rav::bench
