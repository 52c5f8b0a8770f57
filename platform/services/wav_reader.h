// Finds the PCM format and samples of a RIFF WAVE image in memory or from a file's first bytes.
// Pure functions, any thread; they never read outside the buffer given, whatever the bytes.
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

// Where the samples lie inside the image or file that was read. 64-bit, so that a file near the
// format's 4 GiB limit is described exactly on a 32-bit build too.
struct WavSound {
    WavFormat format;
    std::uint64_t dataOffset = 0;
    std::uint64_t dataLength = 0; // a whole number of frames, never zero
};

// The playable sound in bytes, or nothing when it is not one: "RIFF" at 0, "WAVE" at 8, a
// PCM "fmt " chunk with 1 or 2 channels of 8 or 16 bits at a sane rate, and a "data" chunk
// holding at least one frame. A data length that runs past the end is cut to what is there.
std::optional<WavSound> readWav(std::span<const std::uint8_t> bytes);

// The same judgement for a file that is read a piece at a time: head holds its first bytes and
// fileSize is its whole length. The chunk headers up to the samples must lie within head; the
// samples themselves may run on to fileSize (and are cut to what the file holds).
std::optional<WavSound> readWavHeader(std::span<const std::uint8_t> head, std::uint64_t fileSize);

} // namespace dd
