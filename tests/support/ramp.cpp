#include "tests/support/ramp.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace dd::test {
namespace {

constexpr int kStallTimeoutMs = 10000;
constexpr auto kConsumeTimeout = std::chrono::seconds(10);

} // namespace

RampWriter::RampWriter(const std::string& fifoPath) {
    // Non-blocking, so a reader that stops reading fails the test instead of hanging it.
    m_fd = open(fifoPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        ADD_FAILURE() << "cannot open " << fifoPath << ": " << std::strerror(errno);
    }
}

RampWriter::~RampWriter() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool RampWriter::write(std::uint64_t from, std::uint64_t to) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve((to - from) * 4);
    for (std::uint64_t i = from; i < to; ++i) {
        const auto value = static_cast<std::uint16_t>(i);
        for (int channel = 0; channel < 2; ++channel) {
            bytes.push_back(static_cast<std::uint8_t>(value));
            bytes.push_back(static_cast<std::uint8_t>(value >> 8));
        }
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd writable{m_fd, POLLOUT, 0};
        if (poll(&writable, 1, kStallTimeoutMs) == 0) {
            return false;
        }
    }
    return true;
}

bool RampWriter::waitUntilConsumed() const {
    const auto deadline = std::chrono::steady_clock::now() + kConsumeTimeout;
    for (;;) {
        int pending = 0;
        if (ioctl(m_fd, FIONREAD, &pending) != 0) {
            return false;
        }
        if (pending == 0) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace dd::test
