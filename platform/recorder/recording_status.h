// What the writer thread has to tell the owner about a recording under way: parts closed at the
// size limit, the low-space alarm and the last error. Any thread; the audio thread never calls.
#pragma once

#include "platform/recorder/disk_file.h"
#include "platform/recorder/recorder.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dd {

class RecordingStatus {
  public:
    // Runs outside the lock, on whichever thread reports news.
    void setNotifier(std::function<void()> notify);

    // A part closed at the size limit; held, if any, stays open (so no recovery elsewhere takes
    // the file) until the part is taken.
    void addFinishedPart(RecordingFile part, std::unique_ptr<DiskFile> held);
    std::vector<RecordingFile> takeFinishedParts();

    // The recording must stop: the disk is (nearly) full, or the spool cannot be written.
    void raiseLowOnSpace(const std::string& why);
    bool lowOnSpace() const { return m_lowOnSpace.load(std::memory_order_acquire); }

    void setError(const std::string& why);
    std::string lastError() const;

    // A new recording: no alarm, no error. Finished parts not yet taken stay.
    void reset();

  private:
    void notify();

    mutable std::mutex m_mutex;
    std::function<void()> m_notify;
    std::vector<RecordingFile> m_parts;
    std::vector<std::unique_ptr<DiskFile>> m_heldParts;
    std::string m_error;
    std::atomic<bool> m_lowOnSpace{false};
};

} // namespace dd
