// Capture from the system's default recording device; one backend per platform, chosen by the
// build. Every call comes from the owner's thread; the sink runs on the backend's audio thread.
#pragma once

#include "platform/recorder/audio_format.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace dd {

// Receives captured blocks, each a whole number of frames. Runs on the audio thread: it must
// not block.
using CaptureSink = std::function<void(const std::uint8_t* data, std::size_t size)>;

class CaptureBackend {
  public:
    virtual ~CaptureBackend() = default;
    // Closes any open capture, then opens the default source in format and starts capturing
    // into sink. False, with the reason on stderr and nothing open, when it cannot.
    // Once open, a device that goes away (unplugged, removed, its server restarted) does not end
    // the capture: the backend tries the default device again about once a second, from a thread
    // of its own, and goes on into the same sink, paused if a pause is in force. Meanwhile pause,
    // resume and stop succeed at once, and stop keeps what was delivered.
    virtual bool open(const AudioFormat& format, CaptureSink sink) = 0;
    // Suspend and resume capture; both return once the device has done it. True when nothing
    // is open.
    virtual bool pause() = 0;
    virtual bool resume() = 0;
    // Hands every block captured before the call to the sink, then ends capture and releases
    // the device. True when nothing is open.
    virtual bool stop() = 0;
    // Ends capture at once and releases the device; audio still on its way is dropped.
    virtual void close() = 0;
};

std::unique_ptr<CaptureBackend> makeCaptureBackend();

} // namespace dd
