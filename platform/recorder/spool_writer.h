// Moves captured audio from the audio thread into the spool on a thread of its own, so the audio
// thread never waits on the disk. push() only from the audio thread; the rest from the owner's.
#pragma once

#include "platform/recorder/ring_buffer.h"
#include "platform/recorder/spool.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

namespace dd {

class SpoolWriter {
  public:
    // Starts the writer thread. The spool must stay open and untouched until finish().
    SpoolWriter(Spool& spool, std::size_t queueBytes);
    SpoolWriter(const SpoolWriter&) = delete;
    SpoolWriter& operator=(const SpoolWriter&) = delete;
    ~SpoolWriter() { finish(); }

    // Audio thread. Never blocks: a block that finds no room is dropped and counted.
    void push(const std::uint8_t* data, std::size_t size);
    // Writes everything pushed before the call, makes the spool a complete WAV on disk and ends
    // the thread. No push may run during or after it.
    void finish();
    // Bytes lost because the queue was full or the disk refused them.
    std::uint64_t droppedBytes() const { return m_droppedBytes.load(std::memory_order_relaxed); }

  private:
    void run();
    void drain();

    Spool& m_spool;
    RingBuffer m_queue;
    // Bumped by every push and by finish(); the writer sleeps on it (a futex on Linux) instead
    // of polling.
    std::atomic<std::uint32_t> m_wakeups{0};
    std::atomic<bool> m_finishing{false};
    std::atomic<std::uint64_t> m_droppedBytes{0};
    std::uint32_t m_unflushedBytes = 0;
    std::thread m_thread;
};

} // namespace dd
