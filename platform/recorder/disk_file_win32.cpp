// The recorder's files on Windows: handles opened with wide names, held through their sharing
// mode (others may read, never write, rename or delete), which the system drops when the process
// dies. Renames and deletes go through the open handle, since a name-based call would be refused
// by our own sharing mode.
#include "platform/recorder/disk_file.h"
#include "platform/recorder/utf8_path.h"

#include <windows.h>

#include <cstring>
#include <random>
#include <vector>

namespace dd {
namespace {

constexpr int kCreateTries = 8;
// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::string errorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result;
    if (length > 0 && text != nullptr) {
        std::wstring wide(text, length);
        while (!wide.empty() &&
               (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ')) {
            wide.pop_back();
        }
        result = utf8Text(std::filesystem::path(wide));
    }
    LocalFree(text);
    return result.empty() ? "system error " + std::to_string(code) : result;
}

HANDLE openHandle(const std::string& path, DWORD disposition) {
    return CreateFileW(utf8Path(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                       FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

bool DiskFile::fail(std::string reason) {
    m_error = std::move(reason);
    return false;
}

bool DiskFile::isOpen() const {
    return handleOf(m_handle) != INVALID_HANDLE_VALUE;
}

DiskFile::Open DiskFile::create(const std::string& path) {
    close();
    const HANDLE handle = openHandle(path, OPEN_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION) {
            return Open::Busy;
        }
        fail(errorText(code));
        return Open::Failed;
    }
    m_handle = reinterpret_cast<std::intptr_t>(handle);
    m_path = path;
    if (!truncate(0)) {
        close();
        return Open::Failed;
    }
    return Open::Ok;
}

DiskFile::Open DiskFile::openExisting(const std::string& path) {
    close();
    const HANDLE handle = openHandle(path, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION) {
            return Open::Busy;
        }
        fail(errorText(code));
        return Open::Failed;
    }
    m_handle = reinterpret_cast<std::intptr_t>(handle);
    m_path = path;
    return Open::Ok;
}

bool DiskFile::createBeside(const std::string& path) {
    close();
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < kCreateTries; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
        const std::string name = path + suffix;
        const HANDLE handle = openHandle(name, CREATE_NEW);
        if (handle != INVALID_HANDLE_VALUE) {
            m_handle = reinterpret_cast<std::intptr_t>(handle);
            m_path = name;
            return true;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            return fail(errorText(code));
        }
    }
    return fail(errorText(ERROR_FILE_EXISTS));
}

bool DiskFile::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size,
                       std::size_t& written) {
    written = 0;
    while (written < size) {
        const std::uint64_t at = offset + written;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        const std::size_t left = size - written;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD done = 0;
        if (!WriteFile(handleOf(m_handle), data + written, chunk, &done, &position)) {
            return fail(errorText(GetLastError()));
        }
        if (done == 0) {
            return fail(errorText(ERROR_DISK_FULL));
        }
        written += done;
    }
    return true;
}

bool DiskFile::readAt(std::uint64_t offset, std::uint8_t* data, std::size_t size,
                      std::size_t& read) {
    read = 0;
    while (read < size) {
        const std::uint64_t at = offset + read;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        const std::size_t left = size - read;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD done = 0;
        if (!ReadFile(handleOf(m_handle), data + read, chunk, &done, &position)) {
            const DWORD code = GetLastError();
            return code == ERROR_HANDLE_EOF || fail(errorText(code));
        }
        if (done == 0) {
            return true;
        }
        read += done;
    }
    return true;
}

std::optional<std::uint64_t> DiskFile::size() {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handleOf(m_handle), &size)) {
        fail(errorText(GetLastError()));
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool DiskFile::truncate(std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return SetFileInformationByHandle(handleOf(m_handle), FileEndOfFileInfo, &end, sizeof end) ||
           fail(errorText(GetLastError()));
}

bool DiskFile::sync() {
    return FlushFileBuffers(handleOf(m_handle)) || fail(errorText(GetLastError()));
}

bool DiskFile::rename(const std::string& newPath, bool replace) {
    m_exists = false;
    const std::wstring name = utf8Path(newPath).wstring();
    // FILE_RENAME_INFO ends in the name itself, so it is built in a buffer of its own size.
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) +
                                     (name.size() + 1) * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    if (!SetFileInformationByHandle(handleOf(m_handle), FileRenameInfo, info,
                                    static_cast<DWORD>(buffer.size()))) {
        const DWORD code = GetLastError();
        m_exists = code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS;
        return fail(errorText(code));
    }
    m_path = newPath;
    return true;
}

std::optional<std::time_t> DiskFile::modificationTime() {
    FILETIME written{};
    if (!GetFileTime(handleOf(m_handle), nullptr, nullptr, &written)) {
        fail(errorText(GetLastError()));
        return std::nullopt;
    }
    const std::uint64_t ticks =
        static_cast<std::uint64_t>(written.dwHighDateTime) << 32 | written.dwLowDateTime;
    return static_cast<std::time_t>((ticks - kUnixEpochAsFileTime) / 10000000u);
}

bool DiskFile::setModificationTime(std::time_t when) {
    const std::uint64_t ticks = static_cast<std::uint64_t>(when) * 10000000u + kUnixEpochAsFileTime;
    FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return SetFileTime(handleOf(m_handle), nullptr, nullptr, &written) ||
           fail(errorText(GetLastError()));
}

bool DiskFile::remove() {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    const bool removed = SetFileInformationByHandle(handleOf(m_handle), FileDispositionInfo,
                                                    &disposition, sizeof disposition) ||
                         fail(errorText(GetLastError()));
    close();
    return removed;
}

void DiskFile::close() {
    if (isOpen()) {
        CloseHandle(handleOf(m_handle));
        m_handle = -1;
    }
}

std::optional<std::uint64_t> freeDiskSpace(const std::string& folder) {
    ULARGE_INTEGER available{};
    const std::wstring name = folder.empty() ? L"." : utf8Path(folder).wstring();
    if (!GetDiskFreeSpaceExW(name.c_str(), &available, nullptr, nullptr)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(available.QuadPart);
}

bool syncFolder(const std::string&) {
    return true; // NTFS journals names itself
}

} // namespace dd
