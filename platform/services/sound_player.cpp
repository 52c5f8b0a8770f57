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

#include "platform/services/read_only_file.h"
#include "platform/services/sound_output.h"
#include "platform/services/wav_reader.h"

namespace dd {

// Where a worker's samples come from. Used by that worker alone.
class SoundSamples {
  public:
    virtual ~SoundSamples() = default;
    // Bytes of samples, whole frames.
    virtual std::uint64_t length() const = 0;
    // Copies up to out.size() bytes from `at` bytes into the samples; fewer only at their end,
    // or where a file turns out shorter than its header said.
    virtual std::size_t read(std::uint64_t at, std::span<std::uint8_t> out) = 0;
};

namespace {

using std::chrono::microseconds;

// A worker checks for a stop between chunks, so this bounds how long a stop takes to be heard.
constexpr microseconds kChunkDuration{20'000};
// Chunks fetched from the samples at once: a third of a second, so a file is read in a few
// large reads a second rather than fifty small ones.
constexpr std::size_t kChunksPerBlock = 16;
// The first bytes of a file read to judge its header: the recorder's header takes 44 of them;
// the rest is the start of the sound.
constexpr std::uint64_t kHeadBytes = 64 * 1024;

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

// A copy of samples held in memory, so the caller may release its own at once.
class CopiedSamples : public SoundSamples {
  public:
    explicit CopiedSamples(std::span<const std::uint8_t> samples)
        : m_bytes(samples.begin(), samples.end()) {}

    std::uint64_t length() const override { return m_bytes.size(); }

    std::size_t read(std::uint64_t at, std::span<std::uint8_t> out) override {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(
            out.size(), m_bytes.size() - std::min<std::uint64_t>(at, m_bytes.size())));
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(at), count, out.begin());
        return count;
    }

  private:
    std::vector<std::uint8_t> m_bytes;
};

// Samples read from an open file as they are needed. The first bytes, which the caller read to
// judge the header, serve the start of the sound without another trip to the disk.
class FileSamples : public SoundSamples {
  public:
    FileSamples(std::unique_ptr<ReadOnlyFile> file, std::vector<std::uint8_t> head,
                const WavSound& sound)
        : m_file(std::move(file)), m_head(std::move(head)), m_offset(sound.dataOffset),
          m_length(sound.dataLength) {}

    std::uint64_t length() const override { return m_length; }

    std::size_t read(std::uint64_t at, std::span<std::uint8_t> out) override {
        const std::uint64_t want =
            std::min<std::uint64_t>(out.size(), m_length - std::min(at, m_length));
        std::size_t done = 0;
        // From the head while the samples asked for lie in it.
        const std::uint64_t position = m_offset + at;
        if (position < m_head.size()) {
            done =
                static_cast<std::size_t>(std::min<std::uint64_t>(want, m_head.size() - position));
            std::copy_n(m_head.begin() + static_cast<std::ptrdiff_t>(position), done, out.begin());
        }
        if (done < want) {
            done += m_file->readAt(position + done,
                                   out.subspan(done, static_cast<std::size_t>(want) - done));
        }
        return done;
    }

  private:
    std::unique_ptr<ReadOnlyFile> m_file;
    std::vector<std::uint8_t> m_head;
    std::uint64_t m_offset = 0;
    std::uint64_t m_length = 0;
};

void feed(std::stop_token stop, const WavFormat& format, SoundSamples& samples, bool loop) {
    std::string error;
    const std::unique_ptr<SoundOutput> output = openSoundOutput(format, error);
    if (!output) {
        report("no sound output: " + error);
        return;
    }
    const std::size_t chunk = chunkSize(format);
    const auto frame = static_cast<std::size_t>(format.frameSize());
    // Samples are fetched a block at a time, well ahead of the device, and written a chunk at
    // a time, so that a stop is heard within a chunk.
    std::vector<std::uint8_t> block(chunk * kChunksPerBlock);
    do {
        std::uint64_t at = 0;
        while (at < samples.length()) {
            const std::size_t got = samples.read(at, block) / frame * frame;
            if (got == 0) {
                report("the sound file ended before its samples did");
                loop = false;
                break;
            }
            const std::span<const std::uint8_t> fetched(block.data(), got);
            for (std::size_t from = 0; from < got; from += chunk) {
                if (stop.stop_requested()) {
                    return;
                }
                if (!output->write(fetched.subspan(from, std::min(chunk, got - from)))) {
                    report("the sound output failed: " + output->lastError());
                    return;
                }
            }
            at += got;
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
    try {
        return start(wav->format,
                     std::make_unique<CopiedSamples>(
                         sound.subspan(static_cast<std::size_t>(wav->dataOffset),
                                       static_cast<std::size_t>(wav->dataLength))),
                     loop);
    } catch (const std::exception& failure) {
        report(std::string("cannot copy the sound: ") + failure.what());
        return false;
    }
}

bool SoundPlayer::playFile(const std::string& path, bool loop) {
    // Opened here rather than by the worker: the sound is the file as it is at the call, even if
    // its name is deleted or reused before the worker gets going.
    std::unique_ptr<ReadOnlyFile> file = openReadOnlyFile(path);
    if (!file) {
        return false;
    }
    try {
        std::vector<std::uint8_t> head(
            static_cast<std::size_t>(std::min<std::uint64_t>(kHeadBytes, file->size())));
        head.resize(file->readAt(0, head));
        const std::optional<WavSound> wav = readWavHeader(head, file->size());
        if (!wav) {
            return false;
        }
        return start(wav->format,
                     std::make_unique<FileSamples>(std::move(file), std::move(head), *wav), loop);
    } catch (const std::exception& failure) {
        report(std::string("cannot start a sound: ") + failure.what());
        return false;
    }
}

bool SoundPlayer::start(const WavFormat& format, std::unique_ptr<SoundSamples> samples, bool loop) {
    reapFinished();
    try {
        auto finished = std::make_shared<std::atomic<bool>>(false);
        std::jthread thread(
            [finished, format, samples = std::move(samples), loop](std::stop_token stop) {
                try {
                    feed(stop, format, *samples, loop);
                } catch (const std::exception& failure) {
                    report(failure.what());
                }
                finished->store(true);
            });
        m_workers.push_back(Worker{std::move(finished), std::move(thread)});
    } catch (const std::exception& failure) {
        // No memory, or no thread to be had: nothing plays.
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
