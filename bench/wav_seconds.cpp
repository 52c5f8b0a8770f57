// bench_wav_seconds: prints how many seconds of sound a WAV file holds, judged by the player's
// own header reader:
//
//   bench_wav_seconds FILE
#include "platform/services/wav_reader.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_wav_seconds FILE\n");
        return 2;
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(argv[1], error);
    std::vector<std::uint8_t> head(64 * 1024);
    std::ifstream in(argv[1], std::ios::binary);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    const std::optional<dd::WavSound> sound = error ? std::nullopt : dd::readWavHeader(head, size);
    if (!sound) {
        std::fprintf(stderr, "bench_wav_seconds: %s is not a playable WAV file\n", argv[1]);
        return 1;
    }
    const double bytesPerSecond = static_cast<double>(sound->format.sampleRate) *
                                  static_cast<double>(sound->format.frameSize());
    std::printf("%.3f\n", static_cast<double>(sound->dataLength) / bytesPerSecond);
    return 0;
}
