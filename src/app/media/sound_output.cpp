#include "app/media/sound_output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <utility>

#include "app/media/pulse_close.h"
#include "base/log.h"

namespace vocalis {

namespace {

constexpr std::size_t kChannels = 2;
// What the server holds ahead (half of it in the stream's buffer): short, because a new key
// reaches the ear only behind it, yet long enough to ride out a busy machine's stalls of a
// few hundred milliseconds.
constexpr pa_usec_t kServerBuffer = 500'000;
constexpr pa_usec_t kServicePeriod = 10'000;
// What the sound card itself holds ahead. A media's first sound is due as soon as it is
// decoded, so whatever the card holds then is lost from the song's start: the card's share
// stays short and the server's buffer above takes the stalls.
constexpr pa_usec_t kCardLatency = 20'000;
// With nothing to play the stream is kept this far beyond the card with silence: a stream
// that runs dry has a write position libpulse no longer knows (it reports such a stream's
// latency as 0) until the server's next report, and sound written meanwhile is mistimed.
constexpr std::int64_t kIdleLead = 100'000;
// Closer than this to its time a frame simply plays; further off, silence or a skip puts
// the sound back on time (a start, a lost stretch, a drifting sound card).
constexpr std::int64_t kTolerance = 15'000;
// How far past where the server reads a write over waiting silence lands: the server may have
// read a little further by the time the write arrives.
constexpr std::int64_t kReadMargin = 5'000;
constexpr pa_usec_t kConnectTimeout = 2'000'000;
// The media engine decodes some 1.3 s ahead; far more means no one takes the sound.
constexpr std::size_t kMostWaiting = 10 * SoundOutput::kRate * kChannels;
// A drain never holds the media's end longer than this.
constexpr std::int64_t kLongestDrain = 3'000'000;
// Frames fed to the changes at a time.
constexpr std::size_t kFeedBlock = 1024;
// The most written in one turn: the changes of a whole second at once (in another key, a
// quarter of a second of work) would leave the server empty meanwhile.
constexpr std::size_t kMostPerService = 2 * kFeedBlock;

std::int64_t microsOf(std::uint64_t frames) {
    return static_cast<std::int64_t>(frames) * 1'000'000 / SoundOutput::kRate;
}
std::size_t framesOf(std::int64_t micros) {
    return micros <= 0 ? 0 : static_cast<std::size_t>(micros * SoundOutput::kRate / 1'000'000);
}

}  // namespace

// libpulse's objects; used only with the main loop's lock held (or on its thread).
struct SoundOutput::Pulse {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_time_event* timer = nullptr;
    pa_time_event* deadline = nullptr;
    bool timedOut = false;
    std::atomic<bool> ready{false};

    struct Lock {
        explicit Lock(pa_threaded_mainloop* l) : loop(l) { pa_threaded_mainloop_lock(loop); }
        ~Lock() { pa_threaded_mainloop_unlock(loop); }
        pa_threaded_mainloop* loop;
    };

    void close() {
        ready = false;
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
        if (timer) api->time_free(timer);
        if (deadline) api->time_free(deadline);
        timer = nullptr;
        deadline = nullptr;
        closeStream(stream);
        closeContext(context);
    }

    // How far the next write lands beyond what is heard now (negative: behind), in
    // microseconds; none while the write position is unknown (after a flush, until the
    // server's report). libpulse's own latency answers 0 for a stream that is behind.
    std::optional<std::int64_t> ahead() const {
        const pa_timing_info* timing = pa_stream_get_timing_info(stream);
        pa_usec_t heard = 0;
        if (!timing || timing->write_index_corrupt || pa_stream_get_time(stream, &heard) < 0)
            return std::nullopt;
        const auto written =
            pa_bytes_to_usec(static_cast<std::uint64_t>(std::max<std::int64_t>(timing->write_index, 0)),
                             pa_stream_get_sample_spec(stream));
        return static_cast<std::int64_t>(written) - static_cast<std::int64_t>(heard);
    }
    pa_usec_t card() const {
        const pa_timing_info* timing = pa_stream_get_timing_info(stream);
        return timing ? timing->sink_usec : 0;
    }

