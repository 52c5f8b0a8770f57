#include "tests/support/subprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace dd::test {

std::unique_ptr<Subprocess> Subprocess::start(const std::vector<std::string>& argv,
                                              const std::vector<std::string>& env,
                                              const std::string& outputPath) {
    std::vector<std::string> environment(env);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string current(*entry);
        const std::string name = current.substr(0, current.find('=') + 1);
        bool overridden = false;
        for (const std::string& e : env) {
            overridden = overridden || e.compare(0, name.size(), name) == 0;
        }
        if (!overridden) {
            environment.push_back(current);
        }
    }
    std::vector<char*> envp;
    for (std::string& e : environment) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args(argv);
    std::vector<char*> argp;
    for (std::string& a : args) {
        argp.push_back(a.data());
    }
    argp.push_back(nullptr);

    const std::string output = outputPath.empty() ? "/dev/null" : outputPath;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        return nullptr;
    }
    return std::unique_ptr<Subprocess>(new Subprocess(pid));
}

bool Subprocess::running() {
    if (m_reaped) {
        return false;
    }
    int status = 0;
    m_reaped = waitpid(m_pid, &status, WNOHANG) == m_pid;
    return !m_reaped;
}

bool Subprocess::kill(int signal) {
    return running() && ::kill(m_pid, signal) == 0;
}

bool Subprocess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

Subprocess::~Subprocess() {
    if (!running()) {
        return;
    }
    ::kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (running()) {
        ::kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

} // namespace dd::test
