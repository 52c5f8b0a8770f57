#include "platform/recorder/wav_header.h"

#include <cstring>
#include <limits>

namespace dd {
namespace {

// WAV is little-endian whatever the host is, so the bytes are placed one by one.
void put16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value) {
    put16(at, value);
    put16(at + 2, value >> 16);
}

} // namespace

std::uint32_t maxWavDataSize(const AudioFormat& format) {
    const std::uint32_t limit = std::numeric_limits<std::uint32_t>::max() - 36;
    return limit - limit % format.bytesPerFrame();
}

std::array<std::uint8_t, kWavHeaderSize> makeWavHeader(const AudioFormat& format,
                                                       std::uint32_t dataSize) {
    std::array<std::uint8_t, kWavHeaderSize> header{};
    std::uint8_t* h = header.data();
    std::memcpy(h + 0, "RIFF", 4);
    put32(h + 4, dataSize + 36);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    put32(h + 16, 16);
    put16(h + 20, 1); // PCM
    put16(h + 22, static_cast<std::uint32_t>(format.channels));
    put32(h + 24, static_cast<std::uint32_t>(format.sampleRate));
    put32(h + 28, format.bytesPerSecond());
    put16(h + 32, format.bytesPerFrame());
    put16(h + 34, static_cast<std::uint32_t>(format.bitsPerSample));
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, dataSize);
    return header;
}

} // namespace dd
