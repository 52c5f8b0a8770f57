// The sound-recording component: a recording spooled to disk, captured through a platform
// backend. Every call comes from the UI thread; audio arrives on the backend's audio thread.
#pragma once

#include "platform/recorder/audio_format.h"
#include "platform/recorder/capture.h"
#include "platform/recorder/recorder.h"
#include "platform/recorder/spool.h"
#include "platform/recorder/spool_writer.h"

#include <cstdint>
#include <memory>
#include <string>

namespace dd {

class SoundRecorder final : public Recorder {
  public:
    // spoolPath names the file that holds the recording while it lives.
    SoundRecorder(std::string spoolPath, std::unique_ptr<CaptureBackend> backend);
    SoundRecorder(const SoundRecorder&) = delete;
    SoundRecorder& operator=(const SoundRecorder&) = delete;
    // Ends capture and discards the recording, spool file included.
    ~SoundRecorder() override;

    bool setFormat(int channels, int sampleRate, int bitsPerSample) override;
    bool start() override;
    bool pause() override;
    bool resume() override;
    bool stop() override;
    bool save(const std::string& path, bool overwrite) override;

    // Bytes the current recording lost because the disk could not keep up (also reported on
    // stderr); zero in a healthy run.
    std::uint64_t droppedBytes() const;

  private:
    bool capturing() const { return m_writer != nullptr; }
    // Stops the writer after it has spooled everything the backend delivered.
    void finishWriter();

    std::string m_spoolPath;
    std::unique_ptr<CaptureBackend> m_backend;
    AudioFormat m_format; // applies from the next start
    Spool m_spool;
    std::unique_ptr<SpoolWriter> m_writer; // present while capturing
    std::uint64_t m_droppedBytes = 0;      // of the finished writers of this recording
};

// The component with this platform's capture backend.
std::unique_ptr<Recorder> makeSoundRecorder(std::string spoolPath);

} // namespace dd
