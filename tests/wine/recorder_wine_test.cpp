// The recorder with its winmm backend, under Wine, against the runner's private PulseAudio
// server, whose default source is the pipe source "ramp": what comes back is checked frame by
// frame, so a missing, doubled or stray frame shows. Every file lives in a folder whose name
// holds characters outside the ANSI code page, so a narrow file call anywhere on the way
// breaks the test.
#include "platform/recorder/capture.h"
#include "platform/recorder/sound_recorder.h"
#include "tests/support/ramp.h"
#include "tests/wine/wine_run.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dd {
namespace {

constexpr std::uint64_t kSecond = 44100; // frames of the ramp
// Wine passes captured audio on in whole 10 ms periods (441 frames): a take whose length is not
// a multiple of that leaves its last part inside Wine until more audio comes, which after the
// last write never does. Every stretch written here is a whole number of periods.
constexpr std::uint64_t kHalfSecond = kSecond / 2;

std::uint32_t field(const std::vector<std::uint8_t>& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    }
    return value;
}

class WineRecording : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string run = test::runFolder();
        ASSERT_FALSE(run.empty());
        m_folder = run + "\\测试 é ü ß ☃\\" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(test::makeFolder(m_folder)) << m_folder;
        m_ramp = std::make_unique<test::PacedRamp>();
        ASSERT_TRUE(m_ramp->isOpen());
        m_recorder = std::make_unique<SoundRecorder>(file("录音.wav.part"), makeCaptureBackend());
        ASSERT_TRUE(m_recorder->setFormat(2, 44100, 16)); // the ramp's own format
    }

    std::string file(const std::string& name) const { return m_folder + "\\" + name; }

    void feed(std::uint64_t from, std::uint64_t to) {
        ASSERT_TRUE(m_ramp->write(from, to)) << "the ramp's FIFO stopped taking frames";
    }

    // Saves the recording under name, checks the header describes the samples as 16-bit
    // stereo at 44100 Hz, and returns the samples.
    std::vector<std::uint8_t> saved(const std::string& name) {
        EXPECT_TRUE(m_recorder->save(file(name), true));
        const auto bytes = test::readBytes(file(name));
        if (!bytes || bytes->size() < 44) {
            ADD_FAILURE() << "no WAV file written at " << file(name);
            return {};
        }
        const std::vector<std::uint8_t>& b = *bytes;
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
        EXPECT_EQ(field(b, 4, 4), b.size() - 8);
        EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
        EXPECT_EQ(field(b, 22, 2), 2u);
        EXPECT_EQ(field(b, 24, 4), 44100u);
        EXPECT_EQ(field(b, 34, 2), 16u);
        EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
        EXPECT_EQ(field(b, 40, 4), b.size() - 44);
        return std::vector<std::uint8_t>(b.begin() + 44, b.end());
    }

    std::string m_folder;
    std::unique_ptr<test::PacedRamp> m_ramp;
    std::unique_ptr<SoundRecorder> m_recorder;
};

// Stop comes the moment the last frame is in the FIFO: the tail is still on its way through
// the server and Wine then, and must be waited for.
TEST_F(WineRecording, TakeComesBackFrameForFrameUpToTheStop) {
    ASSERT_TRUE(m_recorder->start());
    EXPECT_TRUE(test::ServerStatus::waitFor("source-outputs", 1)) << "no stream on the server";
    EXPECT_TRUE(test::exists(file("录音.wav.part"))) << "the spool is missing";
    feed(0, 6 * kHalfSecond);
    EXPECT_TRUE(m_recorder->stop());

    const auto samples = saved("录音.wav");
    EXPECT_EQ(test::rampRuns(samples), test::expectedRampRuns({{0, 6 * kHalfSecond}}));
    EXPECT_EQ(test::rampFramesWithUnequalChannels(samples), 0u);
    EXPECT_EQ(m_recorder->droppedBytes(), 0u);
}

