// Where recordings go when the program's own folder cannot be written, and how the user's
// music folder is found.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/services/recording_folder.h"

namespace dd {
namespace {

namespace fs = std::filesystem;

class RecordingFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() /
                 ("dd-folder-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_root / "run");
        fs::create_directories(m_root / "home");
        std::ofstream(m_root / "plain-file") << "x";
    }
    void TearDown() override { fs::remove_all(m_root); }
    std::string at(const std::string& name) const { return (m_root / name).string(); }

    fs::path m_root;
};

TEST_F(RecordingFolderTest, ChoosesTheRunDirectoryOrTheMusicSubfolder) {
    // A folder "under a regular file" cannot be written even by root.
    const std::string readOnly = at("plain-file") + "/run";
    struct Case {
        std::string runDirectory;
        std::optional<std::string> music;
        std::string expected;
    };
    const Case cases[] = {
        {at("run"), at("home/Music"), at("run")},
        {readOnly, at("home/Music"), at("home/Music") + "/咚咚鸟录音"},
        {readOnly, std::nullopt, readOnly},
        {readOnly, at("plain-file") + "/Music", readOnly}, // nowhere to go: stays
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chooseRecordingFolder(c.runDirectory, c.music, "/"), c.expected)
            << c.runDirectory;
    }
    EXPECT_TRUE(fs::is_directory(at("home/Music") + "/咚咚鸟录音"));
    // The probe leaves nothing behind.
    EXPECT_TRUE(fs::is_empty(at("run")));
}

TEST_F(RecordingFolderTest, MusicFolderComesFromTheUserDirsFileElseHomeMusic) {
    const std::string home = at("home");
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", at("config").c_str(), 1);
    EXPECT_EQ(userMusicFolder(), home + "/Music");

    fs::create_directories(at("config"));
    struct Case {
        std::string line;
        std::string expected;
    };
    const Case cases[] = {
        {"XDG_MUSIC_DIR=\"$HOME/音乐\"", home + "/音乐"},
        {"XDG_MUSIC_DIR=\"/srv/music\"", "/srv/music"},
        {"XDG_MUSIC_DIR=\"$HOME/\"", home + "/Music"}, // the home folder itself means none
        {"# XDG_MUSIC_DIR=\"/elsewhere\"", home + "/Music"},
    };
    for (const Case& c : cases) {
        std::ofstream(at("config/user-dirs.dirs")) << "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                                   << c.line << "\n";
        EXPECT_EQ(userMusicFolder(), c.expected) << c.line;
    }
    ::unsetenv("XDG_CONFIG_HOME");
}

} // namespace
} // namespace dd
