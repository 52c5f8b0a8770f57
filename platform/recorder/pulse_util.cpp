#include "platform/recorder/pulse_util.h"

namespace dd {

void StreamDeleter::operator()(pa_stream* stream) const {
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        pa_stream_disconnect(stream);
    }
    pa_stream_unref(stream);
}

void ContextDeleter::operator()(pa_context* context) const {
    pa_context_set_state_callback(context, nullptr, nullptr);
    if (PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        pa_context_disconnect(context);
    }
    pa_context_unref(context);
}

std::string pulseErrorText(pa_context* context) {
    if (context == nullptr) {
        return "no connection to the sound server";
    }
    const int error = pa_context_errno(context);
    // A wait that ran out leaves no error code behind.
    return error == PA_OK ? "no answer from the sound server" : pa_strerror(error);
}

} // namespace dd
