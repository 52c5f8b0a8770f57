// Stands in for the window layer's event services in the Windows test programs while the Win32
// window layer is absent (see ui_stub.cmake). None of these tests shows a window, so there are
// no windows to release and no window messages to dispatch; a message box would need a window
// and fails the test that asks for one.
#include "platform/window/ui.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace dd {

int showMessageBox(const std::string& text, int, const std::string&) {
    ADD_FAILURE() << "a test program without a window layer was asked for a message box: " << text;
    return 0;
}

void waitProcessingEvents(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms) + std::chrono::milliseconds(1));
}

void releaseWindows() {}

} // namespace dd
