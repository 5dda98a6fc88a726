#include "system/pulse_system_volume.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <functional>

#include "base/log.h"

namespace vocalis {

namespace {

// Below this a request mutes the device instead of setting a volume.
constexpr float kMuteBelow = 0.005f;

void logFormatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logFormatted(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    logLine(line);
}

struct SinkState {
    pa_cvolume volume{};
    bool muted = false;
};

}  // namespace

struct PulseSystemVolume::Connection {
    std::string server;
    std::chrono::milliseconds timeout;
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    // Without a sound server every volume command would say so again: once is enough until
    // a device is found again.
    bool missingTold = false;

    void missing(const char* line) {
        if (!missingTold) logLine(line);
        missingTold = true;
    }

    ~Connection() { disconnect(); }

    void disconnect() {
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
            context = nullptr;
        }
        if (loop) {
            pa_mainloop_free(loop);
            loop = nullptr;
        }
    }

    // Runs the client loop on this thread until `done` or the time-out.
    bool runUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            if (pa_mainloop_prepare(loop, static_cast<int>(std::min<long long>(left.count(), 1000000))) < 0 ||
                pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0) {
                return false;
            }
        }
        return true;
    }

    bool ready() const { return context && pa_context_get_state(context) == PA_CONTEXT_READY; }

    bool connect() {
        if (ready()) return true;
        disconnect();
        loop = pa_mainloop_new();
        if (!loop) return false;
        context = pa_context_new(pa_mainloop_get_api(loop), "Vocalis Player");
        // Never start a sound server of our own: the desktop owns it.
        if (!context || pa_context_connect(context, server.empty() ? nullptr : server.c_str(),
                                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            disconnect();
            return false;
        }
        const bool settled = runUntil([this] {
            const pa_context_state_t state = pa_context_get_state(context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        if (!settled || !ready()) {
            disconnect();
            return false;
        }
        return true;
    }

    // Waits for an operation whose callback sets `done`. A time-out drops the connection:
    // an answer that comes later must not be taken for the next question's.
    bool finish(pa_operation* operation, const bool& done) {
        if (!operation) return false;
        const bool answered = runUntil([&] { return done || !ready(); }) && done;
        if (!answered) pa_operation_cancel(operation);
        pa_operation_unref(operation);
        if (!answered) disconnect();
        return answered;
    }

    // The default sink's index, or nullopt (logged once until there is one again).
    std::optional<std::uint32_t> defaultSink() {
        if (!connect()) {
            missing("Unable to get default audio device");
            return std::nullopt;
        }
        struct Answer {
            bool done = false;
            std::string name;
        } answer;
        auto onServer = [](pa_context*, const pa_server_info* info, void* data) {
            auto* a = static_cast<Answer*>(data);
            if (info && info->default_sink_name) a->name = info->default_sink_name;
            a->done = true;
        };
        if (!finish(pa_context_get_server_info(context, onServer, &answer), answer.done) ||
            answer.name.empty()) {
            missing("Unable to get default audio device");
            return std::nullopt;
        }
        struct Sink {
            bool done = false;
            std::optional<std::uint32_t> index;
        } sink;
        auto onSink = [](pa_context*, const pa_sink_info* info, int last, void* data) {
            auto* s = static_cast<Sink*>(data);
            if (info) s->index = info->index;
            if (last != 0) s->done = true;
        };
        if (!finish(pa_context_get_sink_info_by_name(context, answer.name.c_str(), onSink, &sink),
                    sink.done) ||
            !sink.index) {
            missing("Unable to get output audio device");
            return std::nullopt;
        }
        missingTold = false;
        return sink.index;
    }

    std::optional<SinkState> readSink(std::uint32_t index) {
        if (!ready()) return std::nullopt;
        struct Answer {
            bool done = false;
            std::optional<SinkState> state;
        } answer;
        auto onSink = [](pa_context*, const pa_sink_info* info, int last, void* data) {
            auto* a = static_cast<Answer*>(data);
            if (info) a->state = SinkState{info->volume, info->mute != 0};
            if (last != 0) a->done = true;
        };
        if (!finish(pa_context_get_sink_info_by_index(context, index, onSink, &answer), answer.done)) {
            return std::nullopt;
        }
        return answer.state;
    }

    // Runs one request that answers with a success flag and waits for the answer.
    template <typename Request>
    bool succeeds(Request request) {
        if (!ready()) return false;
        struct Answer {
            bool done = false;
            bool success = false;
        } answer;
        auto onDone = [](pa_context*, int success, void* data) {
            auto* a = static_cast<Answer*>(data);
            a->success = success != 0;
            a->done = true;
        };
        return finish(request(onDone, &answer), answer.done) && answer.success;
    }

    bool setMute(std::uint32_t index, bool mute) {
        return succeeds([&](pa_context_success_cb_t onDone, void* answer) {
            return pa_context_set_sink_mute_by_index(context, index, mute ? 1 : 0, onDone, answer);
        });
    }

    bool setVolume(std::uint32_t index, const pa_cvolume& volume) {
        return succeeds([&](pa_context_success_cb_t onDone, void* answer) {
            return pa_context_set_sink_volume_by_index(context, index, &volume, onDone, answer);
        });
    }
};

PulseSystemVolume::PulseSystemVolume(std::string server, std::chrono::milliseconds timeout)
    : connection_(std::make_unique<Connection>()) {
    connection_->server = std::move(server);
    connection_->timeout = timeout;
}

PulseSystemVolume::~PulseSystemVolume() = default;

float PulseSystemVolume::systemVolume() {
    const auto device = connection_->defaultSink();
    if (!device) return 0.0f;
    const auto sink = connection_->readSink(*device);
    if (!sink) {
        logFormatted("Unable to read volume for device 0x%0x", *device);
        return 0.0f;
    }
    if (!pa_cvolume_valid(&sink->volume) || sink->volume.channels == 0) {
        logFormatted("No volume control for device 0x%0x", *device);
        return 0.0f;
    }
    const double level = static_cast<double>(pa_cvolume_max(&sink->volume)) / PA_VOLUME_NORM;
    return static_cast<float>(std::clamp(level, 0.0, 1.0));
}

std::optional<bool> PulseSystemVolume::isMuted() {
    const auto device = connection_->defaultSink();
    if (!device) return std::nullopt;
    const auto sink = connection_->readSink(*device);
    if (!sink) return std::nullopt;
    return sink->muted;
}

void PulseSystemVolume::setSystemVolume(float requested) {
    if (std::isnan(requested)) {
        logLine("Tentative volume is not a number; volume left as it was");
        return;
    }
    const auto device = connection_->defaultSink();
    if (!device) return;
    const float volume = std::clamp(requested, 0.0f, 1.0f);
    if (volume != requested) {
        logFormatted("Tentative volume (%5.2f) was out of range; reset to %5.2f",
                     static_cast<double>(requested), static_cast<double>(volume));
    }

    if (volume < kMuteBelow) {
        // Muting keeps the volume, so the next step up starts from where it was.
        if (!connection_->setMute(*device, true)) logFormatted("The device 0x%0x was not muted", *device);
        return;
    }

    const auto sink = connection_->readSink(*device);
    if (!sink || !pa_cvolume_valid(&sink->volume) || sink->volume.channels == 0) {
        logFormatted("The device 0x%0x does not have a volume to set", *device);
        return;
    }
    // Scaling keeps the balance between the channels.
    pa_cvolume target = sink->volume;
    pa_cvolume_scale(&target,
                     static_cast<pa_volume_t>(std::lround(static_cast<double>(volume) * PA_VOLUME_NORM)));
    if (!connection_->setVolume(*device, target)) {
        logFormatted("The device 0x%0x was unable to set volume", *device);
    }
    if (!connection_->setMute(*device, false)) logFormatted("Unable to set volume for device 0x%0x", *device);
}

}  // namespace vocalis
