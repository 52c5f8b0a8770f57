#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/recorder/utf8_path.h"
#include "platform/services/files.h"

namespace dd {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards, holding names with non-ASCII characters as the
// program's own files have them. Names go to and from std::filesystem as UTF-8 explicitly: on
// Windows a plain std::string would pass through the ANSI code page.
class FileServices : public testing::Test {
  protected:
    void SetUp() override {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        m_folder = fs::temp_directory_path() / ("dd-services-" + std::string(test->name()) + "-" +
                                                std::to_string(std::random_device{}()));
        fs::create_directories(m_folder);
        m_savedCurrent = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(m_savedCurrent);
        fs::remove_all(m_folder);
    }

    fs::path at(const std::string& name) const { return m_folder / utf8Path(name); }
    std::string path(const std::string& name) const { return utf8Text(at(name)); }
    std::string folder() const { return utf8Text(m_folder); }

    void write(const std::string& name, const Bytes& content) const {
        std::ofstream out(at(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(content.data()),
                  static_cast<std::streamsize>(content.size()));
        ASSERT_TRUE(out.good());
    }

    fs::path m_folder;
    fs::path m_savedCurrent;
};

TEST_F(FileServices, ExistsForAFileAndADirectoryButNotForMissingOrEmptyNames) {
    write("录音.wav", Bytes{1, 2, 3});
    fs::create_directory(at("文件夹"));

    EXPECT_TRUE(fileExists(path("录音.wav")));
    EXPECT_TRUE(fileExists(path("文件夹")));
    EXPECT_FALSE(fileExists(path("没有.wav")));
    EXPECT_FALSE(fileExists(""));
}

TEST_F(FileServices, ReadsTheWholeContentByteForByte) {
    // Larger than one read chunk and not a multiple of it, with zero and high bytes throughout.
    Bytes content(200'003);
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    write("录音.wav", content);

    EXPECT_EQ(readFile(path("录音.wav")), content);
}

TEST_F(FileServices, ReadGivesEmptyBytesWhenThereIsNothingToRead) {
    write("空.wav", Bytes{});
    fs::create_directory(at("文件夹"));

    EXPECT_TRUE(readFile(path("没有.wav")).empty());
    EXPECT_TRUE(readFile(path("空.wav")).empty());
    EXPECT_TRUE(readFile(path("文件夹")).empty());
    EXPECT_TRUE(readFile("").empty());
}

TEST_F(FileServices, DeleteRemovesAFileOnly) {
    write("录音.wav", Bytes{1});
    fs::create_directory(at("文件夹"));

    EXPECT_TRUE(deleteFile(path("录音.wav")));
    EXPECT_FALSE(fs::exists(at("录音.wav")));
    EXPECT_FALSE(deleteFile(path("录音.wav"))) << "already gone";
    EXPECT_FALSE(deleteFile(path("文件夹")));
    EXPECT_TRUE(fs::is_directory(at("文件夹")));
    EXPECT_FALSE(deleteFile(""));
}

// Characters from no single ANSI code page (Chinese, Latin accents, a symbol): on Windows any
// narrow file call on the way would turn some of them into '?' and miss the file.
TEST_F(FileServices, NamesOutsideEveryAnsiCodePageWork) {
    fs::create_directory(at("测试 é ü ß ☃"));
    write("测试 é ü ß ☃/录音 ☃.wav", Bytes{7, 0, 7});
    const std::string name = path("测试 é ü ß ☃/录音 ☃.wav");

    EXPECT_TRUE(fileExists(path("测试 é ü ß ☃")));
    EXPECT_TRUE(fileExists(name));
    EXPECT_EQ(readFile(name), (Bytes{7, 0, 7}));
    EXPECT_TRUE(deleteFile(name));
    EXPECT_FALSE(fs::exists(at("测试 é ü ß ☃/录音 ☃.wav")));
}

TEST_F(FileServices, RelativeNamesFollowTheCurrentDirectory) {
    write("录音.wav", Bytes{9, 8});

    ASSERT_TRUE(changeDirectory(folder()));
    EXPECT_EQ(currentDirectory(), folder());
    EXPECT_TRUE(fileExists("录音.wav"));
    EXPECT_EQ(readFile("录音.wav"), (Bytes{9, 8}));
    EXPECT_TRUE(deleteFile("录音.wav"));
    EXPECT_FALSE(changeDirectory(path("没有")));
    EXPECT_EQ(currentDirectory(), folder()) << "a failed change leaves it as it was";
}

} // namespace
} // namespace dd
