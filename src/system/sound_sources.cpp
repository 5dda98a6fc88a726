#include "system/sound_sources.h"

#include <pulse/pulseaudio.h>

#include <memory>

namespace vocalis {

std::vector<SoundSource> listSoundSources(const std::string& server, std::chrono::milliseconds timeout) {
    const std::unique_ptr<pa_mainloop, decltype(&pa_mainloop_free)> loop(pa_mainloop_new(),
                                                                         &pa_mainloop_free);
    if (!loop) return {};
    const std::unique_ptr<pa_context, decltype(&pa_context_unref)> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "Vocalis Player"), &pa_context_unref);
    if (!context) return {};
    struct Answer {
        std::vector<SoundSource> sources;
        bool done = false;
    } answer;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // Runs the loop on this thread until `finished`, the time-out or a lost connection.
    const auto runUntil = [&](const auto& finished) {
        while (!finished()) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context.get()))) return false;
            if (pa_mainloop_prepare(loop.get(), static_cast<int>(left.count())) < 0 ||
                pa_mainloop_poll(loop.get()) < 0 || pa_mainloop_dispatch(loop.get()) < 0)
                return false;
        }
        return true;
    };
    // Never start a sound server of our own: the desktop owns it.
    if (pa_context_connect(context.get(), server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN,
                           nullptr) < 0 ||
        !runUntil([&] { return pa_context_get_state(context.get()) == PA_CONTEXT_READY; })) {
        pa_context_disconnect(context.get());
        return {};
    }
    const auto onSource = [](pa_context*, const pa_source_info* info, int last, void* data) {
        auto& a = *static_cast<Answer*>(data);
        if (info && info->monitor_of_sink == PA_INVALID_INDEX)
            a.sources.push_back({info->name, info->description ? info->description : info->name});
        if (last != 0) a.done = true;
    };
    if (pa_operation* operation = pa_context_get_source_info_list(context.get(), onSource, &answer)) {
        if (!runUntil([&] { return answer.done; })) answer.sources.clear();
        pa_operation_unref(operation);
    }
    pa_context_disconnect(context.get());
    return answer.sources;
}

}  // namespace vocalis
