// An open file a sound plays from, unaffected by its name being deleted or reused meanwhile.
// Opened on any thread; then used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace dd {

class ReadOnlyFile {
  public:
    virtual ~ReadOnlyFile() = default;
    // The file's length when it was opened.
    virtual std::uint64_t size() const = 0;
    // Reads up to out.size() bytes at offset and returns how many were read: fewer only at the
    // end of the file, and 0 when nothing could be read.
    virtual std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

// The file named by the UTF-8 path, open for reading; nullptr for the empty path, a missing file,
// a folder, or one that cannot be read. Implemented once per platform: on Linux the open file
// outlives its name; on Windows it is opened with delete sharing, so a delete or a rename onto
// the name is not refused because a sound plays from it.
std::unique_ptr<ReadOnlyFile> openReadOnlyFile(const std::string& path);

} // namespace dd
