// The player's own sound path, heard on a private PulseAudio server's null sink: the key,
// centre cancellation, the timing against the picture, and playing on without a server.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <thread>

#include "app/media/vlc_media_player.h"
#include "app/media_samples.h"
#include "support/background_program.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "system/pulse_daemon.h"

namespace vocalis {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using testing::pumpUntil;

constexpr double kRate = 48000.0;

// Power of one frequency in a stretch of samples (Goertzel), normalised by its length.
double power(const std::vector<float>& samples, double hertz) {
    const double k = 2.0 * std::cos(2.0 * std::numbers::pi * hertz / kRate);
    double s1 = 0, s2 = 0;
    for (float x : samples) {
        const double s = x + k * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double n = static_cast<double>(samples.size());
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / (n * n);
}

double decibels(double ratio) { return 10.0 * std::log10(ratio); }

// The strongest frequency between 150 and 2000 Hz: coarse steps, then fine ones around the best.
double strongest(const std::vector<float>& samples) {
    double best = 0, bestPower = -1;
    auto scan = [&](double from, double to, double step) {
        for (double f = from; f <= to; f += step) {
            const double p = power(samples, f);
            if (p > bestPower) bestPower = p, best = f;
        }
    };
    scan(150, 2000, 2);
    scan(best - 3, best + 3, 0.05);
    return best;
}

// Records the null sink's monitor with parec and tells, for any recorded frame, when it was
// heard: parec's file grows as the sink plays, so a frame was heard at the latest when the
// file first held it.
class Recording {
  public:
    Recording(const testing::PulseDaemon& daemon, const char* sink, std::string file)
        : file_(std::move(file)),
          parec_("/usr/bin/parec",
                 {"--server", daemon.server(), "-d", std::string(sink) + ".monitor", "--raw",
                  "--format=s16le", "--rate=48000", "--channels=2", "--latency-msec=5"},
                 {}, file_) {}

    // Once parec records, the sink plays in small blocks, as a sound card does; before, the
    // null sink sleeps in blocks of seconds.
    bool started() const {
        const auto deadline = Clock::now() + 30s;
        while (parec_.started() && frames() == 0 && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
        return frames() > 0;
    }

    std::size_t frames() const {
        struct stat info {};
        return ::stat(file_.c_str(), &info) == 0 ? static_cast<std::size_t>(info.st_size) / 4 : 0;
    }

    // Notes how far the file has grown now; called often, it pins the frames to the clock.
    void poll() {
        const std::size_t count = frames();
        if (count > 0) polls_.emplace_back(Clock::now(), count);
    }
    // The monitor's frames do not come at exactly 48000 a second of this clock, so the rate
    // is measured too; each frame is taken as heard at the earliest the polls allow.
    Clock::time_point heardAt(std::size_t frame) const {
        if (polls_.size() < 2 || polls_.back().second == polls_.front().second) return {};
        const auto& [firstTime, firstFrames] = polls_.front();
        const auto& [lastTime, lastFrames] = polls_.back();
        const double rate =
            (lastFrames - firstFrames) / std::chrono::duration<double>(lastTime - firstTime).count();
        auto start = firstTime;
        for (const auto& [time, count] : polls_)
            start = std::min(start,
                             time - std::chrono::microseconds(static_cast<std::int64_t>(count * 1e6 / rate)));
        return start + std::chrono::microseconds(static_cast<std::int64_t>(frame * 1e6 / rate));
    }

    // One channel (0 left, 1 right) of frames [from, from + count), full scale 1.
    std::vector<float> channel(int which, std::size_t from, std::size_t count) const {
        std::ifstream in(file_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(from * 4));
        std::vector<std::int16_t> raw(count * 2);
        in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size() * 2));
        raw.resize(static_cast<std::size_t>(in.gcount()) / 2);
        std::vector<float> out;
        for (std::size_t i = static_cast<std::size_t>(which); i < raw.size(); i += 2)
            out.push_back(raw[i] / 32768.0f);
        return out;
    }

  private:
    std::string file_;
    testing::BackgroundProgram parec_;
    std::vector<std::pair<Clock::time_point, std::size_t>> polls_;
};

// Starts of loud stretches (above `level`) at least `apart` frames after the one before.
std::vector<std::size_t> onsets(const std::vector<float>& samples, float level, std::size_t apart) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::fabs(samples[i]) < level) continue;
        if (found.empty() || i - found.back() > apart) found.push_back(i);
    }
    return found;
}

