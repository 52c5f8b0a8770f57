// Test helper: records what playback sends to the private server's null sink, from its
// monitor source, as 16-bit stereo at 44100 frames per second. One thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct pa_simple;

namespace dd::test {

struct StereoFrame {
    std::int16_t left = 0;
    std::int16_t right = 0;
    bool operator==(const StereoFrame&) const = default;
};

class MonitorCapture {
  public:
    // Starts recording at once; nullptr, with the reason in error, when the monitor cannot be
    // opened. Recording runs from here whether or not read() is called yet.
    static std::unique_ptr<MonitorCapture> open(std::string& error);
    ~MonitorCapture();

    // The next stretch of the recording, blocking until it has all arrived; empty on failure.
    std::vector<StereoFrame> read(std::chrono::milliseconds length);

    static constexpr int kRate = 44100;

  private:
    explicit MonitorCapture(pa_simple* connection) : m_connection(connection) {}
    pa_simple* m_connection = nullptr;
};

// Frames that are not exactly zero: the null sink's monitor is exactly zero with nothing playing.
std::size_t loudFrames(const std::vector<StereoFrame>& frames);

} // namespace dd::test
