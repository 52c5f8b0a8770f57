// Capture through PulseAudio (and PipeWire's pulse server): a record stream on the default
// source, driven by a threaded main loop whose thread is the audio thread. A stream or server
// that goes away mid-recording is reconnected from that thread, once a second, to whatever the
// default source then is; the sink just sees the audio go on.
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
constexpr pa_usec_t kRetryInterval = PA_USEC_PER_SEC;

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
    bool connect();
    bool newContext();
    bool newStream();
    bool streamReady() const;
    bool setCorked(bool corked);
    bool drain();
    bool serverWriteIndex(std::uint64_t& index);
    bool complete(OperationPtr operation);
    template <typename Done> bool waitUntil(Done done, pa_usec_t timeout);
    bool fail(const char* what) const;

    // Reconnection, on the main loop thread.
    void lost(const char* what);
    void retry();

    // Callbacks, on the main loop thread.
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onRead(pa_stream* stream, std::size_t size, void* self);
    static void onSuccess(pa_stream* stream, int success, void* self);
    static void onOperationState(pa_operation* operation, void* self);
    static void onTimeout(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv,
                          void* self);
    static void onRetry(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv,
                        void* self);

    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_sample_spec m_samples{};
    ContextPtr m_context;
    StreamPtr m_stream;
    CaptureSink m_sink;
    // Touched by the main loop thread, or by the owner with the lock held.
    std::uint64_t m_receivedBytes = 0; // by the current stream
    std::uint64_t m_streams = 0;       // streams made so far: tells a wait that its stream went
    std::uint64_t m_lostBytes = 0;
    bool m_corked = false; // what the owner asked for; a new stream starts so
    bool m_succeeded = false;
    bool m_timedOut = false;
    bool m_ownerWaiting = false; // the owner sleeps on the current stream: leave it in place
    bool m_keepAlive = false;    // from a successful open to close: reconnect what is lost
    bool m_disconnected = false;
    pa_time_event* m_retryTimer = nullptr;
};

bool PulseCapture::open(const AudioFormat& format, CaptureSink sink) {
    close();
    m_samples = pa_sample_spec{format.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE,
                               static_cast<std::uint32_t>(format.sampleRate),
                               static_cast<std::uint8_t>(format.channels)};
    if ((format.bitsPerSample != 8 && format.bitsPerSample != 16) ||
        !pa_sample_spec_valid(&m_samples)) {
        std::fprintf(stderr, "recorder: %d channels, %d Hz, %d bits cannot be captured\n",
                     format.channels, format.sampleRate, format.bitsPerSample);
        return false;
    }
    // Set before the audio thread exists, which reads it.
    m_sink = std::move(sink);
    m_mainloop = pa_threaded_mainloop_new();
    if (m_mainloop != nullptr) {
        pa_threaded_mainloop_set_name(m_mainloop, "dd-capture");
    }
    if (m_mainloop == nullptr || pa_threaded_mainloop_start(m_mainloop) < 0) {
        std::fprintf(stderr, "recorder: cannot start the audio thread\n");
        close();
        m_sink = nullptr;
        return false;
    }
    bool connected = false;
    {
        MainloopLock lock(m_mainloop);
        std::lock_guard guard(lock);
        connected = connect();
        m_keepAlive = connected;
    }
    if (!connected) {
        close();
    }
    return connected;
}

bool PulseCapture::connect() {
    if (!newContext()) {
        return fail("cannot connect to the sound server");
    }
    pa_context* context = m_context.get();
    waitUntil(
        [context] {
            const pa_context_state_t state = pa_context_get_state(context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        kConnectTimeout);
    if (pa_context_get_state(context) != PA_CONTEXT_READY) {
        return fail("cannot connect to the sound server");
    }
    if (!newStream()) {
        return fail("cannot open the default recording device");
    }
    pa_stream* stream = m_stream.get();
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

bool PulseCapture::newContext() {
    m_stream.reset();
    m_context.reset(pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "咚咚鸟录音工具"));
    if (!m_context) {
        return false;
    }
    pa_context_set_state_callback(m_context.get(), &onContextState, this);
    return pa_context_connect(m_context.get(), nullptr, PA_CONTEXT_NOFLAGS, nullptr) >= 0;
}

bool PulseCapture::newStream() {
    m_stream.reset(pa_stream_new(m_context.get(), "录音", &m_samples, nullptr));
    if (!m_stream) {
        return false;
    }
    ++m_streams;
    m_receivedBytes = 0;
    pa_stream* stream = m_stream.get();
    pa_stream_set_state_callback(stream, &onStreamState, this);
    pa_stream_set_read_callback(stream, &onRead, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kFragment, &m_samples));
    // ADJUST_LATENCY makes the source itself run at the fragment size, so little audio sits in
    // it when capture stops. A stream made while paused starts paused.
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | (m_corked ? PA_STREAM_START_CORKED : PA_STREAM_NOFLAGS));
    return pa_stream_connect_record(stream, nullptr, &attr, flags) >= 0;
}

bool PulseCapture::streamReady() const {
    return m_stream && pa_stream_get_state(m_stream.get()) == PA_STREAM_READY;
}

