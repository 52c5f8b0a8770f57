// Moves captured audio from the audio thread into the spool on a thread of its own, about once a
// second, so the audio thread never waits on the disk. push() only from the audio thread.
#pragma once

#include "platform/recorder/recording_status.h"
#include "platform/recorder/ring_buffer.h"
#include "platform/recorder/spool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace dd {

class SpoolWriter {
  public:
    // Owner's thread, like finish(). Starts the writer thread. The spool must stay open and
    // untouched until finish(). The writer tells status about parts, errors and a disk too full
    // for a stop: free space below one copy of the current part plus spaceMargin bytes.
    SpoolWriter(Spool& spool, RecordingStatus& status, std::size_t queueBytes,
                std::uint64_t spaceMargin);
    SpoolWriter(const SpoolWriter&) = delete;
    SpoolWriter& operator=(const SpoolWriter&) = delete;
    ~SpoolWriter() { finish(); }

    // Audio thread. Never waits on the disk: a block that finds no room is dropped and counted.
    // Only a push that fills the queue past half takes a lock, briefly (see m_mutex).
    void push(const std::uint8_t* data, std::size_t size);
    // Writes everything pushed before the call, makes the spool a complete WAV on the device and
    // ends the thread. No push may run during or after it.
    void finish();
    // Bytes lost because the queue was full or the disk refused them.
    std::uint64_t droppedBytes() const { return m_droppedBytes.load(std::memory_order_relaxed); }

  private:
    void run();
    void drain();
    // Appends one block, going on into a new part wherever the current one is full.
    void write(const std::uint8_t* data, std::size_t size);
    void startNextPart();
    // Header, device, then the free-space watch: once per interval at most.
    void flushAndWatch();
    void failed(const std::string& why);

    Spool& m_spool;
    RecordingStatus& m_status;
    const std::uint64_t m_spaceMargin;
    const std::string m_folder;
    RingBuffer m_queue;
    // Bumped by every push and by finish(); the idle writer sleeps on it (a futex on Linux).
    std::atomic<std::uint32_t> m_wakeups{0};
    std::atomic<bool> m_finishing{false};
    std::atomic<std::uint64_t> m_droppedBytes{0};
    // Wake the writer from its wait for the next flush: finish(), and a push that fills the
    // queue past half, so that audio arriving faster than real time (a burst after a stall, a
    // pipe at speed) is written at once instead of overflowing the queue. The audio thread
    // takes the mutex only then, which at real time never happens, and the writer holds it
    // only to look at the two flags, never across the disk.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_fillingUp = false; // guarded by m_mutex
    // Writer thread only.
    bool m_waiting = false; // audio waits in the queue until m_flushDue
    bool m_broken = false;  // the spool cannot take more; the rest is dropped and counted
    std::uint64_t m_intervalBytes = 0; // appended since the last flush
    std::chrono::steady_clock::time_point m_flushDue;
    std::thread m_thread;
};

} // namespace dd
