// The recording on disk: a WAV file whose samples are appended as they arrive, so memory stays
// flat however long the take, and whose header is rewritten at every flush, so the file is a
// complete WAV whatever becomes of the process. One thread at a time may use it.
#pragma once

#include "platform/recorder/audio_format.h"
#include "platform/recorder/disk_file.h"
#include "platform/recorder/recorder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace dd {

class Spool {
  public:
    Spool() = default;
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;
    ~Spool() { discard(); }

    // Creates (or empties) the file at path, held so that no other recorder touches it, with
    // the header of an empty recording in format. partLimit is the sample bytes one file may
    // hold, cut to whole frames; 0, or more than a WAV header can describe, means the most it
    // can. False when the file cannot be created or another recorder holds it; error() says
    // why.
    bool create(const std::string& path, const AudioFormat& format, std::uint32_t partLimit = 0);
    bool isOpen() const { return m_file != nullptr && m_file->isOpen(); }

    // Sample bytes the current file can still take.
    std::uint32_t room() const { return m_limit - m_dataSize; }
    // Appends samples; all of them must fit in room(). False, appending nothing more from then
    // on, when the disk refuses them: what it took, in whole frames, stays and the header is made
    // to describe exactly that.
    bool append(const std::uint8_t* data, std::size_t size);
    // Rewrites the header's sizes; with durable, waits until the file is on the device.
    bool flush(bool durable);
    // Closes the full file under the first free name "<spool path>.<n>.wav" (n from 1) and goes
    // on in a new, empty file at the spool's path. finished names the closed file; held keeps
    // it held until the caller lets go. False when either step fails (error() says why); the
    // closed file is handed over whenever held is set.
    bool startNextPart(RecordingFile& finished, std::unique_ptr<DiskFile>& held);

    // Writes the header and every sample to path (replacing what is there) under a temporary
    // name beside it, then renames it into place: path never names a partly written file.
    bool copyTo(const std::string& path);
    // Renames the file itself to path (replacing what is there): nothing is copied. From then on
    // it is the caller's file, which discard() leaves alone, and copyTo() copies from it.
    bool moveTo(const std::string& path);
    bool moved() const { return m_moved; }

    // Closes the file and deletes it unless it was moved; an empty recording remains.
    void discard();

    const AudioFormat& format() const { return m_format; }
    // The spool's own name, where each new part starts.
    const std::string& path() const { return m_path; }
    // Sample bytes in the current file: whole frames.
    std::uint32_t dataSize() const { return m_dataSize - m_dataSize % m_format.bytesPerFrame(); }
    // The system's reason for the last failure.
    const std::string& error() const { return m_error; }

  private:
    bool writeHeader();
    bool fail(const std::string& what);

    std::string m_path; // the spool's own name, where each new part starts
    AudioFormat m_format;
    std::unique_ptr<DiskFile> m_file;
    std::uint32_t m_limit = 0;
    std::uint32_t m_dataSize = 0;
    bool m_failed = false;
    bool m_moved = false;
    std::string m_error;
};

// Writes a WAV file holding no samples, the same way copyTo writes: the recording when none
// could be spooled. error receives the reason on failure.
bool writeEmptyWav(const std::string& path, const AudioFormat& format, std::string& error);

// The folder a path lies in, empty for a bare name (the current folder).
std::string folderOf(const std::string& path);

} // namespace dd
