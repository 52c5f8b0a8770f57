#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/recorder/utf8_path.h"
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

// A file is judged by its header before the call returns, so a refusal needs no sound server
// either.
TEST(SoundPlayer, RefusesAFileThatCannotBeOpenedOrIsNotAPlayableWav) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() /
        ("dd-player-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir / utf8Path("文件夹"));
    // Paths are UTF-8 texts, as the application passes them.
    const auto name = [&](const std::string& file) { return utf8Text(dir / utf8Path(file)); };
    const auto write = [&](const std::string& file, const std::string& content) {
        std::ofstream(dir / utf8Path(file), std::ios::binary) << content;
        return name(file);
    };
    const std::vector<std::string> unplayable{
        "",
        name("没有.wav"),
        name("文件夹"),
        write("空.wav", ""),
        write("文本.wav", "RIFF is not enough: this is a text file"),
        // The recorder's header of a take with no samples.
        write("只有头.wav", std::string("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0"
                                        "\x10\xb1\x02\0\x04\0\x10\0data\0\0\0\0",
                                        44)),
    };
    SoundPlayer player;
    PlatformServices services;
    for (const std::string& path : unplayable) {
        EXPECT_FALSE(player.playFile(path, false)) << path;
        EXPECT_FALSE(services.playFile(path, true)) << path;
    }
    EXPECT_EQ(player.activeWorkers(), 0u) << "a refused file started a worker";
    fs::remove_all(dir);
}

} // namespace
} // namespace dd