    void cork(bool corked) {
        if (stream && ready) pa_operation_unref(pa_stream_cork(stream, corked ? 1 : 0, nullptr, nullptr));
    }
};

SoundOutput::SoundOutput(Clock clock, Tap tap)
    : clock_(std::move(clock)), tap_(std::move(tap)), pulse_(std::make_unique<Pulse>()) {
    if (tap_) return;
    pulse_->loop = pa_threaded_mainloop_new();
    if (pulse_->loop && pa_threaded_mainloop_start(pulse_->loop) < 0) {
        pa_threaded_mainloop_free(pulse_->loop);
        pulse_->loop = nullptr;
    }
}

SoundOutput::~SoundOutput() {
    if (!pulse_->loop) return;
    {
        Pulse::Lock lock(pulse_->loop);
        pulse_->close();
    }
    pa_threaded_mainloop_stop(pulse_->loop);
    pa_threaded_mainloop_free(pulse_->loop);
}

void SoundOutput::setKeyShift(int semitones) { key_ = std::clamp(semitones, -6, 6); }

void SoundOutput::setCentreCancel(bool enabled) { centreCancel_ = enabled; }

void SoundOutput::interrupt() {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    wake_.notify_all();
}

void SoundOutput::prepare() {
    std::lock_guard lock(mutex_);
    // A play after an interruption starts a media; without one it goes on after a pause.
    fresh_ = fresh_ || interrupted_;
    interrupted_ = false;
    starting_ = true;
}

void SoundOutput::logLost() {
    if (lost_) return;
    lost_ = true;
    logLine("No sound output can be opened; playing without sound");
}

// A media's first sound: a pause of the one before is over, and a lost server is looked for.
void SoundOutput::start() {
    bool fresh = false;
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
        fresh = std::exchange(fresh_, false);
    }
    if (!pulse_->loop) return;
    if (!pulse_->ready) connect();
    if (!pulse_->ready) return logLost();
    Pulse::Lock lock(pulse_->loop);
    if (fresh) {
        // What is left of a media stopped early goes, so the next one is not heard behind it;
        // the silence kept between media is left alone.
        std::lock_guard guard(mutex_);
        clearLocked();
        const auto ahead = pulse_->ahead();
        if (ahead && *ahead - static_cast<std::int64_t>(pulse_->card()) > kIdleLead + kTolerance)
            restartStream();
    }
    pulse_->cork(false);
}

void SoundOutput::connect() {
    Pulse& p = *pulse_;
    Pulse::Lock lock(p.loop);
    p.close();
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(p.loop);
    p.context = pa_context_new(api, "Vocalis Player");
    if (!p.context) return;
    auto signal = [](auto*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
    };
    pa_context_set_state_callback(p.context, signal, p.loop);
    // A server that does not answer must not hold the media for long.
    p.timedOut = false;
    p.deadline = pa_context_rttime_new(
        p.context, pa_rtclock_now() + kConnectTimeout,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* opaque) {
            auto* pulse = static_cast<Pulse*>(opaque);
            pulse->timedOut = true;
            pa_threaded_mainloop_signal(pulse->loop, 0);
        },
        &p);
    if (pa_context_connect(p.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return p.close();
    while (true) {
        const pa_context_state_t state = pa_context_get_state(p.context);
        if (state == PA_CONTEXT_READY) break;
        if (!PA_CONTEXT_IS_GOOD(state) || p.timedOut) return p.close();
        pa_threaded_mainloop_wait(p.loop);
    }

    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, kRate, kChannels};
    p.stream = pa_stream_new(p.context, "Song", &format, nullptr);
    if (!p.stream) return p.close();
    pa_stream_set_state_callback(p.stream, signal, p.loop);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kServerBuffer, &format));
    // Plays at once and keeps its clock running through a gap, so times stay true.
    attr.prebuf = 0;
    // With early requests the server sets the card's latency to minreq and keeps tlength
    // for the stream (adjusting the latency would give the card half of it).
    attr.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(kCardLatency, &format));
    attr.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_EARLY_REQUESTS |
        // A rewind of the card moves what is heard back; clamping it would misplace every write.
        PA_STREAM_NOT_MONOTONIC);
    if (pa_stream_connect_playback(p.stream, nullptr, &attr, flags, nullptr, nullptr) < 0) return p.close();
    while (true) {
        const pa_stream_state_t state = pa_stream_get_state(p.stream);
        if (state == PA_STREAM_READY) break;
        if (!PA_STREAM_IS_GOOD(state) || p.timedOut) return p.close();
        pa_threaded_mainloop_wait(p.loop);
    }
    api->time_free(p.deadline);
    p.deadline = nullptr;

    // From here on a failure of the server only silences the sound until the next media.
    pa_context_set_state_callback(
        p.context,
        [](pa_context* context, void* opaque) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
                static_cast<Pulse*>(opaque)->ready = false;
        },
        &p);
    p.timer = pa_context_rttime_new(
        p.context, pa_rtclock_now() + kServicePeriod,
        [](pa_mainloop_api*, pa_time_event* event, const struct timeval*, void* opaque) {
            auto* self = static_cast<SoundOutput*>(opaque);
            self->service();
            if (self->pulse_->context)
                pa_context_rttime_restart(self->pulse_->context, event, pa_rtclock_now() + kServicePeriod);
        },
        this);
    p.ready = true;
    restartStream();
    if (lost_) logLine("Sound output works again");
    lost_ = false;
    std::lock_guard guard(mutex_);
    clearLocked();
}

