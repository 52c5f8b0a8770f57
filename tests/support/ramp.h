// The test ramp: s16le stereo audio whose frame i holds i mod 65536 in both channels, written
// into a pipe source's FIFO and recognised in a recording. Use from the test's thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace dd::test {

// Keeps the FIFO open for writing for the object's life.
class RampWriter {
  public:
    // On failure: ADD_FAILURE() and isOpen() false.
    explicit RampWriter(const std::string& fifoPath);
    RampWriter(const RampWriter&) = delete;
    RampWriter& operator=(const RampWriter&) = delete;
    ~RampWriter();

    bool isOpen() const { return m_fd >= 0; }
    // Writes frames [from, to) in one go; returns once all are in the FIFO, false when the
    // reader takes none for several seconds.
    bool write(std::uint64_t from, std::uint64_t to);
    // Blocks until the reader has taken everything written (bounded wait); true if so.
    bool waitUntilConsumed() const;

  private:
    int m_fd = -1;
};

// A stretch of consecutive ramp frames: `length` frames, the first holding `first`.
struct RampRun {
    std::uint16_t first = 0;
    std::uint64_t length = 0;
    bool operator==(const RampRun&) const = default;
};
std::ostream& operator<<(std::ostream& out, const RampRun& run);

// The runs s16le stereo samples consist of, by the left channel. A recording of frames
// [a, b) then [c, d) gives two runs unless c == b (mod 65536).
std::vector<RampRun> rampRuns(const std::vector<std::uint8_t>& samples);
// The runs a recording of the given frame ranges [from, to) must consist of.
std::vector<RampRun>
expectedRampRuns(std::initializer_list<std::pair<std::uint64_t, std::uint64_t>> ranges);
// Frames whose two channels differ (none in a faithful recording of the ramp).
std::uint64_t rampFramesWithUnequalChannels(const std::vector<std::uint8_t>& samples);

} // namespace dd::test
