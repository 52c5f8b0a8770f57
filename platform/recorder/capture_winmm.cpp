// Capture through winmm: waveIn on the wave mapper (the system's default recording device).
// A worker thread of our own owns the device and cycles a fixed ring of buffers; it is the
// audio thread and the only thread that calls the wave functions, so no call ever races
// another and none runs inside a wave callback (the device only signals an event).
#include "platform/recorder/capture.h"
#include "platform/recorder/winmm_util.h"

#include <windows.h>

#include <mmsystem.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

namespace dd {
namespace {

// Eight buffers of 50 ms: the device always has 350 ms or more of room queued, so a worker
// held up for a while (a busy machine, a slow sink) loses nothing.
constexpr int kBuffers = 8;
constexpr DWORD kBufferMilliseconds = 50;
// Audio captured before a pause or a stop may still be on its way to the buffers (the system's
// mixer and driver hold some: under Wine a stop without this lost the last 10 ms in two runs
// of three); capture runs on this long so that it arrives.
constexpr DWORD kGraceMilliseconds = 120;

enum class Command { None, Start, Pause, Stop, Close };

// A Win32 event, closed when the object goes.
class Event {
  public:
    Event() : m_handle(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    ~Event() {
        if (m_handle != nullptr) {
            CloseHandle(m_handle);
        }
    }
    HANDLE handle() const { return m_handle; }

  private:
    HANDLE m_handle = nullptr;
};

class WinmmCapture final : public CaptureBackend {
  public:
    WinmmCapture() = default;
    WinmmCapture(const WinmmCapture&) = delete;
    WinmmCapture& operator=(const WinmmCapture&) = delete;
    ~WinmmCapture() override { close(); }

    bool open(const AudioFormat& format, CaptureSink sink) override;
    bool pause() override { return !m_worker.joinable() || run(Command::Pause); }
    bool resume() override { return !m_worker.joinable() || run(Command::Start); }
    bool stop() override;
    void close() override;

  private:
    // Owner side. Hands the command to the worker and waits until it has been carried out;
    // false when it failed (the worker has said why on stderr).
    bool run(Command command);
    void endWorker(Command command);

    // Worker side.
    void work();
    bool carryOut(Command command);
    // Opens the device and starts capturing into the whole ring of buffers.
    bool openDevice();
    // Ends capture and releases the device. With deliver, capture first runs on for the grace
    // period, then a reset hands back every buffer, the partly filled one with what it holds,
    // and all of it goes to the sink; without, what was captured is dropped.
    bool closeDevice(bool deliver);
    // Hands every filled buffer, oldest first, to the sink; refills them while capturing.
    void deliverFilled(bool requeue);
    bool fail(const char* what, MMRESULT result) const;

    AudioFormat m_format;
    CaptureSink m_sink;
    std::thread m_worker;
    // Set by the device whenever a buffer comes back.
    std::unique_ptr<Event> m_deviceEvent;
    // The owner sets m_command and the command event; the worker answers with m_succeeded and
    // the done event.
    std::unique_ptr<Event> m_commandEvent;
    std::unique_ptr<Event> m_doneEvent;
    std::atomic<Command> m_command{Command::None};
    bool m_succeeded = false;

