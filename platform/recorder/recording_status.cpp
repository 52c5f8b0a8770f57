#include "platform/recorder/recording_status.h"

#include <utility>

namespace dd {

void RecordingStatus::setNotifier(std::function<void()> notify) {
    std::lock_guard lock(m_mutex);
    m_notify = std::move(notify);
}

void RecordingStatus::addFinishedPart(RecordingFile part, std::unique_ptr<DiskFile> held) {
    {
        std::lock_guard lock(m_mutex);
        m_parts.push_back(std::move(part));
        m_heldParts.push_back(std::move(held));
    }
    notify();
}

std::vector<RecordingFile> RecordingStatus::takeFinishedParts() {
    std::vector<std::unique_ptr<DiskFile>> released;
    std::vector<RecordingFile> parts;
    {
        std::lock_guard lock(m_mutex);
        parts.swap(m_parts);
        released.swap(m_heldParts);
    }
    return parts; // released closes the files here, outside the lock
}

void RecordingStatus::raiseLowOnSpace(const std::string& why) {
    setError(why);
    if (!m_lowOnSpace.exchange(true, std::memory_order_acq_rel)) {
        notify();
    }
}

void RecordingStatus::setError(const std::string& why) {
    std::lock_guard lock(m_mutex);
    m_error = why;
}

std::string RecordingStatus::lastError() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

void RecordingStatus::reset() {
    std::lock_guard lock(m_mutex);
    m_error.clear();
    m_lowOnSpace.store(false, std::memory_order_release);
}

void RecordingStatus::notify() {
    std::function<void()> notify;
    {
        std::lock_guard lock(m_mutex);
        notify = m_notify;
    }
    if (notify) {
        notify();
    }
}

} // namespace dd
