// Capture through PulseAudio (and PipeWire's pulse server): a record stream on the default
// source, driven by a threaded main loop whose thread is the audio thread.
#include "platform/recorder/capture.h"
#include "platform/recorder/pulse_util.h"

#include <cinttypes>
#include <cstdio>
#include <mutex>

namespace dd {
namespace {

// The server hands over audio about ten times a second: few wake-ups, little latency to drain.
constexpr pa_usec_t kFragment = 100 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kConnectTimeout = 5 * PA_USEC_PER_SEC;
constexpr pa_usec_t kOperationTimeout = 5 * PA_USEC_PER_SEC;
constexpr pa_usec_t kDrainTimeout = 2 * PA_USEC_PER_SEC;
constexpr pa_usec_t kMaxSourceLatency = 500 * PA_USEC_PER_MSEC;

class PulseCapture final : public CaptureBackend {
  public:
    PulseCapture() = default;
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;
    ~PulseCapture() override { close(); }

    bool open(const AudioFormat& format, CaptureSink sink) override;
    bool pause() override { return setCorked(true); }
    bool resume() override { return setCorked(false); }
    bool stop() override;
    void close() override;

  private:
    // These run with the main loop locked.
    bool connect(const pa_sample_spec& samples);
    bool setCorked(bool corked);
    bool drain();
    bool serverWriteIndex(std::uint64_t& index);
    bool complete(OperationPtr operation);
    template <typename Done> bool waitUntil(Done done, pa_usec_t timeout);
    bool fail(const char* what) const;

    // Callbacks, on the main loop thread.
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onRead(pa_stream* stream, std::size_t size, void* self);
    static void onSuccess(pa_stream* stream, int success, void* self);
    static void onOperationState(pa_operation* operation, void* self);
    static void onTimeout(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv,
                          void* self);

