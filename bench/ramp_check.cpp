// bench_ramp_check: compares a recording of the test ramp with frames [0, FRAMES) and prints
// how many frames are missing, doubled or damaged:
//
//   bench_ramp_check FILE.wav FRAMES
//
// The file is read a piece at a time, so an hour of audio needs no more memory than a second.
#include "platform/services/wav_reader.h"
#include "tests/support/ramp.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

namespace {

constexpr std::size_t kPiece = 4 * 44100 * 4;

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_ramp_check FILE FRAMES\n");
        return 2;
    }
    const std::uint64_t expected = std::strtoull(argv[2], nullptr, 10);
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<std::uint8_t> head(64 * 1024);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    in.clear();
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(argv[1], error);
    const std::optional<dd::WavSound> sound = error ? std::nullopt : dd::readWavHeader(head, size);
    if (!sound || sound->format.channels != 2 || sound->format.bitsPerSample != 16 ||
        !in.seekg(static_cast<std::streamoff>(sound->dataOffset))) {
        std::fprintf(stderr, "bench_ramp_check: %s is no 16-bit stereo WAV file\n", argv[1]);
        return 1;
    }
    std::uint64_t left = sound->dataLength;
    // The runs of consecutive ramp values, joined across the pieces.
    std::vector<dd::test::RampRun> runs;
    std::uint64_t frames = 0;
    std::uint64_t damaged = 0;
    std::vector<std::uint8_t> piece(kPiece);
    while (in && left > 0) {
        in.read(reinterpret_cast<char*>(piece.data()),
                static_cast<std::streamsize>(std::min<std::uint64_t>(kPiece, left)));
        left -= static_cast<std::uint64_t>(in.gcount());
        piece.resize(static_cast<std::size_t>(in.gcount()) / 4 * 4);
        frames += piece.size() / 4;
        damaged += dd::test::rampFramesWithUnequalChannels(piece);
        for (const dd::test::RampRun& run : dd::test::rampRuns(piece)) {
            if (!runs.empty() &&
                static_cast<std::uint16_t>(runs.back().first + runs.back().length) == run.first) {
                runs.back().length += run.length;
            } else {
                runs.push_back(run);
            }
        }
        piece.resize(kPiece);
    }
    // Follow the ramp through the runs: a jump forward skipped frames, a jump back repeated
    // them. Values wrap at 65536, so a jump is read as the shorter way round: in a recording
    // that lost more than 0.74 s at once, some of the loss shows as frames doubled.
    std::uint64_t next = 0;
    std::uint64_t missing = 0;
    std::uint64_t doubled = 0;
    for (const dd::test::RampRun& run : runs) {
        const auto jump = static_cast<std::int16_t>(
            static_cast<std::uint16_t>(run.first - static_cast<std::uint16_t>(next)));
        if (jump > 0) {
            missing += static_cast<std::uint64_t>(jump);
        } else {
            doubled += static_cast<std::uint64_t>(-jump);
        }
        next += static_cast<std::uint64_t>(static_cast<std::int64_t>(jump)) + run.length;
    }
    if (next < expected) {
        missing += expected - next;
    } else {
        doubled += next - expected;
    }
    std::printf("frames=%llu\nruns=%zu\nmissing=%llu\ndoubled=%llu\ndamaged=%llu\n",
                static_cast<unsigned long long>(frames), runs.size(),
                static_cast<unsigned long long>(missing), static_cast<unsigned long long>(doubled),
                static_cast<unsigned long long>(damaged));
    return missing == 0 && doubled == 0 && damaged == 0 ? 0 : 1;
}
