#include "tests/wine/wine_run.h"

#include "platform/recorder/utf8_path.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace dd::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::uint64_t kFramesPerChunk = 441; // 10 ms at 44100 Hz
constexpr auto kChunk = 10ms;
constexpr auto kStatusTimeout = 10s;
constexpr auto kMonitorSlack = 5s;

std::string environment(const wchar_t* name) {
    wchar_t value[32768];
    const DWORD length = GetEnvironmentVariableW(name, value, 32768);
    if (length == 0 || length >= 32768) {
        return {};
    }
    return utf8Text(fs::path(std::wstring(value, length)));
}

struct Snapshot {
    int sourceOutputs = -1;
    int sinkInputs = -1;
};

std::optional<Snapshot> readStatus() {
    const std::string folder = runFolder();
    if (folder.empty()) {
        return std::nullopt;
    }
    std::ifstream in(utf8Path(folder + "\\status"));
    if (!in.is_open()) {
        return std::nullopt;
    }
    Snapshot snapshot;
    std::string name;
    int value = 0;
    while (in >> name >> value) {
        if (name == "source-outputs") {
            snapshot.sourceOutputs = value;
        } else if (name == "sink-inputs") {
            snapshot.sinkInputs = value;
        }
    }
    return snapshot;
}

int countIn(const Snapshot& snapshot, const std::string& what) {
    if (what == "source-outputs") {
        return snapshot.sourceOutputs;
    }
    if (what == "sink-inputs") {
        return snapshot.sinkInputs;
    }
    ADD_FAILURE() << "the server status has no count of " << what;
    return -1;
}

} // namespace

std::string runFolder() {
    static const std::string folder = environment(L"DD_WINE_RUN");
    if (folder.empty()) {
        ADD_FAILURE() << "DD_WINE_RUN is not set: run this program through tools/wine-test.sh, "
                         "which gives it a sound server of its own";
    }
    return folder;
}

bool makeFolder(const std::string& path) {
    std::error_code error;
    fs::create_directories(utf8Path(path), error);
    return fs::is_directory(utf8Path(path), error);
}

bool exists(const std::string& path) {
    std::error_code error;
    return fs::exists(utf8Path(path), error);
}

std::optional<std::vector<std::uint8_t>> readBytes(const std::string& path) {
    std::ifstream in(utf8Path(path), std::ios::binary);
    if (!in.is_open()) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream out(utf8Path(path), std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

PacedRamp::PacedRamp() {
    const std::string folder = runFolder();
    if (folder.empty()) {
        return;
    }
    const fs::path fifo = utf8Path(folder + "\\pulse\\ramp.fifo");
    HANDLE handle = CreateFileW(fifo.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot open the ramp's FIFO " << utf8Text(fifo) << " (error "
                      << GetLastError() << ")";
        return;
    }
    m_fifo = handle;
}

PacedRamp::~PacedRamp() {
    if (m_fifo != nullptr) {
        CloseHandle(m_fifo);
    }
}

bool PacedRamp::write(std::uint64_t from, std::uint64_t to) {
    auto next = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> bytes;
    for (std::uint64_t at = from; at < to; at += kFramesPerChunk) {
        bytes.clear();
        for (std::uint64_t i = at; i < std::min(at + kFramesPerChunk, to); ++i) {
            const auto value = static_cast<std::uint16_t>(i);
            for (int channel = 0; channel < 2; ++channel) {
                bytes.push_back(static_cast<std::uint8_t>(value));
                bytes.push_back(static_cast<std::uint8_t>(value >> 8));
            }
        }
        DWORD written = 0;
        if (!WriteFile(m_fifo, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size()) {
            ADD_FAILURE() << "writing the ramp failed (error " << GetLastError() << ")";
            return false;
        }
        next += kChunk;
        std::this_thread::sleep_until(next);
    }
    return true;
}

int ServerStatus::count(const std::string& what) {
    const std::optional<Snapshot> snapshot = readStatus();
    return snapshot ? countIn(*snapshot, what) : -1;
}

bool ServerStatus::waitFor(const std::string& what, int n) {
    const auto deadline = std::chrono::steady_clock::now() + kStatusTimeout;
    for (;;) {
        if (count(what) == n) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
}

MonitorRecording::MonitorRecording() {
    const std::string folder = runFolder();
    if (folder.empty()) {
        return;
    }
    m_path = folder + "\\monitor.raw";
    std::error_code error;
    const std::uintmax_t size = fs::file_size(utf8Path(m_path), error);
    if (error) {
        ADD_FAILURE() << "the runner's recording of the speaker is missing: " << m_path;
        return;
    }
    m_offset = size - size % sizeof(StereoFrame);
    m_open = true;
}

std::vector<StereoFrame> MonitorRecording::read(std::chrono::milliseconds length) {
    std::vector<StereoFrame> frames(static_cast<std::size_t>(kRate * length.count() / 1000));
    const std::uint64_t bytes = frames.size() * sizeof(StereoFrame);
    const auto deadline = std::chrono::steady_clock::now() + length + kMonitorSlack;
    for (;;) {
        std::error_code error;
        const std::uintmax_t size = fs::file_size(utf8Path(m_path), error);
        if (!error && size >= m_offset + bytes) {
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ADD_FAILURE() << "the speaker's recording stopped growing";
            return {};
        }
        std::this_thread::sleep_for(20ms);
    }
    std::ifstream in(utf8Path(m_path), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(m_offset));
    in.read(reinterpret_cast<char*>(frames.data()), static_cast<std::streamsize>(bytes));
    if (static_cast<std::uint64_t>(in.gcount()) != bytes) {
        ADD_FAILURE() << "cannot read the speaker's recording";
        return {};
    }
    m_offset += bytes;
    return frames;
}

std::size_t loudFrames(const std::vector<StereoFrame>& frames) {
    std::size_t loud = 0;
    for (const StereoFrame& frame : frames) {
        loud += frame == StereoFrame{} ? 0 : 1;
    }
    return loud;
}

} // namespace dd::test
