#include "platform/services/files.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>

namespace dd {

namespace {

namespace fs = std::filesystem;

// Through char8_t the text is taken as UTF-8 on every platform; a plain std::string would be
// read in the Windows ANSI code page there, which cannot name every folder.
fs::path pathFromText(std::string_view text) {
    return fs::path(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

std::string textFromPath(const fs::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(reinterpret_cast<const char*>(utf8.data()), utf8.size());
}

constexpr std::size_t kReadChunk = 64 * 1024;

} // namespace

bool fileExists(std::string_view path) {
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    return fs::exists(pathFromText(path), error);
}

Bytes readFile(std::string_view path) {
    if (path.empty()) {
        return {};
    }
    const fs::path name = pathFromText(path);
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
    const fs::path name = pathFromText(path);
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
    fs::current_path(pathFromText(path), error);
    return !error;
}

std::string currentDirectory() {
    std::error_code error;
    const fs::path here = fs::current_path(error);
    return error ? std::string() : textFromPath(here);
}

bool canCreateFilesIn(std::string_view folder) {
    // A name no recording uses; created exclusively, so an existing file is never touched.
    const fs::path probe =
        pathFromText(folder) / pathFromText(".dongdong-recorder-probe-" +
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
    fs::create_directories(pathFromText(path), error);
    return fs::is_directory(pathFromText(path), error);
}

} // namespace dd
