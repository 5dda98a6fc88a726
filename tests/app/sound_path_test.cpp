// The player's own sound path, heard on a private PulseAudio server's null sink.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <optional>
#include <utility>

#include "app/media_samples.h"
#include "support/background_program.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "system/pulse_daemon.h"

namespace vocalis::testing {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
double decibels(double ratio) { return 10.0 * std::log10(ratio); }

// Starts of loud stretches (above 0.05) at least half a second after the one before.
std::vector<std::size_t> onsets(const Samples& samples) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (std::fabs(samples[i]) >= 0.05f && (found.empty() || i - found.back() > 24000)) found.push_back(i);
    return found;
}

// Records the null sink's monitor with parec; a frame was heard at the latest when the file first held it.
// The null sink runs at the shortest latency asked of it: a recording that asks 5 ms pins the frames to
// the clock closely, and one that asks more leaves the sink as long a latency as a sound card has.
class Recording {
  public:
    Recording(const PulseDaemon& daemon, std::string file, int latencyMs = 5)
        : file_(std::move(file)),
          parec_("/usr/bin/parec",
                 words("--server " + daemon.server() +
                       " -d vocalis_sound_path.monitor --raw --format=s16le --rate=48000 --channels=2 "
                       "--latency-msec=" +
                       std::to_string(latencyMs)),
                 {}, file_) {}
    // Once parec records, the null sink plays in small blocks, as a sound card does.
    bool started() const {
        for (const auto deadline = Clock::now() + 30s;
             parec_.started() && !frames() && Clock::now() < deadline;)
            std::this_thread::sleep_for(5ms);
        return frames() > 0;
    }
    std::size_t frames() const {
        struct stat info {};
        return ::stat(file_.c_str(), &info) == 0 ? std::size_t(info.st_size) / 4 : 0;
    }
    // Notes how far the file has grown now; called often, it pins the frames to the clock.
    void poll() {
        if (const std::size_t count = frames()) polls_.emplace_back(Clock::now(), count);
    }
    // At the earliest the polls allow, at the rate measured (not exactly 48000 a second of this clock).
    Clock::time_point heardAt(std::size_t frame) const {
        if (polls_.size() < 2 || polls_.back().second == polls_.front().second) return {};
        const auto& [firstTime, firstFrames] = polls_.front();
        const auto& [lastTime, lastFrames] = polls_.back();
        const double rate =
            (lastFrames - firstFrames) / std::chrono::duration<double>(lastTime - firstTime).count();
        const auto at = [&](std::size_t count) {
            return std::chrono::microseconds(std::int64_t(count * 1e6 / rate));
        };
        auto start = firstTime;
        for (const auto& [time, count] : polls_) start = std::min(start, time - at(count));
        return start + at(frame);
    }
    // One channel (0 left, 1 right) of frames [from, from + count), full scale 1; all by default.
    Samples channel(int which = 0, std::size_t from = 0, std::size_t count = SIZE_MAX) const {
        const std::string bytes = readFile(file_);
        Samples out;
        for (std::size_t i = from * 4 + std::size_t(which) * 2; i + 1 < bytes.size() && out.size() < count;
             i += 4)
            out.push_back(std::int16_t(std::uint8_t(bytes[i]) | std::uint8_t(bytes[i + 1]) << 8) / 32768.0f);
        return out;
    }

  private:
    std::string file_;
    BackgroundProgram parec_;
    std::vector<std::pair<Clock::time_point, std::size_t>> polls_;
};

class SoundPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(daemon.running()) << "pulseaudio did not start; see " << daemon.log();
        ::setenv("PULSE_SERVER", daemon.server().c_str(), 1);
        addSink();
    }
    // At the songs' own rate: through the daemon's 44.1 kHz sink a second records as some 48130 frames.
    void addSink() {
        for (const char* command : {"load-module module-null-sink sink_name=vocalis_sound_path rate=48000",
                                    "set-default-sink vocalis_sound_path"})
            ASSERT_EQ(
                runProgram("/usr/bin/pactl", words("--server " + daemon.server() + " " + command)).status, 0);
    }
    // A file made by ffmpeg from `input`, its arguments before the output.
    std::string make(const std::string& name, const std::string& input) {
        runFfmpeg(words(input, {dir / name}));
        return dir / name;
    }
    bool listen(int latencyMs = 5) {
        recording.reset();
        return recording.emplace(daemon, dir / ("out" + std::to_string(++recordings) + ".raw"), latencyMs)
            .started();
    }
    // The player's default sound (no "--aout": its own path), playing `file` from its start in `key`.
    void play(const std::string& file, int key = 0, VideoSink* sink = nullptr) {
        player.emplace(scheduler, VlcPlayerOptions{
                                      sink ? std::vector<std::string>{} : words("--vout=vdummy"), sink, {}});
        ASSERT_TRUE(player->isReady());
        player->setKeyShift(key);
        player->setMedia(Media::file(file));
        player->play();
    }
    // Runs the player's events for a while of real time, noting the recording's growth.
    bool pumpFor(std::chrono::milliseconds span, bool toEnd = false) {
        const auto until = Clock::now() + span;
        return pumpUntil(scheduler, [&] {
            if (recording) recording->poll();
            return toEnd ? ended(*player) : Clock::now() >= until;
        });
    }
    bool playToEnd() { return pumpFor(0ms, true); }
    // The left channel of the next `span` of sound, heard after `settle` for the change to take hold.
    Samples next(std::chrono::milliseconds settle, std::chrono::milliseconds span) {
        pumpFor(settle);
        from = recording->frames();
        pumpFor(span);
        return recording->channel(0, from, 48000);
    }

    PulseDaemon daemon;
    TempDir dir;
    VirtualScheduler scheduler;
    std::optional<Recording> recording;
    int recordings = 0;
    std::size_t from = 0;  // where the last `next` began
    std::optional<VlcMediaPlayer> player;
};

TEST_F(SoundPathTest, KeyChangesThePitchWithinASecondWithoutAGap) {
    const std::string song =
        make("tone.m4a", "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=24 -ac 2 -c:a aac");
    ASSERT_TRUE(listen());
    play(song, 2);  // chosen before the song
    const std::pair<int, double> cases[] = {{2, 493.88}, {0, 440.0}, {-6, 311.13}, {5, 587.33}, {0, 440.0}};
    std::size_t first = 0;
    for (const auto& [key, hertz] : cases) {
        SCOPED_TRACE(key);
        player->setKeyShift(key);
        EXPECT_NEAR(strongest(next(1000ms, 1500ms)), hertz,
                    hertz * 0.01);  // heard within a second of the change
        first = first ? first : from;
    }
    // From the first case to the last no 300 ms went silent: each change went on seamlessly.
    std::size_t quiet = 0, longest = 0;
    for (float x : recording->channel(0, first))
        longest = std::max(longest, quiet = std::fabs(x) < 0.01f ? quiet + 1 : 0);
    // A busy machine alone has stalled the sound server's client for over 150 ms.
    EXPECT_LT(longest, 48000 * 0.3) << "silent for " << longest / 48.0 << " ms";
}

TEST_F(SoundPathTest, BurstsStayASecondApartThroughKeyChangesAndAPause) {
    // A 50 ms burst of 1 kHz in the middle of every second.
    const std::string song = make("bursts.m4a",
                                  "-f lavfi -i sine=frequency=1000:sample_rate=48000:duration=10 -af "
                                  "volume='if(between(mod(t,1),0.5,0.55),1,0)':eval=frame -ac 2 -c:a aac");
    ASSERT_TRUE(listen());
    play(song, 2);
    pumpFor(3300ms);
    player->setKeyShift(0);  // out of the shifter: what it held plays unshifted, once
    pumpFor(1000ms);
    player->setKeyShift(3);  // into it again
    pumpFor(1000ms);
    player->pause();
    const auto pausedAt = Clock::now();
    pumpFor(700ms);
    player->play();
    const double pausedFor = std::chrono::duration<double>(Clock::now() - pausedAt).count();
    ASSERT_TRUE(playToEnd());
    pumpFor(300ms);

    // The centre of each burst's energy, which the shifter's spreading of its edges hardly moves.
    const Samples all = recording->channel();
    std::vector<double> bursts;
    for (std::size_t start : onsets(all)) {
        double weight = 0, moment = 0;
        for (std::size_t i = start > 1440 ? start - 1440 : 0; i < std::min(all.size(), start + 5760); ++i)
            weight += all[i] * all[i], moment += double(i) * all[i] * all[i];
        bursts.push_back(moment / weight / 48000.0);
    }
    ASSERT_GE(bursts.size(), 9u);
    bool pauseSeen = false;
    for (std::size_t i = 1; i < bursts.size(); ++i) {
        SCOPED_TRACE(i);
        const double apart = bursts[i] - bursts[i - 1];
        if (apart > 1.3 && !pauseSeen) {  // the pause lies between these two
            pauseSeen = true;
            EXPECT_NEAR(apart, 1.0 + pausedFor, 0.05);
        } else {
            // A switch that lost or repeated what the shifter held: some 80 ms; a fresh shifter: 20 ms.
            EXPECT_NEAR(apart, 1.0, 0.03);
        }
    }
    EXPECT_TRUE(pauseSeen);
}

