// The 44-byte header of a canonical PCM WAV file (one "fmt " and one "data" chunk, nothing else).
// Pure functions: any thread.
#pragma once

#include "platform/recorder/audio_format.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace dd {

inline constexpr std::size_t kWavHeaderSize = 44;

// The largest data size the header's 32-bit RIFF size (data size + 36) can describe, cut to
// whole frames of format.
std::uint32_t maxWavDataSize(const AudioFormat& format);

// dataSize must be a whole number of frames and at most maxWavDataSize(format).
std::array<std::uint8_t, kWavHeaderSize> makeWavHeader(const AudioFormat& format,
                                                       std::uint32_t dataSize);

// The format of a header this recorder wrote (its sizes aside): nullopt for anything else, such
// as another program's file or a header cut short.
std::optional<AudioFormat>
recorderHeaderFormat(const std::array<std::uint8_t, kWavHeaderSize>& header);

} // namespace dd
