// Reading through a Win32 handle opened with every kind of sharing, delete included: while a
// sound plays from the file, the program (or the user) may still delete it or rename another file
// onto its name.
#include "platform/services/read_only_file.h"

#include <windows.h>

#include "platform/recorder/utf8_path.h"

namespace dd {

namespace {

class Win32File : public ReadOnlyFile {
  public:
    Win32File(HANDLE handle, std::uint64_t size) : m_handle(handle), m_size(size) {}
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;
    ~Win32File() override { CloseHandle(m_handle); }

    std::uint64_t size() const override { return m_size; }

    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        std::size_t done = 0;
        while (done < out.size()) {
            // On a handle opened for synchronous access the offset in OVERLAPPED positions
            // the read, and the call returns when it is done.
            const std::uint64_t at = offset + done;
            OVERLAPPED position{};
            position.Offset = static_cast<DWORD>(at);
            position.OffsetHigh = static_cast<DWORD>(at >> 32);
            const std::size_t left = out.size() - done;
            const DWORD want = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
            DWORD got = 0;
            if (!ReadFile(m_handle, out.data() + done, want, &got, &position) || got == 0) {
                break; // the end of the file (ERROR_HANDLE_EOF), or a read error
            }
            done += got;
        }
        return done;
    }

  private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::uint64_t m_size = 0;
};

} // namespace

std::unique_ptr<ReadOnlyFile> openReadOnlyFile(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    const std::filesystem::path name = utf8Path(path);
    if (name.empty()) {
        return nullptr; // not valid UTF-8: it names no file
    }
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened, which is what is wanted.
    const HANDLE handle = CreateFileW(
        name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size) || size.QuadPart < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    return std::make_unique<Win32File>(handle, static_cast<std::uint64_t>(size.QuadPart));
}

} // namespace dd
