#include "platform/recorder/winmm_util.h"

#include "platform/recorder/utf8_path.h"

#include <filesystem>

namespace dd {

std::string waveInErrorText(MMRESULT result) {
    wchar_t text[MAXERRORLENGTH] = {};
    std::string message;
    if (waveInGetErrorTextW(result, text, MAXERRORLENGTH) == MMSYSERR_NOERROR) {
        message = utf8Text(std::filesystem::path(text));
    }
    if (message.empty()) {
        message = "unknown error";
    }
    return message + " (MMRESULT " + std::to_string(result) + ")";
}

} // namespace dd
