// A top-level Win32 window built from a WindowDefinition: its controls, keys, dragging, closing,
// and the forwarding of its events to WindowEvents. UI thread only (the thread that created it).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/window/window.h"
#include "platform/window/window_definition.h"

namespace dd::win32 {

class Form final {
  public:
    struct ControlEntry {
        Control id = Control::窗口;
        ControlKind kind = ControlKind::PushButton;
        HWND handle = nullptr;
    };

    // Builds the window and its controls, hidden, at the centred place; raises no event.
    // nullptr when the window cannot be created; the reason has gone to stderr.
    static Form* create(const WindowDefinition& definition, WindowEvents& events);

    // Every form whose window exists, oldest first.
    static std::vector<Form*> liveForms();
    // The live form with this serial number; nullptr once its window is gone.
    static Form* find(int serial);

    // Routes one message taken from the thread's queue: the forms' own keys first, then
    // dialog-style keyboard navigation among their controls, else translation and dispatch.
    static void dispatch(MSG& message);

    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    int serial() const { return m_serial; }
    HWND handle() const { return m_handle; }
    // The control of that id; nullptr for one without a window (the file dialog) or one the
    // definition does not hold.
    const ControlEntry* control(Control id) const;

    void raiseCreated();
    // Shows the window at its place, above the others, activated, the focus on the default
    // button.
    void show();

    bool alwaysOnTop() const { return m_alwaysOnTop; }
    void setAlwaysOnTop(bool on);
    // Enables or disables a control; a control that loses its enabled state also loses the
    // keyboard focus to the next one.
    void setEnabled(HWND control, bool enabled);
    const std::string& fileName() const { return m_fileName; }
    void setFileName(std::string name) { m_fileName = std::move(name); }

    // Detaches the application's handlers and destroys the window; from then on no handler
    // runs. Safe to call from inside one of its own handlers.
    void release();

  private:
    Form(const WindowDefinition& definition, WindowEvents& events);
    ~Form();

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool createControls(const WindowDefinition& definition);
    bool handleKey(const MSG& message);
    void close();
    // The window is gone (WM_NCDESTROY): forget it, and end the message loop with the last.
    void windowDestroyed();
    void focusFirstControl();
    // Runs an application handler unless the form was released. The form may be deleted when
    // it returns (its window was destroyed inside the handler): touch no member afterwards.
    template <typename Call> void runHandler(Call call);

    int m_serial = 0;
    HWND m_handle = nullptr;
    WindowEvents* m_events = nullptr;
    std::vector<ControlEntry> m_controls;
    HWND m_defaultButton = nullptr;
    Control m_defaultId = Control::窗口;
    HWND m_lastFocus = nullptr;
    int m_outerWidth = 0;
    int m_outerHeight = 0;
    COLORREF m_backgroundColour = RGB(255, 255, 255);
    HBRUSH m_background = nullptr;
    HFONT m_buttonFont = nullptr;
    bool m_ownsButtonFont = false;
    HFONT m_labelFont = nullptr;
    std::string m_fileName;
    bool m_alwaysOnTop = false;
    bool m_registered = false;
    bool m_closing = false;
    bool m_released = false;
    // How many application handlers of this form are running; while any is, the form is on
    // the stack and is deleted only when the outermost returns.
    int m_handlerDepth = 0;
};

} // namespace dd::win32
