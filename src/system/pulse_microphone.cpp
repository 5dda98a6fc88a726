#include "system/pulse_microphone.h"

#include <pulse/pulseaudio.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "app/media/pulse_close.h"
#include "audio/analysis_module.h"
#include "base/log.h"

namespace vocalis {

namespace {

using SteadyClock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr std::uint32_t kFragmentBytes = PitchTracker::kRate / 50 * sizeof(float);  // 20 ms
// The totals go to the engine every this many frames: twice a second.
constexpr std::size_t kTotalsEvery = 50;
// The heard frames go to the screen once this many are in: about 30 times a second (the newest
// of them as soon as its 20 ms piece is read, the oldest up to 20 ms later than they could).
constexpr std::size_t kPitchesEvery = 3;
// The sound server's clock and the count of samples may part this much before the count is set
// again (samples lost while the thread was held up).
constexpr Seconds kClockSlack{0.03};

}  // namespace

struct PulseMicrophone::Pulse {
    Pulse(Scheduler& engineThread, AnalysisModule& module, Options options)
        : engine(engineThread), analysis(module), options(std::move(options)) {}

    Scheduler& engine;
    AnalysisModule& analysis;
    const Options options;
    pa_threaded_mainloop* loop = nullptr;
    // The rest is the loop thread's, or held under its lock.
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    bool failed = false;
    bool told = false;  // that recording failed, until it works again
    bool recorded = false;

    bool listening = false;
    std::optional<SingingScore> score;
    std::shared_ptr<const Melody> lateReference;  // for the score, counted on this thread
    std::unique_ptr<LivePitchTracker> tracker;    // made when the microphone is first heard
    bool noTracker = false;                       // none can be made: nothing heard is scored
    std::vector<PitchTracker::Frame> frames;
    std::uint64_t samples = 0;              // heard since listening began
    SteadyClock::time_point firstSample{};  // when the first of them was sung; the clock's start: not yet
    std::size_t sinceTotals = 0;
    Totals totals;
    Pitches pitches;
    std::vector<SungFrame> heardFrames;  // not handed to the screen yet
    std::uint64_t listenNumber = 0;
    // The listen whose totals the engine takes now: set and read on the engine's thread only.
    std::shared_ptr<std::atomic<std::uint64_t>> current = std::make_shared<std::atomic<std::uint64_t>>(0);

    // The song's clock as the engine last told it, and the microphone's delay.
    std::mutex clockMutex;
    std::chrono::milliseconds delay = options.delay;
    std::int64_t songMs = 0;
    SteadyClock::time_point songAt;
    bool playing = false;

    std::string sourceName() const {
        return options.source.empty() ? std::string("the default source") : options.source;
    }

    void fail(const char* why) {
        failed = true;
        if (!told)
            logParts("Microphone: cannot record from ", sourceName(), " (", why,
                     "); scores are drawn at random");
        told = true;
    }

    void disconnect() {
        closeStream(stream);
        closeContext(context);
    }

    void connect() {
        disconnect();
        failed = false;
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Vocalis Player");
        if (!context) return fail("no sound server");
        pa_context_set_state_callback(context, &Pulse::onContext, this);
        // Never start a sound server of our own: the desktop owns it.
        if (pa_context_connect(context, options.server.empty() ? nullptr : options.server.c_str(),
                               PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            fail(pa_strerror(pa_context_errno(context)));
    }

    static void onContext(pa_context* context, void* data) {
        auto& self = *static_cast<Pulse*>(data);
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY) self.openStream();
        if (!PA_CONTEXT_IS_GOOD(state)) self.fail(pa_strerror(pa_context_errno(context)));
    }

    void openStream() {
        const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, PitchTracker::kRate, 1};
        stream = pa_stream_new(context, "Singing", &format, nullptr);
        if (!stream) return fail(pa_strerror(pa_context_errno(context)));
        pa_stream_set_state_callback(stream, &Pulse::onStream, this);
        pa_stream_set_read_callback(stream, &Pulse::onRead, this);
        pa_buffer_attr attributes{};
        attributes.maxlength = attributes.tlength = attributes.prebuf = attributes.minreq = ~0u;
        attributes.fragsize = kFragmentBytes;
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
            (listening ? 0 : PA_STREAM_START_CORKED));
        if (pa_stream_connect_record(stream, options.source.empty() ? nullptr : options.source.c_str(),
                                     &attributes, flags) < 0)
            fail(pa_strerror(pa_context_errno(context)));
    }

