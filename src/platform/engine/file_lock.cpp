#include "file_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace rav::db::detail
{

namespace
{

struct Entry {
    int fd = -1;
    int claims = 0; // shared claims; an exclusive claim is one claim with `exclusive` set
    bool exclusive = false;
};

using Key = std::pair<unsigned long long, unsigned long long>; // device, inode

std::map<Key, Entry>& registry()
{
    static std::map<Key, Entry> entries;
    return entries;
}

std::string inUse(const std::string& path)
{
    return "cannot open " + path + ": the file is in use by another connection";
}

// Takes the flock for a fresh descriptor; closes it and throws on failure.
void lockDescriptor(int fd, OpenMode mode, const std::string& path)
{
    const int op = (mode == OpenMode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int rc;
    do
        rc = ::flock(fd, op);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            throw Error(inUse(path));
        throw Error("cannot lock " + path + ": " + std::strerror(err));
    }
}

} // namespace

FileLock::~FileLock()
{
    release();
}

FileLock::FileLock(FileLock&& o) noexcept
    : held_(std::exchange(o.held_, false))
    , dev_(o.dev_)
    , ino_(o.ino_)
{
}

FileLock& FileLock::operator=(FileLock&& o) noexcept
{
    if (this != &o) {
        release();
        held_ = std::exchange(o.held_, false);
        dev_ = o.dev_;
        ino_ = o.ino_;
    }
    return *this;
}

FileLock FileLock::acquire(const std::string& path, OpenMode mode)
{
    struct stat st {
    };
    if (::stat(path.c_str(), &st) != 0)
        throw Error("cannot open " + path + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        throw Error("cannot open " + path + ": not a regular file");
    const Key key { st.st_dev, st.st_ino };
    auto& reg = registry();
    auto it = reg.find(key);
    if (it != reg.end()) {
        if (it->second.exclusive || mode == OpenMode::Exclusive)
            throw Error(inUse(path));
        ++it->second.claims;
    } else {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw Error("cannot open " + path + ": " + std::strerror(errno));
        lockDescriptor(fd, mode, path);
        reg[key] = Entry { fd, 1, mode == OpenMode::Exclusive };
    }
    FileLock lock;
    lock.held_ = true;
    lock.dev_ = key.first;
    lock.ino_ = key.second;
    return lock;
}

FileLock FileLock::createExclusive(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            throw Error("cannot create " + path + ": the file exists");
        throw Error("cannot create " + path + ": " + std::strerror(errno));
    }
    struct stat st {
    };
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw Error("cannot create " + path + ": " + std::strerror(err));
    }
    lockDescriptor(fd, OpenMode::Exclusive, path);
    const Key key { st.st_dev, st.st_ino };
    registry()[key] = Entry { fd, 1, true };
    FileLock lock;
    lock.held_ = true;
    lock.dev_ = key.first;
    lock.ino_ = key.second;
    return lock;
}

void FileLock::release()
{
    if (!held_)
        return;
    held_ = false;
    auto& reg = registry();
    auto it = reg.find({ dev_, ino_ });
    if (it == reg.end())
        return;
    if (--it->second.claims <= 0) {
        ::close(it->second.fd); // also drops the flock
        reg.erase(it);
    }
}

void withFileUnclaimed(const std::string& path, void (*action)(const std::string&))
{
    FileLock lock = FileLock::acquire(path, OpenMode::Exclusive);
    action(path);
}

} // namespace rav::db::detail
