// The process-wide cancel flag: the progress window's Cancel button sets it,
// long builds and the project library update poll it between records and
// clear it when they stop. Everything runs on the window thread; the atomic
// only keeps a signal handler or a test thread honest.
#pragma once

#include <atomic>

namespace rav {

inline std::atomic<bool>& cancelFlag()
{
    static std::atomic<bool> flag{false};
    return flag;
}

} // namespace rav
