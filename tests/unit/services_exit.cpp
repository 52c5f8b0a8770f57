#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/services/platform_services.h"

namespace dd {
namespace {

namespace fs = std::filesystem;

struct ExitCase {
    const char* name;
    bool shutDownFirst; // as main does after the message loop has returned
    bool routineEndsProgram;
    int exitCode;
};

void PrintTo(const ExitCase& c, std::ostream* out) {
    *out << c.name;
}

class EndProgram : public testing::TestWithParam<ExitCase> {
  protected:
    // Named after the test, in the current folder (the build's, so that builds running side by
    // side do not share it): on Windows the death test's child is a new run of this program,
    // whose SetUp must come to the same name, so nothing random goes into it.
    void SetUp() override {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("dd-exit-") + test->test_suite_name() + "-" + test->name();
        std::replace(name.begin(), name.end(), '/', '-');
        m_journal = fs::current_path() / (name + ".txt");
        fs::remove(m_journal);
    }
    void TearDown() override { fs::remove(m_journal); }

    std::string journal() const {
        std::ifstream in(m_journal);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path m_journal;
};

// The end runs in a child process, which the journal file outlives. Each step appends to it
// through one C stream that is never flushed by hand: only the end's own flush puts the lines
// in the file, since std::_Exit discards what stdio still buffers.
TEST_P(EndProgram, ReleasesThenRunsTheExitRoutineOnceAndEndsWithTheCode) {
    const ExitCase& c = GetParam();
    EXPECT_EXIT(
        {
            std::FILE* out = std::fopen(m_journal.string().c_str(), "w");
            std::setvbuf(out, nullptr, _IOFBF, 1 << 16);
            PlatformServices services;
            services.setWindowsReleasedHook([out] { std::fputs("windows released\n", out); });
            services.registerExitRoutine([&services, out, c] {
                std::fputs("exit routine\n", out);
                if (c.routineEndsProgram) {
                    services.endProgram(c.exitCode);
                }
            });
            if (c.shutDownFirst) {
                services.shutDown();
                std::fputs("shut down\n", out);
            }
            services.endProgram(c.routineEndsProgram ? 99 : c.exitCode);
        },
        testing::ExitedWithCode(c.exitCode), "");

    const std::string expected =
        std::string("windows released\nexit routine\n") + (c.shutDownFirst ? "shut down\n" : "");
    EXPECT_EQ(journal(), expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, EndProgram,
                         testing::Values(ExitCase{"FromAHandler", false, false, 7},
                                         ExitCase{"AfterTheMessageLoop", true, false, 0},
                                         ExitCase{"FromTheExitRoutineItself", false, true, 3}),
                         [](const testing::TestParamInfo<ExitCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace dd
