// bench_record: the sound-recording component without its window. It records 44100 Hz, 16-bit
// stereo from the default source through the real capture backend and spool, started and stopped
// through the component's own interface, and prints what the benchmarks measure as key=value
// lines:
//
//   bench_record --spool PATH [--save PATH | --save-by-move PATH]... (--seconds N | --until-signal)
//
// --until-signal records until SIGUSR1 (or SIGINT / SIGTERM). The stop is the application's:
// stop, then each save in the order given (the time-stamped copy, then the working file), each
// through save() or, with --save-by-move, saveByMove().
#include "platform/recorder/capture.h"
#include "platform/recorder/sound_recorder.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A field of /proc/self/status in kB (VmHWM is the peak resident set size); -1 when absent.
long statusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(prefix, 0) == 0) {
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
        }
    }
    return -1;
}

// Bytes of disk the files hold, each inode counted once (a link is not a second copy).
long long diskBytes(const std::vector<std::string>& paths) {
    std::set<std::pair<dev_t, ino_t>> seen;
    long long bytes = 0;
    for (const std::string& path : paths) {
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && seen.insert({info.st_dev, info.st_ino}).second) {
            bytes += static_cast<long long>(info.st_blocks) * 512;
        }
    }
    return bytes;
}

int usage() {
    std::fprintf(stderr, "usage: bench_record --spool PATH [--save PATH | --save-by-move PATH]... "
                         "(--seconds N | --until-signal)\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string spool;
    std::vector<std::pair<std::string, bool>> saves; // path, by move
    double seconds = -1;
    bool untilSignal = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--spool" && i + 1 < argc) {
            spool = argv[++i];
        } else if ((arg == "--save" || arg == "--save-by-move") && i + 1 < argc) {
            saves.emplace_back(argv[i + 1], arg == "--save-by-move");
            ++i;
        } else if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::strtod(argv[++i], nullptr);
        } else if (arg == "--until-signal") {
            untilSignal = true;
        } else {
            return usage();
        }
    }
    if (spool.empty() || (seconds < 0) == !untilSignal) {
        return usage();
    }

    // Blocked before any thread starts, so every thread inherits the mask and the signal waits
    // for sigwait below instead of killing the process.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGUSR1);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    dd::SoundRecorder recorder(spool, dd::makeCaptureBackend());
    if (!recorder.setFormat(2, 44100, 16) || !recorder.start()) {
        std::fprintf(stderr, "bench_record: the recorder did not start\n");
        return 1;
    }
    std::printf("started=1\n");
    std::fflush(stdout);

    if (untilSignal) {
        int signal = 0;
        sigwait(&stopSignals, &signal);
    } else {
        const auto whole = static_cast<time_t>(seconds);
        const timespec length{whole,
                              static_cast<long>((seconds - static_cast<double>(whole)) * 1e9)};
        // A stop signal ends the take early.
        while (sigtimedwait(&stopSignals, nullptr, &length) < 0 && errno == EINTR) {
        }
    }

    const long capturePeakKb = statusKilobytes("VmHWM");
    // The process's own memory, without the pages of the sound server's shared pool it has
    // read from (RssShmem), which depend on the server, not on the recorder.
    const long captureAnonKb = statusKilobytes("RssAnon");
    const long long spoolBytesBefore = diskBytes({spool});
    const Clock::time_point stopStart = Clock::now();
    const bool stopped = recorder.stop();
    const double stopMs = millisecondsSince(stopStart);
    bool saved = true;
    for (const auto& [path, byMove] : saves) {
        saved = (byMove ? recorder.saveByMove(path, true) : recorder.save(path, true)) && saved;
    }
    const double stopAndSaveMs = millisecondsSince(stopStart);
    std::vector<std::string> files{spool};
    for (const auto& save : saves) {
        files.push_back(save.first);
    }
    const long long diskAfter = diskBytes(files);

    std::printf("stopped=%d\nsaved=%d\n", stopped ? 1 : 0, saved ? 1 : 0);
    std::printf("dropped_bytes=%llu\n", static_cast<unsigned long long>(recorder.droppedBytes()));
    std::printf("capture_peak_rss_kb=%ld\ncapture_rss_anon_kb=%ld\n", capturePeakKb, captureAnonKb);
    std::printf("stop_ms=%.3f\nstop_and_save_ms=%.3f\n", stopMs, stopAndSaveMs);
    std::printf("spool_disk_bytes=%lld\nextra_disk_bytes=%lld\n", spoolBytesBefore,
                diskAfter - spoolBytesBefore);
    std::printf("peak_rss_kb=%ld\n", statusKilobytes("VmHWM"));
    return stopped && saved ? 0 : 1;
}
