// A child process a test started, with its output going to a file; stopped and reaped when the
// object goes. Use from the test's thread.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace dd::test {

class Subprocess {
  public:
    // argv[0] is looked up in PATH. env holds NAME=value entries that override this process's
    // environment for the child. stdout and stderr are appended to outputPath (/dev/null when
    // empty); stdin is /dev/null. nullptr when the program cannot be started.
    static std::unique_ptr<Subprocess> start(const std::vector<std::string>& argv,
                                             const std::vector<std::string>& env = {},
                                             const std::string& outputPath = {});
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;
    // SIGTERM, then SIGKILL if it has not ended within a few seconds.
    ~Subprocess();

    pid_t pid() const { return m_pid; }
    bool running();
    // Sends signal; false when the process is gone already.
    bool kill(int signal);
    // Returns true once the process has ended and been reaped, false if it is still running
    // after timeout.
    bool waitForExit(std::chrono::milliseconds timeout);

  private:
    explicit Subprocess(pid_t pid) : m_pid(pid) {}
    pid_t m_pid = -1;
    bool m_reaped = false;
};

} // namespace dd::test
