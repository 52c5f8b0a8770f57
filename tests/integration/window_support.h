// Helpers for the window tests: a recording fake of the application's handlers, the loaded-window
// fixture, access to the live form's widgets, and X11 probes and input. UI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "platform/window/window.h"

class QPoint;

namespace dd::test {

// Records every event in order, and what the window looked like when created was raised.
class RecordingEvents final : public WindowEvents {
  public:
    void created() override;
    void willBeDestroyed() override;
    void clicked(Control button) override;

    std::vector<std::string> log;
    std::vector<Control> clicks;
    // Observations taken inside created.
    bool windowVisibleAtCreated = true;
    std::vector<int> selectionsAtCreated;
    // Observations taken inside willBeDestroyed.
    bool windowVisibleAtWillBeDestroyed = true;
    std::string captionAtWillBeDestroyed;

    // Optional extra work inside a handler, run after the recording.
    std::function<void()> onCreated;
    std::function<void()> onWillBeDestroyed;
    std::function<void(Control)> onClicked;
    // The window to read properties from inside handlers.
    Window* window = nullptr;
};

// The top-level widget of the one live form, or nullptr when none exists.
QWidget* liveForm();
// The widget of a control of the live form; nullptr when there is none.
QWidget* controlWidget(Control id);

// Dispatches events until the predicate holds or the time runs out; the predicate's last value.
bool waitFor(const std::function<bool()>& predicate, int timeoutMs = 5000);

// Runs a program to its end, dispatching no event meanwhile, and gives its standard output.
QString runProgram(const QString& program, const QStringList& arguments);
// The value of an X property of a window as xprop prints it.
QString xprop(unsigned long window, const QString& property);
// Synthetic input through the XTEST extension, as a real pointer and keyboard would give.
void xdotool(const QStringList& arguments);
// The global position of a point given within a widget, in X screen pixels.
QPoint screenPoint(QWidget* widget, int x, int y);

// Sends WM_DELETE_WINDOW, the message a window manager sends for the close box; false when
// the display cannot be opened.
bool requestClose(unsigned long window);

// The main window loaded and shown, with a recording fake for its handlers; every window is
// released at the end so that no handler outlives the test.
class LoadedWindow : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    Window& window() { return m_host->window(); }
    unsigned long windowId() const { return static_cast<unsigned long>(m_form->winId()); }
    // Clicks with the real pointer at the centre of a control.
    void clickAt(Control id);

    std::unique_ptr<WindowHost> m_host;
    RecordingEvents m_events;
    QWidget* m_form = nullptr;
};

} // namespace dd::test
