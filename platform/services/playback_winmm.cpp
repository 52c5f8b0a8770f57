// Sound output through winmm: waveOut on the wave mapper (the system's default output device),
// one device per playing sound, owned by the worker thread that feeds it. The device signals an
// event as each buffer is played; the worker waits on it, so no wave function ever runs inside
// a wave callback.
#include "platform/services/sound_output.h"

#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <vector>

#include "platform/recorder/utf8_path.h"

namespace dd {

namespace {

using std::chrono::microseconds;

// Ten buffers, each taking one write (the player writes 20 ms at a time): about 200 ms of sound
// queued ahead of the speaker, which rides out a worker delayed by a busy machine. A stop does
// not wait for it: the destructor resets the device.
constexpr int kBuffers = 10;
constexpr DWORD kBufferMilliseconds = 50; // the most one buffer takes; longer writes are split
// A device that plays nothing for this long has stopped working.
constexpr DWORD kStallMilliseconds = 3000;
// Queued behind a sound by drain(), so that its end is heard before the device goes.
constexpr DWORD kTrailingSilenceMilliseconds = 100;
// The device is held paused until this much is queued: started on the first 20 ms alone it
// runs dry before the next write reaches it (under Wine the speaker then hears a gap).
constexpr std::uint64_t kPrebufferMilliseconds = 100;

// The one place that turns a waveOut result into text.
std::string waveOutErrorText(MMRESULT result) {
    wchar_t text[MAXERRORLENGTH] = {};
    std::string message;
    if (waveOutGetErrorTextW(result, text, MAXERRORLENGTH) == MMSYSERR_NOERROR) {
        message = utf8Text(std::filesystem::path(text));
    }
    if (message.empty()) {
        message = "unknown error";
    }
    return message + " (MMRESULT " + std::to_string(result) + ")";
}

class WinmmOutput : public SoundOutput {
  public:
    WinmmOutput() = default;
    WinmmOutput(const WinmmOutput&) = delete;
    WinmmOutput& operator=(const WinmmOutput&) = delete;
    ~WinmmOutput() override;

    // The device is opened and its buffers prepared; false with the reason in lastError().
    bool open(const WavFormat& format);

    bool write(std::span<const std::uint8_t> samples) override;
    std::optional<microseconds> pending() override;
    bool drain() override;
    std::string lastError() const override { return m_lastError; }

  private:
    bool playing(int i) const { return m_queued[i] && (m_headers[i].dwFlags & WHDR_DONE) == 0; }
    std::uint64_t queuedBytes() const;
    // Lets the paused device play what is queued.
    bool start();
    // Waits until buffer i has been played; false when the device stalls.
    bool waitUntilPlayed(int i);
    bool failed(const char* what, MMRESULT result) {
        m_lastError = std::string(what) + ": " + waveOutErrorText(result);
        return false;
    }

