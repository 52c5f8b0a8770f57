// The shape of captured audio: channels, sample rate and sample size, and the sizes they imply.
// A plain value: any thread.
#pragma once

#include <cstdint>

namespace dd {

struct AudioFormat {
    int channels = 1;
    int sampleRate = 8000;
    int bitsPerSample = 16;

    std::uint32_t bytesPerFrame() const {
        return static_cast<std::uint32_t>(channels * bitsPerSample / 8);
    }
    std::uint32_t bytesPerSecond() const {
        return bytesPerFrame() * static_cast<std::uint32_t>(sampleRate);
    }
    bool operator==(const AudioFormat&) const = default;
};

} // namespace dd
