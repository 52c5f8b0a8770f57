// What the Wine test runner (tools/wine-test.sh) sets up on the Linux side for the Windows test
// programs, seen from inside Wine: its folder, the ramp's FIFO, the server's stream counts and
// the recording of the speaker. Use from the test's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dd::test {

// The runner's folder as a Windows path (Z:\...), from DD_WINE_RUN. A program started without
// the runner has no sound server of its own: ADD_FAILURE() and empty.
std::string runFolder();

// Creates the folder (and its parents) named by a UTF-8 path; false when it cannot.
bool makeFolder(const std::string& path);
// Whether the UTF-8 path names an existing file or folder.
bool exists(const std::string& path);
// The whole file named by a UTF-8 path; nullopt when it cannot be read.
std::optional<std::vector<std::uint8_t>> readBytes(const std::string& path);
// Writes text to a new or truncated file named by a UTF-8 path; false when it cannot.
bool writeText(const std::string& path, const std::string& text);

// Writes the ramp (frame i holds i mod 65536 in both channels, s16le stereo) into the server's
// pipe source "ramp" at the pace of a real device: 10 ms of frames every 10 ms on a monotonic
// clock. Wine's capture drops audio that arrives in bursts. The runner keeps a reader of its
// own on "ramp", so the FIFO never fills and what is written while nobody else records is
// simply consumed.
class PacedRamp {
  public:
    // On failure: ADD_FAILURE() and isOpen() false.
    PacedRamp();
    PacedRamp(const PacedRamp&) = delete;
    PacedRamp& operator=(const PacedRamp&) = delete;
    ~PacedRamp();

    bool isOpen() const { return m_fifo != nullptr; }
    // Frames [from, to); returns once the last chunk is written, false when a write fails.
    bool write(std::uint64_t from, std::uint64_t to);

  private:
    void* m_fifo = nullptr; // a Win32 file handle
};

// The server's streams, from the file the runner rewrites whenever one comes or goes:
// "source-outputs" counts the recording streams (the runner's own readers left out),
// "sink-inputs" the playing ones. The file follows the server by a few milliseconds, so a test
// waits for the count an action must lead to rather than reading it once.
class ServerStatus {
  public:
    // The count now; -1 when there is none.
    static int count(const std::string& what);
    // Waits (up to 10 s) until the count is n; true if so.
    static bool waitFor(const std::string& what, int n);
};

// One stereo frame of the speaker's recording.
struct StereoFrame {
    std::int16_t left = 0;
    std::int16_t right = 0;
    bool operator==(const StereoFrame&) const = default;
};

// The recording of the null sink's monitor that the runner keeps going (s16le stereo at 44100
// Hz, appended to a file): read from where it stands when opened.
class MonitorRecording {
  public:
    static constexpr int kRate = 44100;
    // Starts at the end of what has been recorded so far; on failure ADD_FAILURE() and
    // isOpen() false.
    MonitorRecording();
    bool isOpen() const { return m_open; }
    // The next stretch, once it has all been recorded (bounded wait); empty on failure.
    std::vector<StereoFrame> read(std::chrono::milliseconds length);

  private:
    std::string m_path;
    std::uint64_t m_offset = 0;
    bool m_open = false;
};

// Frames that are not exactly zero: the null sink's monitor is exactly zero with nothing playing.
std::size_t loudFrames(const std::vector<StereoFrame>& frames);

} // namespace dd::test
