// The recorder and the player under Wine with no sound server at all: the runner starts this
// program with PULSE_SERVER naming a socket that does not exist, so Wine finds no audio device.
// Recording must fail at start and playing must stay silent, and neither may hang or crash.
#include "platform/recorder/capture.h"
#include "platform/recorder/sound_recorder.h"
#include "platform/services/bytes.h"
#include "platform/services/sound_player.h"
#include "tests/wine/wine_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace dd {
namespace {

using namespace std::chrono_literals;

TEST(WithoutSoundServer, StartFailsAndLeavesAnEmptyRecording) {
    const std::string run = test::runFolder();
    ASSERT_FALSE(run.empty());
    const std::string folder = run + "\\测试 é ü ß ☃\\no sound";
    ASSERT_TRUE(test::makeFolder(folder));

    SoundRecorder recorder(folder + "\\录音.wav.part", makeCaptureBackend());
    ASSERT_TRUE(recorder.setFormat(2, 44100, 16));
    EXPECT_FALSE(recorder.start());
    // Pause, continue and stop have no device to act on.
    EXPECT_TRUE(recorder.pause());
    EXPECT_TRUE(recorder.resume());
    EXPECT_TRUE(recorder.stop());

    EXPECT_TRUE(recorder.save(folder + "\\录音.wav", true));
    const auto bytes = test::readBytes(folder + "\\录音.wav");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), 44u) << "a header with no samples";
}

TEST(WithoutSoundServer, PlayerStartsAWorkerThatFindsNoDeviceAndEnds) {
    SoundPlayer player;
    // The device is opened by the worker, so the call still succeeds; the worker then finds no
    // device and ends by itself.
    Bytes sound{'R', 'I', 'F', 'F', 40,  0,   0,   0,   'W',  'A',  'V', 'E', 'f',  'm',  't', ' ',
                16,  0,   0,   0,   1,   0,   2,   0,   0x44, 0xac, 0,   0,   0x10, 0xb1, 2,   0,
                4,   0,   16,  0,   'd', 'a', 't', 'a', 4,    0,    0,   0,   1,    2,    3,   4};
    EXPECT_TRUE(player.play(sound, false));
    for (int i = 0; i < 200 && player.activeWorkers() != 0; ++i) {
        std::this_thread::sleep_for(25ms);
    }
    EXPECT_EQ(player.activeWorkers(), 0u);
    EXPECT_FALSE(player.play(Bytes{}, false));
}

} // namespace
} // namespace dd
