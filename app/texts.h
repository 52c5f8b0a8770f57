// The fixed texts of the application: captions, titles, file names and messages.
// Constants only.
#pragma once

#include <string_view>

namespace dd::texts {

inline constexpr std::string_view kRecord = "录音";
inline constexpr std::string_view kPause = "暂停";
inline constexpr std::string_view kContinue = "继续";
inline constexpr std::string_view kStop = "停止";
inline constexpr std::string_view kStopPlayback = "停止回放";

inline constexpr std::string_view kTitleStartUp = "咚咚鸟录音工具V1.2";
inline constexpr std::string_view kTitleRecording = "咚咚鸟V1.2【正在录音】";
inline constexpr std::string_view kTitlePaused = "咚咚鸟V1.2【暂停录音】";
inline constexpr std::string_view kTitleStopped = "咚咚鸟V1.2【停止录音】";
inline constexpr std::string_view kTitlePlaybackStopped = "咚咚鸟V1.2【停止回放】";
inline constexpr std::string_view kTitlePlaying = "咚咚鸟V1.2【正在播放】";

inline constexpr std::string_view kWorkingFile = "录音.wav";
inline constexpr std::string_view kWavExtension = ".wav";
// Where a recording's audio goes while it is being made, beside the working file.
inline constexpr std::string_view kSpoolFile = "录音.wav.part";

inline constexpr std::string_view kStartFailed = "启动失败,请重新运行。";
inline constexpr std::string_view kNoticeTitle = "提示:";
inline constexpr int kStopIcon = 16; // stop icon, one OK button
inline constexpr std::string_view kSaveFailed = "保存失败：";
inline constexpr std::string_view kReason = "\n原因：";
inline constexpr std::string_view kKeptIn = "\n录音仍保存在：";

} // namespace dd::texts
