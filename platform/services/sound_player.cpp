#include "platform/services/sound_player.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "platform/services/sound_output.h"
#include "platform/services/wav_reader.h"

namespace dd {

namespace {

using std::chrono::microseconds;

// A worker checks for a stop between chunks, so this bounds how long a stop takes to be heard.
constexpr microseconds kChunkDuration{20'000};

void report(const std::string& why) {
    std::fprintf(stderr, "dongdong-recorder: playback: %s\n", why.c_str());
}

// Sleeps for the duration or until a stop is requested, whichever comes first.
void sleepUnlessStopped(std::stop_token stop, microseconds duration) {
    std::mutex mutex;
    std::condition_variable_any wakeUp;
    std::unique_lock lock(mutex);
    wakeUp.wait_for(lock, stop, duration, [] { return false; });
}

std::size_t chunkSize(const WavFormat& format) {
    const auto frames = static_cast<std::size_t>(
        std::max<std::int64_t>(1, format.sampleRate * kChunkDuration.count() / 1'000'000));
    return frames * static_cast<std::size_t>(format.frameSize());
}

// After the last write the server still holds up to its buffer of sound. Draining would block
// for all of it, out of a stop's reach; so the worker first sleeps in short steps while that
// runs down, and drains only the last step. A queue that does not shrink has not started
// playing (a server may wait for more than a short sound holds before it starts): draining
// starts it.
void playOut(std::stop_token stop, SoundOutput& output) {
    std::optional<microseconds> before;
    while (!stop.stop_requested()) {
        const std::optional<microseconds> left = output.pending();
        if (!left || *left <= kChunkDuration || (before && *left >= *before)) {
            break;
        }
        before = left;
        sleepUnlessStopped(stop, std::min(*left - kChunkDuration, kChunkDuration));
    }
    if (!stop.stop_requested() && !output.drain()) {
        report("the end of the sound was not played: " + output.lastError());
    }
}

void feed(std::stop_token stop, const WavFormat& format, const std::vector<std::uint8_t>& samples,
          bool loop) {
    std::string error;
    const std::unique_ptr<SoundOutput> output = openSoundOutput(format, error);
    if (!output) {
        report("no sound output: " + error);
        return;
    }
    const std::size_t chunk = chunkSize(format);
    const std::span<const std::uint8_t> all(samples);
    do {
        for (std::size_t at = 0; at < all.size(); at += chunk) {
            if (stop.stop_requested()) {
                return;
            }
            if (!output->write(all.subspan(at, std::min(chunk, all.size() - at)))) {
                report("the sound output failed: " + output->lastError());
                return;
            }
        }
    } while (loop && !stop.stop_requested());
    playOut(stop, *output);
    // Leaving destroys the output, which releases the device and cuts anything still queued.
}

} // namespace

SoundPlayer::~SoundPlayer() {
    stopAllAndWait();
}

bool SoundPlayer::play(std::span<const std::uint8_t> sound, bool loop) {
    const std::optional<WavSound> wav = readWav(sound);
    if (!wav) {
        return false;
    }
    reapFinished();
    try {
        auto finished = std::make_shared<std::atomic<bool>>(false);
        const auto samples = sound.subspan(wav->dataOffset, wav->dataLength);
        std::vector<std::uint8_t> copy(samples.begin(), samples.end());
        std::jthread thread(
            [finished, format = wav->format, copy = std::move(copy), loop](std::stop_token stop) {
                try {
                    feed(stop, format, copy, loop);
                } catch (const std::exception& failure) {
                    report(failure.what());
                }
                finished->store(true);
            });
        m_workers.push_back(Worker{std::move(finished), std::move(thread)});
    } catch (const std::exception& failure) {
        // No memory for the copy, or no thread to be had: nothing plays.
        report(std::string("cannot start a sound: ") + failure.what());
        return false;
    }
    return true;
}

void SoundPlayer::stopAll() {
    for (Worker& worker : m_workers) {
        worker.thread.request_stop();
    }
    reapFinished();
}

void SoundPlayer::stopAllAndWait() {
    for (Worker& worker : m_workers) {
        worker.thread.request_stop();
    }
    // Destroying a jthread joins it.
    m_workers.clear();
}

std::size_t SoundPlayer::activeWorkers() {
    reapFinished();
    return m_workers.size();
}

void SoundPlayer::reapFinished() {
    std::erase_if(m_workers, [](const Worker& worker) { return worker.finished->load(); });
}

} // namespace dd
