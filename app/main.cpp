// The process entry: wires the platform's window, recorder and services to the application.
#include "app/recorder_app.h"
#include "app/texts.h"
#include "platform/recorder/sound_recorder.h"
#include "platform/services/platform_services.h"
#include "platform/window/window.h"

int main() {
    dd::PlatformServices services;
    std::unique_ptr<dd::WindowHost> host = dd::makeWindowHost();
    // The spool lies next to the working file, in the current directory, which is the run
    // directory once the services are initialised.
    std::unique_ptr<dd::Recorder> recorder =
        dd::makeSoundRecorder(std::string(dd::texts::kSpoolFile));
    dd::RecorderApp app(host->window(), *recorder, services);
    // The recorder belongs to the window: it goes with it, discarding a recording under way.
    services.setWindowsReleasedHook([&recorder] { recorder.reset(); });
    if (dd::startRoutine(services, *host, app) != 0) {
        return -1;
    }
    services.endProgram(0);
    return 0;
}