// Pause and continue return once the device has done them: frames written after either call
// are on the right side of it. The runner's own reader on "ramp" takes the frames written
// during a pause.
TEST_F(WineRecording, PausedStretchesAreAbsentAndStopWhilePausedKeepsTheRest) {
    ASSERT_TRUE(m_recorder->start());
    constexpr std::uint64_t kCycles = 3;
    std::vector<test::RampRun> expected;
    for (std::uint64_t cycle = 0; cycle < kCycles; ++cycle) {
        const std::uint64_t kept = 2 * cycle * kHalfSecond;
        feed(kept, kept + kHalfSecond);
        ASSERT_TRUE(m_recorder->pause());
        feed(kept + kHalfSecond, kept + 2 * kHalfSecond);
        if (cycle + 1 < kCycles) {
            ASSERT_TRUE(m_recorder->resume());
        }
        expected.push_back({static_cast<std::uint16_t>(kept), kHalfSecond});
    }
    EXPECT_TRUE(m_recorder->stop()); // while paused

    const auto samples = saved("录音.wav");
    EXPECT_EQ(test::rampRuns(samples), expected);
    EXPECT_EQ(test::rampFramesWithUnequalChannels(samples), 0u);
}

TEST_F(WineRecording, SavesAreByteIdenticalAndReleaseTheDevice) {
    ASSERT_TRUE(m_recorder->start());
    feed(0, 2 * kHalfSecond);
    // Saving while capturing ends the capture, with everything captured so far.
    const auto first = saved("一.wav");
    EXPECT_EQ(test::rampRuns(first), test::expectedRampRuns({{0, 2 * kHalfSecond}}));
    EXPECT_TRUE(test::ServerStatus::waitFor("source-outputs", 0)) << "the device is still held";

    // With no device open these do nothing and succeed, and the recording stays.
    EXPECT_TRUE(m_recorder->pause());
    EXPECT_TRUE(m_recorder->resume());
    EXPECT_TRUE(m_recorder->stop());
    EXPECT_TRUE(m_recorder->save(file("二.wav"), true));
    EXPECT_TRUE(m_recorder->save(file("三 ☃.wav"), false));
    const auto firstBytes = test::readBytes(file("一.wav"));
    ASSERT_TRUE(firstBytes);
    EXPECT_TRUE(test::readBytes(file("二.wav")) == firstBytes);
    EXPECT_TRUE(test::readBytes(file("三 ☃.wav")) == firstBytes);

    // An existing file is left alone without the overwrite flag.
    ASSERT_TRUE(test::writeText(file("别人的.wav"), "someone else's file"));
    EXPECT_FALSE(m_recorder->save(file("别人的.wav"), false));
    EXPECT_EQ(test::readBytes(file("别人的.wav")),
              std::vector<std::uint8_t>({'s', 'o', 'm', 'e', 'o', 'n', 'e', ' ', 'e', 'l', 's', 'e',
                                         '\'', 's', ' ', 'f', 'i', 'l', 'e'}));
}

// A start while capturing ends that capture at once (the backend's close, which drops what is
// on its way) and opens the device again for a new, empty recording.
TEST_F(WineRecording, StartAgainDiscardsTheCaptureUnderWay) {
    ASSERT_TRUE(m_recorder->start());
    feed(0, kHalfSecond);
    ASSERT_TRUE(m_recorder->start());
    feed(2 * kHalfSecond, 4 * kHalfSecond);
    EXPECT_TRUE(m_recorder->stop());
    EXPECT_EQ(test::rampRuns(saved("录音.wav")),
              test::expectedRampRuns({{2 * kHalfSecond, 4 * kHalfSecond}}));
}

TEST_F(WineRecording, DestroyedWhileCapturingReleasesTheDeviceAndTheSpool) {
    ASSERT_TRUE(m_recorder->start());
    feed(0, kHalfSecond);
    ASSERT_TRUE(test::exists(file("录音.wav.part")));
    m_recorder.reset();
    EXPECT_FALSE(test::exists(file("录音.wav.part")));
    EXPECT_TRUE(test::ServerStatus::waitFor("source-outputs", 0)) << "the device is still held";
}

} // namespace
} // namespace dd
