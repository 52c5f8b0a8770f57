// One open stream to the system's default sound output device, fed by a single thread.
// Every call on one object, including its destruction, comes from the thread that opened it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/services/wav_reader.h"

namespace dd {

class SoundOutput {
  public:
    // Releases the device at once; what is still queued is dropped, so a stop is heard at once.
    virtual ~SoundOutput() = default;
    // Queues samples (whole frames) and returns once the device has taken them. The device
    // holds only a short buffer, so this blocks for about the length of the samples passed.
    virtual bool write(std::span<const std::uint8_t> samples) = 0;
    // How long until everything written so far has been heard; nullopt when the device cannot
    // tell. Lets the caller wait for the end in short steps it can break off.
    virtual std::optional<std::chrono::microseconds> pending() = 0;
    // Plays out everything written, then returns.
    virtual bool drain() = 0;
    // Why the last call above failed.
    virtual std::string lastError() const = 0;
};

// Opens the default output device for PCM in this format; nullptr, with the reason in error,
// when there is no device or it refuses the format. Implemented once per platform.
std::unique_ptr<SoundOutput> openSoundOutput(const WavFormat& format, std::string& error);

} // namespace dd
