#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/services/bytes.h"
#include "platform/services/platform_services.h"
#include "platform/services/sound_player.h"
#include "player_monitor.h"
#include "tests/support/private_pulse.h"
#include "tests/support/temp_dir.h"

namespace dd {
namespace {

using namespace std::chrono_literals;
using test::MonitorCapture;
using test::StereoFrame;

// ---- Sounds ---------------------------------------------------------------------------------

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
    return wavImage(2, MonitorCapture::kRate, 16, samples);
}

// A 440 Hz tone at half scale in any of the recorder's formats.
Bytes toneWav(int channels, int rate, int bits, std::chrono::milliseconds length) {
    Bytes samples;
    const auto frames = static_cast<std::size_t>(rate * length.count() / 1000);
    for (std::size_t i = 0; i < frames; ++i) {
        const double value = 0.5 * std::sin(2 * M_PI * 440.0 * static_cast<double>(i) / rate);
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

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

// Where the whole ramp of `frames` frames appears in the recording, in order and unchanged;
// -1 when it does not.
long findRamp(const std::vector<StereoFrame>& recorded, std::size_t frames) {
    const auto first = std::find(recorded.begin(), recorded.end(), rampFrame(0));
    if (first == recorded.end() || static_cast<std::size_t>(recorded.end() - first) < frames) {
        return -1;
    }
    for (std::size_t i = 0; i < frames; ++i) {
        if (first[static_cast<std::ptrdiff_t>(i)] != rampFrame(i)) {
            ADD_FAILURE() << "frame " << i << " of the ramp differs";
            return -1;
        }
    }
    return first - recorded.begin();
}

// ---- The server -----------------------------------------------------------------------------

int threadsOfThisProcess() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Threads:", 0) == 0) {
            return std::stoi(line.substr(8));
        }
    }
    return -1;
}

// A fresh private server per test. The players live in the test bodies, so every sound has
// stopped before the server does.
class Player : public testing::Test {
  protected:
    void SetUp() override {
        m_server = test::PrivatePulse::start(false);
        ASSERT_NE(m_server, nullptr) << "the private sound server did not start";
        ASSERT_TRUE(speakerWithoutRewinds());
    }

    // When a stream joins, a null sink rewinds what it had rendered ahead and renders it again
    // with the new stream mixed in; its monitor has already passed on some of the first
    // rendering by then, so up to a few hundred milliseconds of the new sound never reach the
    // monitor. Loaded again with rewinds off, "speaker" passes every sample to its monitor.
    bool speakerWithoutRewinds() const {
        std::string modules;
        if (m_server->pactl("list short modules", &modules) != 0) {
            ADD_FAILURE() << modules;
            return false;
        }
        std::istringstream lines(modules);
        std::string id;
        for (std::string line; std::getline(lines, line);) {
            if (line.find("module-null-sink\tsink_name=speaker") != std::string::npos) {
                id = line.substr(0, line.find('\t'));
            }
        }
        std::string output;
        if (id.empty() || m_server->pactl("unload-module " + id, &output) != 0 ||
            m_server->pactl("load-module module-null-sink sink_name=speaker norewinds=1",
                            &output) != 0 ||
            m_server->pactl("set-default-sink speaker", &output) != 0) {
            ADD_FAILURE() << "cannot load the speaker again without rewinds: " << modules << output;
            return false;
        }
        return true;
    }

    std::unique_ptr<MonitorCapture> monitor() {
        std::string error;
        std::unique_ptr<MonitorCapture> capture = MonitorCapture::open(error);
        EXPECT_NE(capture, nullptr) << "cannot record speaker.monitor: " << error;
        return capture;
    }

    // The streams playing into the server: one per sound that holds the device.
    int sinkInputs() const {
        std::string listing;
        if (m_server->pactl("list short sink-inputs", &listing) != 0) {
            ADD_FAILURE() << "pactl failed";
            return -1;
        }
        std::istringstream lines(listing);
        int count = 0;
        for (std::string line; std::getline(lines, line);) {
            count += line.empty() ? 0 : 1;
        }
        return count;
    }

    // Polls, since the server learns of a closed stream a moment after the client closes it.
    bool waitForSinkInputs(int n) const {
        for (int i = 0; i < 200; ++i) {
            if (sinkInputs() == n) {
                return true;
            }
            std::this_thread::sleep_for(25ms);
        }
        return false;
    }

    std::unique_ptr<test::PrivatePulse> m_server;
};

// ---- Tests ----------------------------------------------------------------------------------

class PlayerRamp : public Player, public testing::WithParamInterface<std::size_t> {};

