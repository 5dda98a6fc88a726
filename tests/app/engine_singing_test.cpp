// The measured score through a real sound server: the singing is played into a private PulseAudio's
// null sink by libVLC as the song plays, and heard back through the sink's monitor as the microphone.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <future>
#include <numbers>

#include "app/engine_harness.h"
#include "app/media_samples.h"
#include "audio/melody_cache.h"
#include "system/pulse_daemon.h"
#include "system/pulse_microphone.h"

namespace vocalis::testing {
namespace {

using namespace std::chrono_literals;

// The song's voice after a few seconds of music: phrases of four notes of 400 ms, a breath after each.
constexpr float kNotes[] = {57, 60, 62, 64, 65, 64, 62, 60, 67, 65, 64, 62, 60, 62, 59, 57};
constexpr std::size_t kLead = 300, kNote = 40, kBreath = 20;  // frames of 10 ms

Melody songMelody() {
    Melody melody{std::vector<float>(kLead, NAN)};
    for (std::size_t i = 0; i < std::size(kNotes); ++i) {
        melody.notes.insert(melody.notes.end(), kNote, kNotes[i]);
        if (i % 4 == 3) melody.notes.insert(melody.notes.end(), kBreath, NAN);
    }
    return melody;
}

// A voice singing `melody`: six harmonics, a 5.5 Hz vibrato, as 16-bit mono WAV at 48 kHz.
void writeVoice(const std::string& path, const Melody& melody) {
    constexpr int kRate = 48000;
    std::vector<std::int16_t> samples;
    double phase = 0;
    for (std::size_t i = 0; i < melody.size() * kRate / 100; ++i) {
        const double t = double(i) / kRate;
        const auto note = melody.at(i * 100 / kRate);
        if (!note) {
            samples.push_back(0);
            phase = 0;
            continue;
        }
        phase += 2 * std::numbers::pi *
                 frequencyOfNote(*note + 0.2f * float(std::sin(2 * std::numbers::pi * 5.5 * t))) / kRate;
        double value = 0;
        for (int harmonic = 1; harmonic <= 6; ++harmonic) value += std::sin(harmonic * phase) / harmonic;
        samples.push_back(std::int16_t(value * 0.3 * 32767 / 2.5));
    }
    const auto bytes = std::uint32_t(samples.size() * 2);
    std::ofstream out(path, std::ios::binary);
    const auto put = [&](auto value) { out.write(reinterpret_cast<const char*>(&value), sizeof value); };
    out << "RIFF";
    put(36 + bytes);
    out << "WAVEfmt ";
    put(std::uint32_t(16)), put(std::uint16_t(1)), put(std::uint16_t(1)), put(std::uint32_t(kRate));
    put(std::uint32_t(kRate * 2)), put(std::uint16_t(2)), put(std::uint16_t(16));
    out << "data";
    put(bytes);
    out.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

// CPU time of this process's threads of that name so far, in seconds.
double threadSeconds(const std::string& name) {
    double seconds = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        if (readFile(task.path() / "comm") != name + "\n") continue;
        const std::string stat = readFile(task.path() / "stat");
        const auto fields = splitText(stat.substr(stat.rfind(')') + 2), ' ');
        seconds += double(std::stol(fields[11]) + std::stol(fields[12])) / double(::sysconf(_SC_CLK_TCK));
    }
    return seconds;
}

TEST(EngineSinging, TheSingingHeardIsScoredAndWithoutAMicrophoneTheScoreIsDrawn) {
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.running()) << "pulseaudio did not start; see " << daemon.log();
    ::setenv("PULSE_SERVER", daemon.server().c_str(), 1);  // where libVLC plays the singing
    TempDir dir;
    const Melody melody = songMelody();
    writeVoice(dir / "voice.wav", melody);
    writeVoice(dir / "silence.wav", Melody{std::vector<float>(400, NAN)});
    const auto length = std::int64_t(melody.size()) * 10;
    const std::string monitor = std::string(PulseDaemon::kSinkName) + ".monitor";
    const struct {
        std::optional<std::string> source;  // none: no microphone
        bool sings, measured;
        bool first = false;       // queued onto the idle player: its melody comes five seconds into it
        int delay = 0;            // the microphone's delay (ms), set while the player runs
        bool noAnalysis = false;  // the analysis module is not there: no pitch, no melody made
    } cases[] = {{monitor, true, true},
                 {monitor, true, true, true},
                 {monitor, true, true, false, 2000},
                 {monitor, false, true},
                 {"nosuch", true, false},
                 {std::nullopt, true, false},
                 {monitor, true, false, false, 0, true}};
    for (const auto& [source, sings, measured, first, delay, noAnalysis] : cases) {
        SCOPED_TRACE(source.value_or("no microphone") + (sings ? " singing" : " silent") +
                     (first ? " first" : "") + " delay " + std::to_string(delay) +
                     (noAnalysis ? " no analysis" : ""));
        ::testing::internal::CaptureStderr();
        std::optional<PulseMicrophone> microphone;
        TempDir data;
        EngineHarness h(
            {"Sung - Ca.mp4", "Warm Up - Ca.mp4"}, "false", nullptr, data.path(),
            [&](Scheduler& clock, AnalysisModule& analysis) -> SingingMicrophone* {
                if (!source) return nullptr;
                return &microphone.emplace(clock, analysis,
                                           PulseMicrophone::Options{daemon.server(), *source});
            },
            noAnalysis ? std::filesystem::path(dir / "nowhere") : AnalysisModule::besideProgram());
        // Holds the background queue's two threads, where the melodies are made, while closed.
        struct Gate {
            std::promise<void> promise;
            std::shared_future<void> opened = promise.get_future().share();
            bool open = false;
            void release() {
                if (!std::exchange(open, true)) promise.set_value();
            }
            ~Gate() { release(); }
        } gate;
        MelodyCache(h.songsDir / "melodies").keep(h.song("Sung - Ca.mp4"), melody);
        h.preferences.setBool(KEY_PITCH_BAND, true);
        h.launchToFirstSong();
        // Two seconds taken off the time each frame is sung at: the singing is compared with the
        // song two seconds later, where it no longer fits.
        if (delay) microphone->setDelay(std::chrono::milliseconds(delay));
        h.engine->setHasScoring(true);
        h.clock.advance(2000ms);
        const std::int32_t sung = h.idOf("Sung");
        if (first) {
            for (int thread = 0; thread < 2; ++thread)
                h.background.post([opened = gate.opened] { opened.wait(); });
            h.add("Sung");
            ASSERT_TRUE(h.settle([&] { return h.songs.currentSongId() == sung; }));
            EXPECT_FALSE(h.engine->measures(sung));
        } else {
            gate.release();
            // The first song plays at once; the next one's melody is found meanwhile.
            h.add("Warm Up");
            h.add("Sung");
            ASSERT_TRUE(h.settle([&] { return h.songs.getQueueCount() == 2; }));
            if (source)
                ASSERT_TRUE(h.settle([&] { return h.engine->measures(sung); }));
            else
                EXPECT_FALSE(h.engine->measures(sung));
            h.skip();
            ASSERT_TRUE(h.settle([&] { return h.songs.currentSongId() == sung; }));
        }
        const double cpu = threadSeconds("microphone");
        const auto began = std::chrono::steady_clock::now();
        if (measured) {
            // What the microphone hears as the song plays, the song's time being the time libVLC gives
            // for it: the singing from the song's start, or four seconds from the song's second one
            // (most of them in the voice's part) with nobody singing.
            VlcMediaPlayer heard(h.clock, {words("--vout=vdummy"), nullptr, {}});
            heard.setMedia(Media::file(dir / (sings ? "voice.wav" : "silence.wav")));
            heard.play();
            const std::int64_t from = sings ? 0 : 1000;
            // How long after it was sung the newest frame of each batch reaches the engine, on the song's
            // clock as the microphone runs it: from the last time told, when it was told.
            std::vector<double> lags;
            std::size_t seen = 0;
            std::int64_t told = -1;
            auto toldAt = std::chrono::steady_clock::now();
            ASSERT_TRUE(pumpUntil(h.clock, [&] {
                const auto now = std::chrono::steady_clock::now();
                if (const std::int64_t time = from + heard.time(); time != told) told = time, toldAt = now;
                h.player.timeLeft(length - told, told);
                if (h.overlays.sungBatches.size() > std::exchange(seen, h.overlays.sungBatches.size()))
                    lags.push_back(double(told) +
                                   std::chrono::duration<double, std::milli>(now - toldAt).count() -
                                   double(h.overlays.sungBatches.back().back().songFrame * 10));
                // Two of the song's seven seconds of voice are sung before its melody is made.
                if (heard.time() > 5000) gate.release();
                return ended(heard);
            }));
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            if (sings) {
                ::testing::Test::RecordProperty(
                    "microphone_cpu_percent",
                    std::to_string(100 * (threadSeconds("microphone") - cpu) / seconds));
                std::sort(lags.begin(), lags.end());
                if (!lags.empty())
                    ::testing::Test::RecordProperty("pitch_lag_median_ms",
                                                    std::to_string(lags[lags.size() / 2]));
            }
            // The frames heard reach the screen in batches, about 30 a second; sung, on the song's notes
            // (a song whose melody comes late shows it only from then; one heard with a delay too
            // large, off its notes).
            std::size_t frames = 0, onNote = 0, voicedInSong = 0;
            for (const auto& batch : h.overlays.sungBatches)
                for (const SungFrame& frame : batch) {
                    ++frames;
                    const auto note = melody.at(std::size_t(frame.songFrame));
                    if (!note || std::isnan(frame.note)) continue;
                    ++voicedInSong;
                    const float off = std::fmod(std::abs(frame.note - *note) + 6.0f, 12.0f) - 6.0f;
                    onNote += std::abs(off) < 1;
                }
            EXPECT_GT(frames, std::size_t(seconds * (first ? 25 : 50)));
            EXPECT_GE(frames, 3 * h.overlays.sungBatches.size());
            EXPECT_LE(frames, 5 * h.overlays.sungBatches.size());
            if (!sings) {
                EXPECT_EQ(voicedInSong, 0u);
            } else if (!delay) {
                EXPECT_GT(onNote, melody.voicedFrames() * (first ? 1 : 3) / 4) << voicedInSong;
            }
        }
        // The pitch band shows the song's melody while the microphone is heard, and not over the score.
        EXPECT_EQ(h.overlays.pitchReference != nullptr, measured);
        h.end();
        EXPECT_EQ(h.overlays.pitchReference, nullptr);
        if (!measured) {
            EXPECT_TRUE(h.overlays.sungBatches.empty());
        }
        const std::string log = ::testing::internal::GetCapturedStderr();
        const SongScore score = h.engine->finalScore();
        EXPECT_EQ(score.measured, measured);
        EXPECT_NE(
            log.find("Score: " + std::to_string(score.value) + (measured ? " (measured)" : " (random)")),
            std::string::npos)
            << log;
        if (measured && sings && delay) {
            EXPECT_LT(score.value, 50);
        } else if (measured && sings) {
            EXPECT_GE(score.value, 90);
            EXPECT_TRUE(h.overlays.scoreDetail.starts_with("Cao độ ")) << h.overlays.scoreDetail;
        } else if (measured) {
            // Nothing is made up: nothing sung is nothing scored, counted from 0.
            EXPECT_EQ(score.value, 0);
            EXPECT_EQ(h.overlays.scores.front(), 0);
            EXPECT_EQ(h.overlays.scoreDetail, "Cao độ 0% · Đúng nhịp 0%");
        } else {
            EXPECT_GE(score.value, 71);
            EXPECT_EQ(h.overlays.scoreDetail, "");
        }
        // The history keeps the score, and whether it was measured.
        std::optional<HistoryEntry> kept;
        h.writer->run([](Store& store) { return store.history(std::nullopt, 1); },
                      [&](const StoreResult<std::vector<HistoryEntry>>& rows) { kept = rows.value->at(0); });
        ASSERT_TRUE(h.settle([&] { return kept.has_value(); }));
        EXPECT_EQ(kept->start.song.title, "Sung");
        EXPECT_EQ(kept->score, score);
        // A source that cannot be recorded is said once.
        EXPECT_EQ(occurrences(log, "Microphone: cannot record"), source == "nosuch" ? 1 : 0) << log;
        // FFmpeg and aubio are loaded once, for a microphone only; a module that is not there is
        // said once, and no melody is kept for want of it.
        EXPECT_EQ(occurrences(log, noAnalysis ? "Sound analysis: cannot load" : "Sound analysis: loaded"),
                  source ? 1 : 0)
            << log;
        EXPECT_EQ(MelodyCache(h.songsDir / "melodies").find(h.song("Warm Up - Ca.mp4")).has_value(),
                  source && !first && !noAnalysis);
    }
}

}  // namespace
}  // namespace vocalis::testing
