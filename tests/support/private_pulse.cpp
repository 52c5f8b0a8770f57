#include "tests/support/private_pulse.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace dd::test {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(15);
constexpr auto kWaitTimeout = std::chrono::seconds(10);
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// Client settings that never fall back on a user's setup: no autospawn, and a cookie kept in
// our own directory instead of $HOME.
bool pointClientsAt(const std::string& server, const std::string& configDir) {
    const std::string config = configDir + "/client.conf";
    if (!writeTextFile(config, "autospawn = no\ncookie-file = " + configDir + "/cookie\n")) {
        return false;
    }
    setenv("PULSE_SERVER", server.c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", config.c_str(), 1);
    // These would send clients to another device than the server's defaults.
    unsetenv("PULSE_SOURCE");
    unsetenv("PULSE_SINK");
    unsetenv("PULSE_COOKIE");
    return true;
}

} // namespace

std::unique_ptr<PrivatePulse> PrivatePulse::start(bool withRamp) {
    return start(PulseOptions{withRamp});
}

std::unique_ptr<PrivatePulse> PrivatePulse::start(const PulseOptions& options) {
    char name[] = "/tmp/dd-pulse-XXXXXX";
    if (mkdtemp(name) == nullptr) {
        ADD_FAILURE() << "cannot create the private PulseAudio directory";
        return nullptr;
    }
    std::unique_ptr<PrivatePulse> pulse(new PrivatePulse(name));
    const std::string& dir = pulse->m_dir;

    std::string script = "load-module module-null-sink sink_name=speaker\n"
                         "load-module module-sine-source source_name=tone rate=44100 "
                         "frequency=440\n";
    if (options.withRamp) {
        script += "load-module module-pipe-source source_name=ramp file=" + pulse->fifoPath() +
                  " format=s16le rate=44100 channels=2\n";
    }
    // The socket comes last, so no client ever sees other defaults than these.
    script += "set-default-source " + options.defaultSource +
              "\nset-default-sink speaker\n"
              "load-module module-native-protocol-unix socket=" +
              dir + "/native auth-anonymous=1 auth-cookie-enabled=0\n";
    if (!writeTextFile(dir + "/server.pa", script) ||
        !pointClientsAt(pulse->serverAddress(), dir)) {
        ADD_FAILURE() << "cannot write the private PulseAudio configuration in " << dir;
        return nullptr;
    }
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    if (!pulse->launch()) {
        return nullptr;
    }
    return pulse;
}

bool PrivatePulse::launch() {
    const std::string& dir = m_dir;
    // HOME and XDG_CONFIG_HOME point into the directory too, so the server's state and
    // cookie never touch the user's.
    m_server = Subprocess::start(
        {"pulseaudio", "-n", "-F", dir + "/server.pa", "--daemonize=no", "--exit-idle-time=-1",
         "--use-pid-file=no", "--realtime=no", "--high-priority=no", "--log-target=stderr",
         "--log-level=info"},
        {"HOME=" + dir, "XDG_CONFIG_HOME=" + dir + "/config", "XDG_RUNTIME_DIR=" + dir}, logPath());
    if (!m_server) {
        ADD_FAILURE() << "cannot run pulseaudio";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (m_server->running() && std::chrono::steady_clock::now() < deadline) {
        if (pactl("info") == 0) {
            return true;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    ADD_FAILURE() << "the private PulseAudio server did not come up. Its log:\n"
                  << readTextFile(logPath());
    return false;
}

bool PrivatePulse::kill() {
    return m_server && m_server->kill(SIGKILL) && m_server->waitForExit(kWaitTimeout);
}

bool PrivatePulse::restart() {
    // A killed server leaves its pipe source's FIFO behind, and a pipe source refuses to start
    // on one that exists.
    std::error_code ignored;
    std::filesystem::remove(fifoPath(), ignored);
    return launch();
}

PrivatePulse::~PrivatePulse() {
    m_server.reset();
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

int PrivatePulse::pactl(const std::string& args, std::string* output) const {
    const std::string command = "pactl -s '" + serverAddress() + "' " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        text.append(buffer, n);
    }
    const int status = pclose(pipe);
    if (output != nullptr) {
        *output = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool PrivatePulse::setDefaultSource(const std::string& name) const {
    return pactl("set-default-source " + name) == 0;
}

int PrivatePulse::sourceOutputCount() const {
    std::string list;
    if (pactl("list short source-outputs", &list) != 0) {
        return -1;
    }
    std::istringstream lines(list);
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        count += line.empty() ? 0 : 1;
    }
    return count;
}

bool PrivatePulse::waitForSourceOutputs(int n) const {
    const auto deadline = std::chrono::steady_clock::now() + kWaitTimeout;
    for (;;) {
        if (sourceOutputCount() >= n) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

void usePulseServerThatDoesNotExist() {
    // One directory per process for the client settings; it never holds a socket.
    static const TempDir dir;
    if (!pointClientsAt("unix:" + dir.file("no-server-here"), dir.path())) {
        ADD_FAILURE() << "cannot write the client configuration in " << dir.path();
    }
}

} // namespace dd::test
