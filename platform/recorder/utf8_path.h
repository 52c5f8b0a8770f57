// Converts between the program's UTF-8 texts and filesystem paths, so any name works on Windows
// too (where narrow strings would go through the ANSI code page). Pure functions: any thread.
#pragma once

#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

namespace dd {

// The path a UTF-8 name stands for; on Windows it becomes UTF-16, never the ANSI code page. A
// name that is not valid UTF-8 gives the empty path, which names no file, so whatever the
// caller tries with it fails in the ordinary way instead of throwing.
inline std::filesystem::path utf8Path(std::string_view name) {
    try {
        return std::filesystem::path(
            std::u8string_view(reinterpret_cast<const char8_t*>(name.data()), name.size()));
    } catch (const std::exception&) {
        return {};
    }
}

// The inverse: a path as UTF-8 text. On Windows this is also how the wide strings the system
// hands out (a module's file name, an error message) become texts. Empty when the path holds
// UTF-16 that has no UTF-8 form (a lone surrogate).
inline std::string utf8Text(const std::filesystem::path& path) {
    try {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace dd
