// The libVLC media player against real media made by ffmpeg: end of media, audio tracks,
// the equalizer and broken files.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "app/media/vlc_media_player.h"
#include "app/media_samples.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "system/pulse_daemon.h"

namespace vocalis {
namespace {

using testing::DelegateRecorder;
using testing::FrameRecorder;
using testing::pumpUntil;
using testing::TempDir;
using testing::ToneListener;

bool ended(const MediaPlayer& player) {
    return player.hasMedia() && player.state() == PlayerState::Paused && player.hasEnded();
}

// One headless player with a delegate and an ear on its sound, on media made in `dir`.
class MediaPlayerTest : public ::testing::Test {
  protected:
    VlcMediaPlayer& open(VideoSink* sink = nullptr) {
        player.emplace(scheduler, testing::headlessOptions(listener.tap(), sink));
        delegate.emplace(*player);
        player->setDelegate(&*delegate);
        return *player;
    }
    bool until(const std::function<bool()>& done) { return pumpUntil(scheduler, done); }
    bool hears(double hertz) {
        return until([&] { return std::abs(listener.frequency() - hertz) < hertz * 0.1; });
    }
    // Runs the player's events for a while of real time.
    void pumpFor(std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        until([&] { return std::chrono::steady_clock::now() >= end; });
    }

    TempDir dir;
    VirtualScheduler scheduler;
    ToneListener listener;
    std::optional<DelegateRecorder> delegate;  // outlives the player, which reports to it
    std::optional<VlcMediaPlayer> player;
};

TEST_F(MediaPlayerTest, EndOfMediaRestsPausedOnTheLastFrame) {
    std::string clip;
    ASSERT_NO_FATAL_FAILURE(clip = testing::makeVideo(dir / "clip.mp4", 2));
    FrameRecorder sink({160, 90});
    open(&sink);
    ASSERT_TRUE(player->isReady());
    player->setEqualizerEnabled(true);

    EXPECT_FALSE(player->hasMedia());
    EXPECT_EQ(player->position(), 0.0f);
    player->setMedia(Media::file(clip));
    EXPECT_TRUE(player->hasMedia());
    player->play();
    EXPECT_TRUE(player->isPlaying());

    ASSERT_TRUE(until([&] { return player->audioTrackIndexes().size() == 2; }));
    EXPECT_EQ(player->audioTrackIndexes()[0], -1) << "entry 0 is audio off";
    ASSERT_TRUE(until([&] { return ended(*player); }))
        << "state " << static_cast<int>(player->state()) << ", frames " << sink.frames();
    EXPECT_FALSE(delegate->saw(PlayerState::Error));
    EXPECT_FALSE(delegate->saw(PlayerState::Stopped));
    EXPECT_EQ(delegate->states.back(), PlayerState::Paused);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(player->videoTrackCount(), 1);
    EXPECT_EQ(player->position(), 1.0f);
    EXPECT_GT(delegate->timeChanges, 0);
    EXPECT_EQ(player->remainingTime(), 0);

    // The sink asked for its own size and still holds the last picture, in colour.
    EXPECT_EQ(sink.source().width, 320);
    EXPECT_EQ(sink.source().height, 240);
    auto last = sink.last();
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->width, 160);
    EXPECT_EQ(last->height, 90);
    ASSERT_EQ(last->pixels.size(), 160u * 90u * 4u);
    int coloured = 0;
    for (std::size_t i = 0; i < last->pixels.size(); i += 4)
        coloured += last->pixels[i] != last->pixels[i + 1] || last->pixels[i + 1] != last->pixels[i + 2];
    EXPECT_GT(coloured, 160 * 90 / 4);
    EXPECT_GT(sink.frames(), 10);

    // Unloading keeps what the engine needs to judge the media afterwards.
    const auto statesBefore = delegate->states.size();
    player->setMedia(std::nullopt);
    EXPECT_FALSE(player->hasMedia());
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(player->position(), 1.0f);
    EXPECT_EQ(player->videoTrackCount(), 1);
    EXPECT_FALSE(player->remainingTime().has_value());
    scheduler.runPending();
    EXPECT_EQ(delegate->states.size(), statesBefore);
    EXPECT_EQ(sink.last(), last) << "the last picture stays with the view";

