#include "recorder_app.h"

#include <array>

#include "main_window.h"
#include "platform/services/datetime.h"
#include "platform/services/text.h"
#include "texts.h"

namespace dd {

namespace {

// Item index of each hidden list → the format value it stands for.
constexpr std::array kChannelsByItem{1, 2};
constexpr std::array kRatesByItem{8000, 11025, 22050, 44100};
constexpr std::array kSizesByItem{8, 16};

// A selection that maps to no value leaves the variable as it was.
template <std::size_t N>
void updateFromSelection(int& variable, int item, const std::array<int, N>& values) {
    if (item >= 0 && static_cast<std::size_t>(item) < N) {
        variable = values[static_cast<std::size_t>(item)];
    }
}

bool equals(const std::string& caption, std::string_view literal) {
    return compareText(caption, literal) == 0;
}

} // namespace

RecorderApp::RecorderApp(Window& window, Recorder& recorder, Services& services)
    : m_window(window), m_recorder(recorder), m_services(services) {}

void RecorderApp::created() {
    // In the start state this only selects the default format; its title is replaced at once.
    stopRoutine();
    m_window.setTitle(std::string(texts::kTitleStartUp));
}

void RecorderApp::willBeDestroyed() {
    // A recording under way is kept: saved exactly as a click on 停止 would.
    if (equals(m_window.caption(Control::优化配置按钮), texts::kStop)) {
        stopRoutine();
    }
    m_services.waitWithEvents(100);
    m_services.deleteFile(std::string(texts::kWorkingFile));
}

void RecorderApp::clicked(Control button) {
    switch (button) {
    case Control::录音按钮:
        recordHandler();
        break;
    case Control::优化配置按钮:
        stopRoutine();
        break;
    case Control::回放按钮:
        playbackHandler();
        break;
    default:
        break;
    }
}

void RecorderApp::recordHandler() {
    m_services.stopPlaying();
    if (equals(m_window.caption(Control::录音按钮), texts::kRecord)) {
        startSequence();
        return;
    }
    if (equals(m_window.caption(Control::录音按钮), texts::kContinue)) {
        m_recorder.resume();
        m_window.setTitle(std::string(texts::kTitleRecording));
        m_window.setCaption(Control::录音按钮, std::string(texts::kPause));
        return;
    }
    if (equals(m_window.caption(Control::录音按钮), texts::kPause)) {
        m_recorder.pause();
        m_window.setTitle(std::string(texts::kTitlePaused));
        m_window.setCaption(Control::录音按钮, std::string(texts::kContinue));
    }
}

void RecorderApp::startSequence() {
    m_window.setTitle(std::string(texts::kTitleRecording));
    m_window.setFileName(std::string(texts::kWorkingFile));
    updateFromSelection(m_channels, m_window.selectedItem(Control::线路数组合框), kChannelsByItem);
    updateFromSelection(m_sampleRate, m_window.selectedItem(Control::采样率组合框), kRatesByItem);
    updateFromSelection(m_sampleSize, m_window.selectedItem(Control::采样大小组合框), kSizesByItem);
    m_recorder.setFormat(m_channels, m_sampleRate, m_sampleSize);
    if (!m_recorder.start()) {
        tell(std::string(texts::kStartFailed));
        m_services.endProgram(0);
        return;
    }
    m_window.setDisabled(Control::回放按钮, true);
    m_window.setCaption(Control::录音按钮, std::string(texts::kPause));
    m_window.setCaption(Control::优化配置按钮, std::string(texts::kStop));
    m_lastRecordingPath = m_window.fileName();
}

void RecorderApp::stopRoutine() {
    m_services.stopPlaying();
    if (equals(m_window.caption(Control::优化配置按钮), texts::kStop)) {
        m_recorder.stop();
        archiveRoutine();
        m_window.setTitle(std::string(texts::kTitleStopped));
    }
    if (equals(m_window.caption(Control::优化配置按钮), texts::kStopPlayback)) {
        m_window.setTitle(std::string(texts::kTitlePlaybackStopped));
    }
    if (!equals(m_window.caption(Control::优化配置按钮), texts::kStopPlayback)) {
        saveOrTell(m_window.fileName());
        m_window.setFileName("");
        m_window.setCaption(Control::录音按钮, std::string(texts::kRecord));
        m_window.setCaption(Control::优化配置按钮, std::string(texts::kStopPlayback));
        m_window.setDisabled(Control::回放按钮, false);
    } else {
        m_window.setSelectedItem(Control::线路数组合框, 1);
        m_window.setSelectedItem(Control::采样率组合框, 3);
        m_window.setSelectedItem(Control::采样大小组合框, 1);
    }
}

void RecorderApp::archiveRoutine() {
    const std::string folder = m_services.runDirectory();
    const std::string when = dateTimeText(m_services.now());
    const std::string stem = concatText({folder, m_services.pathSeparator(), when});
    // Time-stamped copies are never overwritten: a second stop within the same second gets
    // " (2)", a third " (3)", and so on.
    std::string path = concatText({stem, texts::kWavExtension});
    for (int n = 2; m_services.fileExists(path); ++n) {
        path = concatText({stem, " (", std::to_string(n), ")", texts::kWavExtension});
    }
    saveOrTell(path);
}

void RecorderApp::saveOrTell(const std::string& path) {
    if (m_recorder.save(path, true)) {
        return;
    }
    tell(concatText({texts::kSaveFailed, path, texts::kReason, m_recorder.lastError(),
                     texts::kKeptIn, m_services.runDirectory(), m_services.pathSeparator(),
                     texts::kSpoolFile}));
}

void RecorderApp::tell(const std::string& message) {
    // The box must not hide behind the window, which would otherwise stay above it.
    m_window.setAlwaysOnTop(false);
    m_services.messageBox(message, texts::kStopIcon, std::string(texts::kNoticeTitle));
    m_window.setAlwaysOnTop(true);
}

void RecorderApp::playbackHandler() {
    m_services.stopPlaying();
    if (!m_services.fileExists(m_lastRecordingPath)) {
        return;
    }
    // Played from the file as it is read: reading a long take whole first would freeze the
    // window for as long as the read takes, and hours of sound do not fit in memory at all.
    m_services.playFile(m_lastRecordingPath, false);
    m_window.setTitle(std::string(texts::kTitlePlaying));
}

void RecorderApp::exitRoutine() {
    m_lastRecordingPath.clear();
    m_lastRecordingPath.shrink_to_fit();
}

int startRoutine(Services& services, WindowHost& host, RecorderApp& app) {
    services.initialise();
    services.registerExitRoutine([&app] { app.exitRoutine(); });
    if (!host.load(mainWindowDefinition(), app)) {
        return -1;
    }
    host.runMessageLoop();
    return 0;
}

} // namespace dd
