// Sound output through PulseAudio (and PipeWire's pulse server): one pa_simple connection per
// playing sound, owned by the worker thread that feeds it.
#include "platform/services/sound_output.h"

#include <pulse/error.h>
#include <pulse/simple.h>

namespace dd {

namespace {

// The server holds about this much of a sound ahead of the speaker. Short, so that a stop is
// heard quickly; long enough that a worker delayed by a busy machine does not leave a gap.
constexpr pa_usec_t kServerBuffer = 200 * 1000;

// The one place that turns a PulseAudio error code into text.
std::string pulseErrorText(int code) {
    return pa_strerror(code);
}

struct SimpleDeleter {
    void operator()(pa_simple* connection) const { pa_simple_free(connection); }
};

class PulseOutput : public SoundOutput {
  public:
    explicit PulseOutput(pa_simple* connection) : m_connection(connection) {}

    bool write(std::span<const std::uint8_t> samples) override {
        int code = 0;
        return succeeded(pa_simple_write(m_connection.get(), samples.data(), samples.size(), &code),
                         code);
    }

    std::optional<std::chrono::microseconds> pending() override {
        int code = 0;
        const pa_usec_t latency = pa_simple_get_latency(m_connection.get(), &code);
        if (latency == static_cast<pa_usec_t>(-1)) {
            m_lastError = pulseErrorText(code);
            return std::nullopt;
        }
        return std::chrono::microseconds(latency);
    }

    bool drain() override {
        int code = 0;
        return succeeded(pa_simple_drain(m_connection.get(), &code), code);
    }

    std::string lastError() const override { return m_lastError; }

  private:
    bool succeeded(int result, int code) {
        if (result < 0) {
            m_lastError = pulseErrorText(code);
            return false;
        }
        return true;
    }

    // Freeing the connection closes it: the server drops the stream and what it still holds.
    std::unique_ptr<pa_simple, SimpleDeleter> m_connection;
    std::string m_lastError;
};

} // namespace

std::unique_ptr<SoundOutput> openSoundOutput(const WavFormat& format, std::string& error) {
    pa_sample_spec spec{};
    spec.format = format.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
    spec.rate = static_cast<std::uint32_t>(format.sampleRate);
    spec.channels = static_cast<std::uint8_t>(format.channels);
    if (pa_sample_spec_valid(&spec) == 0) {
        error = "the sound format is not supported";
        return nullptr;
    }
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kServerBuffer, &spec));
    buffer.prebuf = static_cast<std::uint32_t>(-1);
    buffer.minreq = static_cast<std::uint32_t>(-1);
    buffer.fragsize = static_cast<std::uint32_t>(-1);
    int code = 0;
    pa_simple* connection = pa_simple_new(nullptr, "dongdong-recorder", PA_STREAM_PLAYBACK, nullptr,
                                          "playback", &spec, nullptr, &buffer, &code);
    if (connection == nullptr) {
        error = pulseErrorText(code);
        return nullptr;
    }
    return std::make_unique<PulseOutput>(connection);
}

} // namespace dd