    // The worker's alone while it runs.
    HWAVEIN m_device = nullptr;
    std::array<WAVEHDR, kBuffers> m_headers{};
    std::array<bool, kBuffers> m_prepared{};
    std::array<bool, kBuffers> m_queued{};
    std::vector<std::vector<char>> m_buffers;
    int m_oldest = 0;             // the buffer the device fills first
    std::uint64_t m_overruns = 0; // times every buffer came back full before we could refill
};

bool WinmmCapture::open(const AudioFormat& format, CaptureSink sink) {
    close();
    m_format = format;
    m_sink = std::move(sink);
    m_deviceEvent = std::make_unique<Event>();
    m_commandEvent = std::make_unique<Event>();
    m_doneEvent = std::make_unique<Event>();
    if (m_deviceEvent->handle() == nullptr || m_commandEvent->handle() == nullptr ||
        m_doneEvent->handle() == nullptr) {
        std::fprintf(stderr, "recorder: cannot create the capture events (error %lu)\n",
                     GetLastError());
        close();
        return false;
    }
    try {
        m_worker = std::thread([this] { work(); });
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "recorder: cannot start the audio thread: %s\n", failure.what());
        close();
        return false;
    }
    if (!run(Command::Start)) {
        close();
        return false;
    }
    return true;
}

bool WinmmCapture::stop() {
    if (!m_worker.joinable()) {
        return true;
    }
    const bool drained = run(Command::Stop);
    endWorker(Command::Stop);
    return drained;
}

void WinmmCapture::close() {
    endWorker(Command::Close);
}

bool WinmmCapture::run(Command command) {
    m_command.store(command, std::memory_order_release);
    SetEvent(m_commandEvent->handle());
    // The worker waits on nothing but the device and us, and the wave functions return
    // promptly, so this wait ends.
    WaitForSingleObject(m_doneEvent->handle(), INFINITE);
    return m_succeeded;
}

void WinmmCapture::endWorker(Command command) {
    if (m_worker.joinable()) {
        if (command == Command::Close) {
            run(Command::Close);
        }
        m_worker.join();
    }
    if (m_overruns > 0) {
        std::fprintf(stderr,
                     "recorder: the capture buffers ran full %llu times; audio may be missing\n",
                     static_cast<unsigned long long>(m_overruns));
    }
    m_overruns = 0;
    m_sink = nullptr;
    m_command.store(Command::None, std::memory_order_relaxed);
    m_deviceEvent.reset();
    m_commandEvent.reset();
    m_doneEvent.reset();
}

void WinmmCapture::work() {
    const HANDLE events[] = {m_deviceEvent->handle(), m_commandEvent->handle()};
    for (;;) {
        WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (m_device != nullptr) {
            deliverFilled(true);
        }
        const Command command = m_command.exchange(Command::None, std::memory_order_acquire);
        if (command == Command::None) {
            continue;
        }
        m_succeeded = carryOut(command);
        SetEvent(m_doneEvent->handle());
        if (command == Command::Stop || command == Command::Close) {
            return;
        }
    }
}

bool WinmmCapture::carryOut(Command command) {
    switch (command) {
    case Command::Start:
        return m_device != nullptr || openDevice();
    case Command::Pause:
        // The device is released rather than merely stopped: some systems (Wine's pulse
        // driver) keep capturing into their own buffers while a device is stopped and hand
        // that audio over after the restart, so the paused stretch would not be absent.
        // Reopened on continue, the device starts afresh.
    case Command::Stop:
        return m_device == nullptr || closeDevice(true);
    case Command::Close:
        return m_device == nullptr || closeDevice(false);
    case Command::None:
        break;
    }
    return true;
}

bool WinmmCapture::openDevice() {
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = static_cast<WORD>(m_format.channels);
    wave.nSamplesPerSec = static_cast<DWORD>(m_format.sampleRate);
    wave.wBitsPerSample = static_cast<WORD>(m_format.bitsPerSample);
    wave.nBlockAlign = static_cast<WORD>(m_format.bytesPerFrame());
    wave.nAvgBytesPerSec = m_format.bytesPerSecond();
    wave.cbSize = 0;
    MMRESULT result =
        waveInOpen(&m_device, WAVE_MAPPER, &wave,
                   reinterpret_cast<DWORD_PTR>(m_deviceEvent->handle()), 0, CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        m_device = nullptr;
        return fail("cannot open the default recording device", result);
    }

    const DWORD frames = wave.nSamplesPerSec * kBufferMilliseconds / 1000;
    const DWORD bufferBytes = (frames > 0 ? frames : 1) * wave.nBlockAlign;
    m_buffers.assign(kBuffers, std::vector<char>(bufferBytes));
    m_oldest = 0;
    for (int i = 0; i < kBuffers; ++i) {
        WAVEHDR& header = m_headers[i];
        header = WAVEHDR{};
        header.lpData = m_buffers[i].data();
        header.dwBufferLength = bufferBytes;
        result = waveInPrepareHeader(m_device, &header, sizeof header);
        if (result == MMSYSERR_NOERROR) {
            m_prepared[i] = true;
            result = waveInAddBuffer(m_device, &header, sizeof header);
        }
        if (result != MMSYSERR_NOERROR) {
            fail("cannot hand the recording device its buffers", result);
            closeDevice(false);
            return false;
        }
        m_queued[i] = true;
    }
    result = waveInStart(m_device);
    if (result != MMSYSERR_NOERROR) {
        fail("cannot start capture", result);
        closeDevice(false);
        return false;
    }
    return true;
}

bool WinmmCapture::closeDevice(bool deliver) {
    if (deliver) {
        const ULONGLONG end = GetTickCount64() + kGraceMilliseconds;
        for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
            WaitForSingleObject(m_deviceEvent->handle(), static_cast<DWORD>(end - now));
            deliverFilled(true);
        }
    }
    bool succeeded = true;
    MMRESULT result = waveInReset(m_device);
    if (result != MMSYSERR_NOERROR) {
        succeeded = fail("cannot stop capture", result);
    }
    if (deliver) {
        deliverFilled(false);
        for (int i = 0; i < kBuffers; ++i) {
            if (m_queued[i]) {
                // Only a device that broke its promise to hand every buffer back gets here.
                std::fprintf(stderr, "recorder: the recording device kept a buffer after reset\n");
                succeeded = false;
            }
        }
    }
    for (int i = 0; i < kBuffers; ++i) {
        if (m_prepared[i]) {
            waveInUnprepareHeader(m_device, &m_headers[i], sizeof m_headers[i]);
        }
    }
    result = waveInClose(m_device);
    if (result != MMSYSERR_NOERROR) {
        succeeded = fail("cannot release the recording device", result);
    }
    m_device = nullptr;
    m_prepared.fill(false);
    m_queued.fill(false);
    m_buffers.clear();
    return succeeded;
}

void WinmmCapture::deliverFilled(bool requeue) {
    int returned = 0;
    for (int skipped = 0; !m_queued[m_oldest] && skipped < kBuffers; ++skipped) {
        // A buffer the device refused back is out of the ring; the next one is the oldest.
        m_oldest = (m_oldest + 1) % kBuffers;
    }
    while (m_queued[m_oldest] && (m_headers[m_oldest].dwFlags & WHDR_DONE) != 0) {
        WAVEHDR& header = m_headers[m_oldest];
        if (header.dwBytesRecorded > 0) {
            m_sink(reinterpret_cast<const std::uint8_t*>(header.lpData), header.dwBytesRecorded);
        }
        m_queued[m_oldest] = false;
        if (requeue) {
            header.dwBytesRecorded = 0;
            header.dwFlags &= ~WHDR_DONE;
            const MMRESULT result = waveInAddBuffer(m_device, &header, sizeof header);
            if (result == MMSYSERR_NOERROR) {
                m_queued[m_oldest] = true;
            } else {
                fail("cannot hand a buffer back to the recording device", result);
            }
        }
        m_oldest = (m_oldest + 1) % kBuffers;
        if (++returned == kBuffers) {
            break;
        }
    }
    // Every buffer full at once: the device may have had nowhere to put audio meanwhile.
    if (returned == kBuffers && requeue) {
        ++m_overruns;
    }
}

bool WinmmCapture::fail(const char* what, MMRESULT result) const {
    std::fprintf(stderr, "recorder: %s: %s\n", what, waveInErrorText(result).c_str());
    return false;
}

} // namespace

std::unique_ptr<CaptureBackend> makeCaptureBackend() {
    return std::make_unique<WinmmCapture>();
}

} // namespace dd