TEST_P(PlayerRamp, EverySampleReachesTheSpeakerFromThePlayersOwnCopy) {
    const std::size_t frames = GetParam();
    std::unique_ptr<MonitorCapture> capture = monitor();
    ASSERT_NE(capture, nullptr);
    PlatformServices services;

    auto bytes = std::make_unique<Bytes>(rampWav(frames));
    ASSERT_TRUE(services.playSound(*bytes, false));
    // The caller lets go of its bytes at once; scribbled over first, so that playing from them
    // would be heard even if the memory stayed mapped.
    std::fill(bytes->begin(), bytes->end(), 0x5A);
    bytes.reset();

    const std::vector<StereoFrame> recorded =
        capture->read(std::chrono::milliseconds(1000 * frames / MonitorCapture::kRate) + 1500ms);
    ASSERT_FALSE(recorded.empty());
    EXPECT_GE(findRamp(recorded, frames), 0) << "the ramp did not arrive whole";
    // Nothing but the ramp and silence: no second start, no stray bytes of the header.
    EXPECT_EQ(test::loudFrames(recorded), frames);
}

// One second, and a tenth of one: a sound no longer than what the server buffers ahead.
INSTANTIATE_TEST_SUITE_P(Lengths, PlayerRamp, testing::Values(44100u, 4410u));

// What happens to the file by name right after the player was given it.
struct FileCase {
    const char* name;
    std::function<void(const std::string& path)> change;
    std::size_t framesHeard; // of the one second of ramp in the file
};

void PrintTo(const FileCase& c, std::ostream* out) {
    *out << c.name;
}

constexpr std::size_t kFileFrames = 44100;
// Where CutShort cuts the file: past what the player reads with the header (64 KiB), so the cut
// is met by a read of the worker's.
constexpr std::size_t kCutFrames = 25000;

class PlayerFile : public Player, public testing::WithParamInterface<FileCase> {};

TEST_P(PlayerFile, PlaysTheFileAsItWasWhenTheCallReturned) {
    const FileCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.file("录音.wav");
    ASSERT_TRUE(writeFile(path, rampWav(kFileFrames)));
    std::unique_ptr<MonitorCapture> capture = monitor();
    ASSERT_NE(capture, nullptr);
    PlatformServices services;

    ASSERT_TRUE(services.playFile(path, false));
    // At once, long before the worker has read past the first third of a second.
    c.change(path);

    const std::vector<StereoFrame> recorded = capture->read(2500ms);
    ASSERT_FALSE(recorded.empty());
    EXPECT_GE(findRamp(recorded, c.framesHeard), 0) << "the ramp did not arrive whole";
    // Nothing else: not the file that took the name, no header bytes, no second start.
    EXPECT_EQ(test::loudFrames(recorded), c.framesHeard);
    EXPECT_TRUE(waitForSinkInputs(0)) << "the device is held after the sound ended";
}

