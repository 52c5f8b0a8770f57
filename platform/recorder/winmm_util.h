// Helpers for the winmm capture backend: the one place a waveIn MMRESULT becomes text. Pure
// functions of their arguments: any thread (but never inside a wave callback).
#pragma once

#include <windows.h>

#include <mmsystem.h>

#include <string>

namespace dd {

// The system's message for a waveIn result, as UTF-8, with the code itself for the log.
std::string waveInErrorText(MMRESULT result);

} // namespace dd
