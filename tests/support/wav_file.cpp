#include "tests/support/wav_file.h"

#include <fstream>
#include <iterator>

namespace dd::test {
namespace {

std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | b[at + static_cast<std::size_t>(i)];
    }
    return value;
}

std::string tag(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::string(b.begin() + static_cast<std::ptrdiff_t>(at),
                       b.begin() + static_cast<std::ptrdiff_t>(at + 4));
}

} // namespace

std::optional<std::vector<std::uint8_t>> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

std::optional<WavFile> readWav(const std::string& path) {
    const auto bytes = readFileBytes(path);
    if (!bytes || bytes->size() < 44) {
        return std::nullopt;
    }
    const std::vector<std::uint8_t>& b = *bytes;
    WavFile wav;
    wav.fileSize = b.size();
    wav.riffTag = tag(b, 0);
    wav.riffSize = le(b, 4, 4);
    wav.waveTag = tag(b, 8);
    wav.fmtTag = tag(b, 12);
    wav.fmtSize = le(b, 16, 4);
    wav.formatTag = static_cast<std::uint16_t>(le(b, 20, 2));
    wav.channels = static_cast<std::uint16_t>(le(b, 22, 2));
    wav.sampleRate = le(b, 24, 4);
    wav.byteRate = le(b, 28, 4);
    wav.blockAlign = static_cast<std::uint16_t>(le(b, 32, 2));
    wav.bitsPerSample = static_cast<std::uint16_t>(le(b, 34, 2));
    wav.dataTag = tag(b, 36);
    wav.dataSize = le(b, 40, 4);
    wav.samples.assign(b.begin() + 44, b.end());
    return wav;
}

} // namespace dd::test
