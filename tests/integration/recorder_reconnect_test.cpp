// The recording device going away mid-take, against a private PulseAudio server fed the ramp:
// its module unloaded, or the whole server killed. Nothing captured is lost, nothing hangs, a
// stop while it is gone saves what there is, and when a default source is back the take goes
// on in the same recording.
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
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace dd {
namespace {

constexpr std::uint64_t kSecond = 44100; // frames of the ramp

struct Outage {
    const char* name;
    bool (*takeAway)(test::PrivatePulse& pulse);
    bool (*bringBack)(test::PrivatePulse& pulse);
    bool comesBack;       // otherwise the take is stopped while the device is gone
    bool pausedWhileGone; // paused meanwhile: the new stream must start paused
};

void PrintTo(const Outage& outage, std::ostream* out) {
    *out << outage.name;
}

bool unloadRamp(test::PrivatePulse& pulse) {
    return pulse.pactl("unload-module module-pipe-source") == 0;
}

bool reloadRamp(test::PrivatePulse& pulse) {
    return pulse.pactl("load-module module-pipe-source source_name=ramp file=" + pulse.fifoPath() +
                       " format=s16le rate=44100 channels=2") == 0 &&
           pulse.setDefaultSource("ramp");
}

bool killServer(test::PrivatePulse& pulse) {
    return pulse.kill();
}

bool restartServer(test::PrivatePulse& pulse) {
    return pulse.restart(); // same address, the ramp its default source from the start
}

class LostDevice : public ::testing::TestWithParam<Outage> {
  protected:
    void SetUp() override {
        m_pulse = test::PrivatePulse::start(test::PulseOptions{true, "ramp"});
        ASSERT_TRUE(m_pulse);
        // With nothing else to fall back on, the take must wait for the ramp to come back.
        ASSERT_EQ(m_pulse->pactl("unload-module module-sine-source"), 0);
        ASSERT_EQ(m_pulse->pactl("unload-module module-null-sink"), 0);
        m_recorder =
            std::make_unique<SoundRecorder>(m_dir.file("录音.wav.part"), makeCaptureBackend());
        ASSERT_TRUE(m_recorder->setFormat(2, 44100, 16));
    }

    // Writes frames [from, to) into the pipe source now loaded and returns once it has read
    // them. A fresh writer each time: an unloaded pipe source takes its FIFO with it.
    void feed(std::uint64_t from, std::uint64_t to) {
        test::RampWriter ramp(m_pulse->fifoPath());
        ASSERT_TRUE(ramp.isOpen());
        ASSERT_TRUE(ramp.write(from, to)) << "the pipe source stopped reading";
        ASSERT_TRUE(ramp.waitUntilConsumed()) << "the pipe source stopped reading";
    }

    test::TempDir m_dir;
    std::unique_ptr<test::PrivatePulse> m_pulse;
    std::unique_ptr<SoundRecorder> m_recorder;
};

TEST_P(LostDevice, KeepsWhatWasCapturedAndGoesOnWhenTheDeviceIsBack) {
    const Outage outage = GetParam();
    const std::string spool = m_dir.file("录音.wav.part");
    ASSERT_TRUE(m_recorder->start());
    feed(0, kSecond);
    // The server drops what it holds for a stream whose device goes: wait until the first
    // second has reached the spool, so the outage cannot take it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const auto wav = test::readWav(spool);
        if (wav && wav->dataSize >= kSecond * 4) {
            break;
        }
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the first second never arrived";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    ASSERT_TRUE(outage.takeAway(*m_pulse));
    // Long enough for at least one attempt to reconnect to fail.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));

    std::vector<test::RampRun> expected = test::expectedRampRuns({{0, kSecond}});
    std::unique_ptr<test::Subprocess> reader;
    if (outage.pausedWhileGone) {
        EXPECT_TRUE(m_recorder->pause());
    }
    if (outage.comesBack) {
        ASSERT_TRUE(outage.bringBack(*m_pulse));
        ASSERT_TRUE(m_pulse->waitForSourceOutputs(1)) << "the recorder did not reconnect";
        if (outage.pausedWhileGone) {
            // A second reader keeps the pipe source reading while the recorder is paused, so
            // what is written now would reach a stream that is not paused.
            reader = test::Subprocess::start({"parecord", "-d", "ramp", "--raw", "/dev/null"});
            ASSERT_TRUE(reader);
            ASSERT_TRUE(m_pulse->waitForSourceOutputs(2));
            feed(2 * kSecond, 3 * kSecond); // only the second reader takes these
            EXPECT_TRUE(m_recorder->resume());
            feed(4 * kSecond, 5 * kSecond);
            expected = test::expectedRampRuns({{0, kSecond}, {4 * kSecond, 5 * kSecond}});
        } else {
            feed(2 * kSecond, 3 * kSecond);
            expected = test::expectedRampRuns({{0, kSecond}, {2 * kSecond, 3 * kSecond}});
        }
    }
    m_recorder->stop();
    ASSERT_TRUE(m_recorder->save(m_dir.file("take.wav"), true)) << m_recorder->lastError();
    const auto wav = test::readWav(m_dir.file("take.wav"));
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->dataSize + 44u, wav->fileSize);
    EXPECT_EQ(test::rampRuns(wav->samples), expected);
    EXPECT_EQ(test::rampFramesWithUnequalChannels(wav->samples), 0u);
    EXPECT_EQ(m_recorder->droppedBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Recorder, LostDevice,
    ::testing::Values(Outage{"SourceUnloadedAndReloaded", unloadRamp, reloadRamp, true, false},
                      Outage{"SourceUnloadedThenStopped", unloadRamp, reloadRamp, false, false},
                      Outage{"SourceUnloadedWhilePausedAndReloaded", unloadRamp, reloadRamp, true,
                             true},
                      Outage{"ServerKilledAndRestarted", killServer, restartServer, true, false},
                      Outage{"ServerKilledThenStopped", killServer, restartServer, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace dd