// The centre of each short burst's energy: the pitch shifter spreads a burst's edges by
// some milliseconds either way, which moves its start but hardly its centre.
std::vector<double> burstCentres(const std::vector<float>& samples) {
    std::vector<double> centres;
    for (std::size_t start : onsets(samples, 0.05f, 24000)) {
        const std::size_t from = start > 1440 ? start - 1440 : 0;
        const std::size_t to = std::min(samples.size(), start + 5760);
        double weight = 0, moment = 0;
        for (std::size_t i = from; i < to; ++i) {
            weight += samples[i] * samples[i];
            moment += static_cast<double>(i) * samples[i] * samples[i];
        }
        centres.push_back(moment / weight / kRate);
    }
    return centres;
}

class SoundPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(daemon.running()) << "pulseaudio did not start; see " << daemon.log();
        ::setenv("PULSE_SERVER", daemon.server().c_str(), 1);
        addSink();
    }
    // A sink at the songs' own rate: through the daemon's 44.1 kHz one, the monitor
    // records a second as some 48130 frames.
    void addSink() {
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"load-module", "module-null-sink", std::string("sink_name=") + kSink,
                                       "rate=48000"},
              std::vector<std::string>{"set-default-sink", kSink}}) {
            std::vector<std::string> args = {"--server", daemon.server()};
            args.insert(args.end(), command.begin(), command.end());
            ASSERT_EQ(testing::runProgram("/usr/bin/pactl", args).status, 0);
        }
    }
    static constexpr const char* kSink = "vocalis_sound_path";
    void TearDown() override { ::unsetenv("PULSE_SERVER"); }

    // The player's default sound, with no "--aout": its own path.
    std::unique_ptr<VlcMediaPlayer> makePlayer(VideoSink* sink = nullptr) {
        auto player =
            std::make_unique<VlcMediaPlayer>(scheduler, VlcPlayerOptions{{"--vout=vdummy"}, sink, {}});
        EXPECT_TRUE(player->isReady());
        return player;
    }

    // Runs the player's events for a while of real time, noting the recording's growth.
    void pumpFor(std::chrono::milliseconds span, Recording* recording = nullptr) {
        const auto until = Clock::now() + span;
        pumpUntil(scheduler, [&] {
            if (recording) recording->poll();
            return Clock::now() >= until;
        });
    }

    static bool ended(const MediaPlayer& player) {
        return player.hasMedia() && player.state() == PlayerState::Paused && player.hasEnded();
    }

    testing::PulseDaemon daemon;
    testing::TempDir dir;
    VirtualScheduler scheduler;
};

TEST_F(SoundPathTest, KeyChangesThePitchWithinASecondWithoutAGap) {
    const std::string song = dir / "tone.m4a";
    ASSERT_NO_FATAL_FAILURE(
        testing::runFfmpeg({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=24", "-ac",
                            "2", "-c:a", "aac", song}));
    Recording recording(daemon, kSink, dir / "out.raw");
    ASSERT_TRUE(recording.started());
    auto player = makePlayer();
    player->setKeyShift(2);  // chosen before the song
    player->setMedia(Media::file(song));
    player->play();

    struct Case {
        int key;
        double hertz;
    };
    const Case cases[] = {{2, 493.88}, {0, 440.0}, {-6, 311.13}, {5, 587.33}, {0, 440.0}};
    std::size_t first = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        player->setKeyShift(c.key);
        pumpFor(1000ms);  // heard within a second of the change
        const std::size_t from = recording.frames();
        if (!first) first = from;
        pumpFor(1500ms);
        const double heard = strongest(recording.channel(0, from, 48000));
        EXPECT_NEAR(heard, c.hertz, c.hertz * 0.01);
    }

    // From the first case to the last no 300 ms went silent: each change went on seamlessly.
    const std::vector<float> all = recording.channel(0, first, recording.frames() - first);
    std::size_t quiet = 0, longest = 0;
    for (float x : all) {
        quiet = std::fabs(x) < 0.01f ? quiet + 1 : 0;
        longest = std::max(longest, quiet);
    }
    // A busy machine alone has stalled the sound server's client for over 150 ms.
    EXPECT_LT(longest, 48000 * 0.3) << "silent for " << longest / 48.0 << " ms";
}

