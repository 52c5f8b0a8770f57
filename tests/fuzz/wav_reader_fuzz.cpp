// libFuzzer target for the WAV reader that playback relies on: whatever the bytes, it must
// not read outside them, and what it calls the samples must lie inside them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/services/wav_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes, so any read past the end hits the sanitizer's redzone.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const auto sound = dd::readWav(bytes);
    if (!sound) {
        return 0;
    }
    const int frame = sound->format.frameSize();
    if (frame <= 0 || sound->dataLength == 0 || sound->dataLength % frame != 0 ||
        sound->dataOffset > bytes.size() || sound->dataLength > bytes.size() - sound->dataOffset) {
        std::abort(); // a sound the player would read out of bounds or misalign
    }
    // Touch every sample byte the player would feed to the device.
    unsigned sum = 0;
    for (std::size_t i = 0; i < sound->dataLength; ++i) {
        sum += bytes[sound->dataOffset + i];
    }
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}