void SoundOutput::play(std::span<const std::int16_t> samples, std::int64_t due) {
    const bool first = starting_.exchange(false);
    if (first) start();
    const std::size_t frames = samples.size() / kChannels;
    std::unique_lock lock(mutex_);
    lastDue_ = due + microsOf(frames);
    in_.resize(frames * kChannels);
    std::transform(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(in_.size()), in_.begin(),
                   [](std::int16_t sample) { return sample / 32768.0f; });
    const std::span<const float> interleaved(in_);
    if (tap_) {
        processor_.setKeyShift(key_);
        processor_.setCentreCancel(centreCancel_);
        processor_.push(interleaved);
        out_.clear();
        processor_.take(processor_.ready(), out_);
        tapBuffer_.resize(out_.size());
        std::transform(out_.begin(), out_.end(), tapBuffer_.begin(), [](float sample) {
            return static_cast<std::int16_t>(std::lround(std::clamp(sample * 32768.0f, -32768.0f, 32767.0f)));
        });
        lock.unlock();
        tap_(tapBuffer_);
        return;
    }
    if (!pulse_->ready) return;
    if (waiting_.size() > kMostWaiting) clearLocked();
    marks_.emplace_back(framesIn_, due);
    waiting_.insert(waiting_.end(), interleaved.begin(), interleaved.end());
    framesIn_ += frames;
    lock.unlock();
    // A media's first sound is due at once: it goes out now rather than at the next turn.
    if (first) {
        Pulse::Lock loopLock(pulse_->loop);
        if (pulse_->ready && pulse_->timer)
            pa_context_rttime_restart(pulse_->context, pulse_->timer, pa_rtclock_now());
    }
}

// The due time of a frame, from the mark of the block it came in.
std::int64_t SoundOutput::dueOf(std::uint64_t frame) const {
    for (auto mark = marks_.rbegin(); mark != marks_.rend(); ++mark)
        if (mark->first <= frame) return mark->second + microsOf(frame - mark->first);
    return marks_.empty() ? 0 : marks_.front().second;
}

// Changes waiting sound until `frames` are ready or none waits.
void SoundOutput::feed(std::size_t frames) {
    while (processor_.ready() < frames && !waiting_.empty()) {
        processor_.setKeyShift(key_);
        processor_.setCentreCancel(centreCancel_);
        const std::size_t count = std::min(kFeedBlock * kChannels, waiting_.size());
        std::vector<float> block(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(count));
        waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(count));
        processor_.push(block);
    }
}