TEST_F(SoundPathTest, EverySongIsHeardFromItsFirstFrameWithoutAGap) {
    // A quiet tone throughout, and a noise burst at 0, 0.5, 1 and 1.5 s.
    const std::string song =
        make("marks.wav",
             "-f lavfi -i aevalsrc=0.2*sin(2*PI*440*t)+if(lt(mod(t\\,0.5)\\,0.06)*lt(t\\,"
             "1.9)\\,0.7*(2*random(0)-1)\\,0):s=48000:d=9 -ac 2");
    player.emplace(scheduler, VlcPlayerOptions{words("--vout=vdummy"), nullptr, {}});
    // The sound path opens at a first media, as the intro opens it before any song; the recording
    // starts after, asking a long latency so the sink keeps the one the player asks, as a card does.
    player->setMedia(Media::file(make("silence.wav", "-f lavfi -i anullsrc=r=48000:cl=stereo -t 0.3")));
    player->play();
    ASSERT_TRUE(playToEnd());
    ASSERT_TRUE(listen(300));
    // The score sound, on libVLC's own output as it is played; too quiet to be taken for the song.
    const std::string score = make(
        "score.wav", "-f lavfi -i sine=frequency=300:sample_rate=44100:duration=3.5 -af volume=0.05 -ac 2");
    struct Start {
        std::chrono::milliseconds idle;  // since the song before
        int key;
        bool scoreScreen;
    };
    // The first song, the next one straight after, one after a score screen, and one in another
    // key, whose shifter needs some 4,000 frames and the work on them before its first.
    for (const auto& [idle, key, scoreScreen] :
         {Start{0ms, 0, false}, Start{300ms, 0, false}, Start{4000ms, 0, true}, Start{300ms, 2, false}}) {
        SCOPED_TRACE(::testing::Message() << idle.count() << " ms, key " << key);
        std::optional<VlcMediaPlayer> scoreSound;
        if (scoreScreen) {
            scoreSound.emplace(scheduler, VlcPlayerOptions{words("--aout=pulse --vout=vdummy"), nullptr, {}});
            scoreSound->setMedia(Media::file(score));
            scoreSound->play();
        }
        pumpFor(idle);
        scoreSound.reset();  // stopped as the next song starts
        const std::size_t begin = recording->frames();
        player->setKeyShift(key);
        player->setMedia(Media::file(song));
        player->play();
        ASSERT_TRUE(playToEnd());
        pumpFor(300ms);
        // Counted in frames heard, which a busy machine does not stretch.
        const Samples heard = recording->channel(0, begin);
        std::optional<std::size_t> first;
        std::vector<std::size_t> marks;
        std::size_t quiet = 0, longest = 0;
        for (std::size_t i = 0; i < heard.size(); ++i) {
            const float level = std::fabs(heard[i]);
            if (!first && level > 0.01f) first = i;
            if (level >= 0.45f && (marks.empty() || i - marks.back() > 12000)) marks.push_back(i);
            if (first && i < *first + 48000 * 85 / 10)
                longest = std::max(longest, quiet = level < 0.01f ? quiet + 1 : 0);
        }
        ASSERT_TRUE(first.has_value());
        ASSERT_GE(marks.size(), 4u);
        const auto seconds = [&](std::size_t frame) { return (double(frame) - double(*first)) / 48000.0; };
        // The song's sound begins with its first burst: what a late start skips moves the later
        // bursts closer to it.
        EXPECT_LT(seconds(marks[0]), 0.005);
        for (std::size_t k = 1; k < 4; ++k) {
            EXPECT_GT(seconds(marks[k]), 0.5 * double(k) - 0.05) << k;
            EXPECT_LT(seconds(marks[k]), 0.5 * double(k) + 0.005) << k;
        }
        EXPECT_LE(longest, 48000u * 15 / 1000) << "silent for " << longest / 48.0 << " ms";
    }
}

