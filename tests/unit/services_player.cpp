#include <gtest/gtest.h>

#include <string>

#include "platform/services/bytes.h"
#include "platform/services/platform_services.h"
#include "platform/services/sound_player.h"

namespace dd {
namespace {

// Data that is not a playable WAV image is refused before any device is touched, so these need
// no sound server. What reaches the speaker is tested against a real server (player_test).
TEST(SoundPlayer, RefusesDataThatIsNotAPlayableWav) {
    const std::string text = "RIFF is not enough: this is a text file";
    const std::vector<Bytes> unplayable{
        Bytes{},
        Bytes(text.begin(), text.end()),
        // A header with its format but no samples.
        Bytes{'R',  'I',  'F', 'F', 28,   0,    0, 0, 'W', 'A', 'V', 'E',
              'f',  'm',  't', ' ', 16,   0,    0, 0, 1,   0,   2,   0,
              0x44, 0xac, 0,   0,   0x10, 0xb1, 2, 0, 4,   0,   16,  0},
    };
    SoundPlayer player;
    PlatformServices services;
    for (const Bytes& data : unplayable) {
        EXPECT_FALSE(player.play(data, false)) << data.size() << " bytes";
        EXPECT_FALSE(player.play(data, true)) << data.size() << " bytes";
        EXPECT_FALSE(services.playSound(data, false)) << data.size() << " bytes";
    }
    EXPECT_EQ(player.activeWorkers(), 0u) << "a refused sound started a worker";
}

} // namespace
} // namespace dd