    pa_threaded_mainloop* m_mainloop = nullptr;
    ContextPtr m_context;
    StreamPtr m_stream;
    CaptureSink m_sink;
    // Touched by the main loop thread, or by the owner with the lock held.
    std::uint64_t m_receivedBytes = 0;
    std::uint64_t m_lostBytes = 0;
    bool m_corked = false;
    bool m_succeeded = false;
    bool m_timedOut = false;
};

bool PulseCapture::open(const AudioFormat& format, CaptureSink sink) {
    close();
    const pa_sample_spec samples{format.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE,
                                 static_cast<std::uint32_t>(format.sampleRate),
                                 static_cast<std::uint8_t>(format.channels)};
    if ((format.bitsPerSample != 8 && format.bitsPerSample != 16) ||
        !pa_sample_spec_valid(&samples)) {
        std::fprintf(stderr, "recorder: %d channels, %d Hz, %d bits cannot be captured\n",
                     format.channels, format.sampleRate, format.bitsPerSample);
        return false;
    }
    m_mainloop = pa_threaded_mainloop_new();
    if (m_mainloop != nullptr) {
        pa_threaded_mainloop_set_name(m_mainloop, "dd-capture");
    }
    if (m_mainloop == nullptr || pa_threaded_mainloop_start(m_mainloop) < 0) {
        std::fprintf(stderr, "recorder: cannot start the audio thread\n");
        close();
        return false;
    }
    m_sink = std::move(sink);
    bool connected = false;
    {
        MainloopLock lock(m_mainloop);
        std::lock_guard guard(lock);
        connected = connect(samples);
    }
    if (!connected) {
        close();
    }
    return connected;
}

bool PulseCapture::connect(const pa_sample_spec& samples) {
    m_context.reset(pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "咚咚鸟录音工具"));
    if (!m_context) {
        return fail("cannot create a sound server connection");
    }
    pa_context* context = m_context.get();
    pa_context_set_state_callback(context, &onContextState, this);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0) {
        return fail("cannot connect to the sound server");
    }
    waitUntil(
        [context] {
            const pa_context_state_t state = pa_context_get_state(context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        kConnectTimeout);
    if (pa_context_get_state(context) != PA_CONTEXT_READY) {
        return fail("cannot connect to the sound server");
    }

    m_stream.reset(pa_stream_new(context, "录音", &samples, nullptr));
    if (!m_stream) {
        return fail("the sound server refuses the recording format");
    }
    pa_stream* stream = m_stream.get();
    pa_stream_set_state_callback(stream, &onStreamState, this);
    pa_stream_set_read_callback(stream, &onRead, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kFragment, &samples));
    // ADJUST_LATENCY makes the source itself run at the fragment size, so little audio sits in
    // it when capture stops.
    if (pa_stream_connect_record(stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY) < 0) {
        return fail("cannot open the default recording device");
    }
    waitUntil(
        [stream] {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        },
        kConnectTimeout);
    if (pa_stream_get_state(stream) != PA_STREAM_READY) {
        return fail("cannot open the default recording device");
    }
    return true;
}

bool PulseCapture::setCorked(bool corked) {
    if (m_mainloop == nullptr) {
        return true;
    }
    MainloopLock lock(m_mainloop);
    std::lock_guard guard(lock);
    m_succeeded = false;
    if (!complete(OperationPtr(pa_stream_cork(m_stream.get(), corked, &onSuccess, this))) ||
        !m_succeeded) {
        return fail(corked ? "cannot pause capture" : "cannot resume capture");
    }
    m_corked = corked;
    return true;
}

bool PulseCapture::stop() {
    if (m_mainloop == nullptr) {
        return true;
    }
    bool drained = false;
    {
        MainloopLock lock(m_mainloop);
        std::lock_guard guard(lock);
        drained = drain();
    }
    close();
    return drained;
}

bool PulseCapture::drain() {
    // The server counts every byte it has queued for this stream (the write index); once we
    // have received that many, everything captured before this call is ours.
    std::uint64_t target = 0;
    if (!serverWriteIndex(target)) {
        return fail("cannot ask the sound server how much audio it captured");
    }
    // Audio the source holds but has not yet queued for the stream was captured before this
    // call too; a running stream gets the source's latency to queue it, then asks again.
    if (!m_corked) {
        const pa_timing_info* timing = pa_stream_get_timing_info(m_stream.get());
        const pa_usec_t latency =
            timing->source_usec < kMaxSourceLatency ? timing->source_usec : kMaxSourceLatency;
        if (latency > 0) {
            waitUntil([] { return false; }, latency);
            if (!serverWriteIndex(target)) {
                return fail("cannot ask the sound server how much audio it captured");
            }
        }
    }
    pa_stream* stream = m_stream.get();
    const bool complete = waitUntil(
        [this, stream, target] {
            return m_receivedBytes >= target || !PA_STREAM_IS_GOOD(pa_stream_get_state(stream));
        },
        kDrainTimeout);
    if (!complete || m_receivedBytes < target) {
        std::fprintf(stderr, "recorder: %" PRIu64 " bytes of audio did not arrive before stop\n",
                     target - m_receivedBytes);
        return false;
    }
    return true;
}

bool PulseCapture::serverWriteIndex(std::uint64_t& index) {
    m_succeeded = false;
    if (!complete(OperationPtr(pa_stream_update_timing_info(m_stream.get(), &onSuccess, this))) ||
        !m_succeeded) {
        return false;
    }
    const pa_timing_info* timing = pa_stream_get_timing_info(m_stream.get());
    if (timing == nullptr || timing->write_index_corrupt || timing->write_index < 0) {
        return false;
    }
    index = static_cast<std::uint64_t>(timing->write_index);
    return true;
}

bool PulseCapture::complete(OperationPtr operation) {
    if (!operation) {
        return false;
    }
    pa_operation* op = operation.get();
    pa_operation_set_state_callback(op, &onOperationState, this);
    waitUntil([op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; },
              kOperationTimeout);
    if (pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
        pa_operation_cancel(op);
    }
    pa_operation_set_state_callback(op, nullptr, nullptr);
    return pa_operation_get_state(op) == PA_OPERATION_DONE;
}

// Sleeps on the main loop's condition (which releases the lock) until done() or the timeout;
// every callback signals, so done() is checked whenever something happened.
template <typename Done> bool PulseCapture::waitUntil(Done done, pa_usec_t timeout) {
    m_timedOut = false;
    pa_time_event* timer =
        pa_context_rttime_new(m_context.get(), pa_rtclock_now() + timeout, &onTimeout, this);
    if (timer == nullptr) {
        return done();
    }
    while (!done() && !m_timedOut) {
        pa_threaded_mainloop_wait(m_mainloop);
    }
    pa_threaded_mainloop_get_api(m_mainloop)->time_free(timer);
    return done();
}

void PulseCapture::close() {
    if (m_mainloop == nullptr) {
        return;
    }
    {
        MainloopLock lock(m_mainloop);
        std::lock_guard guard(lock);
        m_stream.reset();
        m_context.reset();
    }
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
    m_mainloop = nullptr;
    if (m_lostBytes > 0) {
        std::fprintf(stderr, "recorder: the sound server lost %" PRIu64 " bytes of audio\n",
                     m_lostBytes);
    }
    m_sink = nullptr;
    m_receivedBytes = 0;
    m_lostBytes = 0;
    m_corked = false;
}

bool PulseCapture::fail(const char* what) const {
    std::fprintf(stderr, "recorder: %s: %s\n", what, pulseErrorText(m_context.get()).c_str());
    return false;
}

void PulseCapture::onContextState(pa_context*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseCapture*>(self)->m_mainloop, 0);
}

void PulseCapture::onStreamState(pa_stream*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseCapture*>(self)->m_mainloop, 0);
}

void PulseCapture::onRead(pa_stream* stream, std::size_t, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    const void* data = nullptr;
    std::size_t size = 0;
    while (pa_stream_peek(stream, &data, &size) == 0 && size > 0) {
        if (data != nullptr) {
            capture->m_sink(static_cast<const std::uint8_t*>(data), size);
        } else {
            capture->m_lostBytes += size; // a hole: the server dropped audio
        }
        capture->m_receivedBytes += size;
        pa_stream_drop(stream);
    }
    pa_threaded_mainloop_signal(capture->m_mainloop, 0);
}

void PulseCapture::onSuccess(pa_stream*, int success, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    capture->m_succeeded = success != 0;
    pa_threaded_mainloop_signal(capture->m_mainloop, 0);
}

void PulseCapture::onOperationState(pa_operation*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseCapture*>(self)->m_mainloop, 0);
}

void PulseCapture::onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    capture->m_timedOut = true;
    pa_threaded_mainloop_signal(capture->m_mainloop, 0);
}

} // namespace

std::unique_ptr<CaptureBackend> makeCaptureBackend() {
    return std::make_unique<PulseCapture>();
}

} // namespace dd
