// The run-time services of this platform, owning the run directory, the exit routine and the
// sound player. UI thread only; endProgram and shutDown must not be called from a sound worker.
#pragma once

#include <functional>
#include <string>

#include "platform/services/services.h"
#include "platform/services/sound_player.h"

namespace dd {

class PlatformServices : public Services {
  public:
    PlatformServices() = default;
    // Stops every sound and waits for it. The exit routine is left to shutDown / endProgram.
    ~PlatformServices() override = default;

    void initialise() override;
    void registerExitRoutine(std::function<void()> routine) override;
    DateTime now() override;
    std::string runDirectory() override;
    std::string pathSeparator() override;
    bool fileExists(const std::string& path) override;
    Bytes readFile(const std::string& path) override;
    bool deleteFile(const std::string& path) override;
    // True when a worker was started for a playable WAV image, even if no output device turns
    // out to be there (the worker finds that out, and nothing is heard).
    bool playSound(const Bytes& sound, bool loop) override;
    // Likewise true once a worker was started for a file with a playable header.
    bool playFile(const std::string& path, bool loop) override;
    void stopPlaying() override;
    int messageBox(const std::string& text, int style, const std::string& title) override;
    void waitWithEvents(int ms) override;
    // shutDown, then ends the process with the code. Never returns.
    [[noreturn]] void endProgram(int exitCode) override;

    // Runs right after the windows are released on the way out, before the exit routine, for
    // what must go with the windows (the recorder, which may still be capturing).
    void setWindowsReleasedHook(std::function<void()> hook);

    // The end of the program short of ending the process, for a main that returns normally:
    // releases the windows, runs the hook and the exit routine, stops every sound and waits
    // for it. Only the first call, from here or from endProgram, does anything, so the exit
    // routine runs once whichever way the program ends.
    void shutDown();

  private:
    std::string m_runDirectory;
    std::function<void()> m_exitRoutine;
    std::function<void()> m_windowsReleased;
    bool m_shutDownStarted = false;
    SoundPlayer m_player;
};

} // namespace dd