    // A fresh media plays again on the same player.
    player->setMedia(Media::file(clip));
    EXPECT_EQ(player->position(), 0.0f);
    EXPECT_EQ(player->videoTrackCount(), 0);
    player->play();
    ASSERT_TRUE(until([&] { return ended(*player); }));
    EXPECT_EQ(player->videoTrackCount(), 1);
}

TEST_F(MediaPlayerTest, PlaysTheAudioTrackAskedForOrTheOneTheFileHasAndSwitchesInPlace) {
    std::string oneTrack, twoTracks;
    ASSERT_NO_FATAL_FAILURE(oneTrack = testing::makeVideo(dir / "one.mp4", 6));
    ASSERT_NO_FATAL_FAILURE(twoTracks = testing::makeTwoTrackVideo(dir / "two.mkv", 12));
    open();
    player->setEqualizerEnabled(true);
    struct Case {
        const std::string& file;
        const char* option;
        double hertz;
        std::size_t track;  // of audioTrackIndexes(): 1 first, 2 second
    };
    const Case cases[] = {
        {twoTracks, ":audio-track=1", 1000, 2},  // the second track is not flagged default
        {oneTrack, ":audio-track=1", 440, 1},
        {oneTrack, ":audio-track=0", 440, 1},
        {twoTracks, ":audio-track=0", 440, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + " " + c.option);
        player->setMedia(Media::file(c.file, {c.option}));
        listener.forget();
        player->play();
        EXPECT_TRUE(hears(c.hertz)) << "heard " << listener.frequency() << " Hz";
        ASSERT_TRUE(until([&] { return player->audioTrackIndexes().size() > c.track; }));
        EXPECT_EQ(player->currentAudioTrackIndex(), player->audioTrackIndexes()[c.track]);
    }

    // Switching to the second track changes the tone without restarting the media.
    const auto statesBefore = delegate->states.size();
    const float positionBefore = player->position();
    player->setCurrentAudioTrackIndex(player->audioTrackIndexes()[2]);
    EXPECT_EQ(player->currentAudioTrackIndex(), player->audioTrackIndexes()[2]);
    ASSERT_TRUE(hears(1000)) << "heard " << listener.frequency() << " Hz";
    EXPECT_EQ(delegate->states.size(), statesBefore) << "no state change while switching";
    EXPECT_EQ(player->state(), PlayerState::Playing);
    EXPECT_GE(player->position(), positionBefore);
}

TEST_F(MediaPlayerTest, EqualizerAndVolumeChangeTheSoundAtOnce) {
    std::string clip;
    ASSERT_NO_FATAL_FAILURE(clip = testing::makeVideo(dir / "clip.mp4", 12));
    open();
    player->setEqualizerEnabled(true);
    player->setPreAmplification(0.0f);
    for (int band = 0; band < 10; ++band) player->setAmplification(0.0f, band);
    // Out-of-range bands and values that are not numbers are ignored or neutral.
    player->setAmplification(5.0f, 10);
    player->setAmplification(5.0f, -1);
    player->setAmplification(std::nanf(""), 3);
    player->setMedia(Media::file(clip));
    player->play();

    ASSERT_TRUE(until([&] { return listener.frequency() > 400 && listener.framesHeard() > 48000; }));
    const double flat = listener.loudness();
    ASSERT_GT(flat, 300.0);
    auto loudnessReaches = [&](double low, double high) {
        return until(
            [&] { return listener.loudness(4800) > flat * low && listener.loudness(4800) < flat * high; });
    };
    player->setPreAmplification(-20.0f);
    for (int band = 0; band < 10; ++band) player->setAmplification(-20.0f, band);
    EXPECT_TRUE(loudnessReaches(0, 0.2));
    // Switching the equalizer off restores the sound.
    player->setEqualizerEnabled(false);
    EXPECT_TRUE(loudnessReaches(0.7, 10));
    EXPECT_EQ(player->state(), PlayerState::Playing);
    // The player's own level (the score sound plays lower) works on top of it.
    player->setVolume(0.3f);
    EXPECT_TRUE(loudnessReaches(0, 0.5));
    player->setVolume(1.0f);
    EXPECT_TRUE(loudnessReaches(0.7, 10));

    player->stop();
    ASSERT_TRUE(until([&] { return player->state() == PlayerState::Stopped; }));
    EXPECT_FALSE(player->isPlaying());
    EXPECT_FALSE(delegate->saw(PlayerState::Error));
}

TEST_F(MediaPlayerTest, BrokenFilesReportErrorsAndWhatOfThemPlayed) {
    std::string song, whole, audio;
    ASSERT_NO_FATAL_FAILURE(song = testing::makeTwoTrackVideo(dir / "song.mkv", 6));
    ASSERT_NO_FATAL_FAILURE(whole = testing::makeVideo(dir / "whole.mp4", 4));
    ASSERT_NO_FATAL_FAILURE(audio = testing::makeAudioOnly(dir / "audio.m4a", 2));
    const std::string notMedia = dir.write("notes.mkv", std::string(20000, 'x') + "this is not a video\n");
    // Half of a Matroska file plays up to where it stops; an MP4 whose index was cut off
    // cannot start at all.
    const std::string halfSong = testing::truncateCopy(song, dir / "half.mkv", 0.5);
    const std::string cutMp4 =
        testing::truncateCopy(testing::makeVideo(dir / "tail.mp4", 4, false), dir / "cut.mp4", 0.3);
    ASSERT_FALSE(HasFatalFailure());
    open();

    struct Case {
        std::string file;
        std::vector<PlayerState> ends;  // either of them
        bool played;
        int videoTracks;
    };
    const Case cases[] = {
        {notMedia, {PlayerState::Error}, false, 0},  // not media at all
        {dir / "missing.mkv", {PlayerState::Error}, false, 0},
        {cutMp4, {PlayerState::Error}, false, 0},
        // Played something and had a picture, so it is not a broken song.
        {halfSong, {PlayerState::Paused, PlayerState::Error}, true, 1},
        {audio, {PlayerState::Paused}, true, 0},  // sound without a picture plays to its end
        {whole, {PlayerState::Paused}, true, 1},  // after all that, a good file still plays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        delegate->states.clear();
        player->setMedia(Media::file(c.file));
        player->play();
        EXPECT_TRUE(until([&] {
            return delegate->saw(PlayerState::Error) || delegate->saw(PlayerState::Stopped) ||
                   delegate->saw(PlayerState::Paused);
        }));
        const PlayerState final = player->state();
        player->setMedia(std::nullopt);
        EXPECT_NE(std::find(c.ends.begin(), c.ends.end(), final), c.ends.end()) << static_cast<int>(final);
        EXPECT_EQ(player->position() > 0.0f, c.played);
        EXPECT_EQ(player->videoTrackCount(), c.videoTracks);
    }

    // Events of a media replaced while playing never reach the delegate as the new media's.
    player->setMedia(Media::file(song));
    player->play();
    ASSERT_TRUE(until([&] { return player->state() == PlayerState::Playing; }));
    player->setMedia(Media::file(notMedia));
    delegate->states.clear();
    scheduler.runPending();
    EXPECT_TRUE(delegate->states.empty());
    EXPECT_EQ(player->state(), PlayerState::Stopped);
    EXPECT_EQ(player->position(), 0.0f);
}

TEST_F(MediaPlayerTest, PauseAndPlayInQuickSuccessionTakeEffectInOrderAndNeverEndTheMedia) {
    std::string clip;
    ASSERT_NO_FATAL_FAILURE(clip = testing::makeVideo(dir / "clip.mp4", 12));
    open();
    using std::chrono::milliseconds;
    // Paused while it still opens: it waits, paused, instead of being stopped.
    player->setMedia(Media::file(clip));
    player->play();
    player->pause();
    pumpFor(milliseconds(500));
    EXPECT_EQ(player->state(), PlayerState::Paused);
    player->play();
    ASSERT_TRUE(until([&] { return player->position() > 0.0f; }));

    for (int round = 0; round < 3; ++round) {
        for (int gap : {0, 10, 50, 100}) {
            SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(gap) + " ms apart");
            // Playing: pause, then play.
            player->pause();
            EXPECT_FALSE(player->isPlaying());
            pumpFor(milliseconds(gap));
            player->play();
            EXPECT_TRUE(player->isPlaying());
            pumpFor(milliseconds(150));
            EXPECT_EQ(player->state(), PlayerState::Playing);

            // Paused: play, then pause; a play a moment later plays.
            player->pause();
            pumpFor(milliseconds(100));
            player->play();
            pumpFor(milliseconds(gap));
            player->pause();
            EXPECT_FALSE(player->isPlaying());
            pumpFor(milliseconds(300));
            EXPECT_EQ(player->state(), PlayerState::Paused);
            const float pausedAt = player->position();
            player->play();
            ASSERT_TRUE(until([&] { return player->position() > pausedAt; }));
            EXPECT_EQ(player->state(), PlayerState::Playing);
            ASSERT_EQ(delegate->ends, 0) << "a pause was taken for the end";
        }
    }
    ASSERT_TRUE(until([&] { return ended(*player); }));
    scheduler.runPending();
    EXPECT_EQ(delegate->ends, 1);
    EXPECT_EQ(player->position(), 1.0f);
    EXPECT_FALSE(delegate->saw(PlayerState::Error));
    EXPECT_FALSE(delegate->saw(PlayerState::Stopped));
}

