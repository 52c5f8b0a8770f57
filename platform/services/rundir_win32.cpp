// The executable's path on Windows, from GetModuleFileNameW, as UTF-8: the wide call gives the
// true name in any folder, where the ANSI one would mangle characters outside the code page.
#include "platform/services/rundir.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/recorder/utf8_path.h"

namespace dd {

namespace {

// The longest path Windows knows, in UTF-16 units, terminating zero included.
constexpr DWORD kLongestPath = 32768;

} // namespace

std::optional<std::string> executablePath() {
    // MAX_PATH is only the classic limit; a long-path-aware system may hand out more, and
    // GetModuleFileNameW then fills the buffer to the brim instead of failing.
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        if (name.size() >= kLongestPath) {
            return std::nullopt;
        }
        name.resize(std::min<std::size_t>(name.size() * 2, kLongestPath));
    }
    std::string text = utf8Text(std::filesystem::path(name));
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

// Windows takes "/" as well as "\" between folders.
std::string_view pathSeparators() {
    return "\\/";
}

std::string_view pathSeparator() {
    return "\\";
}

} // namespace dd
