#include "session_end.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "form.h"

namespace dd::qt {

namespace {

// The signal handler may only write a byte; the UI thread reads it and does the work.
int g_signalSocket[2] = {-1, -1};

void onTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalSocket[0], &byte, 1);
    errno = saved;
}

} // namespace

void closeWindowsOnTerminationSignals() {
    if (g_signalSocket[0] != -1 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalSocket) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(g_signalSocket[1], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[16];
        while (::read(g_signalSocket[1], bytes, sizeof bytes) > 0) {
        }
        // The same path as the close box: a recording under way is saved, the working file
        // deleted, and the process ends with 0 once the last window is gone.
        for (Form* form : Form::liveForms()) {
            form->close();
        }
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace dd::qt