    HWAVEOUT m_device = nullptr;
    HANDLE m_event = nullptr; // set by the device whenever a buffer has been played
    std::array<WAVEHDR, kBuffers> m_headers{};
    std::array<bool, kBuffers> m_prepared{};
    std::array<bool, kBuffers> m_queued{};
    std::vector<std::vector<char>> m_buffers;
    int m_next = 0; // the buffer the next write goes into: the oldest one handed over
    bool m_started = false;
    DWORD m_bytesPerSecond = 0;
    DWORD m_frameSize = 1;
    std::uint8_t m_silenceByte = 0; // 8-bit samples are unsigned, centred on 128
    std::string m_lastError;
};

bool WinmmOutput::open(const WavFormat& format) {
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = static_cast<WORD>(format.channels);
    wave.nSamplesPerSec = static_cast<DWORD>(format.sampleRate);
    wave.wBitsPerSample = static_cast<WORD>(format.bitsPerSample);
    wave.nBlockAlign = static_cast<WORD>(format.frameSize());
    wave.nAvgBytesPerSec = wave.nSamplesPerSec * wave.nBlockAlign;
    m_bytesPerSecond = wave.nAvgBytesPerSec;
    m_frameSize = wave.nBlockAlign;
    m_silenceByte = format.bitsPerSample == 8 ? 0x80 : 0x00;

    m_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (m_event == nullptr) {
        m_lastError = "cannot create an event (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    MMRESULT result = waveOutOpen(&m_device, WAVE_MAPPER, &wave,
                                  reinterpret_cast<DWORD_PTR>(m_event), 0, CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        m_device = nullptr;
        return failed("cannot open the default output device", result);
    }
    const DWORD frames = wave.nSamplesPerSec * kBufferMilliseconds / 1000;
    const DWORD bufferBytes = (frames > 0 ? frames : 1) * wave.nBlockAlign;
    m_buffers.assign(kBuffers, std::vector<char>(bufferBytes));
    for (int i = 0; i < kBuffers; ++i) {
        m_headers[i].lpData = m_buffers[i].data();
        m_headers[i].dwBufferLength = bufferBytes;
        result = waveOutPrepareHeader(m_device, &m_headers[i], sizeof m_headers[i]);
        if (result != MMSYSERR_NOERROR) {
            return failed("cannot prepare the output buffers", result);
        }
        m_prepared[i] = true;
    }
    result = waveOutPause(m_device);
    if (result != MMSYSERR_NOERROR) {
        return failed("cannot prepare the output device", result);
    }
    return true;
}

WinmmOutput::~WinmmOutput() {
    if (m_device != nullptr) {
        // Cuts the sound at once and hands every buffer back.
        waveOutReset(m_device);
        for (int i = 0; i < kBuffers; ++i) {
            if (m_prepared[i]) {
                m_headers[i].dwBufferLength = static_cast<DWORD>(m_buffers[i].size());
                waveOutUnprepareHeader(m_device, &m_headers[i], sizeof m_headers[i]);
            }
        }
        waveOutClose(m_device);
    }
    if (m_event != nullptr) {
        CloseHandle(m_event);
    }
}

bool WinmmOutput::write(std::span<const std::uint8_t> samples) {
    while (!samples.empty()) {
        if (!waitUntilPlayed(m_next)) {
            return false;
        }
        WAVEHDR& header = m_headers[m_next];
        const std::size_t size = std::min(samples.size(), m_buffers[m_next].size());
        std::copy_n(samples.begin(), size, m_buffers[m_next].begin());
        header.dwBufferLength = static_cast<DWORD>(size);
        header.dwFlags &= ~WHDR_DONE;
        const MMRESULT result = waveOutWrite(m_device, &header, sizeof header);
        if (result != MMSYSERR_NOERROR) {
            return failed("the output device refused the sound", result);
        }
        m_queued[m_next] = true;
        m_next = (m_next + 1) % kBuffers;
        samples = samples.subspan(size);
        if (!m_started && queuedBytes() * 1000 >= kPrebufferMilliseconds * m_bytesPerSecond &&
            !start()) {
            return false;
        }
    }
    return true;
}

std::uint64_t WinmmOutput::queuedBytes() const {
    std::uint64_t bytes = 0;
    for (int i = 0; i < kBuffers; ++i) {
        if (playing(i)) {
            bytes += m_headers[i].dwBufferLength;
        }
    }
    return bytes;
}

bool WinmmOutput::start() {
    const MMRESULT result = waveOutRestart(m_device);
    if (result != MMSYSERR_NOERROR) {
        return failed("cannot start the output device", result);
    }
    m_started = true;
    return true;
}

std::optional<microseconds> WinmmOutput::pending() {
    // What is queued and not yet played; the device's own small buffer beyond that is left to
    // drain().
    return microseconds(static_cast<std::int64_t>(queuedBytes() * 1'000'000 / m_bytesPerSecond));
}

bool WinmmOutput::drain() {
    // A buffer counts as played once the device has taken it, which is a little before it is
    // heard (under Wine the last few milliseconds still sit in the sound server), and releasing
    // the device drops what it still holds. Silence queued behind the sound carries the last
    // samples through before drain() returns.
    const DWORD frames = m_bytesPerSecond / m_frameSize * kTrailingSilenceMilliseconds / 1000;
    const std::vector<std::uint8_t> silence(frames * m_frameSize, m_silenceByte);
    if (!write(silence)) {
        return false;
    }
    // Buffers are played in the order they were written, so the newest is the last to finish.
    for (int n = 0; n < kBuffers; ++n) {
        if (!waitUntilPlayed((m_next + n) % kBuffers)) {
            return false;
        }
    }
    return true;
}

bool WinmmOutput::waitUntilPlayed(int i) {
    // Nothing finishes on a paused device: a short sound, or one waiting for room, starts it.
    if (playing(i) && !m_started && !start()) {
        return false;
    }
    while (playing(i)) {
        // The event is set as each buffer finishes; a wait that ends without it while this one
        // is still queued means the device has stopped playing.
        if (WaitForSingleObject(m_event, kStallMilliseconds) != WAIT_OBJECT_0 && playing(i)) {
            m_lastError = "the output device stopped playing";
            return false;
        }
    }
    m_queued[i] = false;
    return true;
}

} // namespace

std::unique_ptr<SoundOutput> openSoundOutput(const WavFormat& format, std::string& error) {
    auto output = std::make_unique<WinmmOutput>();
    if (!output->open(format)) {
        error = output->lastError();
        return nullptr;
    }
    return output;
}

} // namespace dd
