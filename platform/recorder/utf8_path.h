// Turns the program's UTF-8 file names into filesystem paths, so any name works on Windows too
// (where narrow strings would go through the ANSI code page). Pure function: any thread.
#pragma once

#include <filesystem>
#include <string>

namespace dd {

inline std::filesystem::path utf8Path(const std::string& name) {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

} // namespace dd
