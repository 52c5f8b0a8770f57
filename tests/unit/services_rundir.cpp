#include <gtest/gtest.h>

#include <filesystem>

#include "platform/recorder/utf8_path.h"
#include "platform/services/platform_services.h"
#include "platform/services/rundir.h"
#include "platform/services/text.h"

namespace dd {
namespace {

namespace fs = std::filesystem;

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

// What the run directory looks like on each platform, keyed by the separator the platform's
// filesystem prefers: the separator that joins a folder and a name, and this test program's
// file name.
struct Platform {
    fs::path::value_type preferredSeparator;
    std::string_view separator;
    std::string_view program;
};

constexpr Platform kPlatforms[] = {
    {'/', "/", "services_test"},
    {'\\', "\\", "services_test.exe"},
};

const Platform& thisPlatform() {
    for (const Platform& platform : kPlatforms) {
        if (platform.preferredSeparator == fs::path::preferred_separator) {
            return platform;
        }
    }
    return kPlatforms[0];
}

// Puts the current directory back whatever the test does to it.
class PlatformServicesInitialise : public testing::Test {
  protected:
    void SetUp() override { m_saved = fs::current_path(); }
    void TearDown() override { fs::current_path(m_saved); }

  private:
    fs::path m_saved;
};

// The test program is run from the folder it was built in, and, on Windows, also from a copy
// in a folder whose name has characters outside the ANSI code page (tests/wine).
TEST_F(PlatformServicesInitialise, FixesTheExecutablesFolderAndMakesItCurrent) {
    const Platform& platform = thisPlatform();
    fs::current_path(fs::temp_directory_path());

    PlatformServices services;
    services.initialise();

    const fs::path folder = utf8Path(services.runDirectory());
    EXPECT_TRUE(folder.is_absolute()) << services.runDirectory();
    EXPECT_EQ(services.pathSeparator(), platform.separator);
    // The program's own file is in that folder, which is now the current one: the joined name
    // and the relative name are the same file.
    const std::string joined =
        concatText({services.runDirectory(), services.pathSeparator(), platform.program});
    ASSERT_TRUE(fs::is_regular_file(utf8Path(joined))) << joined;
    EXPECT_TRUE(fs::equivalent(fs::current_path(), folder));
    EXPECT_TRUE(fs::equivalent(utf8Path(joined), fs::path(platform.program)));
    EXPECT_FALSE(fs::equivalent(fs::current_path(), fs::temp_directory_path()))
        << "the test starts in the temporary folder, which must not hold the program";
}

} // namespace
} // namespace dd