INSTANTIATE_TEST_SUITE_P(
    Changes, PlayerFile,
    testing::Values(
        FileCase{"Untouched", [](const std::string&) {}, kFileFrames},
        FileCase{"DeletedWhilePlaying",
                 [](const std::string& path) { EXPECT_TRUE(std::filesystem::remove(path)); },
                 kFileFrames},
        // As a save replaces it: written beside it, then renamed onto its name.
        FileCase{"ReplacedWhilePlaying",
                 [](const std::string& path) {
                     ASSERT_TRUE(writeFile(path + ".new", toneWav(2, 44100, 16, 1000ms)));
                     std::filesystem::rename(path + ".new", path);
                 },
                 kFileFrames},
        // Cut in place: the sound ends where the samples end, and the device goes.
        FileCase{"CutShortWhilePlaying",
                 [](const std::string& path) {
                     std::filesystem::resize_file(path, 44 + kCutFrames * 4);
                 },
                 kCutFrames}),
    [](const testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST_F(Player, StopPlayingWithNothingPlayingHasNoEffect) {
    std::unique_ptr<MonitorCapture> capture = monitor();
    ASSERT_NE(capture, nullptr);
    PlatformServices services;

    services.stopPlaying();
    services.stopPlaying();
    ASSERT_TRUE(services.playSound(rampWav(22050), false));

    const std::vector<StereoFrame> recorded = capture->read(2000ms);
    EXPECT_GE(findRamp(recorded, 22050), 0) << "an earlier stop held back the next sound";
}

struct StopCase {
    const char* name;
    std::chrono::milliseconds length;
    bool loop;
    bool fromFile = false;
};

void PrintTo(const StopCase& c, std::ostream* out) {
    *out << c.name;
}

class PlayerStop : public Player, public testing::WithParamInterface<StopCase> {};

TEST_P(PlayerStop, StopPlayingSilencesTheSpeaker) {
    const StopCase& c = GetParam();
    PlatformServices services;
    test::TempDir dir;
    const Bytes sound = toneWav(2, 44100, 16, c.length);
    if (c.fromFile) {
        ASSERT_TRUE(writeFile(dir.file("tone.wav"), sound));
        ASSERT_TRUE(services.playFile(dir.file("tone.wav"), c.loop));
    } else {
        ASSERT_TRUE(services.playSound(sound, c.loop));
    }

    // Well past the end of a short looped sound: it must be playing again.
    std::this_thread::sleep_for(1000ms);
    {
        std::unique_ptr<MonitorCapture> capture = monitor();
        ASSERT_NE(capture, nullptr);
        const std::vector<StereoFrame> playing = capture->read(500ms);
        EXPECT_GT(test::loudFrames(playing), playing.size() / 2) << "not playing before the stop";
    }

    services.stopPlaying();
    ASSERT_TRUE(waitForSinkInputs(0)) << "the sound kept its stream after the stop";
    std::unique_ptr<MonitorCapture> capture = monitor();
    ASSERT_NE(capture, nullptr);
    const std::vector<StereoFrame> after = capture->read(500ms);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(test::loudFrames(after), 0u) << "still sounding after the stop";
}

INSTANTIATE_TEST_SUITE_P(Sounds, PlayerStop,
                         testing::Values(StopCase{"LongSoundOnce", 30000ms, false},
                                         StopCase{"ShortSoundLooped", 300ms, true},
                                         StopCase{"LongFileOnce", 30000ms, false, true},
                                         StopCase{"ShortFileLooped", 300ms, true, true}),
                         [](const testing::TestParamInfo<StopCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Player, StopAllAndWaitReturnsWithNoWorkerLeft) {
    SoundPlayer player;
    const int threadsBefore = threadsOfThisProcess();
    ASSERT_GT(threadsBefore, 0);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(player.play(toneWav(2, 44100, 16, 500ms), true));
    }
    ASSERT_TRUE(waitForSinkInputs(3)) << "three sounds should play side by side";
    EXPECT_EQ(player.activeWorkers(), 3u);

    player.stopAllAndWait();

    EXPECT_EQ(player.activeWorkers(), 0u);
    // The workers, and the connection threads of the sound library beneath them, are gone by
    // the time it returns: nothing is left to run after the process ends.
    EXPECT_EQ(threadsOfThisProcess(), threadsBefore);
    EXPECT_TRUE(waitForSinkInputs(0));
}

TEST_F(Player, ASoundThatEndsReleasesTheDeviceAndItsWorker) {
    SoundPlayer player;
    ASSERT_TRUE(player.play(toneWav(2, 44100, 16, 300ms), false));
    EXPECT_TRUE(waitForSinkInputs(0)) << "the device is held after the sound ended";
    for (int i = 0; i < 200 && player.activeWorkers() != 0; ++i) {
        std::this_thread::sleep_for(25ms);
    }
    EXPECT_EQ(player.activeWorkers(), 0u);
}

struct FormatCase {
    int channels;
    int rate;
    int bits;
};

void PrintTo(const FormatCase& c, std::ostream* out) {
    *out << c.channels << " channels, " << c.rate << " Hz, " << c.bits << " bits";
}

class PlayerFormat : public Player, public testing::WithParamInterface<FormatCase> {};

TEST_P(PlayerFormat, EveryRecordingFormatIsHeard) {
    const FormatCase& c = GetParam();
    std::unique_ptr<MonitorCapture> capture = monitor();
    ASSERT_NE(capture, nullptr);
    PlatformServices services;
    ASSERT_TRUE(services.playSound(toneWav(c.channels, c.rate, c.bits, 500ms), false));

    const std::vector<StereoFrame> recorded = capture->read(1500ms);
    // About a third of the recording holds the half-second tone.
    EXPECT_GT(test::loudFrames(recorded), recorded.size() / 5);
}

INSTANTIATE_TEST_SUITE_P(Formats, PlayerFormat,
                         testing::Values(FormatCase{1, 8000, 8}, FormatCase{2, 11025, 8},
                                         FormatCase{1, 22050, 16}, FormatCase{2, 44100, 16}),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                             return std::to_string(info.param.channels) + "ch" +
                                    std::to_string(info.param.rate) + "Hz" +
                                    std::to_string(info.param.bits) + "bit";
                         });

TEST(PlayerWithoutServer, PlaysNothingAndEndsItsWorker) {
    test::usePulseServerThatDoesNotExist();
    SoundPlayer player;
    // The device is opened by the worker, so the call still succeeds; the worker then finds no
    // server and ends by itself.
    EXPECT_TRUE(player.play(toneWav(2, 44100, 16, 300ms), false));
    for (int i = 0; i < 200 && player.activeWorkers() != 0; ++i) {
        std::this_thread::sleep_for(25ms);
    }
    EXPECT_EQ(player.activeWorkers(), 0u);
    EXPECT_FALSE(player.play(Bytes{}, false));
}

} // namespace
} // namespace dd
