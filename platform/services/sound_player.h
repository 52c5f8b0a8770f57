// Plays WAV sounds, from an image's copy or straight from a file, one worker thread per sound.
// Every call comes from one thread (the UI thread); the workers touch nothing the caller holds.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/services/wav_reader.h"

namespace dd {

class SoundSamples;

class SoundPlayer {
  public:
    SoundPlayer() = default;
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;
    // Stops every sound and waits for it.
    ~SoundPlayer();

    // False, and nothing plays, unless the bytes are a playable RIFF WAVE image (see
    // wav_reader.h). Otherwise copies the samples, starts a worker that opens the default
    // output device and plays them (again and again with loop, until stopped), and returns
    // true at once; the caller may release its bytes straight away. The device is opened by
    // the worker, so that a slow sound server never holds up the caller: when there is no
    // device the result is still true, nothing is heard and the worker notes why on stderr.
    bool play(std::span<const std::uint8_t> sound, bool loop);

    // The same for a WAV file, which is never read whole: the call opens it and reads only its
    // header, and the worker reads the samples a little ahead of the device as they play, so
    // the first sample is heard as soon as for a short sound however long the file, and memory
    // stays flat. False, and nothing plays, when the file cannot be opened or does not start
    // with a playable header. The sound is the file as it was opened: deleting it, or renaming
    // another file onto its name, while it plays changes nothing. A file cut short while it
    // plays ends the sound where the samples end.
    bool playFile(const std::string& path, bool loop);

    // Tells every worker to stop and returns without waiting; a worker falls silent within
    // about one chunk of sound. Nothing happens when nothing plays.
    void stopAll();

    // Tells every worker to stop and returns once each has released its device and ended.
    void stopAllAndWait();

    // Workers that have not ended yet.
    std::size_t activeWorkers();

  private:
    struct Worker {
        std::shared_ptr<std::atomic<bool>> finished;
        std::jthread thread;
    };

    // Starts a worker playing the samples; false when no thread can be had.
    bool start(const WavFormat& format, std::unique_ptr<SoundSamples> samples, bool loop);
    // Joins the workers whose sound is over, which takes no time: they have already returned.
    void reapFinished();

    std::vector<Worker> m_workers;
};

} // namespace dd
