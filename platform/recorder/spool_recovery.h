// Start-up recovery: finishing what recorders that are gone left in a spool, so a crash, a kill
// or a power cut loses at most the last second. Any thread; touches only files no one holds.
#pragma once

#include "platform/recorder/recorder.h"

#include <string>
#include <vector>

namespace dd {

struct SpoolRecovery {
    // Finished WAV files, oldest first, to be given time-stamped names by the caller.
    std::vector<RecordingFile> recordings;
    // One line per file that was left alone because it could not be finished.
    std::vector<std::string> errors;
};

// Looks at the spool at spoolPath and at parts "<spoolPath>.<n>.wav" beside it. Each that no live
// recorder holds is finished: its sizes are taken from its length, cut to whole frames, the
// header is rewritten and its modification time is kept. The spool itself is then renamed to the
// first free part name, so a new recording can start at once. Files with no audio are deleted.
SpoolRecovery recoverAbandonedSpools(const std::string& spoolPath);

} // namespace dd
