// The sound-recording component as the application sees it. Every call comes from the UI
// thread; captured audio arrives on an audio thread inside the implementation.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace dd {

// A finished WAV file the recorder left under a name of its own (beside its spool), for the
// application to give a time-stamped name.
struct RecordingFile {
    std::string path;
    std::time_t lastWritten = 0; // when its last audio reached the disk
    bool operator==(const RecordingFile&) const = default;
};

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

    // Like save, but the recording's own file becomes path: a rename, so a stop needs no room
    // for it. Later saves copy from that file. Falls back to copying when it cannot rename (path
    // on another file system).
    virtual bool saveByMove(const std::string& path, bool overwrite) {
        return save(path, overwrite);
    }
    // A take longer than one WAV file can hold goes on in a new file: each call hands over the
    // files closed since the last call, oldest first. The last part is the one save writes.
    virtual std::vector<RecordingFile> takeFinishedParts() { return {}; }
    // True, until the next start, once the disk holding the recording is too full for a stop
    // to write its files, or the recording could not be written: stop as a stop would.
    // lastError() says why.
    virtual bool lowOnSpace() const { return false; }
    // Finishes what recorders that are gone (crashed, killed, cut off by a power loss) left in
    // this recorder's spool, as WAV files to be renamed. Never touches a live recorder's file.
    virtual std::vector<RecordingFile> recoverAbandoned() { return {}; }
    // notify runs on a thread of the recorder's whenever takeFinishedParts() or lowOnSpace()
    // has news; it may only wake the UI thread (post an event), never call the recorder.
    virtual void setNotifier(std::function<void()> notify) { (void)notify; }
};

} // namespace dd
