// Xlib comes after every other header: its macros (KeyPress, None, Bool) clash with names in
// Qt and GoogleTest.
#include "window_support.h"

#include <X11/Xlib.h>

namespace dd::test {

bool requestClose(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        return false;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
    return true;
}

} // namespace dd::test
