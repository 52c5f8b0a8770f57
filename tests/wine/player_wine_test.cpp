// The sound player with its waveOut backend, under Wine, against the runner's private
// PulseAudio server: what reaches the null sink "speaker" is recorded on the Linux side from its
// monitor and compared with what was played.
#include "platform/services/bytes.h"
#include "platform/services/platform_services.h"
#include "platform/services/sound_player.h"
#include "tests/wine/wine_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace dd {
namespace {

using namespace std::chrono_literals;
using test::MonitorRecording;
using test::ServerStatus;
using test::StereoFrame;

void put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// A WAV image as the recorder writes it: the 44-byte header, then the samples.
Bytes wavImage(int channels, int rate, int bits, const Bytes& samples) {
    Bytes out{'R', 'I', 'F', 'F'};
    put32(out, static_cast<std::uint32_t>(36 + samples.size()));
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(out, 16);
    put16(out, 1);
    put16(out, static_cast<std::uint32_t>(channels));
    put32(out, static_cast<std::uint32_t>(rate));
    put32(out, static_cast<std::uint32_t>(rate * channels * bits / 8));
    put16(out, static_cast<std::uint32_t>(channels * bits / 8));
    put16(out, static_cast<std::uint32_t>(bits));
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(out, static_cast<std::uint32_t>(samples.size()));
    out.insert(out.end(), samples.begin(), samples.end());
    return out;
}

// Frame i of the ramp holds i + 1 on the left and its negation on the right: never silent,
// never repeating within the lengths used here, and easy to find in a recording.
StereoFrame rampFrame(std::size_t i) {
    const auto value = static_cast<std::int16_t>(static_cast<std::uint16_t>(i + 1));
    return StereoFrame{value, static_cast<std::int16_t>(-value)};
}

Bytes rampWav(std::size_t frames) {
    Bytes samples;
    for (std::size_t i = 0; i < frames; ++i) {
        const StereoFrame frame = rampFrame(i);
        put16(samples, static_cast<std::uint16_t>(frame.left));
        put16(samples, static_cast<std::uint16_t>(frame.right));
    }
    return wavImage(2, MonitorRecording::kRate, 16, samples);
}

// A 440 Hz tone at half scale in any of the recorder's formats.
Bytes toneWav(int channels, int rate, int bits, std::chrono::milliseconds length) {
    Bytes samples;
    const auto frames = static_cast<std::size_t>(rate * length.count() / 1000);
    for (std::size_t i = 0; i < frames; ++i) {
        const double value =
            0.5 * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(i) / rate);
        for (int c = 0; c < channels; ++c) {
            if (bits == 8) {
                samples.push_back(static_cast<std::uint8_t>(128 + std::lround(value * 127)));
            } else {
                put16(samples, static_cast<std::uint16_t>(std::lround(value * 32767)));
            }
        }
    }
    return wavImage(channels, rate, bits, samples);
}

// Whether the sounding part of the recording (silence left out) is exactly the ramp of `frames`
// frames: every sample arrived, once, unchanged and in order. Under Wine the speaker may run dry
// for a moment when Wine's own sound thread is late on a busy machine; the server then plays
// silence and goes on where it was, so silence between samples is no fault of the player (how
// often it happened is noted in the test's output), but a sample lost, doubled or changed is.
bool soundsLikeTheRamp(const std::vector<StereoFrame>& recorded, std::size_t frames) {
    std::size_t next = 0;
    std::size_t gaps = 0;
    std::size_t firstGap = 0;
    bool silent = false;
    for (const StereoFrame& frame : recorded) {
        if (frame == StereoFrame{}) {
            silent = true;
            continue;
        }
        if (next >= frames || frame != rampFrame(next)) {
            ADD_FAILURE() << "after " << next << " frames of the ramp came " << frame.left << ", "
                          << frame.right << " instead of frame " << next;
            return false;
        }
        if (silent && next > 0 && gaps++ == 0) {
            firstGap = next;
        }
        silent = false;
        ++next;
    }
    testing::Test::RecordProperty("silent_gaps_within_the_ramp", static_cast<int>(gaps));
    if (gaps > 0) {
        std::printf("note: the speaker ran dry %zu times within the ramp, first before frame %zu\n",
                    gaps, firstGap);
    }
    EXPECT_EQ(next, frames) << "the end of the ramp never arrived";
    return next == frames;
}

// Polls, since a worker ends a moment after its sound does.
bool waitForWorkers(SoundPlayer& player, std::size_t n) {
    for (int i = 0; i < 200 && player.activeWorkers() != n; ++i) {
        std::this_thread::sleep_for(25ms);
    }
    return player.activeWorkers() == n;
}

class WinePlayer : public testing::Test {
  protected:
    void SetUp() override {
        m_monitor = std::make_unique<MonitorRecording>();
        ASSERT_TRUE(m_monitor->isOpen());
    }

    std::unique_ptr<MonitorRecording> m_monitor;
};

class WinePlayerRamp : public WinePlayer, public testing::WithParamInterface<std::size_t> {};

