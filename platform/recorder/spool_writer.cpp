#include "platform/recorder/spool_writer.h"

#include <cinttypes>
#include <cstdio>

namespace dd {

SpoolWriter::SpoolWriter(Spool& spool, std::size_t queueBytes)
    : m_spool(spool), m_queue(queueBytes), m_thread([this] { run(); }) {}

void SpoolWriter::push(const std::uint8_t* data, std::size_t size) {
    if (!m_queue.push(data, size)) {
        m_droppedBytes.fetch_add(size, std::memory_order_relaxed);
    }
    m_wakeups.fetch_add(1, std::memory_order_release);
    m_wakeups.notify_one();
}

void SpoolWriter::finish() {
    if (!m_thread.joinable()) {
        return;
    }
    m_finishing.store(true, std::memory_order_release);
    m_wakeups.fetch_add(1, std::memory_order_release);
    m_wakeups.notify_one();
    m_thread.join();
    if (!m_spool.flush()) {
        std::fprintf(stderr, "recorder: could not finish writing the spool file\n");
    }
    if (const std::uint64_t dropped = droppedBytes(); dropped > 0) {
        std::fprintf(stderr, "recorder: %" PRIu64 " bytes of audio were lost on the way to disk\n",
                     dropped);
    }
}

void SpoolWriter::run() {
    for (;;) {
        // Read the counter before draining: a push that lands after the drain changes it, so
        // the wait below returns at once instead of sleeping on unwritten audio.
        const std::uint32_t seen = m_wakeups.load(std::memory_order_acquire);
        drain();
        if (m_finishing.load(std::memory_order_acquire)) {
            drain();
            return;
        }
        m_wakeups.wait(seen, std::memory_order_acquire);
    }
}

void SpoolWriter::drain() {
    for (auto block = m_queue.peek(); !block.empty(); block = m_queue.peek()) {
        if (m_spool.append(block.data(), block.size())) {
            m_unflushedBytes += static_cast<std::uint32_t>(block.size());
        } else {
            m_droppedBytes.fetch_add(block.size(), std::memory_order_relaxed);
        }
        m_queue.consume(block.size());
    }
    // Keep the file on disk a valid WAV about once a second of audio, for crash recovery,
    // without a header rewrite on every wake-up.
    if (m_unflushedBytes >= m_spool.format().bytesPerSecond()) {
        m_spool.flush(); // a failure here shows again, and is reported, in finish()
        m_unflushedBytes = 0;
    }
}

} // namespace dd
