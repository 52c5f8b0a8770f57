// Reads a file as a canonical WAV (44-byte header, then samples) without judging it, so tests
// can check every field. Use from any one thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dd::test {

struct WavFile {
    std::uint64_t fileSize = 0;
    std::string riffTag; // bytes 0..3
    std::uint32_t riffSize = 0;
    std::string waveTag;
    std::string fmtTag;
    std::uint32_t fmtSize = 0;
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t byteRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::string dataTag;
    std::uint32_t dataSize = 0;
    std::vector<std::uint8_t> samples; // every byte after the header
};

// nullopt when the file cannot be read or is shorter than 44 bytes.
std::optional<WavFile> readWav(const std::string& path);
// The whole file; nullopt when it cannot be read.
std::optional<std::vector<std::uint8_t>> readFileBytes(const std::string& path);

} // namespace dd::test
