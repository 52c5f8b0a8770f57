// Finds the PCM format and the samples of a RIFF WAVE image held in memory. Pure function of
// its input, any thread; it never reads outside the buffer it is given, whatever the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace dd {

struct WavFormat {
    int channels = 0;      // 1 or 2
    int sampleRate = 0;    // frames per second
    int bitsPerSample = 0; // 8 (unsigned) or 16 (signed little-endian)

    int frameSize() const { return channels * bitsPerSample / 8; }
};

// Where the samples lie inside the image that was read.
struct WavSound {
    WavFormat format;
    std::size_t dataOffset = 0;
    std::size_t dataLength = 0; // a whole number of frames, never zero
};

// The playable sound in bytes, or nothing when it is not one: "RIFF" at 0, "WAVE" at 8, a
// PCM "fmt " chunk with 1 or 2 channels of 8 or 16 bits at a sane rate, and a "data" chunk
// holding at least one frame. A data length that runs past the end is cut to what is there.
std::optional<WavSound> readWav(std::span<const std::uint8_t> bytes);

} // namespace dd
