#include "platform/recorder/spool_writer.h"

#include "platform/recorder/disk_file.h"
#include "platform/recorder/wav_header.h"

#include <cinttypes>
#include <cstdio>
#include <utility>

namespace dd {
namespace {

// How long audio may wait in the queue before it is written, the header rewritten and the file
// synced to the device (fdatasync). A crash, a kill or a power cut loses at most this much, plus
// what the sound system holds. Syncing every second costs one journal commit a second, which
// even a laptop's disk takes in its stride; syncing less often would let a power cut take more.
// While audio waits the writer sleeps, so a recording costs about one wake-up a second.
constexpr auto kFlushInterval = std::chrono::seconds(1);
// More seconds of audio than this written in one interval is a rush (see flushAndWatch).
constexpr std::uint64_t kRushSeconds = 4;

std::string megabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

} // namespace

SpoolWriter::SpoolWriter(Spool& spool, RecordingStatus& status, std::size_t queueBytes,
                         std::uint64_t spaceMargin)
    : m_spool(spool), m_status(status), m_spaceMargin(spaceMargin),
      m_folder(folderOf(spool.path())), m_queue(queueBytes), m_thread([this] { run(); }) {}

void SpoolWriter::push(const std::uint8_t* data, std::size_t size) {
    const std::size_t half = m_queue.capacity() / 2;
    const std::size_t before = m_queue.queued();
    if (!m_queue.push(data, size)) {
        m_droppedBytes.fetch_add(size, std::memory_order_relaxed);
    } else if (before < half && before + size >= half) {
        {
            std::lock_guard lock(m_mutex);
            m_fillingUp = true;
        }
        m_wake.notify_one();
    }
    m_wakeups.fetch_add(1, std::memory_order_release);
    m_wakeups.notify_one();
}

void SpoolWriter::finish() {
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_finishing.store(true, std::memory_order_release);
    }
    m_wake.notify_one();
    m_wakeups.fetch_add(1, std::memory_order_release);
    m_wakeups.notify_one();
    m_thread.join();
    if (!m_broken && !m_spool.flush(true)) {
        failed(m_spool.error());
    }
    if (const std::uint64_t dropped = droppedBytes(); dropped > 0) {
        std::fprintf(stderr, "recorder: %" PRIu64 " bytes of audio were lost on the way to disk\n",
                     dropped);
    }
}

void SpoolWriter::run() {
    for (;;) {
        // Read the counter before looking at the queue: a push that lands after the look
        // changes it, so the wait below returns at once instead of sleeping on unwritten audio.
        const std::uint32_t seen = m_wakeups.load(std::memory_order_acquire);
        if (m_finishing.load(std::memory_order_acquire)) {
            drain(); // finish() flushes
            return;
        }
        // Idle only with nothing owed: audio written early (below) still waits for its flush.
        if (m_queue.peek().empty() && !m_waiting) {
            m_wakeups.wait(seen, std::memory_order_acquire);
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!m_waiting) {
            m_waiting = true;
            m_flushDue = now + kFlushInterval;
        }
        if (now >= m_flushDue) {
            // Appending and rewriting the header back to back keeps the file a complete WAV
            // all but a moment; audio waiting in the queue instead of the file costs nothing.
            m_waiting = false;
            drain();
            flushAndWatch();
            continue;
        }
        // Audio is waiting: sleep until it is due, letting the queue fill meanwhile (it holds
        // several seconds), unless finish() comes first or the queue fills past half: then
        // write what is there, and wait on until the flush is due.
        bool fillingUp = false;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_until(lock, m_flushDue, [this] {
                return m_fillingUp || m_finishing.load(std::memory_order_acquire);
            });
            fillingUp = std::exchange(m_fillingUp, false);
        }
        if (fillingUp) {
            drain();
        }
    }
}

void SpoolWriter::drain() {
    for (auto block = m_queue.peek(); !block.empty(); block = m_queue.peek()) {
        write(block.data(), block.size());
        m_queue.consume(block.size());
    }
}

void SpoolWriter::write(const std::uint8_t* data, std::size_t size) {
    while (size > 0 && !m_broken) {
        if (m_spool.room() == 0) {
            startNextPart();
            continue;
        }
        const std::size_t part = size < m_spool.room() ? size : m_spool.room();
        const std::uint32_t before = m_spool.dataSize();
        if (!m_spool.append(data, part)) {
            // Whole frames the disk took before it refused are kept: only the rest is lost.
            const std::size_t kept = m_spool.dataSize() - before;
            size -= kept < size ? kept : size;
            failed(m_spool.error());
            break;
        }
        data += part;
        size -= part;
        m_intervalBytes += part;
    }
    if (size > 0) {
        m_droppedBytes.fetch_add(size, std::memory_order_relaxed);
    }
}

void SpoolWriter::startNextPart() {
    RecordingFile finished;
    std::unique_ptr<DiskFile> held;
    const bool started = m_spool.startNextPart(finished, held);
    if (held) {
        std::fprintf(stderr, "recorder: the recording goes on in a new file after %s\n",
                     finished.path.c_str());
        m_status.addFinishedPart(finished, std::move(held));
    }
    if (!started) {
        failed(m_spool.error());
    }
}

void SpoolWriter::flushAndWatch() {
    if (m_broken) {
        return;
    }
    // Waiting for the device takes as long as the data written since the last wait: nothing at
    // real time, but audio arriving many times faster (a pipe at speed) would pile up behind it
    // and overflow the queue. While audio rushes in, then, the header is rewritten without the
    // wait, which comes at the first flush once the rush is over: audio first, then durability.
    const bool rushing =
        m_intervalBytes > kRushSeconds * std::uint64_t{m_spool.format().bytesPerSecond()};
    m_intervalBytes = 0;
    if (!m_spool.flush(!rushing)) {
        failed(m_spool.error());
        return;
    }
    // A stop renames the spool and copies it once: it needs room for one copy of the part.
    const std::uint64_t needed = m_spool.dataSize() + kWavHeaderSize + m_spaceMargin;
    const auto free = freeDiskSpace(m_folder);
    if (free && *free < needed && !m_status.lowOnSpace()) {
        const std::string why = "only " + megabytes(*free) +
                                " left on the recording's disk; saving it needs " +
                                megabytes(needed);
        std::fprintf(stderr, "recorder: %s\n", why.c_str());
        m_status.raiseLowOnSpace(why);
    }
}

void SpoolWriter::failed(const std::string& why) {
    if (!m_broken) {
        std::fprintf(stderr, "recorder: cannot write the recording: %s\n", why.c_str());
        m_status.raiseLowOnSpace(why);
    }
    m_broken = true;
}

} // namespace dd
