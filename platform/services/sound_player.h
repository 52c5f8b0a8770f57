// Plays WAV images in the background, one worker thread per sound, each from a copy of its own.
// Every call comes from one thread (the UI thread); the workers touch nothing the caller holds.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

namespace dd {

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

    // Joins the workers whose sound is over, which takes no time: they have already returned.
    void reapFinished();

    std::vector<Worker> m_workers;
};

} // namespace dd