TEST_P(WinePlayerRamp, EverySampleReachesTheSpeakerFromThePlayersOwnCopy) {
    const std::size_t frames = GetParam();
    PlatformServices services;
    services.stopPlaying(); // with nothing playing: no effect on what follows

    auto bytes = std::make_unique<Bytes>(rampWav(frames));
    ASSERT_TRUE(services.playSound(*bytes, false));
    // The caller lets go of its bytes at once; scribbled over first, so that playing from them
    // would be heard.
    std::fill(bytes->begin(), bytes->end(), 0x5A);
    bytes.reset();

    const std::vector<StereoFrame> recorded = m_monitor->read(
        std::chrono::milliseconds(1000 * frames / MonitorRecording::kRate) + 2000ms);
    ASSERT_FALSE(recorded.empty());
    // Nothing but the ramp and silence: no second start, no stray bytes of the header.
    EXPECT_TRUE(soundsLikeTheRamp(recorded, frames));
}

// One second, and a tenth of one: a sound shorter than what the device queues ahead.
INSTANTIATE_TEST_SUITE_P(Lengths, WinePlayerRamp, testing::Values(44100u, 4410u));

struct StopCase {
    const char* name;
    std::chrono::milliseconds length;
    bool loop;
};

void PrintTo(const StopCase& c, std::ostream* out) {
    *out << c.name;
}

class WinePlayerStop : public WinePlayer, public testing::WithParamInterface<StopCase> {};

TEST_P(WinePlayerStop, StopPlayingSilencesTheSpeakerAndReleasesTheDevice) {
    const StopCase& c = GetParam();
    PlatformServices services;
    ASSERT_TRUE(services.playSound(toneWav(2, 44100, 16, c.length), c.loop));

    // Well past the end of a short looped sound: it must be playing again.
    std::this_thread::sleep_for(1000ms);
    MonitorRecording playing;
    const std::vector<StereoFrame> before = playing.read(500ms);
    EXPECT_GT(test::loudFrames(before), before.size() / 2) << "not playing before the stop";
    EXPECT_EQ(ServerStatus::count("sink-inputs"), 1);

    services.stopPlaying();
    ASSERT_TRUE(ServerStatus::waitFor("sink-inputs", 0)) << "the sound kept its device";
    MonitorRecording stopped;
    const std::vector<StereoFrame> after = stopped.read(500ms);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(test::loudFrames(after), 0u) << "still sounding after the stop";
}

INSTANTIATE_TEST_SUITE_P(Sounds, WinePlayerStop,
                         testing::Values(StopCase{"LongSoundOnce", 30000ms, false},
                                         StopCase{"ShortSoundLooped", 300ms, true}),
                         [](const testing::TestParamInfo<StopCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(WinePlayer, ASoundThatEndsReleasesTheDeviceAndItsWorker) {
    SoundPlayer player;
    ASSERT_TRUE(player.play(toneWav(2, 44100, 16, 500ms), false));
    EXPECT_TRUE(ServerStatus::waitFor("sink-inputs", 1)) << "the sound never took the device";
    EXPECT_TRUE(ServerStatus::waitFor("sink-inputs", 0)) << "the device is held after the end";
    EXPECT_TRUE(waitForWorkers(player, 0));
}

TEST_F(WinePlayer, StopAllAndWaitReturnsWithNoWorkerLeft) {
    SoundPlayer player;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(player.play(toneWav(2, 44100, 16, 500ms), true));
    }
    ASSERT_TRUE(ServerStatus::waitFor("sink-inputs", 3)) << "three sounds play side by side";
    EXPECT_EQ(player.activeWorkers(), 3u);

    player.stopAllAndWait();

    EXPECT_EQ(player.activeWorkers(), 0u);
    EXPECT_TRUE(ServerStatus::waitFor("sink-inputs", 0));
}

struct FormatCase {
    int channels;
    int rate;
    int bits;
};

void PrintTo(const FormatCase& c, std::ostream* out) {
    *out << c.channels << " channels, " << c.rate << " Hz, " << c.bits << " bits";
}

class WinePlayerFormat : public WinePlayer, public testing::WithParamInterface<FormatCase> {};

TEST_P(WinePlayerFormat, EveryRecordingFormatIsHeard) {
    const FormatCase& c = GetParam();
    PlatformServices services;
    ASSERT_TRUE(services.playSound(toneWav(c.channels, c.rate, c.bits, 500ms), false));

    const std::vector<StereoFrame> recorded = m_monitor->read(1500ms);
    // About a third of the recording holds the half-second tone.
    EXPECT_GT(test::loudFrames(recorded), recorded.size() / 5);
}

INSTANTIATE_TEST_SUITE_P(Formats, WinePlayerFormat,
                         testing::Values(FormatCase{1, 8000, 8}, FormatCase{2, 11025, 8},
                                         FormatCase{1, 22050, 16}, FormatCase{2, 44100, 16}),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                             return std::to_string(info.param.channels) + "ch" +
                                    std::to_string(info.param.rate) + "Hz" +
                                    std::to_string(info.param.bits) + "bit";
                         });

} // namespace
} // namespace dd
