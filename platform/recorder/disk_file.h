// One open file of the recorder's, held so that no other recorder (in this process or another)
// can open it while it is open, and let go of by the system when its process dies. Not shared
// between threads: one thread at a time; the free functions below may run on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace dd {

// One implementation per platform (disk_file_posix.cpp, disk_file_win32.cpp). On POSIX "held"
// is an exclusive advisory lock (flock); on Windows it is the open handle's sharing mode.
class DiskFile {
  public:
    enum class Open {
        Ok,
        Busy,   // another open file holds it: a recorder that is alive
        Failed, // error() says why
    };

    DiskFile() = default;
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;
    ~DiskFile() { close(); }

    // Creates the file, or empties an existing one that no one holds, and holds it.
    Open create(const std::string& path);
    // Opens an existing file for reading and writing and holds it; it is not changed.
    Open openExisting(const std::string& path);
    // Creates a new file with a name of its own beside path (same folder, so a rename onto path
    // later never copies), and holds it. path() gives the name.
    bool createBeside(const std::string& path);

    bool isOpen() const;
    const std::string& path() const { return m_path; }
    // The system's reason for the last failure, in its own words.
    const std::string& error() const { return m_error; }

    // Writes all of data at offset, or as much as the disk takes: written tells how much. False
    // when not all of it was written.
    bool writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size,
                 std::size_t& written);
    // Reads up to size bytes at offset; read is less than size only at the end of the file.
    bool readAt(std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& read);
    std::optional<std::uint64_t> size();
    bool truncate(std::uint64_t size);
    // Hands everything written to the device, so a power cut keeps it (fdatasync and kin).
    bool sync();
    // Gives the open file a new name, keeping it open and held. With replace false an existing
    // file at newPath is left alone and the call fails (alreadyExists() then tells so).
    bool rename(const std::string& newPath, bool replace);
    bool alreadyExists() const { return m_exists; }
    std::optional<std::time_t> modificationTime();
    bool setModificationTime(std::time_t when);
    // Deletes the file and closes it; it is never free for anyone else in between.
    bool remove();
    void close();

  private:
    // Records reason as error(); always false.
    bool fail(std::string reason);

    std::string m_path;
    std::string m_error;
    bool m_exists = false;
    // The file descriptor, or the Windows HANDLE; -1 (INVALID_HANDLE_VALUE there too) when
    // closed. An integer keeps the header free of OS headers.
    std::intptr_t m_handle = -1;
};

// Bytes this process may still write on the file system holding the folder; nullopt when the
// system cannot tell.
std::optional<std::uint64_t> freeDiskSpace(const std::string& folder);

// Makes the names created, renamed or deleted in folder survive a power cut (a no-op where the
// system does that by itself).
bool syncFolder(const std::string& folder);

} // namespace dd