    static void onStream(pa_stream* stream, void* data) {
        auto& self = *static_cast<Pulse*>(data);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY && (!self.recorded || self.told)) {
            logParts("Microphone: recording from ", pa_stream_get_device_name(stream));
            self.recorded = true;
            self.told = false;
        }
        if (!PA_STREAM_IS_GOOD(state)) self.fail(pa_strerror(pa_context_errno(self.context)));
    }

    void cork(bool corked) {
        if (stream && pa_stream_get_state(stream) == PA_STREAM_READY)
            if (pa_operation* operation = pa_stream_cork(stream, corked ? 1 : 0, nullptr, nullptr))
                pa_operation_unref(operation);
    }

    static void onRead(pa_stream* stream, std::size_t, void* data) {
        auto& self = *static_cast<Pulse*>(data);
        // When the oldest sound not yet read was captured (the clock's start: not known).
        SteadyClock::time_point capturedAt{};
        pa_usec_t age = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream, &age, &negative) == 0)
            capturedAt = SteadyClock::now() - std::chrono::microseconds(negative ? 0 : age);
        while (pa_stream_readable_size(stream) > 0) {
            const void* bytes = nullptr;
            std::size_t size = 0;
            if (pa_stream_peek(stream, &bytes, &size) < 0 || size == 0) return;
            if (bytes && self.listening)
                self.heard({static_cast<const float*>(bytes), size / sizeof(float)}, capturedAt);
            capturedAt = {};
            pa_stream_drop(stream);
        }
    }

    // Pitch frame by frame, each stamped with the song frame it was sung at.
    void heard(std::span<const float> mono, SteadyClock::time_point capturedAt) {
        if (!tracker && !noTracker) {
            // The first sound loads FFmpeg and aubio, here rather than on the engine's thread.
            const AnalysisFunctions* functions = analysis.functions();
            if (functions) tracker = functions->makePitchTracker();
            noTracker = !tracker;
            if (functions && noTracker)
                logLine("Microphone: aubio cannot track pitch; scores are drawn at random");
        }
        if (!tracker) return;
        if (lateReference) {
            score->setReference(std::move(lateReference));
            lateReference = nullptr;
            sinceTotals = kTotalsEvery;  // the totals at once
        }
        const auto sinceFirst = std::chrono::duration_cast<SteadyClock::duration>(
            Seconds(static_cast<double>(samples) / PitchTracker::kRate));
        const bool unset = firstSample == SteadyClock::time_point{};
        if (capturedAt != SteadyClock::time_point{} &&
            (unset || std::chrono::abs(firstSample + sinceFirst - capturedAt) > kClockSlack))
            firstSample = capturedAt - sinceFirst;
        else if (unset)
            firstSample = SteadyClock::now() - sinceFirst;
        const std::uint64_t hopsBefore = samples / PitchTracker::kHop;
        frames.clear();
        tracker->push(mono, frames);
        samples += mono.size();
        for (std::size_t i = 0; i < frames.size(); ++i) {
            // A frame's pitch is its window's, whose middle was sung half a window before its end.
            const double middle =
                static_cast<double>((hopsBefore + i + 1) * PitchTracker::kHop) - PitchTracker::kWindow / 2.0;
            const auto sungAt = firstSample + std::chrono::duration_cast<SteadyClock::duration>(
                                                  Seconds(middle / PitchTracker::kRate));
            if (const auto frame = songFrame(sungAt)) {
                score->add(*frame, frames[i].note);
                if (pitches) heardFrames.push_back({*frame, frames[i].note.value_or(NAN)});
            }
        }
        if (heardFrames.size() >= kPitchesEvery) {
            engine.post([pitches = pitches, batch = std::exchange(heardFrames, {}), number = listenNumber,
                         current = current]() mutable {
                if (*current == number) pitches(std::move(batch));
            });
        }
        sinceTotals += frames.size();
        if (sinceTotals < kTotalsEvery || !score->hasReference()) return;
        sinceTotals = 0;
        engine.post([totals = totals, sung = score->totals(), number = listenNumber, current = current] {
            if (*current == number) totals(sung);
        });
    }

    // The song frame being heard at `when`, less the microphone's delay; none while the song stands.
    std::optional<std::int64_t> songFrame(SteadyClock::time_point when) {
        std::lock_guard lock(clockMutex);
        if (!playing) return std::nullopt;
        const double ms = static_cast<double>(songMs) +
                          std::chrono::duration<double, std::milli>(when - songAt).count() -
                          static_cast<double>(delay.count());
        if (ms < 0) return std::nullopt;
        return static_cast<std::int64_t>(ms / (Melody::kFrameSeconds * 1000.0));
    }
};

