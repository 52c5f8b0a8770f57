#include "platform/services/wav_reader.h"

#include <algorithm>
#include <string_view>

namespace dd {

namespace {

constexpr int kFormatPcm = 1;
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 192000;
constexpr std::uint64_t kChunkHeaderSize = 8;
constexpr std::uint64_t kPcmFormatSize = 16;

// Every reader below is called only after the caller checked that the bytes are there.
std::uint16_t le16(std::span<const std::uint8_t> bytes, std::uint64_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t le32(std::span<const std::uint8_t> bytes, std::uint64_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

bool hasId(std::span<const std::uint8_t> bytes, std::uint64_t at, std::string_view id) {
    return std::equal(id.begin(), id.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

std::optional<WavFormat> readFormat(std::span<const std::uint8_t> body) {
    if (le16(body, 0) != kFormatPcm) {
        return std::nullopt;
    }
    WavFormat format;
    format.channels = le16(body, 2);
    const std::uint32_t rate = le32(body, 4);
    format.bitsPerSample = le16(body, 14);
    // Byte rate and block align are left unread: they follow from the three fields kept, and
    // writers that get them wrong still describe their samples correctly.
    if (format.channels < 1 || format.channels > 2 ||
        (format.bitsPerSample != 8 && format.bitsPerSample != 16) || rate < kLowestRate ||
        rate > kHighestRate) {
        return std::nullopt;
    }
    format.sampleRate = static_cast<int>(rate);
    return format;
}

} // namespace

std::optional<WavSound> readWav(std::span<const std::uint8_t> bytes) {
    return readWavHeader(bytes, bytes.size());
}

std::optional<WavSound> readWavHeader(std::span<const std::uint8_t> head, std::uint64_t fileSize) {
    // Offsets are 64-bit so that a chunk size near 4 GiB cannot wrap them on a 32-bit build.
    // Headers are read only from what was seen (the head, never past the file's end); sizes are
    // bounded by the file's end. The RIFF size field is not trusted.
    const std::uint64_t seen = std::min<std::uint64_t>(head.size(), fileSize);
    const std::span<const std::uint8_t> bytes = head.first(static_cast<std::size_t>(seen));
    if (seen < 12 || !hasId(bytes, 0, "RIFF") || !hasId(bytes, 8, "WAVE")) {
        return std::nullopt;
    }
    const std::uint64_t end = fileSize;
    std::optional<WavFormat> format;
    std::optional<std::uint64_t> dataOffset;
    std::uint64_t dataLength = 0;
    std::uint64_t at = 12;
    while (at + kChunkHeaderSize <= seen && !(format && dataOffset)) {
        const std::uint64_t size = le32(bytes, at + 4);
        const std::uint64_t body = at + kChunkHeaderSize;
        const std::uint64_t present = std::min(size, end - body);
        if (!format && hasId(bytes, at, "fmt ")) {
            if (size < kPcmFormatSize || seen - body < kPcmFormatSize) {
                return std::nullopt;
            }
            format = readFormat(bytes.subspan(static_cast<std::size_t>(body), kPcmFormatSize));
            if (!format) {
                return std::nullopt;
            }
        } else if (!dataOffset && hasId(bytes, at, "data")) {
            dataOffset = body;
            dataLength = present;
        }
        // Chunks are padded to an even length; the pad byte is not counted in the size.
        at = body + size + (size & 1);
    }
    if (!format || !dataOffset) {
        return std::nullopt;
    }
    const auto frame = static_cast<std::uint64_t>(format->frameSize());
    const std::uint64_t wholeFrames = dataLength / frame * frame;
    if (wholeFrames == 0) {
        return std::nullopt;
    }
    return WavSound{*format, *dataOffset, wholeFrames};
}

} // namespace dd