TEST_F(SoundPathTest, BurstsStayASecondApartThroughKeyChangesAndAPause) {
    const std::string song = dir / "bursts.m4a";
    // A 50 ms burst of 1 kHz in the middle of every second.
    ASSERT_NO_FATAL_FAILURE(testing::runFfmpeg(
        {"-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=48000:duration=10", "-af",
         "volume='if(between(mod(t,1),0.5,0.55),1,0)':eval=frame", "-ac", "2", "-c:a", "aac", song}));
    Recording recording(daemon, kSink, dir / "out.raw");
    ASSERT_TRUE(recording.started());
    auto player = makePlayer();
    player->setKeyShift(2);
    player->setMedia(Media::file(song));
    player->play();
    pumpFor(3300ms);
    player->setKeyShift(0);  // out of the shifter: what it held plays unshifted, once
    pumpFor(1000ms);
    player->setKeyShift(3);  // into it again
    pumpFor(1000ms);
    player->pause();
    const auto pausedAt = Clock::now();
    pumpFor(700ms);
    player->play();
    const auto pausedFor = Clock::now() - pausedAt;
    ASSERT_TRUE(pumpUntil(scheduler, [&] { return ended(*player); }));
    pumpFor(300ms);

    const std::vector<float> all = recording.channel(0, 0, recording.frames());
    const std::vector<double> bursts = burstCentres(all);
    ASSERT_GE(bursts.size(), 9u);
    bool pauseSeen = false;
    for (std::size_t i = 1; i < bursts.size(); ++i) {
        const double apart = bursts[i] - bursts[i - 1];
        SCOPED_TRACE(i);
        if (apart > 1.3 && !pauseSeen) {  // the pause lies between these two
            pauseSeen = true;
            EXPECT_NEAR(apart, 1.0 + std::chrono::duration<double>(pausedFor).count(), 0.05);
            continue;
        }
        // A switch that lost or repeated what the shifter held would be off by some 80 ms; a
        // fresh shifter moves the first bursts' centres by up to 20 ms.
        EXPECT_NEAR(apart, 1.0, 0.03);
    }
    EXPECT_TRUE(pauseSeen);
}

TEST_F(SoundPathTest, CentreCancelRemovesTheMiddleAndKeepsTheSides) {
    const std::string song = dir / "stereo.m4a";
    // 1 kHz in the middle; 600 Hz on the left only and 1500 Hz on the right only.
    ASSERT_NO_FATAL_FAILURE(
        testing::runFfmpeg({"-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=48000:duration=12", "-f",
                            "lavfi", "-i", "sine=frequency=600:sample_rate=48000:duration=12", "-f", "lavfi",
                            "-i", "sine=frequency=1500:sample_rate=48000:duration=12", "-filter_complex",
                            "[0][1][2]amerge=inputs=3,pan=stereo|c0=0.4*c0+0.4*c1|c1=0.4*c0+0.4*c2", "-c:a",
                            "aac", "-b:a", "192k", song}));
    Recording recording(daemon, kSink, dir / "out.raw");
    ASSERT_TRUE(recording.started());
    auto player = makePlayer();
    player->setMedia(Media::file(song));
    player->play();

    auto measure = [&](bool cancel) {
        player->setCentreCancel(cancel);
        pumpFor(1000ms);
        const std::size_t from = recording.frames();
        pumpFor(1200ms);
        struct Levels {
            double centre, left, right;
        };
        const auto left = recording.channel(0, from, 48000);
        const auto right = recording.channel(1, from, 48000);
        return Levels{power(left, 1000) + power(right, 1000), power(left, 600) + power(right, 600),
                      power(left, 1500) + power(right, 1500)};
    };
    const auto off = measure(false);
    const auto on = measure(true);
    const auto offAgain = measure(false);
    EXPECT_GT(decibels(off.centre / on.centre), 20.0);
    EXPECT_NEAR(decibels(on.left / off.left), 0.0, 4.0) << "the sides stay";
    EXPECT_NEAR(decibels(on.right / off.right), 0.0, 4.0);
    EXPECT_NEAR(decibels(offAgain.centre / off.centre), 0.0, 1.0) << "and the middle comes back";
}

// Pictures that are mostly white, with the time each was shown.
class FlashRecorder final : public VideoSink {
  public:
    FrameSize frameSizeFor(int, int) override { return {64, 36}; }
    void presentFrame(std::shared_ptr<const VideoFrame> frame) override {
        long sum = 0;
        for (std::uint8_t byte : frame->pixels) sum += byte;
        const bool bright = sum > static_cast<long>(frame->pixels.size()) * 128;
        std::lock_guard lock(mutex_);
        if (bright && !wasBright_) flashes_.push_back(Clock::now());
        wasBright_ = bright;
    }
    std::vector<Clock::time_point> flashes() const {
        std::lock_guard lock(mutex_);
        return flashes_;
    }

