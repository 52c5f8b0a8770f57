// The recorder against a private PulseAudio server, fed the ramp through the pipe source "ramp":
// what comes back is checked frame by frame, so a missing, doubled or stray frame shows.
#include "platform/recorder/capture.h"
#include "platform/recorder/sound_recorder.h"
#include "tests/support/private_pulse.h"
#include "tests/support/ramp.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace dd {
namespace {

constexpr std::uint64_t kSecond = 44100; // frames of the ramp

class RampRecording : public ::testing::Test {
  protected:
    void SetUp() override {
        m_pulse = test::PrivatePulse::start();
        ASSERT_TRUE(m_pulse);
        ASSERT_TRUE(m_pulse->setDefaultSource("ramp"));
        // Held open for the whole test, so the pipe source never sees its writer go away.
        m_ramp = std::make_unique<test::RampWriter>(m_pulse->fifoPath());
        ASSERT_TRUE(m_ramp->isOpen());
        m_recorder = std::make_unique<SoundRecorder>(file("录音.wav.part"), makeCaptureBackend());
        ASSERT_TRUE(m_recorder->setFormat(2, 44100, 16)); // the ramp's own format: no conversion
    }

    std::string file(const std::string& name) const { return m_pulse->runtimeDir() + "/" + name; }

    // Writes frames [from, to) and returns once the pipe source has read them all, so they
    // have been captured before whatever the test does next.
    void feed(std::uint64_t from, std::uint64_t to) {
        ASSERT_TRUE(m_ramp->write(from, to)) << "the pipe source stopped reading";
        ASSERT_TRUE(m_ramp->waitUntilConsumed()) << "the pipe source stopped reading";
    }

    // Saves the recording under name and returns its samples.
    std::vector<std::uint8_t> saved(const std::string& name) {
        EXPECT_TRUE(m_recorder->save(file(name), true));
        const auto wav = test::readWav(file(name));
        if (!wav) {
            ADD_FAILURE() << "no WAV file written at " << file(name);
            return {};
        }
        EXPECT_EQ(wav->dataSize, wav->samples.size());
        return wav->samples;
    }

