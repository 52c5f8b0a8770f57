#include "platform/services/files.h"

#include "platform/recorder/utf8_path.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>

namespace dd {

namespace {

// Texts are UTF-8 and reach the file system through utf8Path, never as plain narrow strings,
// which Windows would read in its ANSI code page (unable to name every folder).
namespace fs = std::filesystem;

constexpr std::size_t kReadChunk = 64 * 1024;

} // namespace

bool fileExists(std::string_view path) {
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    return fs::exists(utf8Path(path), error);
}

Bytes readFile(std::string_view path) {
    if (path.empty()) {
        return {};
    }
    const fs::path name = utf8Path(path);
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        return {};
    }
    Bytes content;
    try {
        // The size is only a hint: the file may change while it is read, so the loop reads to
        // the end whatever the size said.
        std::error_code error;
        const std::uintmax_t size = fs::file_size(name, error);
        if (!error && size < content.max_size() - kReadChunk) {
            content.reserve(static_cast<std::size_t>(size) + kReadChunk);
        }
        for (;;) {
            const std::size_t had = content.size();
            content.resize(had + kReadChunk);
            in.read(reinterpret_cast<char*>(content.data() + had),
                    static_cast<std::streamsize>(kReadChunk));
            content.resize(had + static_cast<std::size_t>(in.gcount()));
            if (!in) {
                break;
            }
        }
    } catch (const std::exception&) {
        // Only running out of memory gets here: a file too large to hold reads as unreadable.
        return {};
    }
    return content;
}

bool deleteFile(std::string_view path) {
    if (path.empty()) {
        return false;
    }
    const fs::path name = utf8Path(path);
    std::error_code error;
    const fs::file_status status = fs::symlink_status(name, error);
    // fs::remove would also take an empty directory; this service deletes files only.
    if (error || !fs::exists(status) || fs::is_directory(status)) {
        return false;
    }
    return fs::remove(name, error) && !error;
}

bool changeDirectory(std::string_view path) {
    std::error_code error;
    fs::current_path(utf8Path(path), error);
    return !error;
}

std::string currentDirectory() {
    std::error_code error;
    const fs::path here = fs::current_path(error);
    return error ? std::string() : utf8Text(here);
}

bool canCreateFilesIn(std::string_view folder) {
    // A name no recording uses; created exclusively, so an existing file is never touched.
    const fs::path probe =
        utf8Path(folder) / utf8Path(".dongdong-recorder-probe-" +
                                    std::to_string(std::hash<std::string_view>{}(folder)));
    std::error_code error;
    {
        std::FILE* file = nullptr;
#ifdef _WIN32
        file = _wfopen(probe.c_str(), L"wxb");
#else
        file = std::fopen(probe.c_str(), "wxb");
#endif
        if (file == nullptr) {
            return false;
        }
        std::fclose(file);
    }
    fs::remove(probe, error);
    return true;
}

bool makeFolders(std::string_view path) {
    std::error_code error;
    fs::create_directories(utf8Path(path), error);
    return fs::is_directory(utf8Path(path), error);
}

} // namespace dd
