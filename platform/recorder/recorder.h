// The sound-recording component as the application sees it. Every call comes from the UI
// thread; captured audio arrives on an audio thread inside the implementation.
#pragma once

#include <string>

namespace dd {

class Recorder {
  public:
    virtual ~Recorder() = default;
    // Accepts channels 1 or 2, rate 8000, 11025, 22050 or 44100, bits 8 or 16; anything else
    // changes nothing and gives false. Applies from the next start.
    virtual bool setFormat(int channels, int sampleRate, int bitsPerSample) = 0;
    // Ends any capture, discards the recording and begins a new one; false when the default
    // source cannot be opened in the stored format or the spool cannot be created.
    virtual bool start() = 0;
    virtual bool pause() = 0;
    virtual bool resume() = 0;
    // Ends capture; every sample captured before the call is kept.
    virtual bool stop() = 0;
    // False when the file exists and overwrite is false. Otherwise ends capture, releases the
    // device, writes the whole recording as WAV and returns whether the file exists.
    virtual bool save(const std::string& path, bool overwrite) = 0;
    // Why the last failed call failed, in words a user can read; empty when it did not fail.
    virtual std::string lastError() const { return {}; }
};

} // namespace dd