    // Destroyed in reverse: the recorder goes before the server it talks to.
    std::unique_ptr<test::PrivatePulse> m_pulse;
    std::unique_ptr<test::RampWriter> m_ramp;
    std::unique_ptr<SoundRecorder> m_recorder;
};

struct RampTake {
    const char* name;
    std::uint64_t frames;
    std::uint64_t framesPerWrite;
    bool paced; // one write per 10 ms, like a device; otherwise as fast as the pipe takes it
};

void PrintTo(const RampTake& take, std::ostream* out) {
    *out << take.name;
}

class RampTakes : public RampRecording, public ::testing::WithParamInterface<RampTake> {};

// Stop comes as soon as the pipe source has read the last frame: the tail is still on its
// way through the server then, and must be waited for.
TEST_P(RampTakes, ComeBackFrameForFrameUpToTheStop) {
    const RampTake take = GetParam();
    ASSERT_TRUE(m_recorder->start());
    for (std::uint64_t at = 0; at < take.frames; at += take.framesPerWrite) {
        ASSERT_TRUE(m_ramp->write(at, std::min(at + take.framesPerWrite, take.frames)));
        if (take.paced) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ASSERT_TRUE(m_ramp->waitUntilConsumed());
    EXPECT_TRUE(m_recorder->stop());

    const auto samples = saved("take.wav");
    EXPECT_EQ(test::rampRuns(samples), test::expectedRampRuns({{0, take.frames}}));
    EXPECT_EQ(test::rampFramesWithUnequalChannels(samples), 0u);
    EXPECT_EQ(m_recorder->droppedBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Recorder, RampTakes,
    ::testing::Values(RampTake{"ThreeSecondsAtDevicePace", 3 * kSecond, kSecond / 100, true},
                      RampTake{"TenSecondsInOneBurst", 10 * kSecond, 10 * kSecond, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A short take stopped the moment the source has read it is mostly still on its way through
// the server: only a stop that drains keeps it. The race is narrow, so it is run many times.
TEST_F(RampRecording, ShortTakesStoppedAtOnceKeepEveryFrame) {
    constexpr std::uint64_t kTakeFrames = 100;
    for (std::uint64_t take = 0; take < 30; ++take) {
        const std::uint64_t first = take * kTakeFrames;
        ASSERT_TRUE(m_recorder->start());
        feed(first, first + kTakeFrames);
        EXPECT_TRUE(m_recorder->stop());
        EXPECT_EQ(test::rampRuns(saved("take.wav")),
                  test::expectedRampRuns({{first, first + kTakeFrames}}))
            << "take " << take;
    }
}

// Pause and continue return once the server has done them: frames written after either call
// are on the right side of it. Many short cycles, so a call that returns early shows.
TEST_F(RampRecording, PausedStretchesAreAbsentAndStopWhilePausedKeepsTheRest) {
    ASSERT_TRUE(m_recorder->start());
    // A second reader keeps the pipe source reading while the recorder is paused; otherwise
    // the frames written during a pause would wait in the FIFO and arrive after continue.
    const auto reader = test::Subprocess::start({"parecord", "-d", "ramp", "--raw", "/dev/null"});
    ASSERT_TRUE(reader);
    ASSERT_TRUE(m_pulse->waitForSourceOutputs(2));

    constexpr std::uint64_t kStretch = 1000;
    constexpr std::uint64_t kCycles = 20;
    std::vector<test::RampRun> expected;
    for (std::uint64_t cycle = 0; cycle < kCycles; ++cycle) {
        const std::uint64_t kept = 2 * cycle * kStretch;
        feed(kept, kept + kStretch);
        ASSERT_TRUE(m_recorder->pause());
        feed(kept + kStretch, kept + 2 * kStretch); // only the second reader takes these
        if (cycle + 1 < kCycles) {
            ASSERT_TRUE(m_recorder->resume());
        }
        expected.push_back({static_cast<std::uint16_t>(kept), kStretch});
    }
    EXPECT_TRUE(m_recorder->stop()); // while paused

    const auto samples = saved("take.wav");
    EXPECT_EQ(test::rampRuns(samples), expected);
    EXPECT_EQ(test::rampFramesWithUnequalChannels(samples), 0u);
}

TEST_F(RampRecording, SavesAreByteIdenticalAndReleaseTheDevice) {
    ASSERT_TRUE(m_recorder->start());
    feed(0, kSecond / 2);
    // Saving while capturing ends the capture, with everything captured so far.
    const auto first = saved("first.wav");
    EXPECT_EQ(test::rampRuns(first), test::expectedRampRuns({{0, kSecond / 2}}));
    EXPECT_EQ(m_pulse->sourceOutputCount(), 0) << "the device must be released";

    // With no device open these do nothing and succeed, and the recording stays.
    EXPECT_TRUE(m_recorder->pause());
    EXPECT_TRUE(m_recorder->resume());
    EXPECT_TRUE(m_recorder->stop());
    EXPECT_TRUE(m_recorder->save(file("second.wav"), true));
    EXPECT_TRUE(m_recorder->save(file("third.wav"), false));
    const auto firstBytes = test::readFileBytes(file("first.wav"));
    ASSERT_TRUE(firstBytes);
    EXPECT_TRUE(test::readFileBytes(file("second.wav")) == firstBytes);
    EXPECT_TRUE(test::readFileBytes(file("third.wav")) == firstBytes);
}

TEST_F(RampRecording, SaveWithoutOverwriteLeavesAnExistingFileAndCaptureGoesOn) {
    ASSERT_TRUE(test::writeTextFile(file("existing.wav"), "someone else's file"));
    ASSERT_TRUE(m_recorder->start());
    feed(0, kSecond / 2);
    EXPECT_FALSE(m_recorder->save(file("existing.wav"), false));
    EXPECT_EQ(test::readTextFile(file("existing.wav")), "someone else's file");
    EXPECT_EQ(m_pulse->sourceOutputCount(), 1) << "the refused save must not end the capture";

    feed(kSecond / 2, kSecond);
    const auto samples = saved("existing.wav"); // overwrite: replaces it
    EXPECT_EQ(test::rampRuns(samples), test::expectedRampRuns({{0, kSecond}}));
}

TEST_F(RampRecording, StartDiscardsThePreviousRecording) {
    ASSERT_TRUE(m_recorder->start());
    feed(0, kSecond / 2);
    ASSERT_TRUE(m_recorder->stop());
    ASSERT_TRUE(m_recorder->start());
    feed(kSecond, 2 * kSecond);
    // start again while capturing: ends that capture and discards it too
    ASSERT_TRUE(m_recorder->start());
    feed(3 * kSecond, 4 * kSecond);
    EXPECT_TRUE(m_recorder->stop());
    EXPECT_EQ(test::rampRuns(saved("take.wav")),
              test::expectedRampRuns({{3 * kSecond, 4 * kSecond}}));
    EXPECT_EQ(m_pulse->sourceOutputCount(), 0);
}

TEST_F(RampRecording, SpoolHoldsTheRecordingAsWavUntilTheRecorderGoes) {
    const std::string spool = file("录音.wav.part");
    ASSERT_TRUE(m_recorder->start());
    EXPECT_TRUE(std::filesystem::exists(spool));
    feed(0, kSecond);
    ASSERT_TRUE(m_recorder->stop());

    // After a stop the spool is the recording as a complete WAV, which a crash would leave.
    const auto samples = saved("take.wav");
    EXPECT_EQ(test::readFileBytes(spool), test::readFileBytes(file("take.wav")));
    EXPECT_EQ(test::rampRuns(samples), test::expectedRampRuns({{0, kSecond}}));

    // Destroyed while capturing: capture ends and the recording is gone.
    ASSERT_TRUE(m_recorder->start());
    feed(kSecond, 2 * kSecond);
    m_recorder.reset();
    EXPECT_FALSE(std::filesystem::exists(spool));
    EXPECT_EQ(m_pulse->sourceOutputCount(), 0);
}

TEST_F(RampRecording, StartFailsWhenTheSpoolCannotBeCreated) {
    ASSERT_TRUE(test::writeTextFile(file("plain"), "a file, not a directory"));
    SoundRecorder recorder(file("plain/录音.wav.part"), makeCaptureBackend());
    EXPECT_FALSE(recorder.start());
    EXPECT_EQ(m_pulse->sourceOutputCount(), 0) << "nothing may be captured";

    // What remains is an empty recording.
    EXPECT_TRUE(recorder.save(file("empty.wav"), true));
    const auto wav = test::readWav(file("empty.wav"));
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->dataSize, 0u);
    EXPECT_EQ(wav->fileSize, 44u);
}

} // namespace
} // namespace dd