TEST_F(MediaPlayerTest, WithoutASoundOutputPlaysSilentlyLogsOnceAndTriesAgainNextMedia) {
    testing::PulseDaemon daemon;
    ASSERT_TRUE(daemon.running()) << "pulseaudio did not start; see " << daemon.log();
    struct PulseServer {  // libVLC's sound output finds the private daemon, and only it
        explicit PulseServer(const std::string& address) { ::setenv("PULSE_SERVER", address.c_str(), 1); }
        ~PulseServer() { ::unsetenv("PULSE_SERVER"); }
    } server(daemon.server());
    std::string clip;
    ASSERT_NO_FATAL_FAILURE(clip = testing::makeVideo(dir / "clip.mp4", 3));

    VlcMediaPlayer pulse(scheduler, {{"--aout=pulse,none", "--vout=vdummy"}, nullptr, {}});
    ASSERT_TRUE(pulse.isReady());
    auto streams = [&] {
        return testing::runProgram("/usr/bin/pactl",
                                   {"--server", daemon.server(), "list", "short", "sink-inputs"})
            .out;
    };
    auto lines = [](const std::string& text, const std::string& part) {
        std::istringstream in(text);
        int count = 0;
        for (std::string line; std::getline(in, line);) count += line.find(part) != std::string::npos;
        return count;
    };

    // No ALSA device either: ALSA's own complaints stay out of the log as well.
    {
        VlcMediaPlayer alsa(
            scheduler,
            {{"--aout=alsa,none", "--alsa-audio-device=vocalis-none", "--vout=vdummy"}, nullptr, {}});
        ::testing::internal::CaptureStderr();
        alsa.setMedia(Media::file(clip));
        alsa.play();
        EXPECT_TRUE(pumpUntil(scheduler, [&] { return ended(alsa); }));
        alsa.setMedia(std::nullopt);
        const std::string log = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(lines(log, "No sound output can be opened; playing without sound"), 1) << log;
        EXPECT_EQ(lines(log, "ALSA"), 0) << log;
        EXPECT_EQ(lines(log, "libVLC"), 0) << log;
    }

    daemon.stop();
    ::testing::internal::CaptureStderr();
    for (int media = 0; media < 2; ++media) {
        pulse.setMedia(Media::file(clip));
        pulse.play();
        EXPECT_TRUE(pumpUntil(scheduler, [&] { return ended(pulse); }));
    }
    daemon.start();
    ASSERT_TRUE(daemon.running());
    // The next media finds the sound server again.
    pulse.setMedia(Media::file(clip));
    pulse.play();
    EXPECT_TRUE(pumpUntil(scheduler, [&] { return !streams().empty(); }));
    EXPECT_TRUE(pumpUntil(scheduler, [&] { return ended(pulse); }));
    pulse.setMedia(std::nullopt);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(lines(log, "No sound output can be opened; playing without sound"), 1) << log;
    EXPECT_EQ(lines(log, "Sound output works again"), 1) << log;
    EXPECT_EQ(lines(log, "libVLC"), 0) << log;
}

}  // namespace
}  // namespace vocalis
