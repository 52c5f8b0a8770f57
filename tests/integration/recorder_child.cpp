// A recorder in a process of its own, for the tests that kill it: records 2 channels, 44100 Hz,
// 16 bits from the default source into the spool named on the command line until it is killed.
#include "platform/recorder/capture.h"
#include "platform/recorder/sound_recorder.h"

#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: recorder_child SPOOL\n");
        return 2;
    }
    dd::SoundRecorder recorder(argv[1], dd::makeCaptureBackend());
    if (!recorder.setFormat(2, 44100, 16) || !recorder.start()) {
        std::fprintf(stderr, "recorder_child: cannot record: %s\n", recorder.lastError().c_str());
        return 1;
    }
    std::fprintf(stderr, "recorder_child: recording into %s\n", argv[1]);
    for (;;) {
        pause(); // until a signal ends the process
    }
}