TEST_F(SoundPathTest, CentreCancelRemovesTheMiddleAndKeepsTheSides) {
    // 1 kHz in the middle; 600 Hz on the left only and 1500 Hz on the right only.
    std::string input;
    for (int hertz : {1000, 600, 1500})
        input += "-f lavfi -i sine=frequency=" + std::to_string(hertz) + ":sample_rate=48000:duration=12 ";
    const std::string song =
        make("stereo.m4a",
             input +
                 "-filter_complex [0][1][2]amerge=inputs=3,pan=stereo|c0=0.4*c0+0.4*c1|c1=0.4*c0+0.4*c2 -c:a "
                 "aac -b:a 192k");
    ASSERT_TRUE(listen());
    play(song);
    struct Levels {
        double centre, left, right;
    };
    const auto measure = [&](bool cancel) {
        player->setCentreCancel(cancel);
        const Samples left = next(1000ms, 1200ms), right = recording->channel(1, from, 48000);
        const auto both = [&](double hertz) { return power(left, hertz) + power(right, hertz); };
        return Levels{both(1000), both(600), both(1500)};
    };
    const Levels off = measure(false), on = measure(true), offAgain = measure(false);
    EXPECT_GT(decibels(off.centre / on.centre), 20.0);
    EXPECT_NEAR(decibels(on.left / off.left), 0.0, 4.0) << "the sides stay";
    EXPECT_NEAR(decibels(on.right / off.right), 0.0, 4.0);
    EXPECT_NEAR(decibels(offAgain.centre / off.centre), 0.0, 1.0) << "and the middle comes back";
}

TEST_F(SoundPathTest, SoundAndPictureStayWithin40Milliseconds) {
    // A white picture and a click together at 0.52 s of every second: the picture of 0.52 s alone,
    // the click from its very sample (an expression per sample, not per block of them).
    const std::string song =
        make("flashes.mp4",
             "-f lavfi -i color=black:size=160x90:rate=25:duration=8 -f lavfi -i "
             "aevalsrc=if(between(mod(t\\,1)\\,0.52\\,0.55)\\,sin(2*PI*1000*t)\\,0):s=48000:d=8 "
             "-vf drawbox=color=white:thickness=fill:enable='between(mod(t,1),0.51,0.55)' -ac 2 -c:v libx264 "
             "-preset ultrafast -pix_fmt yuv420p -c:a aac");
    for (int key : {0, 2}) {
        SCOPED_TRACE(key);
        FrameRecorder sink({64, 36});
        ASSERT_TRUE(listen());
        play(song, key, &sink);
        ASSERT_TRUE(playToEnd());
        pumpFor(300ms);
        player.reset();  // before the sink goes
        const auto clicks = onsets(recording->channel());
        const auto flashes = sink.flashes();
        ASSERT_GE(flashes.size(), 6u);
        for (const auto flash : flashes) {
            std::optional<double> nearest;
            for (std::size_t click : clicks) {
                const double offset =
                    std::chrono::duration<double, std::milli>(recording->heardAt(click) - flash).count();
                if (!nearest || std::fabs(offset) < std::fabs(*nearest)) nearest = offset;
            }
            ASSERT_TRUE(nearest.has_value());
            EXPECT_LT(std::fabs(*nearest), 40.0) << "sound after picture by " << *nearest << " ms";
        }
    }
}

TEST_F(SoundPathTest, WithoutAServerPlaysSilentlyOnTimeAndFindsItAtTheNextMedia) {
    const std::string clip = dir / "clip.mp4";
    ASSERT_NO_FATAL_FAILURE(makeVideo(clip, 3));
    player.emplace(scheduler, VlcPlayerOptions{});
    daemon.stop();
    ::testing::internal::CaptureStderr();
    for (int media = 0; media < 2; ++media) {
        const auto started = Clock::now();
        player->setMedia(Media::file(clip));
        player->play();
        ASSERT_TRUE(playToEnd());
        EXPECT_GE(Clock::now() - started, 2800ms) << "the clock ran as if sound played";
    }
    daemon.start();
    ASSERT_TRUE(daemon.running());
    ASSERT_NO_FATAL_FAILURE(addSink());
    listen();
    player->setMedia(Media::file(clip));
    player->play();
    ASSERT_TRUE(playToEnd());
    player->setMedia(std::nullopt);
    const std::string log = ::testing::internal::GetCapturedStderr();
    const Samples heard = recording->channel();
    ASSERT_GT(heard.size(), 48000u);
    EXPECT_NEAR(strongest(Samples(heard.begin() + heard.size() / 2 - 24000,
                                  heard.begin() + heard.size() / 2 + 24000)),
                440.0, 4.4);
    for (const char* line :
         {"No sound output can be opened; playing without sound", "Sound output works again"})
        EXPECT_EQ(occurrences(log, line), 1) << line << "\n" << log;
}

}  // namespace
}  // namespace vocalis::testing
