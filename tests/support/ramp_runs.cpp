// The portable half of the ramp helpers: recognising the ramp in a recording. The Windows
// test programs build it too (tests/wine); the FIFO writer stays in ramp.cpp.
#include "tests/support/ramp.h"

namespace dd::test {
namespace {

std::uint16_t channelValue(const std::vector<std::uint8_t>& samples, std::size_t frame,
                           int channel) {
    const std::size_t at = frame * 4 + static_cast<std::size_t>(channel) * 2;
    return static_cast<std::uint16_t>(samples[at] | samples[at + 1] << 8);
}

} // namespace

std::ostream& operator<<(std::ostream& out, const RampRun& run) {
    return out << "{first " << run.first << ", " << run.length << " frames}";
}

std::vector<RampRun> rampRuns(const std::vector<std::uint8_t>& samples) {
    std::vector<RampRun> runs;
    for (std::size_t frame = 0; frame < samples.size() / 4; ++frame) {
        const std::uint16_t value = channelValue(samples, frame, 0);
        if (!runs.empty() &&
            static_cast<std::uint16_t>(runs.back().first + runs.back().length) == value) {
            ++runs.back().length;
        } else {
            runs.push_back({value, 1});
        }
    }
    return runs;
}

std::vector<RampRun>
expectedRampRuns(std::initializer_list<std::pair<std::uint64_t, std::uint64_t>> ranges) {
    std::vector<RampRun> runs;
    for (const auto& [from, to] : ranges) {
        if (to <= from) {
            continue;
        }
        const auto first = static_cast<std::uint16_t>(from);
        if (!runs.empty() &&
            static_cast<std::uint16_t>(runs.back().first + runs.back().length) == first) {
            runs.back().length += to - from;
        } else {
            runs.push_back({first, to - from});
        }
    }
    return runs;
}

std::uint64_t rampFramesWithUnequalChannels(const std::vector<std::uint8_t>& samples) {
    std::uint64_t unequal = 0;
    for (std::size_t frame = 0; frame < samples.size() / 4; ++frame) {
        unequal += channelValue(samples, frame, 0) != channelValue(samples, frame, 1) ? 1 : 0;
    }
    return unequal;
}

} // namespace dd::test
