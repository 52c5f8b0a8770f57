// The user's music folder on Linux: XDG_MUSIC_DIR from the XDG user-dirs file, else ~/Music.
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/services/recording_folder.h"

namespace dd {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// A line of user-dirs.dirs reads XDG_MUSIC_DIR="$HOME/Music"; only $HOME is expanded there.
std::optional<std::string> musicDirFromUserDirs(const std::string& home) {
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty()) {
        config = home + "/.config";
    }
    std::ifstream file(config + "/user-dirs.dirs");
    const std::string key = "XDG_MUSIC_DIR=\"";
    for (std::string line; std::getline(file, line);) {
        if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"') {
            continue;
        }
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.rfind("$HOME", 0) == 0) {
            value = home + value.substr(5);
        }
        // A music folder set to the home folder itself means "none" to the XDG tools.
        if (!value.empty() && value.front() == '/' && value != home && value != home + "/") {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> userMusicFolder() {
    const std::string home = environment("HOME");
    if (home.empty()) {
        return std::nullopt;
    }
    if (auto fromUserDirs = musicDirFromUserDirs(home)) {
        return fromUserDirs;
    }
    return home + "/Music";
}

} // namespace dd
