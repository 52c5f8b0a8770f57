#include "platform/services/platform_services.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "platform/services/files.h"
#include "platform/services/recording_folder.h"
#include "platform/services/rundir.h"
#include "platform/window/ui.h"

// Defined only when the program is built with LeakSanitizer (ASan includes it).
extern "C" void __lsan_do_leak_check() __attribute__((weak));

namespace dd {

void PlatformServices::initialise() {
    if (const std::optional<std::string> executable = executablePath()) {
        m_runDirectory = cutAtLastSeparator(*executable, pathSeparators());
    } else {
        // Without the executable's path the folder the program was started in is the best
        // guess; the working file then lands there.
        std::fprintf(stderr, "dongdong-recorder: the program's own folder is unknown; using the "
                             "current directory\n");
        m_runDirectory = currentDirectory();
    }
    // Recordings go beside the executable, or to the music folder when that is read-only.
    m_runDirectory = chooseRecordingFolder(m_runDirectory, userMusicFolder(), dd::pathSeparator());
    // With the separator appended the root folder works too: "" gives "/", "C:" gives "C:\"
    // (a bare "C:" would name the drive's current folder rather than its root).
    const std::string folder = m_runDirectory + std::string(dd::pathSeparator());
    if (!changeDirectory(folder)) {
        std::fprintf(stderr, "dongdong-recorder: cannot change to the folder %s\n", folder.c_str());
    }
}

void PlatformServices::registerExitRoutine(std::function<void()> routine) {
    m_exitRoutine = std::move(routine);
}

DateTime PlatformServices::now() {
    return currentDateTime();
}

std::string PlatformServices::runDirectory() {
    return m_runDirectory;
}

std::string PlatformServices::pathSeparator() {
    return std::string(dd::pathSeparator());
}

bool PlatformServices::fileExists(const std::string& path) {
    return dd::fileExists(path);
}

Bytes PlatformServices::readFile(const std::string& path) {
    return dd::readFile(path);
}

bool PlatformServices::deleteFile(const std::string& path) {
    return dd::deleteFile(path);
}

bool PlatformServices::playSound(const Bytes& sound, bool loop) {
    return m_player.play(sound, loop);
}

bool PlatformServices::playFile(const std::string& path, bool loop) {
    return m_player.playFile(path, loop);
}

void PlatformServices::stopPlaying() {
    m_player.stopAll();
}

int PlatformServices::messageBox(const std::string& text, int style, const std::string& title) {
    return showMessageBox(text, style, title);
}

void PlatformServices::waitWithEvents(int ms) {
    if (ms <= 0) {
        return;
    }
    waitProcessingEvents(ms);
}

void PlatformServices::setWindowsReleasedHook(std::function<void()> hook) {
    m_windowsReleased = std::move(hook);
}

void PlatformServices::shutDown() {
    if (m_shutDownStarted) {
        return;
    }
    // Set before anything runs, so that an exit routine which itself ends the program does not
    // start the sequence again.
    m_shutDownStarted = true;
    releaseWindows();
    if (m_windowsReleased) {
        m_windowsReleased();
    }
    if (m_exitRoutine) {
        m_exitRoutine();
    }
    m_player.stopAllAndWait();
}

void PlatformServices::endProgram(int exitCode) {
    shutDown();
    // A sound started after an earlier shutDown must not outlive the process either.
    m_player.stopAllAndWait();
    std::fflush(nullptr);
    // _Exit skips the leak check a sanitizer build would run at exit; run it here instead.
    if (__lsan_do_leak_check != nullptr) {
        __lsan_do_leak_check();
    }
    // std::_Exit rather than std::exit: this may run nested inside a click handler, with the
    // toolkit's application object and the recorder's objects alive on the stack of main and
    // audio threads possibly still attached. std::exit would run static destructors under
    // them. Everything that must outlive the process has been done above: the exit routine
    // has run, no file is held open between events, and the streams have been flushed.
    std::_Exit(exitCode);
}

} // namespace dd
