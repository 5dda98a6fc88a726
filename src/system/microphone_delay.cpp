#include "system/microphone_delay.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <span>
#include <vector>

#include "app/media/pulse_close.h"
#include "base/log.h"

namespace vocalis {

namespace {

using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

constexpr int kRate = 48000;
constexpr int kBursts = 3;
constexpr double kLead = 0.4;     // silence before the first burst: the room's own noise is heard meanwhile
constexpr double kSpacing = 0.8;  // from one burst's start to the next
constexpr double kBurst = 0.1;
constexpr double kTone = 1000;
// A delay beyond this is not looked for: the next burst would be mistaken for this one's echo.
constexpr double kLongestDelay = 0.6;
constexpr auto kTimeout = 10s;
constexpr std::size_t kBlock = kRate / 1000;  // the envelope's step: 1 ms
// A burst is heard when it stands this far above the room's noise, and above this level at all.
constexpr double kAboveNoise = 8;
constexpr double kQuietest = 0.002;
// Bursts heard this far apart are not one delay: something else was heard (a noisy room).
constexpr double kAgreement = 0.03;

std::size_t burstStart(int burst) { return static_cast<std::size_t>((kLead + burst * kSpacing) * kRate); }

// The bursts with silence between them: a tone with a 1 ms rise, so that its onset is sharp.
std::vector<float> burstsToPlay() {
    std::vector<float> samples(burstStart(kBursts - 1) + static_cast<std::size_t>(kSpacing * kRate), 0.0f);
    const auto length = static_cast<std::size_t>(kBurst * kRate);
    for (int burst = 0; burst < kBursts; ++burst)
        for (std::size_t i = 0; i < length; ++i) {
            const double ramp =
                std::min({1.0, static_cast<double>(i) / kBlock, static_cast<double>(length - i) / kBlock});
            samples[burstStart(burst) + i] = static_cast<float>(
                0.5 * ramp * std::sin(2 * std::numbers::pi * kTone * static_cast<double>(i) / kRate));
        }
    return samples;
}

double rms(std::span<const float> samples) {
    if (samples.empty()) return 0;
    double sum = 0;
    for (float sample : samples) sum += static_cast<double>(sample) * sample;
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

double median(std::vector<double> values) {
    std::ranges::sort(values);
    return values[values.size() / 2];
}

// The delay heard in `recorded`, whose first sample was heard `offset` seconds before the first one
// played; none when no burst stands out of the noise, or the bursts disagree.
MicrophoneDelay findDelay(const std::vector<float>& recorded, double offset) {
    const auto at = [&](double seconds) {
        return std::min(recorded.size(), static_cast<std::size_t>(std::max(0.0, seconds) * kRate));
    };
    const std::span<const float> all(recorded);
    const double noise = rms(all.subspan(0, at(burstStart(0) / double(kRate) + offset - 0.02)));
    std::vector<double> delays;
    for (int burst = 0; burst < kBursts; ++burst) {
        // Where the burst's start would be recorded with no delay at all.
        const double expected = burstStart(burst) / double(kRate) + offset;
        const std::size_t from = at(expected - 0.02), to = at(expected + kLongestDelay);
        std::vector<double> envelope;
        for (std::size_t block = from; block + kBlock <= to; block += kBlock)
            envelope.push_back(rms(all.subspan(block, kBlock)));
        const double peak = envelope.empty() ? 0 : std::ranges::max(envelope);
        if (peak < std::max(kQuietest, kAboveNoise * noise)) continue;
        // The onset: the first millisecond well above the noise and near the burst's own level.
        const double threshold = std::max(4 * noise, 0.3 * peak);
        const auto onset = std::ranges::find_if(envelope, [&](double level) { return level >= threshold; });
        const auto sample = from + static_cast<std::size_t>(onset - envelope.begin()) * kBlock;
        delays.push_back(static_cast<double>(sample) / kRate - expected);
    }
    if (delays.size() < 2)
        return {std::nullopt, "Micro không nghe thấy tiếng bíp phát ra loa: kiểm tra loa, âm lượng và micro"};
    if (std::ranges::max(delays) - std::ranges::min(delays) > kAgreement)
        return {std::nullopt, "Tiếng ồn lấn át tiếng bíp: hãy đo lại khi phòng yên tĩnh hơn"};
    const auto ms = std::max(0L, std::lround(median(delays) * 1000));
    return {std::chrono::milliseconds(ms), {}};
}

double now() { return Seconds(std::chrono::steady_clock::now().time_since_epoch()).count(); }

struct Streams {
    std::vector<float> recorded;
    // When the first sample recorded was heard: each piece is heard before it arrives, so the
    // earliest the pieces' arrivals allow.
    double recordStart = std::numeric_limits<double>::infinity();
    std::vector<double> playbackStarts;  // when the first sample played was heard, read now and then
};

void onRead(pa_stream* stream, std::size_t, void* data) {
    auto& streams = *static_cast<Streams*>(data);
    while (pa_stream_readable_size(stream) > 0) {
        const void* bytes = nullptr;
        std::size_t size = 0;
        if (pa_stream_peek(stream, &bytes, &size) < 0 || size == 0) return;
        const auto* samples = static_cast<const float*>(bytes);
        // A hole in the recording keeps its place as silence: the count of samples is the clock.
        if (samples)
            streams.recorded.insert(streams.recorded.end(), samples, samples + size / sizeof(float));
        else
            streams.recorded.resize(streams.recorded.size() + size / sizeof(float), 0.0f);
        pa_stream_drop(stream);
    }
    streams.recordStart =
        std::min(streams.recordStart, now() - static_cast<double>(streams.recorded.size()) / kRate);
}

}  // namespace

MicrophoneDelay measureMicrophoneDelay(const MicrophoneDelayRequest& request, std::stop_token stop) {
    const std::unique_ptr<pa_mainloop, decltype(&pa_mainloop_free)> loop(pa_mainloop_new(),
                                                                         &pa_mainloop_free);
    if (!loop) return {std::nullopt, "Không kết nối được với máy chủ âm thanh"};
    const PulseContext context(pa_context_new(pa_mainloop_get_api(loop.get()), "Vocalis Player"));
    if (!context) return {std::nullopt, "Không kết nối được với máy chủ âm thanh"};
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    bool lateOrStopped = false;  // rather than refused
    // Runs the loop on this thread until `done`, the time-out, a stop or a lost connection.
    const auto runUntil = [&](const auto& done) {
        while (!done()) {
            if (stop.stop_requested() || std::chrono::steady_clock::now() > deadline) {
                lateOrStopped = true;
                return false;
            }
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context.get()))) return false;
            if (pa_mainloop_prepare(loop.get(), 20'000) < 0 || pa_mainloop_poll(loop.get()) < 0 ||
                pa_mainloop_dispatch(loop.get()) < 0)
                return false;
        }
        return true;
    };
    const auto failed = [&](const char* what) -> MicrophoneDelay {
        if (stop.stop_requested()) return {std::nullopt, "Đã dừng đo"};
        logParts("Microphone delay: not measured (", what, ": ",
                 lateOrStopped ? "no answer in time" : pa_strerror(pa_context_errno(context.get())), ")");
        return {std::nullopt, what};
    };
    // Never start a sound server of our own: the desktop owns it.
    if (pa_context_connect(context.get(), request.server.empty() ? nullptr : request.server.c_str(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        !runUntil([&] { return pa_context_get_state(context.get()) == PA_CONTEXT_READY; }))
        return failed("Không kết nối được với máy chủ âm thanh");

    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, kRate, 1};
    const auto timing =
        static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    const auto ready = [&](const PulseStream& stream) {
        return runUntil([&] { return pa_stream_get_state(stream.get()) != PA_STREAM_CREATING; }) &&
               pa_stream_get_state(stream.get()) == PA_STREAM_READY;
    };

    // The microphone first: it hears the room before the first burst.
    Streams streams;
    const PulseStream record(pa_stream_new(context.get(), "Microphone delay", &format, nullptr));
    if (!record) return failed("Không thu được âm thanh từ micro");
    pa_stream_set_read_callback(record.get(), &onRead, &streams);
    pa_buffer_attr recordBuffer{};
    recordBuffer.maxlength = recordBuffer.tlength = recordBuffer.prebuf = recordBuffer.minreq = ~0u;
    recordBuffer.fragsize = kBlock * 10 * sizeof(float);
    if (pa_stream_connect_record(record.get(), request.source.empty() ? nullptr : request.source.c_str(),
                                 &recordBuffer,
                                 static_cast<pa_stream_flags_t>(timing | PA_STREAM_ADJUST_LATENCY)) < 0 ||
        !ready(record))
        return failed("Không thu được âm thanh từ micro");

    // Only once the microphone's sound flows: a source may hold back its first block (a sink's
    // monitor gives what the sink renders, in blocks of up to two seconds while it had no stream).
    if (!runUntil([&] { return streams.recorded.size() >= kRate / 10; }))
        return failed("Micro không gửi âm thanh nào");

    // All the bursts are written at once, so the sink never runs dry between them, and a short
    // latency asked for, so the sink plays them as it goes rather than in a few large blocks.
    const std::vector<float> bursts = burstsToPlay();
    const auto bytes = static_cast<std::uint32_t>(bursts.size() * sizeof(float));
    const PulseStream playback(pa_stream_new(context.get(), "Microphone delay", &format, nullptr));
    if (!playback) return failed("Không phát được âm thanh ra loa");
    pa_buffer_attr playBuffer{};
    playBuffer.maxlength = playBuffer.minreq = playBuffer.fragsize = playBuffer.prebuf = ~0u;
    playBuffer.tlength = static_cast<std::uint32_t>(kBlock * 40 * sizeof(float));
    if (pa_stream_connect_playback(playback.get(), nullptr, &playBuffer,
                                   static_cast<pa_stream_flags_t>(timing | PA_STREAM_ADJUST_LATENCY), nullptr,
                                   nullptr) < 0 ||
        !ready(playback) ||
        pa_stream_write(playback.get(), bursts.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0)
        return failed("Không phát được âm thanh ra loa");

    // The playback stream's time is that of the sample being heard now: with the arrivals of the
    // recording, it places what was recorded against what was played.
    const double played = static_cast<double>(bursts.size()) / kRate;
    const auto enough = [&] {
        pa_usec_t playing = 0;
        if (pa_stream_get_time(playback.get(), &playing) == 0 && playing > 0 &&
            Seconds(std::chrono::microseconds(playing)).count() < played - kSpacing / 2)
            streams.playbackStarts.push_back(now() - Seconds(std::chrono::microseconds(playing)).count());
        return streams.playbackStarts.size() >= 5 &&
               static_cast<double>(streams.recorded.size()) / kRate >=
                   median(streams.playbackStarts) - streams.recordStart + played;
    };
    if (!runUntil(enough)) return failed("Không đo được: âm thanh dừng giữa chừng");
    MicrophoneDelay measured =
        findDelay(streams.recorded, median(streams.playbackStarts) - streams.recordStart);
    if (measured.delay)
        logParts("Microphone delay: ", measured.delay->count(), " ms measured");
    else
        logParts("Microphone delay: not measured (", measured.failure, ")");
    return measured;
}

}  // namespace vocalis
