// A PulseAudio server of the test's own, in a fresh temporary directory, with this process
// pointed at it; never a user's server. Use from the test's thread.
#pragma once

#include "tests/support/subprocess.h"

#include <memory>
#include <string>

namespace dd::test {

struct PulseOptions {
    bool withRamp = true;
    std::string defaultSource = "tone";
};

class PrivatePulse {
  public:
    // Starts the server: a null sink "speaker" (the default sink), a 440 Hz sine source "tone"
    // at 44100 Hz (the default source) and, when withRamp, a pipe source "ramp" (s16le, 44100
    // Hz, 2 channels) reading fifoPath(). Points PULSE_SERVER, PULSE_CLIENTCONFIG (autospawn
    // off, cookie in the directory) and XDG_RUNTIME_DIR at it and waits until it answers. On
    // failure: ADD_FAILURE() with the server's log, and nullptr. Never skips.
    static std::unique_ptr<PrivatePulse> start(bool withRamp = true);
    // The same, with the default source of the caller's choice, in force before the server
    // takes its first client.
    static std::unique_ptr<PrivatePulse> start(const PulseOptions& options);
    PrivatePulse(const PrivatePulse&) = delete;
    PrivatePulse& operator=(const PrivatePulse&) = delete;
    // Stops the server and removes its directory.
    ~PrivatePulse();

    std::string runtimeDir() const { return m_dir; }
    std::string fifoPath() const { return m_dir + "/ramp.fifo"; }
    std::string serverAddress() const { return "unix:" + m_dir + "/native"; }
    std::string logPath() const { return m_dir + "/pulseaudio.log"; }

    // Runs `pactl <args>` against this server; its exit status. output receives stdout+stderr.
    int pactl(const std::string& args, std::string* output = nullptr) const;
    bool setDefaultSource(const std::string& name) const;
    // Blocks until `pactl list short source-outputs` shows at least n outputs (bounded wait);
    // true if so.
    bool waitForSourceOutputs(int n) const;
    // The number of source outputs (recording streams) now; -1 when pactl fails.
    int sourceOutputCount() const;

    // Kills the server with SIGKILL, as a crash would, and returns once it is gone.
    bool kill();
    // After kill(): a new server with the same modules and defaults at the same address, the
    // way a restarted sound system comes back. Returns once it answers; ADD_FAILURE if not.
    bool restart();

  private:
    explicit PrivatePulse(std::string dir) : m_dir(std::move(dir)) {}
    bool launch();

    std::string m_dir;
    std::unique_ptr<Subprocess> m_server;
};

// Points this process at no server at all (a socket path that does not exist, autospawn off).
void usePulseServerThatDoesNotExist();

} // namespace dd::test
