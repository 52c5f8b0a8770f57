// Reading through a file descriptor: the kernel keeps an open file whose name is deleted or
// replaced until the last descriptor on it is closed.
#include "platform/services/read_only_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace dd {

namespace {

class PosixFile : public ReadOnlyFile {
  public:
    PosixFile(int descriptor, std::uint64_t size) : m_descriptor(descriptor), m_size(size) {}
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;
    ~PosixFile() override { ::close(m_descriptor); }

    std::uint64_t size() const override { return m_size; }

    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::pread(m_descriptor, out.data() + done, out.size() - done,
                                      static_cast<off_t>(offset + done));
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n == 0 || errno != EINTR) {
                break; // the end of the file, or a read error: what was read is the answer
            }
        }
        return done;
    }

  private:
    int m_descriptor = -1;
    std::uint64_t m_size = 0;
};

} // namespace

std::unique_ptr<ReadOnlyFile> openReadOnlyFile(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return nullptr;
    }
    struct stat info {};
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return nullptr;
    }
    // Read front to back: the kernel reads further ahead, so the worker seldom waits on the disk.
    ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<PosixFile>(descriptor, static_cast<std::uint64_t>(info.st_size));
}

} // namespace dd
