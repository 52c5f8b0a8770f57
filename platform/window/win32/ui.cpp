// The event-loop services of the Win32 window layer: message box, the wait that dispatches
// messages, and the release of every window. UI thread only.
#include "platform/window/ui.h"

#include <windows.h>

#include "form.h"
#include "win32_text.h"

namespace dd {

int showMessageBox(const std::string& text, int style, const std::string& title) {
    // No owner; MB_TASKMODAL disables every top-level window of this thread while it shows,
    // so the box is modal to the whole application. Its own loop dispatches our messages.
    return MessageBoxW(nullptr, win32::widen(text).c_str(), win32::widen(title).c_str(),
                       MB_TASKMODAL | static_cast<UINT>(style));
}

void waitProcessingEvents(int ms) {
    if (ms <= 0) {
        return;
    }
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(ms);
    // A quit request must neither end the wait nor be lost: it is held and posted again after.
    bool quitSeen = false;
    WPARAM quitCode = 0;
    for (;;) {
        MSG message;
        while (GetTickCount64() <= deadline && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quitSeen = true;
                quitCode = message.wParam;
                continue;
            }
            win32::Form::dispatch(message);
        }
        const ULONGLONG now = GetTickCount64();
        if (now > deadline) {
            break;
        }
        // Sleeps until the next message or just past the deadline, whichever comes first.
        const auto left = static_cast<DWORD>(deadline - now + 1);
        MsgWaitForMultipleObjectsEx(0, nullptr, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    if (quitSeen) {
        PostQuitMessage(static_cast<int>(quitCode));
    }
}

void releaseWindows() {
    for (win32::Form* form : win32::Form::liveForms()) {
        form->release();
    }
}

} // namespace dd
