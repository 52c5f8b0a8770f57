// bench_mapped: starts a program and reports how long it took from the exec to a viewable window
// whose title contains NAME, with the window's id and the program's pid:
//
//   bench_mapped NAME [--keep] -- PROGRAM [ARG]...
//
// Without --keep the program is then ended (SIGTERM) and reaped. xdotool's --sync polls only
// twice a second, too coarse for a start-up of a few hundred milliseconds; this listens to the
// X server's map events instead, with a fine poll as a safety net.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string windowName(Display* display, Window window) {
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &items,
                           &after, &data) == Success &&
        data != nullptr) {
        name.assign(reinterpret_cast<char*>(data), items);
        XFree(data);
    }
    if (name.empty()) {
        char* plain = nullptr;
        if (XFetchName(display, window, &plain) != 0 && plain != nullptr) {
            name = plain;
            XFree(plain);
        }
    }
    return name;
}

// A viewable window under `top` (itself included) whose title contains `needle`; None if none.
Window findViewable(Display* display, Window top, const std::string& needle) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, top, &attributes) == 0 ||
        attributes.map_state != IsViewable) {
        return None;
    }
    if (windowName(display, top).find(needle) != std::string::npos) {
        return top;
    }
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = None;
    if (XQueryTree(display, top, &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count && found == None; ++i) {
            found = findViewable(display, children[i], needle);
        }
        XFree(children);
    }
    return found;
}

// A window may vanish between listing and asking; that is no error here.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_mapped NAME [--keep] -- PROGRAM [ARG]...\n");
        return 2;
    }
    const std::string needle = argv[1];
    int at = 2;
    const bool keep = std::strcmp(argv[at], "--keep") == 0;
    at += keep ? 1 : 0;
    if (std::strcmp(argv[at], "--") != 0 || at + 1 >= argc) {
        std::fprintf(stderr, "usage: bench_mapped NAME [--keep] -- PROGRAM [ARG]...\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "bench_mapped: no X display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        // The program's output must not hold open a pipe its caller reads to the end.
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        execvp(argv[at + 1], argv + at + 1);
        std::perror("bench_mapped: exec");
        _exit(127);
    }
    Window found = None;
    const Clock::time_point deadline = start + std::chrono::seconds(30);
    while (found == None && Clock::now() < deadline) {
        found = findViewable(display, root, needle);
        if (found != None) {
            break;
        }
        // Sleep until the X server reports something, or 2 ms at most.
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        if (XPending(display) == 0) {
            poll(&connection, 1, 2);
        }
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "bench_mapped: the program ended before its window showed\n");
            return 1;
        }
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (found == None) {
        std::fprintf(stderr, "bench_mapped: no window named %s within 30 s\n", needle.c_str());
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        return 1;
    }
    std::printf("mapped_ms=%.3f\nwindow=%lu\npid=%d\n", ms, found, static_cast<int>(child));
    std::fflush(stdout);
    XCloseDisplay(display);
    if (!keep) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
    }
    return 0;
}
