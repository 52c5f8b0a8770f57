// bench_play_latency: clicks the recorder's play-back button and measures the time from the click
// to the first sample of the sound at the null sink, heard on its monitor; then clicks the stop
// button and waits for silence before the next run:
//
//   bench_play_latency WINDOW PLAY_X PLAY_Y STOP_X STOP_Y RUNS
//
// Prints one latency_ms=... line per run. The click is sent through XTest from here, so no
// helper process start-up sits between the time taken and the click.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kRate = 44100;
constexpr std::size_t kFragmentFrames = kRate / 200; // 5 ms: the resolution of the measurement

// Listens to the monitor on a thread of its own and notes when sound starts and when it was
// last heard.
class Monitor {
  public:
    bool open() {
        pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 2};
        pa_buffer_attr buffer{};
        buffer.maxlength = static_cast<std::uint32_t>(-1);
        buffer.fragsize = static_cast<std::uint32_t>(kFragmentFrames * 4);
        int code = 0;
        m_connection = pa_simple_new(nullptr, "bench_play_latency", PA_STREAM_RECORD,
                                     "speaker.monitor", "monitor", &spec, nullptr, &buffer, &code);
        if (m_connection == nullptr) {
            std::fprintf(stderr, "bench_play_latency: cannot record the monitor: %s\n",
                         pa_strerror(code));
            return false;
        }
        m_thread = std::thread([this] { run(); });
        return true;
    }

    ~Monitor() {
        m_running = false;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_connection != nullptr) {
            pa_simple_free(m_connection);
        }
    }

    // Forgets the last start; the next sound after this is reported by firstSound().
    void arm() {
        std::lock_guard lock(m_mutex);
        m_firstSound.reset();
        m_armed = true;
    }
    std::optional<Clock::time_point> firstSound() {
        std::lock_guard lock(m_mutex);
        return m_firstSound;
    }
    bool silentFor(Clock::duration length) {
        std::lock_guard lock(m_mutex);
        return m_listened && Clock::now() - m_lastSound >= length;
    }

  private:
    void run() {
        std::vector<std::int16_t> samples(kFragmentFrames * 2);
        while (m_running) {
            int code = 0;
            if (pa_simple_read(m_connection, samples.data(), samples.size() * 2, &code) < 0) {
                std::fprintf(stderr, "bench_play_latency: monitor: %s\n", pa_strerror(code));
                return;
            }
            const Clock::time_point arrived = Clock::now();
            std::optional<std::size_t> first;
            for (std::size_t frame = 0; frame < kFragmentFrames; ++frame) {
                if (samples[frame * 2] != 0 || samples[frame * 2 + 1] != 0) {
                    first = frame;
                    break;
                }
            }
            std::lock_guard lock(m_mutex);
            m_listened = true;
            if (first) {
                // The fragment arrived once its last frame was rendered; the first loud frame
                // was rendered the rest of the fragment earlier.
                const auto after =
                    std::chrono::microseconds((kFragmentFrames - *first) * 1'000'000 / kRate);
                m_lastSound = arrived;
                if (m_armed) {
                    m_firstSound = arrived - after;
                    m_armed = false;
                }
            }
        }
    }

    pa_simple* m_connection = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_running{true};
    std::mutex m_mutex;
    bool m_listened = false;
    bool m_armed = false;
    Clock::time_point m_lastSound{};
    std::optional<Clock::time_point> m_firstSound;
};

// Moves the pointer to (x, y) inside the window and clicks; returns once the X server has both
// the press and the release (the button acts on the release).
Clock::time_point click(Display* display, Window window, int x, int y) {
    XWarpPointer(display, None, window, 0, 0, 0, 0, x, y);
    XSync(display, False);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
    return Clock::now();
}

template <typename Done> bool waitFor(Done done, Clock::duration timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: bench_play_latency WINDOW PLAY_X PLAY_Y STOP_X STOP_Y RUNS\n");
        return 2;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    const int playX = std::atoi(argv[2]);
    const int playY = std::atoi(argv[3]);
    const int stopX = std::atoi(argv[4]);
    const int stopY = std::atoi(argv[5]);
    const int runs = std::atoi(argv[6]);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "bench_play_latency: no X display\n");
        return 1;
    }
    Monitor monitor;
    if (!monitor.open()) {
        return 1;
    }
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        if (!waitFor([&] { return monitor.silentFor(300ms); }, 10s)) {
            std::fprintf(stderr, "bench_play_latency: the speaker does not fall silent\n");
            return 1;
        }
        monitor.arm();
        const Clock::time_point clicked = click(display, window, playX, playY);
        if (!waitFor([&] { return monitor.firstSound().has_value(); }, 10s)) {
            std::fprintf(stderr, "bench_play_latency: run %d: no sound within 10 s\n", run + 1);
            ++failures;
        } else {
            std::printf(
                "latency_ms=%.3f\n",
                std::chrono::duration<double, std::milli>(*monitor.firstSound() - clicked).count());
            std::fflush(stdout);
        }
        // Let it play a moment, as a listener would, before stopping it.
        std::this_thread::sleep_for(300ms);
        click(display, window, stopX, stopY);
    }
    XCloseDisplay(display);
    return failures == 0 ? 0 : 1;
}
