// What a take must survive, against a private PulseAudio server fed the ramp: a recorder killed
// mid-take (its spool is a WAV of all but the last second), a live recorder's spool (never
// touched), a take longer than one WAV file (parts), saves that rename instead of copying, saves
// that fail (told, and no half-written file), and a disk that fills up (told while a stop still
// has room; the spool stays a WAV).
#include "platform/recorder/capture.h"
#include "platform/recorder/sound_recorder.h"
#include "platform/recorder/spool_recovery.h"
#include "tests/support/private_pulse.h"
#include "tests/support/ramp.h"
#include "tests/support/small_disk.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_file.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace dd {
namespace {

constexpr std::uint64_t kSecond = 44100; // frames of the ramp
constexpr std::uint32_t kFrameBytes = 4;
constexpr const char* kSpool = "录音.wav.part";

bool waitFor(const std::function<bool()>& done, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string systemText(int code) {
    return std::error_code(code, std::generic_category()).message();
}

// A complete WAV: both sizes agree with the file's length.
void expectCompleteWav(const test::WavFile& wav, const std::string& what) {
    EXPECT_EQ(wav.riffSize + 8u, wav.fileSize) << what;
    EXPECT_EQ(wav.dataSize + 44u, wav.fileSize) << what;
    EXPECT_EQ(wav.dataSize % kFrameBytes, 0u) << what;
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class DurableRecording : public ::testing::Test {
  protected:
    void SetUp() override {
        m_pulse = test::PrivatePulse::start(test::PulseOptions{true, "ramp"});
        ASSERT_TRUE(m_pulse);
        // Held open for the whole test, so the pipe source never sees its writer go away.
        m_ramp = std::make_unique<test::RampWriter>(m_pulse->fifoPath());
        ASSERT_TRUE(m_ramp->isOpen());
    }

    std::string file(const std::string& name) const { return m_dir.file(name); }

    std::unique_ptr<SoundRecorder> recorder(const std::string& spool, RecorderLimits limits = {}) {
        auto made = std::make_unique<SoundRecorder>(spool, makeCaptureBackend(), limits);
        EXPECT_TRUE(made->setFormat(2, 44100, 16)); // the ramp's own format: no conversion
        return made;
    }

    // Writes frames [from, to) and returns once the pipe source has read them all.
    void feed(std::uint64_t from, std::uint64_t to) {
        ASSERT_TRUE(m_ramp->write(from, to)) << "the pipe source stopped reading";
        ASSERT_TRUE(m_ramp->waitUntilConsumed()) << "the pipe source stopped reading";
    }

    // Frames [from, to) at the pace of a device: 10 ms every 10 ms.
    void feedAtDevicePace(std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t at = from; at < to; at += kSecond / 100) {
            ASSERT_TRUE(m_ramp->write(at, std::min(at + kSecond / 100, to)));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::vector<std::uint8_t> samplesOf(const std::string& path) {
        const auto wav = test::readWav(path);
        if (!wav) {
            ADD_FAILURE() << "no WAV file at " << path;
            return {};
        }
        expectCompleteWav(*wav, path);
        return wav->samples;
    }

    test::TempDir m_dir;
    std::unique_ptr<test::PrivatePulse> m_pulse;
    std::unique_ptr<test::RampWriter> m_ramp;
};

// The child records the ramp into its spool; the test kills it with SIGKILL, as a crash would
// end it, while the ramp flows, then recovers the spool.
TEST_F(DurableRecording, KilledRecorderLeavesAllButTheLastSecondAndALiveOnesSpoolIsLeftAlone) {
    const std::string spool = file(kSpool);
    auto child = test::Subprocess::start({DD_RECORDER_CHILD, spool}, {}, file("child.log"));
    ASSERT_TRUE(child);
    ASSERT_TRUE(m_pulse->waitForSourceOutputs(1)) << test::readTextFile(file("child.log"));
    feed(0, 2 * kSecond);
    // At rest, the header catches up with the audio within about a second.
    ASSERT_TRUE(waitFor(
        [&] {
            const auto wav = test::readWav(spool);
            return wav && wav->dataSize == 2 * kSecond * kFrameBytes &&
                   wav->fileSize == wav->dataSize + 44;
        },
        std::chrono::seconds(10)))
        << "the spool on disk never described the audio";

    // A live recorder's spool: recovery passes it by, and another recorder cannot take it.
    const auto before = test::readFileBytes(spool);
    const SpoolRecovery whileAlive = recoverAbandonedSpools(spool);
    EXPECT_TRUE(whileAlive.recordings.empty());
    EXPECT_TRUE(whileAlive.errors.empty());
    auto second = recorder(spool);
    EXPECT_FALSE(second->start());
    EXPECT_FALSE(second->lastError().empty());
    second.reset();
    EXPECT_EQ(test::readFileBytes(spool), before);
    EXPECT_TRUE(std::filesystem::exists(spool));
    EXPECT_EQ(m_pulse->sourceOutputCount(), 1) << "the refused recorder must not capture";

    const std::time_t feedingFrom = std::time(nullptr);
    const std::uint64_t fed = 2 * kSecond + 5 * kSecond / 2;
    feedAtDevicePace(2 * kSecond, fed);
    ASSERT_TRUE(child->kill(SIGKILL));
    ASSERT_TRUE(child->waitForExit(std::chrono::seconds(10)));

    const SpoolRecovery recovery = recoverAbandonedSpools(spool);
    EXPECT_TRUE(recovery.errors.empty());
    ASSERT_EQ(recovery.recordings.size(), 1u);
    const RecordingFile& recovered = recovery.recordings[0];
    EXPECT_FALSE(std::filesystem::exists(spool)) << "the name must be free for the next take";
    const auto runs = test::rampRuns(samplesOf(recovered.path));
    ASSERT_EQ(runs.size(), 1u) << "a prefix of the ramp with no gap";
    EXPECT_EQ(runs[0].first, 0u);
    EXPECT_GE(runs[0].length, 2 * kSecond) << "what was on disk before the kill stays";
    EXPECT_LE(runs[0].length, fed);
    // Flushed every second, plus a fragment in the server and the FIFO: well under two.
    const double lost = static_cast<double>(fed - runs[0].length) / kSecond;
    RecordProperty("seconds_lost", std::to_string(lost));
    std::printf("seconds lost after kill -9: %.3f of %.3f fed\n", lost,
                static_cast<double>(fed) / kSecond);
    EXPECT_LE(lost, 2.0);

    struct stat status {};
    ASSERT_EQ(stat(recovered.path.c_str(), &status), 0);
    EXPECT_EQ(recovered.lastWritten, status.st_mtime);
    EXPECT_GE(recovered.lastWritten, feedingFrom);
    EXPECT_LE(recovered.lastWritten, std::time(nullptr));
}

// The application recovers at start-up, but a start must never empty a spool it did not write.
TEST_F(DurableRecording, StartHandsOverWhatADeadRecorderLeftInTheSpool) {
    const std::string spool = file(kSpool);
    {
        // Header never updated, then the ramp's first 1000 frames: what a killed recorder leaves.
        auto left = recorder(file("left.wav.part"));
        ASSERT_TRUE(left->start());
        feed(0, 1000);
        ASSERT_TRUE(left->save(file("left.wav"), true));
        auto bytes = test::readFileBytes(file("left.wav"));
        ASSERT_TRUE(bytes);
        std::fill(bytes->begin() + 4, bytes->begin() + 8, 0);
        std::fill(bytes->begin() + 40, bytes->begin() + 44, 0);
        std::ofstream out(spool, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes->data()),
                  static_cast<std::streamsize>(bytes->size()));
    }
    auto take = recorder(spool);
    ASSERT_TRUE(take->start());
    const auto handed = take->takeFinishedParts();
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(test::rampRuns(samplesOf(handed[0].path)), test::expectedRampRuns({{0, 1000}}));
    feed(1000, 2000);
    ASSERT_TRUE(take->save(file("take.wav"), true));
    EXPECT_EQ(test::rampRuns(samplesOf(file("take.wav"))), test::expectedRampRuns({{1000, 2000}}));
}

// A limit of 50001 bytes holds 12500 whole frames; the server's blocks do not divide it, so the
// switch falls inside blocks.
TEST_F(DurableRecording, PartsAtTheSizeLimitAndTheLastSaveAreTheRampFrameForFrame) {
    constexpr std::uint32_t kPartBytes = 50000;
    auto take = recorder(file(kSpool), RecorderLimits{kPartBytes + 1});
    std::atomic<int> notified{0};
    take->setNotifier([&notified] { notified.fetch_add(1); });
    ASSERT_TRUE(take->start());
    for (std::uint64_t at = 0; at < 2 * kSecond; at += kSecond / 4) {
        feed(at, at + kSecond / 4);
    }
    EXPECT_TRUE(take->stop());

    const auto parts = take->takeFinishedParts();
    const std::uint64_t totalBytes = 2 * kSecond * kFrameBytes;
    ASSERT_EQ(parts.size(), totalBytes / kPartBytes);
    EXPECT_GE(notified.load(), static_cast<int>(parts.size()));
    std::vector<std::uint8_t> joined;
    for (const RecordingFile& part : parts) {
        const auto wav = test::readWav(part.path);
        ASSERT_TRUE(wav) << part.path;
        expectCompleteWav(*wav, part.path);
        EXPECT_EQ(wav->dataSize, kPartBytes) << part.path;
        EXPECT_EQ(wav->channels, 2u);
        EXPECT_NE(part.lastWritten, 0);
        joined.insert(joined.end(), wav->samples.begin(), wav->samples.end());
    }
    EXPECT_TRUE(take->takeFinishedParts().empty()) << "each part is handed over once";

    ASSERT_TRUE(take->saveByMove(file("last.wav"), true));
    const auto last = samplesOf(file("last.wav"));
    EXPECT_EQ(last.size(), totalBytes % kPartBytes);
    joined.insert(joined.end(), last.begin(), last.end());
    EXPECT_EQ(test::rampRuns(joined), test::expectedRampRuns({{0, 2 * kSecond}}));
    EXPECT_EQ(take->droppedBytes(), 0u);
}

TEST_F(DurableRecording, SaveByMoveRenamesTheSpoolAndLaterSavesCopyFromIt) {
    const std::string spool = file(kSpool);
    auto take = recorder(spool);
    ASSERT_TRUE(take->start());
    feed(0, kSecond);
    ASSERT_TRUE(take->saveByMove(file("stamped.wav"), true)); // ends the capture, like save
    EXPECT_FALSE(std::filesystem::exists(spool)) << "moved, not copied";
    EXPECT_EQ(m_pulse->sourceOutputCount(), 0);
    ASSERT_TRUE(take->save(file("录音.wav"), true));
    // A second move copies: the stamped file is the user's now.
    ASSERT_TRUE(take->saveByMove(file("again.wav"), true));

    const auto stamped = test::readFileBytes(file("stamped.wav"));
    ASSERT_TRUE(stamped);
    EXPECT_TRUE(test::readFileBytes(file("录音.wav")) == stamped);
    EXPECT_TRUE(test::readFileBytes(file("again.wav")) == stamped);
    EXPECT_EQ(test::rampRuns(samplesOf(file("stamped.wav"))),
              test::expectedRampRuns({{0, kSecond}}));

    // A new take, and the recorder going, leave the moved file alone.
    ASSERT_TRUE(take->start());
    feed(kSecond, 2 * kSecond);
    take.reset();
    EXPECT_TRUE(test::readFileBytes(file("stamped.wav")) == stamped);
    EXPECT_FALSE(std::filesystem::exists(spool));
}

struct SaveMethod {
    const char* name;
    bool (Recorder::*save)(const std::string&, bool);
};

TEST_F(DurableRecording, ASaveThatCannotBeWrittenSaysWhyAndLeavesNoFile) {
    // Root ignores permission bits, but nobody can make a file under a regular file.
    ASSERT_TRUE(test::writeTextFile(file("plain"), "a file, not a folder"));
    auto take = recorder(file(kSpool));
    ASSERT_TRUE(take->start());
    feed(0, kSecond / 2);
    const auto namesBefore = namesIn(m_dir.path());

    const SaveMethod methods[] = {{"save", &Recorder::save}, {"saveByMove", &Recorder::saveByMove}};
    for (const SaveMethod& method : methods) {
        EXPECT_FALSE(((*take).*method.save)(file("plain/take.wav"), true)) << method.name;
        EXPECT_EQ(take->lastError(), systemText(ENOTDIR)) << method.name;
        EXPECT_EQ(namesIn(m_dir.path()), namesBefore)
            << method.name << ": no file, temporary or not";
        EXPECT_EQ(test::readTextFile(file("plain")), "a file, not a folder");
    }
    // The recording is still whole.
    ASSERT_TRUE(take->save(file("take.wav"), true));
    EXPECT_EQ(test::rampRuns(samplesOf(file("take.wav"))),
              test::expectedRampRuns({{0, kSecond / 2}}));
}

struct FullDiskCase {
    const char* name;
    bool stopAtTheAlarm; // as the application does; otherwise recording goes on until the disk
                         // refuses
};

void PrintTo(const FullDiskCase& c, std::ostream* out) {
    *out << c.name;
}

class FullDisk : public DurableRecording, public ::testing::WithParamInterface<FullDiskCase> {};

// A 2 MiB disk with a 768 KiB margin: the alarm comes at about 0.7 MB of recording, where a
// stop can still rename the spool and write one copy.
TEST_P(FullDisk, TheAlarmComesWhileAStopHasRoomAndTheSpoolStaysAWav) {
    constexpr std::uint64_t kDiskBytes = 2 * 1024 * 1024;
    test::SmallDisk disk(kDiskBytes);
    ASSERT_TRUE(disk.mounted());
    const std::string spool = disk.file(kSpool);
    ASSERT_TRUE(test::writeTextFile(disk.file("录音.wav"), "the previous take"));
    auto take = recorder(spool, RecorderLimits{0, 768 * 1024});
    ASSERT_TRUE(take->start());

    std::uint64_t fed = 0;
    while (!take->lowOnSpace() && fed < 20 * kSecond) {
        feed(fed, fed + kSecond / 4);
        fed += kSecond / 4;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    ASSERT_TRUE(take->lowOnSpace()) << "no alarm after " << fed / kSecond << " s";
    EXPECT_EQ(take->droppedBytes(), 0u) << "the alarm must come before the disk refuses audio";
    EXPECT_FALSE(take->lastError().empty());
    const auto atAlarm = test::readWav(spool);
    ASSERT_TRUE(atAlarm);
    expectCompleteWav(*atAlarm, "the spool at the alarm");

    if (GetParam().stopAtTheAlarm) {
        EXPECT_TRUE(take->stop());
        ASSERT_TRUE(take->saveByMove(disk.file("stamped.wav"), true)) << take->lastError();
        ASSERT_TRUE(take->save(disk.file("录音.wav"), true)) << take->lastError();
        EXPECT_EQ(test::rampRuns(samplesOf(disk.file("stamped.wav"))),
                  test::expectedRampRuns({{0, fed}}));
        EXPECT_TRUE(test::readFileBytes(disk.file("录音.wav")) ==
                    test::readFileBytes(disk.file("stamped.wav")));
        return;
    }

    // Ignored, the alarm is followed by a disk that refuses audio: 10 s more (1.8 MB) is more
    // than the disk has left, and less than the queue holds.
    feed(fed, fed + 10 * kSecond);
    ASSERT_TRUE(waitFor([&] { return take->droppedBytes() > 0; }, std::chrono::seconds(10)))
        << "the disk never filled";
    EXPECT_EQ(take->lastError(), systemText(ENOSPC));
    const auto spooled = samplesOf(spool);
    const auto runs = test::rampRuns(spooled);
    ASSERT_EQ(runs.size(), 1u) << "the spool holds a prefix of the ramp with no gap";
    EXPECT_EQ(runs[0].first, 0u);
    EXPECT_GE(spooled.size(), atAlarm->dataSize);

    EXPECT_TRUE(take->stop());
    EXPECT_EQ(spooled.size() + take->droppedBytes(), (fed + 10 * kSecond) * kFrameBytes)
        << "every frame is either kept or counted as lost";
    // The rename needs no room; the copy cannot be made, and says so without leaving any part
    // of itself or touching the previous working file.
    ASSERT_TRUE(take->saveByMove(disk.file("stamped.wav"), true)) << take->lastError();
    EXPECT_TRUE(samplesOf(disk.file("stamped.wav")) == spooled);
    EXPECT_FALSE(take->save(disk.file("录音.wav"), true));
    EXPECT_EQ(take->lastError(), systemText(ENOSPC));
    EXPECT_EQ(test::readTextFile(disk.file("录音.wav")), "the previous take");
    EXPECT_EQ(namesIn(disk.path()), (std::vector<std::string>{"stamped.wav", "录音.wav"}));
}

INSTANTIATE_TEST_SUITE_P(Recorder, FullDisk,
                         ::testing::Values(FullDiskCase{"StopAtTheAlarm", true},
                                           FullDiskCase{"RecordOnUntilTheDiskRefuses", false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace dd
