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

std::uint32_t get16(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0] | at[1] << 8);
}

std::uint32_t get32(const std::uint8_t* at) {
    return get16(at) | get16(at + 2) << 16;
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

std::optional<AudioFormat>
recorderHeaderFormat(const std::array<std::uint8_t, kWavHeaderSize>& header) {
    const std::uint8_t* h = header.data();
    const AudioFormat format{static_cast<int>(get16(h + 22)), static_cast<int>(get32(h + 24)),
                             static_cast<int>(get16(h + 34))};
    const bool tags = std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVEfmt ", 8) == 0 &&
                      std::memcmp(h + 36, "data", 4) == 0;
    const bool shape = get32(h + 16) == 16 && get16(h + 20) == 1 &&
                       (format.channels == 1 || format.channels == 2) &&
                       (format.bitsPerSample == 8 || format.bitsPerSample == 16) &&
                       format.sampleRate > 0 && format.sampleRate <= 192000;
    if (!tags || !shape || get32(h + 28) != format.bytesPerSecond() ||
        get16(h + 32) != format.bytesPerFrame()) {
        return std::nullopt;
    }
    return format;
}

} // namespace dd
