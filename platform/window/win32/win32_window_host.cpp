// The Win32 window host: builds the one Form, raises created, shows it and runs the message loop
// until the last form is gone. UI thread only.
#include <windows.h>

#include <cstdio>

#include "form.h"
#include "form_window.h"
#include "platform/window/window.h"
#include "win32_text.h"

namespace dd {

namespace {

class Win32WindowHost final : public WindowHost {
  public:
    Window& window() override { return m_window; }

    bool load(const WindowDefinition& definition, WindowEvents& events) override {
        if (m_loaded) {
            std::fputs("dongdong-recorder: the window is already loaded; a process has one.\n",
                       stderr);
            return false;
        }
        m_loaded = true;
        win32::Form* form = win32::Form::create(definition, events);
        if (!form) {
            return false;
        }
        const int serial = form->serial();
        m_window.attach(serial);
        form->raiseCreated();
        // The created handler may have ended the program and released the window.
        if (win32::Form* shown = win32::Form::find(serial)) {
            shown->show();
        }
        return true;
    }

    void runMessageLoop() override {
        // The loop ends when the last form is gone (its destruction posts the quit request). A
        // quit request from elsewhere while a window exists does not end it.
        MSG message;
        while (!win32::Form::liveForms().empty()) {
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got == -1) {
                std::fprintf(stderr, "dongdong-recorder: the message loop failed: %s\n",
                             win32::systemErrorText(GetLastError()).c_str());
                return;
            }
            if (got == 0) {
                continue; // WM_QUIT: the loop's own condition decides
            }
            win32::Form::dispatch(message);
        }
    }

  private:
    win32::FormWindow m_window;
    bool m_loaded = false;
};

} // namespace

std::unique_ptr<WindowHost> makeWindowHost() {
    return std::make_unique<Win32WindowHost>();
}

} // namespace dd
