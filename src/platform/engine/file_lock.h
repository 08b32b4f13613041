// Advisory locks that give "exclusive" and "shared" opens their meaning
// across connections of this process and of other processes.
#pragma once

#include "database.h"

#include <string>

namespace rav::db::detail
{

// One held claim on a file: shared or exclusive. Within the process a
// registry keyed by device and inode counts claims, so exactly one
// descriptor per file carries the flock() seen by other processes. That
// descriptor is closed only when the last claim goes, i.e. after every
// SQLite connection of this process to the file is closed; closing it
// earlier would drop SQLite's own POSIX locks on the file.
class FileLock
{
public:
    FileLock() = default;
    ~FileLock();
    FileLock(FileLock&& o) noexcept;
    FileLock& operator=(FileLock&& o) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Claims an existing file. Throws Error when missing or in use.
    static FileLock acquire(const std::string& path, OpenMode mode);
    // Creates the file (it must not exist) and claims it exclusively.
    static FileLock createExclusive(const std::string& path);
    void release();
    bool held() const { return held_; }

private:
    bool held_ = false;
    unsigned long long dev_ = 0, ino_ = 0;
};

// Runs `action` while holding an exclusive claim on an existing file, so
// that no connection here or elsewhere has it open. Throws Error when the
// file is in use.
void withFileUnclaimed(const std::string& path, void (*action)(const std::string&));

} // namespace rav::db::detail
