// The window the application talks to: its controls' properties and the events bound to
// the application's handlers. Owned by the window layer; every call comes from the UI thread.
#pragma once

#include <memory>
#include <string>

#include "window_definition.h"

namespace dd {

// Implemented by the application: the routines bound to the window's events.
class WindowEvents {
  public:
    virtual ~WindowEvents() = default;
    virtual void created() = 0;
    virtual void willBeDestroyed() = 0;
    virtual void clicked(Control button) = 0;
};

// Property access. Reads of a property a control does not have give the empty value;
// writes to it do nothing.
class Window {
  public:
    virtual ~Window() = default;
    virtual std::string title() const = 0;
    virtual void setTitle(const std::string& text) = 0;
    virtual bool alwaysOnTop() const = 0;
    virtual void setAlwaysOnTop(bool on) = 0;
    virtual std::string caption(Control button) const = 0;
    virtual void setCaption(Control button, const std::string& text) = 0;
    virtual bool disabled(Control button) const = 0;
    virtual void setDisabled(Control button, bool disabled) = 0;
    // 0-based index of the selected item of a drop-down list, -1 when none is selected.
    virtual int selectedItem(Control list) const = 0;
    virtual void setSelectedItem(Control list, int index) = 0;
    // The file name held by the file dialog 对话框.
    virtual std::string fileName() const = 0;
    virtual void setFileName(const std::string& name) = 0;
};

// Creates the window, runs the message loop. One per process, on the UI thread.
class WindowHost {
  public:
    virtual ~WindowHost() = default;
    // Valid before and after load(); property calls before load() do nothing.
    virtual Window& window() = 0;
    // Creates the window and its controls from the definition with no handler running,
    // raises created, then shows and activates the window if it still exists.
    // False when the window cannot be created; the reason has gone to stderr.
    virtual bool load(const WindowDefinition& definition, WindowEvents& events) = 0;
    // Dispatches events until the last window is gone; returns at once when none exists.
    virtual void runMessageLoop() = 0;
};

std::unique_ptr<WindowHost> makeWindowHost();

} // namespace dd
