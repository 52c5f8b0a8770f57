#include "platform/services/recording_folder.h"

#include <cstdio>

#include "platform/services/files.h"

namespace dd {

std::string chooseRecordingFolder(const std::string& runDirectory,
                                  const std::optional<std::string>& musicFolder,
                                  std::string_view separator) {
    // The root folder's run directory is empty; the separator names it.
    const std::string here = runDirectory.empty() ? std::string(separator) : runDirectory;
    if (canCreateFilesIn(here) || !musicFolder || musicFolder->empty()) {
        return runDirectory;
    }
    const std::string folder = *musicFolder + std::string(separator) + std::string(kMusicSubfolder);
    if (!makeFolders(folder) || !canCreateFilesIn(folder)) {
        std::fprintf(stderr, "dongdong-recorder: cannot write in %s nor in %s\n", here.c_str(),
                     folder.c_str());
        return runDirectory;
    }
    return folder;
}

} // namespace dd
