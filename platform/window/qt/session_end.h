// Ends the program like a close of its windows when it is asked to stop from outside:
// SIGTERM, SIGINT or SIGHUP (a desktop session ending, a kill, a closed terminal).
// Install once, on the UI thread, after the QApplication exists.
#pragma once

namespace dd::qt {

void closeWindowsOnTerminationSignals();

} // namespace dd::qt
