// Where recordings go: the run directory, or a folder in the user's music folder when the
// program may not write beside its executable (installed under /usr or Program Files).
// Called once at start-up on the UI thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dd {

// The folder made inside the music folder.
inline constexpr std::string_view kMusicSubfolder = "咚咚鸟录音";

// runDirectory when files can be created there; else musicFolder + separator + the
// subfolder, made if missing; runDirectory again when that fails too (a start will then
// report the failure).
std::string chooseRecordingFolder(const std::string& runDirectory,
                                  const std::optional<std::string>& musicFolder,
                                  std::string_view separator);

// Platform part (music_folder_<platform>.cpp): the user's music folder, if there is one.
std::optional<std::string> userMusicFolder();

} // namespace dd
