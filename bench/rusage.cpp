// bench_rusage: runs a program and prints what it cost, all of its threads included, as
// key=value lines: wall time, user and system CPU time (to the microsecond, unlike time(1)),
// peak resident set size and context switches:
//
//   bench_rusage [--interrupt-after SECONDS] -- PROGRAM [ARG]...
//
// With --interrupt-after the program gets SIGINT that long after its start, which is how a
// recording by parecord or bench_record is ended.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
    double interruptAfter = -1;
    int at = 1;
    if (at + 1 < argc && std::strcmp(argv[at], "--interrupt-after") == 0) {
        interruptAfter = std::strtod(argv[at + 1], nullptr);
        at += 2;
    }
    if (at >= argc || std::strcmp(argv[at], "--") != 0 || at + 1 >= argc) {
        std::fprintf(stderr,
                     "usage: bench_rusage [--interrupt-after SECONDS] -- PROGRAM [ARG]...\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[at + 1], argv + at + 1);
        std::perror("bench_rusage: exec");
        _exit(127);
    }
    if (interruptAfter >= 0) {
        std::thread([child, interruptAfter] {
            std::this_thread::sleep_for(std::chrono::duration<double>(interruptAfter));
            kill(child, SIGINT);
        }).detach();
    }
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0) {
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
    };
    std::printf(
        "wall_s=%.6f\nuser_s=%.6f\nsys_s=%.6f\nmaxrss_kb=%ld\nvcs=%ld\nivcs=%ld\nstatus=%d\n", wall,
        seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_maxrss, usage.ru_nvcsw,
        usage.ru_nivcsw, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}
