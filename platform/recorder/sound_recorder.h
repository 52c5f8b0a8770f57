// The sound-recording component: a recording spooled to disk, captured through a platform
// backend. Every call comes from the UI thread; audio arrives on the backend's audio thread.
#pragma once

#include "platform/recorder/audio_format.h"
#include "platform/recorder/capture.h"
#include "platform/recorder/recorder.h"
#include "platform/recorder/recording_status.h"
#include "platform/recorder/spool.h"
#include "platform/recorder/spool_writer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dd {

struct RecorderLimits {
    // Sample bytes one file may hold before the recording goes on in a new part, cut to whole
    // frames. 0: the most a WAV header can describe (data size + 36 within 32 bits).
    std::uint32_t partDataBytes = 0;
    // Free space the disk must keep beyond one copy of the recording; below it lowOnSpace()
    // rises. It covers the audio that comes while the application reacts (a few seconds) and the
    // file system's own needs.
    std::uint64_t spaceMarginBytes = 16 * 1024 * 1024;
};

class SoundRecorder final : public Recorder {
  public:
    // spoolPath names the file that holds the recording while it lives.
    SoundRecorder(std::string spoolPath, std::unique_ptr<CaptureBackend> backend,
                  RecorderLimits limits = {});
    SoundRecorder(const SoundRecorder&) = delete;
    SoundRecorder& operator=(const SoundRecorder&) = delete;
    // Ends capture and discards the recording, spool file included. Finished parts not taken
    // stay on disk, where the next start-up's recovery finds them.
    ~SoundRecorder() override;

    bool setFormat(int channels, int sampleRate, int bitsPerSample) override;
    // Also false when another live recorder holds the spool. What a dead recorder left in the
    // spool is finished first and handed over by takeFinishedParts().
    bool start() override;
    bool pause() override;
    bool resume() override;
    bool stop() override;
    // Returns true only when the whole recording reached path.
    bool save(const std::string& path, bool overwrite) override;
    bool saveByMove(const std::string& path, bool overwrite) override;
    std::string lastError() const override { return m_status.lastError(); }
    std::vector<RecordingFile> takeFinishedParts() override;
    bool lowOnSpace() const override { return m_status.lowOnSpace(); }
    std::vector<RecordingFile> recoverAbandoned() override;
    void setNotifier(std::function<void()> notify) override;

    // Bytes the current recording lost because the disk could not keep up or refused them
    // (also reported on stderr); zero in a healthy run.
    std::uint64_t droppedBytes() const;

  private:
    bool capturing() const { return m_writer != nullptr; }
    // Stops the writer after it has spooled everything the backend delivered.
    void finishWriter();
    bool copyTo(const std::string& path);
    bool refuseExisting(const std::string& path, bool overwrite);

    std::string m_spoolPath;
    std::unique_ptr<CaptureBackend> m_backend;
    RecorderLimits m_limits;
    AudioFormat m_format; // applies from the next start
    RecordingStatus m_status;
    Spool m_spool;
    std::unique_ptr<SpoolWriter> m_writer; // present while capturing
    std::uint64_t m_droppedBytes = 0;      // of the finished writers of this recording
};

// The component with this platform's capture backend.
std::unique_ptr<Recorder> makeSoundRecorder(std::string spoolPath);

} // namespace dd
