// The one QApplication of the process: the choice of platform plugin and its construction.
// UI thread only, the thread that first calls it.
#pragma once

#include <QtGlobal>

namespace dd::qt {

// Under a Wayland session with XWayland at hand, asks Qt for xcb: only X11 honours
// always-on-top and client-chosen placement. Does nothing when the user picked a platform.
void preferXcbUnderWayland();

// Constructs the QApplication once; later calls return the same one. A platform that cannot
// be reached is a fatal Qt error: see FatalErrorsEndProcess.
void ensureApplication();

// While alive, a fatal Qt message (such as "could not connect to display") goes to stderr and
// ends the process at once with exit code 255, running no exit routine; other messages go
// where they went before.
class FatalErrorsEndProcess {
  public:
    FatalErrorsEndProcess();
    ~FatalErrorsEndProcess();
    FatalErrorsEndProcess(const FatalErrorsEndProcess&) = delete;
    FatalErrorsEndProcess& operator=(const FatalErrorsEndProcess&) = delete;

  private:
    QtMessageHandler m_previous = nullptr;
};

} // namespace dd::qt
