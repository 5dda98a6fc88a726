#pragma once

// Closing libpulse's objects: their callbacks go first, so none of them runs on a half-closed
// object. With the main loop's lock held, or on its thread.

#include <pulse/pulseaudio.h>

#include <memory>

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

// Owners that close them the same way.
struct StreamCloser {
    void operator()(pa_stream* stream) const { closeStream(stream); }
};
struct ContextCloser {
    void operator()(pa_context* context) const { closeContext(context); }
};
using PulseStream = std::unique_ptr<pa_stream, StreamCloser>;
using PulseContext = std::unique_ptr<pa_context, ContextCloser>;

}  // namespace vocalis
