// The run-time services the application calls, as one seam that tests replace with a fake.
// UI thread only.
#pragma once

#include <functional>
#include <string>

#include "bytes.h"
#include "datetime.h"

namespace dd {

class Services {
  public:
    virtual ~Services() = default;
    // Fixes the run directory and makes it the current directory.
    virtual void initialise() = 0;
    // The routine runs once when the program ends: after a normal close and through
    // endProgram, after the windows are released.
    virtual void registerExitRoutine(std::function<void()> routine) = 0;
    virtual DateTime now() = 0;
    // The folder of the executable, without a trailing separator.
    virtual std::string runDirectory() = 0;
    // The separator that joins a folder and a name on this platform.
    virtual std::string pathSeparator() = 0;
    virtual bool fileExists(const std::string& path) = 0;
    virtual Bytes readFile(const std::string& path) = 0;
    virtual bool deleteFile(const std::string& path) = 0;
    // Starts playing a WAV image in the background from a copy of its own; false for data
    // that is not playable RIFF WAVE.
    virtual bool playSound(const Bytes& sound, bool loop) = 0;
    // Starts playing a WAV file in the background, reading it as it plays, so the call takes no
    // longer for an hour of sound than for a second; false when the file cannot be opened or is
    // not playable RIFF WAVE. The file is opened before the call returns: deleting it, or
    // saving another over it, while it plays does not change what is heard.
    virtual bool playFile(const std::string& path, bool loop) = 0;
    // Tells every sound to stop and returns at once.
    virtual void stopPlaying() = 0;
    virtual int messageBox(const std::string& text, int style, const std::string& title) = 0;
    virtual void waitWithEvents(int ms) = 0;
    // Releases the windows with no handler running, runs the exit routine once, stops every
    // sound and waits for it, then ends the process. Only fakes return from it.
    virtual void endProgram(int exitCode) = 0;
};

} // namespace dd
