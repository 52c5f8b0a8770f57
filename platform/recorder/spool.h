// The recording on disk: a WAV file whose samples are appended as they arrive, so memory stays
// flat however long the take and the audio survives a crash. One thread at a time may use it.
#pragma once

#include "platform/recorder/audio_format.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace dd {

class Spool {
  public:
    Spool() = default;
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;
    ~Spool() { discard(); }

    // Creates (or truncates) the file with the header of an empty recording in format; false
    // when the file cannot be created.
    bool create(const std::string& path, const AudioFormat& format);
    bool isOpen() const { return m_file.is_open(); }
    // Appends whole frames; false, appending nothing, when the recording is closed, already as
    // long as a WAV file can describe, or the disk refuses the bytes.
    bool append(const std::uint8_t* data, std::size_t size);
    // Rewrites the header's size fields and hands everything to the OS, so the file on disk is
    // a complete WAV of what was appended so far.
    bool flush();
    // Writes the header and every sample appended so far to path (created or truncated).
    bool copyTo(const std::string& path);
    // Closes and deletes the file; an empty recording remains.
    void discard();

    const AudioFormat& format() const { return m_format; }
    // Sample bytes the header describes: whole frames.
    std::uint32_t dataSize() const { return frameAlignedSize(); }

  private:
    std::uint32_t frameAlignedSize() const;

    std::string m_path;
    AudioFormat m_format;
    std::fstream m_file;
    std::uint32_t m_dataSize = 0;
    bool m_failed = false;
};

// Writes a WAV file holding no samples: the recording when none could be spooled.
bool writeEmptyWav(const std::string& path, const AudioFormat& format);

} // namespace dd
