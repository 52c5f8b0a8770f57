#include <gtest/gtest.h>

#include <filesystem>

#include "platform/services/platform_services.h"
#include "platform/services/rundir.h"
#include "platform/services/text.h"

namespace dd {
namespace {

struct CutCase {
    std::string_view path;
    std::string_view separators;
    std::string_view folder;
};

class CutAtLastSeparator : public testing::TestWithParam<CutCase> {};

TEST_P(CutAtLastSeparator, KeepsTheFolderWithoutItsSeparator) {
    const CutCase& c = GetParam();
    EXPECT_EQ(cutAtLastSeparator(c.path, c.separators), c.folder) << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CutAtLastSeparator,
    testing::Values(
        CutCase{"/usr/bin/x", "/", "/usr/bin"}, CutCase{"/x", "/", ""}, // the root folder
        CutCase{"/home/录音/咚咚", "/", "/home/录音"}, CutCase{"x", "/", ""}, CutCase{"", "/", ""},
        CutCase{"/a/b/", "/", "/a/b"}, // only the last separator goes
        // Windows: either separator, and the drive alone for the root folder.
        CutCase{"C:\\dd\\rec.exe", "\\/", "C:\\dd"},
        CutCase{"C:/dd\\sub/rec.exe", "\\/", "C:/dd\\sub"}, CutCase{"C:\\rec.exe", "\\/", "C:"}));

TEST(CutAtLastSeparator, RootFolderJoinsBackToAFullPath) {
    const std::string folder = cutAtLastSeparator("/dongdong", "/");
    EXPECT_EQ(concatText({folder, "/", "2013年9月8日.wav"}), "/2013年9月8日.wav");
}

// Puts the current directory back whatever the test does to it.
class PlatformServicesInitialise : public testing::Test {
  protected:
    void SetUp() override { m_saved = std::filesystem::current_path(); }
    void TearDown() override { std::filesystem::current_path(m_saved); }

  private:
    std::filesystem::path m_saved;
};

TEST_F(PlatformServicesInitialise, FixesTheExecutablesFolderAndMakesItCurrent) {
    const std::filesystem::path expected =
        std::filesystem::canonical("/proc/self/exe").parent_path();
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    ASSERT_NE(std::filesystem::current_path(), expected) << "pick another starting folder";

    PlatformServices services;
    services.initialise();

    EXPECT_EQ(services.runDirectory(), expected.string());
    EXPECT_EQ(std::filesystem::current_path(), expected);
    EXPECT_EQ(services.pathSeparator(), "/");
    // The joined name and the relative name are the same file.
    const std::string joined =
        concatText({services.runDirectory(), services.pathSeparator(), "services_test"});
    EXPECT_TRUE(std::filesystem::equivalent(joined, "services_test"));
}

} // namespace
} // namespace dd
