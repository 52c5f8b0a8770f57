#include "platform/recorder/spool_recovery.h"

#include "platform/recorder/disk_file.h"
#include "platform/recorder/spool.h"
#include "platform/recorder/utf8_path.h"
#include "platform/recorder/wav_header.h"

#include <algorithm>
#include <array>
#include <system_error>

namespace dd {
namespace {

constexpr int kMaxPartNumber = 100000;

// "<spool>.<digits>.wav": a part a recorder closed at the size limit, or a spool finished by an
// earlier recovery whose file the application did not get to rename.
bool isPartName(const std::string& name, const std::string& spoolName) {
    const std::string suffix = ".wav";
    if (name.size() <= spoolName.size() + 1 + suffix.size() ||
        name.compare(0, spoolName.size(), spoolName) != 0 || name[spoolName.size()] != '.' ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    const auto first = name.begin() + static_cast<std::ptrdiff_t>(spoolName.size() + 1);
    const auto last = name.end() - static_cast<std::ptrdiff_t>(suffix.size());
    return std::all_of(first, last, [](char c) { return c >= '0' && c <= '9'; });
}

enum class Outcome { Finished, Empty, Failed };

// Makes the held file a complete WAV of all the whole frames it holds, keeping its time.
Outcome finish(DiskFile& file, std::time_t& lastWritten, std::string& error) {
    const auto time = file.modificationTime();
    const auto size = file.size();
    if (!time || !size) {
        error = file.error();
        return Outcome::Failed;
    }
    lastWritten = *time;
    std::array<std::uint8_t, kWavHeaderSize> header{};
    std::size_t read = 0;
    if (!file.readAt(0, header.data(), header.size(), read)) {
        error = file.error();
        return Outcome::Failed;
    }
    if (read < header.size()) {
        return Outcome::Empty; // it died before its header was written: no audio
    }
    const auto format = recorderHeaderFormat(header);
    if (!format) {
        error = "not a recording of this program's";
        return Outcome::Failed;
    }
    std::uint64_t data = *size - kWavHeaderSize;
    data = std::min<std::uint64_t>(data, maxWavDataSize(*format));
    data -= data % format->bytesPerFrame();
    if (data == 0) {
        return Outcome::Empty;
    }
    const auto fixed = makeWavHeader(*format, static_cast<std::uint32_t>(data));
    std::size_t written = 0;
    if ((*size != kWavHeaderSize + data && !file.truncate(kWavHeaderSize + data)) ||
        !file.writeAt(0, fixed.data(), fixed.size(), written) || !file.sync() ||
        !file.setModificationTime(lastWritten)) {
        error = file.error();
        return Outcome::Failed;
    }
    return Outcome::Finished;
}

} // namespace

SpoolRecovery recoverAbandonedSpools(const std::string& spoolPath) {
    SpoolRecovery recovery;
    const std::filesystem::path spool = utf8Path(spoolPath);
    const std::string spoolName = utf8Text(spool.filename());
    const std::string folder = folderOf(spoolPath);

    std::vector<std::string> candidates{spoolPath};
    std::error_code error;
    const std::filesystem::path where =
        folder.empty() ? std::filesystem::path(".") : utf8Path(folder);
    for (std::filesystem::directory_iterator it(where, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = utf8Text(it->path().filename());
        if (isPartName(name, spoolName)) {
            candidates.push_back(utf8Text(spool.parent_path() / utf8Path(name)));
        }
    }

    for (const std::string& path : candidates) {
        DiskFile file;
        switch (file.openExisting(path)) {
        case DiskFile::Open::Busy:
            continue; // a live recorder's
        case DiskFile::Open::Failed:
            if (path != spoolPath || std::filesystem::exists(utf8Path(path), error)) {
                recovery.errors.push_back(path + ": " + file.error());
            }
            continue;
        case DiskFile::Open::Ok:
            break;
        }
        RecordingFile found{path, 0};
        std::string why;
        switch (finish(file, found.lastWritten, why)) {
        case Outcome::Empty:
            file.remove();
            continue;
        case Outcome::Failed:
            recovery.errors.push_back(path + ": " + why);
            continue;
        case Outcome::Finished:
            break;
        }
        // The spool's own name must be free for the next recording; the file moves to a part
        // name, which a later recovery also finds should the caller fail to rename it.
        for (int n = 1; path == spoolPath && found.path == spoolPath && n < kMaxPartNumber; ++n) {
            if (file.rename(spoolPath + "." + std::to_string(n) + ".wav", false)) {
                found.path = file.path();
            } else if (!file.alreadyExists()) {
                recovery.errors.push_back(path + ": " + file.error());
                break;
            }
        }
        if (found.path != spoolPath) {
            recovery.recordings.push_back(found);
        }
    }
    if (!recovery.recordings.empty()) {
        syncFolder(folder);
    }
    std::sort(recovery.recordings.begin(), recovery.recordings.end(),
              [](const RecordingFile& a, const RecordingFile& b) {
                  return a.lastWritten != b.lastWritten ? a.lastWritten < b.lastWritten
                                                        : a.path < b.path;
              });
    return recovery;
}

} // namespace dd
