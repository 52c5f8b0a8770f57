// Owners and helpers for libpulse objects: deleters, the threaded main loop's lock as a
// lockable, error text. Deleters and waits run on the owner's thread with the main loop locked.
#pragma once

#include <pulse/pulseaudio.h>

#include <memory>
#include <string>

namespace dd {

// Main loop lock for std::lock_guard. Never taken inside a libpulse callback (it is held there).
class MainloopLock {
  public:
    explicit MainloopLock(pa_threaded_mainloop* mainloop) : m_mainloop(mainloop) {}
    void lock() { pa_threaded_mainloop_lock(m_mainloop); }
    void unlock() { pa_threaded_mainloop_unlock(m_mainloop); }

  private:
    pa_threaded_mainloop* m_mainloop = nullptr;
};

struct OperationDeleter {
    void operator()(pa_operation* operation) const { pa_operation_unref(operation); }
};
// Clears the callbacks before disconnecting, so none runs on a half-destroyed owner.
struct StreamDeleter {
    void operator()(pa_stream* stream) const;
};
struct ContextDeleter {
    void operator()(pa_context* context) const;
};

using OperationPtr = std::unique_ptr<pa_operation, OperationDeleter>;
using StreamPtr = std::unique_ptr<pa_stream, StreamDeleter>;
using ContextPtr = std::unique_ptr<pa_context, ContextDeleter>;

// The one place PulseAudio errors become text: the context's last error.
std::string pulseErrorText(pa_context* context);

} // namespace dd