  private:
    mutable std::mutex mutex_;
    bool wasBright_ = false;
    std::vector<Clock::time_point> flashes_;
};

TEST_F(SoundPathTest, SoundAndPictureStayWithin40Milliseconds) {
    const std::string song = dir / "flashes.mp4";
    // A white picture and a click together in the middle of every second.
    ASSERT_NO_FATAL_FAILURE(testing::runFfmpeg(
        {"-f",       "lavfi",
         "-i",       "color=black:size=160x90:rate=25:duration=8",
         "-f",       "lavfi",
         "-i",       "sine=frequency=1000:sample_rate=48000:duration=8",
         "-vf",      "drawbox=color=white:thickness=fill:enable='between(mod(t,1),0.5,0.539)'",
         "-af",      "volume='if(between(mod(t,1),0.5,0.53),1,0)':eval=frame",
         "-ac",      "2",
         "-c:v",     "libx264",
         "-preset",  "ultrafast",
         "-pix_fmt", "yuv420p",
         "-c:a",     "aac",
         song}));
    for (int key : {0, 2}) {
        SCOPED_TRACE(key);
        Recording recording(daemon, kSink, dir / ("out" + std::to_string(key) + ".raw"));
        ASSERT_TRUE(recording.started());
        FlashRecorder sink;
        auto player = std::make_unique<VlcMediaPlayer>(scheduler, VlcPlayerOptions{{}, &sink, {}});
        player->setKeyShift(key);
        player->setMedia(Media::file(song));
        player->play();
        ASSERT_TRUE(pumpUntil(scheduler, [&] {
            recording.poll();
            return ended(*player);
        }));
        pumpFor(300ms, &recording);
        const auto clicks = onsets(recording.channel(0, 0, recording.frames()), 0.05f, 24000);
        const auto flashes = sink.flashes();
        ASSERT_GE(flashes.size(), 6u);
        int matched = 0;
        for (const auto flash : flashes) {
            std::optional<double> nearest;
            for (std::size_t click : clicks) {
                const double offset =
                    std::chrono::duration<double, std::milli>(recording.heardAt(click) - flash).count();
                if (!nearest || std::fabs(offset) < std::fabs(*nearest)) nearest = offset;
            }
            ASSERT_TRUE(nearest.has_value());
            std::cout << "key " << key << ": sound after picture by " << *nearest << " ms\n";
            EXPECT_LT(std::fabs(*nearest), 40.0);
            ++matched;
        }
        EXPECT_GE(matched, 6);
    }
}

TEST_F(SoundPathTest, WithoutAServerPlaysSilentlyOnTimeAndFindsItAtTheNextMedia) {
    const std::string clip = dir / "clip.mp4";
    ASSERT_NO_FATAL_FAILURE(testing::makeVideo(clip, 3));
    auto player = makePlayer();
    daemon.stop();
    ::testing::internal::CaptureStderr();
    for (int media = 0; media < 2; ++media) {
        const auto started = Clock::now();
        player->setMedia(Media::file(clip));
        player->play();
        ASSERT_TRUE(pumpUntil(scheduler, [&] { return ended(*player); }));
        EXPECT_GE(Clock::now() - started, 2800ms) << "the clock ran as if sound played";
    }
    daemon.start();
    ASSERT_TRUE(daemon.running());
    ASSERT_NO_FATAL_FAILURE(addSink());
    Recording recording(daemon, kSink, dir / "out.raw");
    player->setMedia(Media::file(clip));
    player->play();
    ASSERT_TRUE(pumpUntil(scheduler, [&] { return ended(*player); }));
    player->setMedia(std::nullopt);
    const std::string log = ::testing::internal::GetCapturedStderr();
    const auto heard = recording.channel(0, 0, recording.frames());
    ASSERT_GT(heard.size(), 48000u);
    const auto middle = heard.begin() + static_cast<std::ptrdiff_t>(heard.size() / 2);
    EXPECT_NEAR(strongest(std::vector<float>(middle - 24000, middle + 24000)), 440.0, 4.4);
    auto count = [&](const std::string& line) {
        std::size_t n = 0;
        for (auto at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("No sound output can be opened; playing without sound"), 1u) << log;
    EXPECT_EQ(count("Sound output works again"), 1u) << log;
}

}  // namespace
}  // namespace vocalis
