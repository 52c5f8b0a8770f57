#include "player_monitor.h"

#include <pulse/error.h>
#include <pulse/simple.h>

namespace dd::test {

std::unique_ptr<MonitorCapture> MonitorCapture::open(std::string& error) {
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_S16LE;
    spec.rate = kRate;
    spec.channels = 2;
    // Small fragments, so that a read returns as soon as its stretch has been recorded.
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(10'000, &spec));
    int code = 0;
    pa_simple* connection =
        pa_simple_new(nullptr, "player_test", PA_STREAM_RECORD, "speaker.monitor", "monitor", &spec,
                      nullptr, &buffer, &code);
    if (connection == nullptr) {
        error = pa_strerror(code);
        return nullptr;
    }
    return std::unique_ptr<MonitorCapture>(new MonitorCapture(connection));
}

MonitorCapture::~MonitorCapture() {
    pa_simple_free(m_connection);
}

std::vector<StereoFrame> MonitorCapture::read(std::chrono::milliseconds length) {
    std::vector<StereoFrame> frames(static_cast<std::size_t>(kRate * length.count() / 1000));
    int code = 0;
    if (pa_simple_read(m_connection, frames.data(), frames.size() * sizeof(StereoFrame), &code) <
        0) {
        return {};
    }
    return frames;
}

std::size_t loudFrames(const std::vector<StereoFrame>& frames) {
    std::size_t loud = 0;
    for (const StereoFrame& frame : frames) {
        if (frame != StereoFrame{}) {
            ++loud;
        }
    }
    return loud;
}

} // namespace dd::test