PulseMicrophone::PulseMicrophone(Scheduler& engineThread, AnalysisModule& analysis, Options options)
    : pulse_(std::make_unique<Pulse>(engineThread, analysis, std::move(options))) {
    Pulse& p = *pulse_;
    p.loop = pa_threaded_mainloop_new();
    if (p.loop) pa_threaded_mainloop_set_name(p.loop, "microphone");  // the name its thread starts with
    if (!p.loop || pa_threaded_mainloop_start(p.loop) < 0) {
        if (p.loop) pa_threaded_mainloop_free(p.loop);
        p.loop = nullptr;
        p.fail("no thread for it");
        return;
    }
    pa_threaded_mainloop_lock(p.loop);
    p.connect();
    pa_threaded_mainloop_unlock(p.loop);
}

PulseMicrophone::~PulseMicrophone() {
    Pulse& p = *pulse_;
    if (!p.loop) return;
    pa_threaded_mainloop_lock(p.loop);
    p.disconnect();
    pa_threaded_mainloop_unlock(p.loop);
    pa_threaded_mainloop_stop(p.loop);
    pa_threaded_mainloop_free(p.loop);
}

void PulseMicrophone::listen(std::shared_ptr<const Melody> melody, Totals totals, Pitches pitches) {
    Pulse& p = *pulse_;
    if (!p.loop) return;
    const std::uint64_t number = ++*p.current;
    {
        // Nothing is stamped until the engine tells where this song is.
        std::lock_guard lock(p.clockMutex);
        p.songMs = -1;
        p.playing = false;
    }
    pa_threaded_mainloop_lock(p.loop);
    p.listening = true;
    p.listenNumber = number;
    p.totals = std::move(totals);
    p.pitches = std::move(pitches);
    p.heardFrames.clear();
    p.score.emplace(std::move(melody));
    p.lateReference = nullptr;
    if (p.tracker) p.tracker->reset();
    p.samples = 0;
    p.firstSample = {};
    p.sinceTotals = 0;
    // A source that failed is tried again for each song (a microphone plugged in since).
    if (!p.context || p.failed)
        p.connect();
    else
        p.cork(false);
    pa_threaded_mainloop_unlock(p.loop);
}

void PulseMicrophone::reference(std::shared_ptr<const Melody> melody) {
    Pulse& p = *pulse_;
    if (!p.loop) return;
    pa_threaded_mainloop_lock(p.loop);
    if (p.listening && !p.score->hasReference()) p.lateReference = std::move(melody);
    pa_threaded_mainloop_unlock(p.loop);
}

void PulseMicrophone::songTime(std::int64_t milliseconds, bool playing) {
    Pulse& p = *pulse_;
    std::lock_guard lock(p.clockMutex);
    // The player says the time when it moves on, a few times a second: the same time said again
    // (with a change of state) is older than the time the clock has run on to since.
    if (milliseconds == p.songMs && playing == p.playing) return;
    p.songMs = milliseconds;
    p.songAt = SteadyClock::now();
    p.playing = playing;
}

void PulseMicrophone::setDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(pulse_->clockMutex);
    pulse_->delay = delay;
}

void PulseMicrophone::stopListening() {
    Pulse& p = *pulse_;
    if (!p.loop) return;
    ++*p.current;
    pa_threaded_mainloop_lock(p.loop);
    p.listening = false;
    p.score.reset();
    p.lateReference = nullptr;
    p.totals = nullptr;
    p.pitches = nullptr;
    p.heardFrames.clear();
    p.cork(true);
    pa_threaded_mainloop_unlock(p.loop);
}

}  // namespace vocalis