// On the main loop's thread: tops the server's buffer up with sound that is due when it
// will be heard.
void SoundOutput::service() {
    Pulse& p = *pulse_;
    if (!p.ready || !p.stream) return;
    std::size_t room = pa_stream_writable_size(p.stream);
    if (room == static_cast<std::size_t>(-1)) return;
    room /= kChannels * sizeof(float);
    const auto before = p.ahead();
    if (room == 0 || !before) return;
    // After a stretch without sound the server asks for seconds; it is meant to hold no more
    // than its buffer, or a new key is heard that much later.
    room = std::min({room, framesOf(static_cast<std::int64_t>(kServerBuffer) - *before), kMostPerService});
    if (room == 0) return;

    std::lock_guard lock(mutex_);
    if (paused_) return;
    // The changes take their time, most at a start in another key; while the server has
    // nothing to play, the time a frame will be heard moves on with the clock, so it is read
    // after them.
    feed(room);
    const auto ahead = p.ahead();
    if (!ahead) return;
    const auto card = static_cast<std::int64_t>(p.card());
    // The stream never waits to fill: once all it held is played (a stall), the server reads on
    // past what was written, and sound written after it would be thrown away. Then it starts
    // again where the server reads, to be heard once the sound card has played what it holds.
    const bool dry = *ahead <= card;
    if (dry) restartStream();
    // When the next frame written will reach the ear.
    std::int64_t heardAt = clock_() + (dry ? card + kIdleLead : *ahead);
    // A media's first sound goes over the silence kept between media, just past where the
    // server reads, rather than behind it.
    std::int64_t back = 0;
    if (onlySilence_ && processor_.ready() > 0 && !dry)
        back = static_cast<std::int64_t>(framesOf(*ahead - card - kReadMargin));
    heardAt -= microsOf(static_cast<std::uint64_t>(back));
    out_.clear();
    while (room > 0) {
        feed(std::min(room, kFeedBlock));
        if (processor_.ready() == 0) break;
        const std::uint64_t next =
            framesIn_ - waiting_.size() / kChannels - processor_.pending() - processor_.ready();
        const std::int64_t early = dueOf(next) - heardAt;
        if (early > kTolerance) {
            const std::size_t silence = std::min(room, framesOf(early));
            out_.insert(out_.end(), silence * kChannels, 0.0f);
            heardAt += microsOf(silence);
            room -= silence;
        } else if (early < -kTolerance) {
            const std::size_t late = std::max<std::size_t>(1, framesOf(-early));
            if (late <= processor_.ready()) {
                processor_.drop(late);
            } else {
                // Far behind (the machine was busy): skip sound before it is changed, not after,
                // or the changes' own cost keeps it behind.
                const std::size_t changing = processor_.ready() + processor_.pending();
                const std::size_t skip =
                    std::min(late > changing ? late - changing : 0, waiting_.size() / kChannels);
                processor_.reset();
                waiting_.erase(waiting_.begin(),
                               waiting_.begin() + static_cast<std::ptrdiff_t>(skip * kChannels));
            }
        } else {
            const std::size_t taken = processor_.take(room, out_);
            heardAt += microsOf(taken);
            room -= taken;
            onlySilence_ = false;
        }
    }
    // Nothing more to play yet: silence keeps the stream from running dry.
    const std::int64_t lead = heardAt - clock_() - card;
    if (room > 0 && processor_.ready() == 0 && lead < kIdleLead) {
        const std::size_t silence = std::min(room, framesOf(kIdleLead - lead));
        out_.insert(out_.end(), silence * kChannels, 0.0f);
    }
    // Marks of frames gone are no longer needed (the last one before the next frame stays).
    const std::uint64_t next =
        framesIn_ - waiting_.size() / kChannels - processor_.pending() - processor_.ready();
    while (marks_.size() > 1 && marks_[1].first <= next) marks_.pop_front();
    if (!out_.empty())
        pa_stream_write(p.stream, out_.data(), out_.size() * sizeof(float), nullptr,
                        -back * static_cast<std::int64_t>(kChannels * sizeof(float)), PA_SEEK_RELATIVE);
}

// With the main loop's lock held: the stream starts again where the server reads, with the
// idle silence in it. Its write position is unknown here until the server's report that the
// flush asks for; meanwhile nothing is written (libpulse reports no latency), and the silence
// keeps it playing.
void SoundOutput::restartStream() {
    Pulse& p = *pulse_;
    pa_operation_unref(pa_stream_flush(p.stream, nullptr, nullptr));
    std::vector<float> silence(framesOf(kIdleLead) * kChannels, 0.0f);
    pa_stream_write(p.stream, silence.data(), silence.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
}

void SoundOutput::pause(std::int64_t when) {
    if (pulse_->loop && pulse_->ready) {
        Pulse::Lock lock(pulse_->loop);
        pulse_->cork(true);
    }
    std::lock_guard lock(mutex_);
    paused_ = true;
    pausedAt_ = when;
}

void SoundOutput::resume(std::int64_t when) {
    {
        std::lock_guard lock(mutex_);
        // The media engine moves the times of what comes after a pause by its length; what
        // waits here moves with it.
        const std::int64_t shift = paused_ ? when - pausedAt_ : 0;
        for (auto& mark : marks_) mark.second += shift;
        lastDue_ += shift;
        paused_ = false;
    }
    if (pulse_->loop && pulse_->ready) {
        Pulse::Lock lock(pulse_->loop);
        pulse_->cork(false);
    }
}

void SoundOutput::flush() {
    if (pulse_->loop && pulse_->ready) {
        Pulse::Lock lock(pulse_->loop);
        std::lock_guard guard(mutex_);
        clearLocked();
        restartStream();
        return;
    }
    std::lock_guard guard(mutex_);
    clearLocked();
}

void SoundOutput::clearLocked() {
    waiting_.clear();
    marks_.clear();
    framesIn_ = 0;
    processor_.reset();
    lastDue_ = 0;
    onlySilence_ = true;
}

void SoundOutput::drain() {
    std::unique_lock lock(mutex_);
    const std::int64_t until = std::min(lastDue_, clock_() + kLongestDrain);
    while (!interrupted_) {
        const std::int64_t left = until - clock_();
        if (left <= 0) break;
        wake_.wait_for(lock, std::chrono::microseconds(left));
    }
}

}  // namespace vocalis
