// Event-loop services of the window layer that the run-time services build on.
// UI thread only; each may run other handlers nested inside it.
#pragma once

#include <string>

namespace dd {

// Shows a message box with no owner, modal to the whole application; returns when it is
// closed. style holds message-box style bits: 16 selects the stop icon with one OK button.
int showMessageBox(const std::string& text, int style, const std::string& title);

// Returns once more than ms milliseconds have passed, dispatching window events meanwhile.
// Blocks on "next event or the deadline"; a quit request does not end it early.
void waitProcessingEvents(int ms);

// Destroys every window of the application without raising any of its events; from then on
// no handler runs.
void releaseWindows();

} // namespace dd
