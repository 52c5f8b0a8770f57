// The recorder's files on POSIX systems: descriptors with positional I/O, held by an exclusive
// flock. flock belongs to the open file, not the process, so a second open of the same file in
// this process is refused too, and the kernel lets go of it when the process dies, however it
// dies.
#include "platform/recorder/disk_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

namespace dd {
namespace {

constexpr int kCreateTries = 8;

std::string errorText(int code) {
    return std::error_code(code, std::generic_category()).message();
}

int fdOf(std::intptr_t handle) {
    return static_cast<int>(handle);
}

// rename() that leaves an existing target alone. renameat2 knows how on most Linux file
// systems; where it does not, a hard link does the same atomically.
int renameNoReplace(const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
#endif
    if (link(from, to) != 0) {
        return -1;
    }
    return unlink(from);
}

// Another process may delete or rename the file between our open and our flock (a recovery that
// held it just then), leaving us holding a file under no name or another name: we check that the
// name still leads to what we hold, and start over if not.
DiskFile::Open openHeld(const std::string& path, int flags, int& fd, std::string& error) {
    for (int attempt = 0; attempt < kCreateTries; ++attempt) {
        fd = ::open(path.c_str(), flags | O_RDWR | O_CLOEXEC, 0644);
        if (fd < 0) {
            error = errorText(errno);
            return DiskFile::Open::Failed;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int code = errno;
            ::close(fd);
            fd = -1;
            if (code == EWOULDBLOCK) {
                return DiskFile::Open::Busy;
            }
            error = errorText(code);
            return DiskFile::Open::Failed;
        }
        struct stat held {};
        struct stat named {};
        if (fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            return DiskFile::Open::Ok;
        }
        ::close(fd);
        fd = -1;
        if ((flags & O_CREAT) == 0) {
            error = errorText(ENOENT);
            return DiskFile::Open::Failed;
        }
    }
    error = "the file keeps being replaced by another process";
    return DiskFile::Open::Failed;
}

} // namespace

bool DiskFile::fail(std::string reason) {
    m_error = std::move(reason);
    return false;
}

bool DiskFile::isOpen() const {
    return m_handle >= 0;
}

DiskFile::Open DiskFile::create(const std::string& path) {
    close();
    int fd = -1;
    const Open result = openHeld(path, O_CREAT, fd, m_error);
    if (result != Open::Ok) {
        return result;
    }
    m_handle = fd;
    m_path = path;
    if (ftruncate(fd, 0) != 0) {
        fail(errorText(errno));
        close();
        return Open::Failed;
    }
    return Open::Ok;
}

DiskFile::Open DiskFile::openExisting(const std::string& path) {
    close();
    int fd = -1;
    const Open result = openHeld(path, 0, fd, m_error);
    if (result == Open::Ok) {
        m_handle = fd;
        m_path = path;
    }
    return result;
}

bool DiskFile::createBeside(const std::string& path) {
    close();
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < kCreateTries; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
        const std::string name = path + suffix;
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            flock(fd, LOCK_EX | LOCK_NB); // new and unnamed to anyone else: cannot be held
            m_handle = fd;
            m_path = name;
            return true;
        }
        if (errno != EEXIST) {
            return fail(errorText(errno));
        }
    }
    return fail(errorText(EEXIST));
}

bool DiskFile::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size,
                       std::size_t& written) {
    written = 0;
    while (written < size) {
        const ssize_t n = pwrite(fdOf(m_handle), data + written, size - written,
                                 static_cast<off_t>(offset + written));
        if (n > 0) {
            written += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // A write that takes nothing without an error code is a full disk too.
            return fail(errorText(n < 0 ? errno : ENOSPC));
        }
    }
    return true;
}

bool DiskFile::readAt(std::uint64_t offset, std::uint8_t* data, std::size_t size,
                      std::size_t& read) {
    read = 0;
    while (read < size) {
        const ssize_t n =
            pread(fdOf(m_handle), data + read, size - read, static_cast<off_t>(offset + read));
        if (n > 0) {
            read += static_cast<std::size_t>(n);
        } else if (n == 0) {
            return true;
        } else if (errno != EINTR) {
            return fail(errorText(errno));
        }
    }
    return true;
}

std::optional<std::uint64_t> DiskFile::size() {
    struct stat status {};
    if (fstat(fdOf(m_handle), &status) != 0) {
        fail(errorText(errno));
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

bool DiskFile::truncate(std::uint64_t size) {
    return ftruncate(fdOf(m_handle), static_cast<off_t>(size)) == 0 || fail(errorText(errno));
}

bool DiskFile::sync() {
    return fdatasync(fdOf(m_handle)) == 0 || fail(errorText(errno));
}

bool DiskFile::rename(const std::string& newPath, bool replace) {
    m_exists = false;
    const int result = replace ? std::rename(m_path.c_str(), newPath.c_str())
                               : renameNoReplace(m_path.c_str(), newPath.c_str());
    if (result != 0) {
        m_exists = errno == EEXIST;
        return fail(errorText(errno));
    }
    m_path = newPath;
    return true;
}

std::optional<std::time_t> DiskFile::modificationTime() {
    struct stat status {};
    if (fstat(fdOf(m_handle), &status) != 0) {
        fail(errorText(errno));
        return std::nullopt;
    }
    return status.st_mtime;
}

bool DiskFile::setModificationTime(std::time_t when) {
    const timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    return futimens(fdOf(m_handle), times) == 0 || fail(errorText(errno));
}

bool DiskFile::remove() {
    const bool removed = unlink(m_path.c_str()) == 0 || fail(errorText(errno));
    close();
    return removed;
}

void DiskFile::close() {
    if (m_handle >= 0) {
        ::close(fdOf(m_handle)); // also lets go of the lock
        m_handle = -1;
    }
}

std::optional<std::uint64_t> freeDiskSpace(const std::string& folder) {
    struct statvfs status {};
    if (statvfs(folder.empty() ? "." : folder.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.f_bavail) * status.f_frsize;
}

bool syncFolder(const std::string& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace dd
