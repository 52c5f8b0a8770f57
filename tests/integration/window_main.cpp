// The window tests' entry. Each run of tests gets an X server of its own: a private Xvfb on a
// display number the server picks itself (-displayfd), so that concurrent runs never share
// one. The binary also serves as the child process of the start-up tests:
// "--child=no-display" loads the window with no display reachable, "--child=platform" loads it
// and prints the platform Qt was asked for and the one it took.
#include <QGuiApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/main_window.h"
#include "platform/window/ui.h"
#include "platform/window/window.h"
#include "window_support.h"

namespace {

int runChild(const char* mode) {
    dd::test::RecordingEvents events;
    auto host = dd::makeWindowHost();
    events.window = &host->window();
    if (std::strcmp(mode, "no-display") == 0) {
        // Stands for the application's exit routine: it must not run on this path.
        std::atexit([] {
            std::fputs("exit routine ran\n", stdout);
            std::fflush(stdout);
        });
        const bool loaded = host->load(dd::mainWindowDefinition(), events);
        std::printf("load returned %s\n", loaded ? "true" : "false");
        std::fflush(stdout);
        // What the application does when the window cannot be created.
        std::_Exit(loaded ? 0 : 255);
    }
    if (std::strcmp(mode, "platform") == 0) {
        if (!host->load(dd::mainWindowDefinition(), events)) {
            return 1;
        }
        const char* asked = std::getenv("QT_QPA_PLATFORM");
        std::printf("%s %s\n", asked ? asked : "(unset)",
                    QGuiApplication::platformName().toUtf8().constData());
        dd::releaseWindows();
        return 0;
    }
    std::fprintf(stderr, "unknown child mode %s\n", mode);
    return 2;
}

// Starts Xvfb with a 1280x1024 screen and points DISPLAY at it; its pid, or -1.
pid_t startPrivateXServer() {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return -1;
    }
    const pid_t server = fork();
    if (server == 0) {
        close(pipeEnds[0]);
        // Never outlives the tests, however they end; SIGKILL because a server still starting
        // up can lose a SIGTERM.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        const std::string fd = std::to_string(pipeEnds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string display;
    char c = 0;
    while (read(pipeEnds[0], &c, 1) == 1 && c != '\n') {
        display += c;
    }
    close(pipeEnds[0]);
    if (server < 0 || display.empty()) {
        std::fprintf(stderr, "the private X server did not start\n");
        return -1;
    }
    setenv("DISPLAY", (":" + display).c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    return server;
}

} // namespace

int main(int argc, char** argv) {
    constexpr const char kChild[] = "--child=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kChild, sizeof kChild - 1) == 0) {
            return runChild(argv[i] + sizeof kChild - 1);
        }
    }
    testing::InitGoogleTest(&argc, argv);
    if (testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    const pid_t server = startPrivateXServer();
    if (server < 0) {
        return 1; // a failure, never a skip
    }
    const int result = RUN_ALL_TESTS();
    // _Exit: the QApplication and the window layer's statics hold the server's connection.
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    std::fflush(stdout);
    std::_Exit(result);
}
