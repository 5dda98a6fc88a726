#pragma once

// Closing libpulse's objects: their callbacks go first, so none of them runs on a half-closed
// object. With the main loop's lock held, or on its thread.

#include <pulse/pulseaudio.h>

namespace vocalis {

inline void closeStream(pa_stream*& stream) {
    if (!stream) return;
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
}

inline void closeContext(pa_context*& context) {
    if (!context) return;
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
}

}  // namespace vocalis
