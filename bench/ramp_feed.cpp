// bench_ramp_feed: pushes frames [0, FRAMES) of the test ramp into a pipe source's FIFO at SPEED
// times real time, waits until the sound server has taken the last byte, and prints the wall
// time that took:
//
//   bench_ramp_feed FIFO FRAMES SPEED
//
// The pipe source passes on whatever it reads at once and its clients must keep up: what a
// client cannot take in time the server drops. So the ramp is paced on a monotonic clock, in
// tenths of a second of audio, and a run at a given speed shows whether a client sustains it.
#include "tests/support/ramp.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_ramp_feed FIFO FRAMES SPEED\n");
        return 2;
    }
    const std::uint64_t frames = std::strtoull(argv[2], nullptr, 10);
    const double speed = std::strtod(argv[3], nullptr);
    if (speed <= 0) {
        std::fprintf(stderr, "bench_ramp_feed: SPEED must be above 0\n");
        return 2;
    }
    dd::test::RampWriter writer(argv[1]);
    if (!writer.isOpen()) {
        return 1;
    }
    constexpr std::uint64_t kStep = 4410; // a tenth of a second of audio per write
    const auto start = std::chrono::steady_clock::now();
    for (std::uint64_t from = 0; from < frames; from += kStep) {
        const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     std::chrono::duration<double>(from / 44100.0 / speed));
        std::this_thread::sleep_until(due);
        if (!writer.write(from, std::min(frames, from + kStep))) {
            std::fprintf(stderr,
                         "bench_ramp_feed: the sound server stopped reading at frame %llu\n",
                         static_cast<unsigned long long>(from));
            return 1;
        }
    }
    if (!writer.waitUntilConsumed()) {
        std::fprintf(stderr, "bench_ramp_feed: the last bytes were not taken\n");
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("feed_seconds=%.3f\naudio_seconds=%.3f\n", seconds,
                static_cast<double>(frames) / 44100.0);
    return 0;
}
