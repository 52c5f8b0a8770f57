// The user's music folder on Windows: the known folder FOLDERID_Music.
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "platform/services/recording_folder.h"

namespace dd {

std::optional<std::string> userMusicFolder() {
    PWSTR wide = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_Music, KF_FLAG_CREATE, nullptr, &wide))) {
        CoTaskMemFree(wide);
        return std::nullopt;
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), length, nullptr, nullptr);
        utf8.pop_back(); // the terminating NUL
    }
    CoTaskMemFree(wide);
    if (utf8.empty()) {
        return std::nullopt;
    }
    return utf8;
}

} // namespace dd
