// The executable's path on Linux, from the kernel's /proc/self/exe link.
#include "platform/services/rundir.h"

#include <filesystem>
#include <system_error>

namespace dd {

std::optional<std::string> executablePath() {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || target.empty()) {
        return std::nullopt;
    }
    // Linux paths are bytes; the system's file names are taken to be UTF-8.
    return target.string();
}

std::string_view pathSeparators() {
    return "/";
}

std::string_view pathSeparator() {
    return "/";
}

} // namespace dd
