// The recorder application: the handlers bound to the main window's events, the stop and
// archive routines, the exit routine, and the one text the application owns.
// UI thread only; it holds no locks and keeps its state in the window's controls.
#pragma once

#include <string>

#include "platform/recorder/recorder.h"
#include "platform/services/services.h"
#include "platform/window/window.h"

namespace dd {

class RecorderApp final : public WindowEvents {
  public:
    RecorderApp(Window& window, Recorder& recorder, Services& services);

    void created() override;
    void willBeDestroyed() override;
    void clicked(Control button) override;

    void recordHandler();
    void stopRoutine();
    void archiveRoutine();
    void playbackHandler();
    void exitRoutine();

    const std::string& lastRecordingPath() const { return m_lastRecordingPath; }

  private:
    void startSequence();
    // Saves the recording under path; on failure tells the user which file failed and why.
    void saveOrTell(const std::string& path);
    // Shows a notice with the stop icon; the window stops being on top while it shows.
    void tell(const std::string& message);

    Window& m_window;
    Recorder& m_recorder;
    Services& m_services;
    // The recording format last read from the hidden lists; 0 until the first start.
    int m_channels = 0;
    int m_sampleRate = 0;
    int m_sampleSize = 0;
    std::string m_lastRecordingPath;
};

// Initialises the services, registers the application's exit routine, brings up the main window
// and runs it until it is closed: 0 then. -1 when the window could not be created; the exit
// routine must not run then. The caller ends the process; the app must outlive that end.
int startRoutine(Services& services, WindowHost& host, RecorderApp& app);

} // namespace dd