bool PulseCapture::setCorked(bool corked) {
    if (m_mainloop == nullptr) {
        return true;
    }
    MainloopLock lock(m_mainloop);
    std::lock_guard guard(lock);
    m_corked = corked;
    // A reconnect under way made its stream in the old state: let it get ready, then cork it.
    if (m_stream && pa_stream_get_state(m_stream.get()) == PA_STREAM_CREATING) {
        waitUntil([this] { return pa_stream_get_state(m_stream.get()) != PA_STREAM_CREATING; },
                  kConnectTimeout);
    }
    if (!streamReady()) {
        return true; // the device is gone: the stream a reconnect makes starts so
    }
    m_succeeded = false;
    if (!complete(OperationPtr(pa_stream_cork(m_stream.get(), corked, &onSuccess, this))) ||
        !m_succeeded) {
        if (!streamReady()) {
            return true; // lost meanwhile: likewise
        }
        m_corked = !corked;
        return fail(corked ? "cannot pause capture" : "cannot resume capture");
    }
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
    if (!streamReady()) {
        return true; // the device is gone: nothing is on its way
    }
    const std::uint64_t stream = m_streams;
    const auto gone = [this, stream] { return m_streams != stream || !streamReady(); };
    // The server counts every byte it has queued for this stream (the write index); once we
    // have received that many, everything captured before this call is ours.
    std::uint64_t target = 0;
    if (!serverWriteIndex(target)) {
        if (gone()) {
            std::fprintf(stderr, "recorder: the device went away during stop\n");
            return false;
        }
        return fail("cannot ask the sound server how much audio it captured");
    }
    // Audio the source holds but has not yet queued for the stream was captured before this
    // call too; a running stream gets the source's latency to queue it, then asks again.
    if (!m_corked) {
        const pa_timing_info* timing = pa_stream_get_timing_info(m_stream.get());
        const pa_usec_t latency =
            timing->source_usec < kMaxSourceLatency ? timing->source_usec : kMaxSourceLatency;
        if (latency > 0) {
            waitUntil(gone, latency);
            if (!serverWriteIndex(target)) {
                std::fprintf(stderr, "recorder: the device went away during stop\n");
                return false;
            }
        }
    }
    const bool complete = waitUntil(
        [this, gone, target] { return gone() || m_receivedBytes >= target; }, kDrainTimeout);
    if (!complete || gone() || m_receivedBytes < target) {
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
    m_ownerWaiting = true;
    while (!done() && !m_timedOut) {
        pa_threaded_mainloop_wait(m_mainloop);
    }
    m_ownerWaiting = false;
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
        m_keepAlive = false;
        if (m_retryTimer != nullptr) {
            pa_threaded_mainloop_get_api(m_mainloop)->time_free(m_retryTimer);
            m_retryTimer = nullptr;
        }
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
    m_disconnected = false;
}

bool PulseCapture::fail(const char* what) const {
    std::fprintf(stderr, "recorder: %s: %s\n", what, pulseErrorText(m_context.get()).c_str());
    return false;
}

void PulseCapture::lost(const char* what) {
    if (!m_disconnected) {
        std::fprintf(stderr, "recorder: %s: %s; trying again every second\n", what,
                     pulseErrorText(m_context.get()).c_str());
        m_disconnected = true;
    }
    if (m_retryTimer == nullptr) {
        timeval when{};
        pa_timeval_add(pa_gettimeofday(&when), kRetryInterval);
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_mainloop);
        m_retryTimer = api->time_new(api, &when, &onRetry, this);
    }
}

// Never from inside the failed stream's or context's own callback: the timer runs it, and it
// lets go of them first.
void PulseCapture::retry() {
    if (!m_keepAlive) {
        return;
    }
    if (m_ownerWaiting) {
        lost("still waiting for the device"); // the owner's wait ends first; then again
        return;
    }
    const bool contextReady =
        m_context && pa_context_get_state(m_context.get()) == PA_CONTEXT_READY;
    if (contextReady && streamReady()) {
        return;
    }
    if (!contextReady) {
        // A server that went away needs a new connection; its READY state makes the stream.
        if (!newContext()) {
            lost("cannot connect to the sound server");
        }
    } else if (!newStream()) {
        lost("cannot open the default recording device");
    }
}

void PulseCapture::onContextState(pa_context* context, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    pa_threaded_mainloop_signal(capture->m_mainloop, 0);
    if (!capture->m_keepAlive || context != capture->m_context.get()) {
        return;
    }
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY && !capture->m_stream) {
        if (!capture->newStream()) {
            capture->lost("cannot open the default recording device");
        }
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        capture->lost("lost the sound server");
    }
}

void PulseCapture::onStreamState(pa_stream* stream, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    pa_threaded_mainloop_signal(capture->m_mainloop, 0);
    if (!capture->m_keepAlive || stream != capture->m_stream.get()) {
        return;
    }
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY && capture->m_disconnected) {
        const char* source = pa_stream_get_device_name(stream);
        std::fprintf(stderr, "recorder: capture goes on from %s\n",
                     source != nullptr ? source : "the default source");
        capture->m_disconnected = false;
    } else if (!PA_STREAM_IS_GOOD(state)) {
        capture->lost("lost the recording device");
    }
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

void PulseCapture::onRetry(pa_mainloop_api* api, pa_time_event* event, const struct timeval*,
                           void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    api->time_free(event);
    capture->m_retryTimer = nullptr;
    capture->retry();
}

} // namespace

std::unique_ptr<CaptureBackend> makeCaptureBackend() {
    return std::make_unique<PulseCapture>();
}

} // namespace dd
