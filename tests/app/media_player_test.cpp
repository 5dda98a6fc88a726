// The libVLC media player against real media made by ffmpeg, and the media the player ships.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>

#include "app/media/vlc_media_player.h"
#include "app/media_samples.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace vocalis::testing {
namespace {

using std::chrono::milliseconds;

// One headless player with a delegate and an ear on its sound.
class MediaPlayerTest : public ::testing::Test {
  protected:
    VlcMediaPlayer& open(VideoSink* sink = nullptr,
                         std::vector<std::string> arguments = VlcMediaPlayer::headlessArguments()) {
        player.emplace(scheduler, VlcPlayerOptions{std::move(arguments), sink, listener.tap()});
        delegate.emplace(*player);
        player->setDelegate(&*delegate);
        return *player;
    }
    bool until(const std::function<bool()>& done) { return pumpUntil(scheduler, done); }
    bool hears(double hertz) {
        return until([&] { return std::abs(listener.frequency() - hertz) < hertz * 0.1; });
    }
    // Runs the player's events for a while of real time.
    void pumpFor(milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        until([&] { return std::chrono::steady_clock::now() >= end; });
    }

    TempDir dir;
    VirtualScheduler scheduler;
    ToneListener listener;
    FrameRecorder sink{{160, 90}};
    std::optional<DelegateRecorder> delegate;  // outlives the player, which reports to it
    std::optional<VlcMediaPlayer> player;
};

// A picture of the size the sink asks for is handed over as the decoder wrote it, in its
// padded memory (H.264 pads 180 rows to 192); any other size is scaled into a frame of the
// player's own.
TEST_F(MediaPlayerTest, PicturesComeUncopiedAtTheirOwnSizeAndScaledOtherwise) {
    const std::string clip = makeVideo(dir / "padded.mp4", 1, "320x180");
    struct Case {
        FrameSize wanted;
        bool held;
        int width, height;
    };
    for (const Case& c : {Case{{0, 0}, true, 320, 180}, Case{{160, 90}, false, 160, 90}}) {
        SCOPED_TRACE(c.width);
        FrameRecorder sink(c.wanted);
        ASSERT_TRUE(open(&sink).isReady());
        player->setMedia(Media::file(clip));
        player->play();
        ASSERT_TRUE(until([&] { return ended(*player); }));
        const auto last = sink.last();
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(sink.source().width * 1000 + sink.source().height, 320180);
        EXPECT_EQ(last->held.has_value(), c.held);
        EXPECT_EQ(last->width * 1000 + last->height, c.width * 1000 + c.height);
        EXPECT_GE(last->stride(0), last->width);
        EXPECT_GT(colourSamples(*last), c.width * c.height / 8) << "in colour";
        player.reset();
    }
}

TEST_F(MediaPlayerTest, EndOfMediaRestsPausedOnTheLastFrame) {
    const std::string clip = makeVideo(dir / "clip.mp4", 2);
    ASSERT_TRUE(open(&sink).isReady());
    player->setEqualizerEnabled(true);
    // Read ahead as the intro is: nothing of it reaches the delegate, and it plays as any other.
    player->prepare(Media::file(clip));
    player->setMedia(Media::file(clip));
    player->play();
    ASSERT_TRUE(until([&] { return ended(*player); }))
        << int(player->state()) << ", frames " << sink.frames();
    EXPECT_FALSE(delegate->saw(PlayerState::Error) || delegate->saw(PlayerState::Stopped));
    EXPECT_EQ(delegate->ends, 1);
    EXPECT_EQ(player->position(), 1.0f);
    EXPECT_EQ(player->remainingTime(), 0);

    // The sink asked for its own size and still holds the last picture, in colour.
    auto last = sink.last();
    ASSERT_NE(last, nullptr);
    ASSERT_EQ(last->width * 1000 + last->height, 160090);
    ASSERT_TRUE(last->complete());
    EXPECT_GT(colourSamples(*last), 80 * 45 * 2 / 4) << "in colour";
    EXPECT_GT(sink.frames(), 10);

    // Unloading is quiet and leaves the picture (what the engine reads afterwards: the broken files' test).
    const auto statesBefore = delegate->states.size();
    player->setMedia(std::nullopt);
    EXPECT_FALSE(player->hasMedia() || player->isPlaying() || player->remainingTime());
    scheduler.runPending();
    EXPECT_EQ(delegate->states.size(), statesBefore);
    EXPECT_EQ(sink.last(), last) << "the last picture stays with the view";
}

TEST_F(MediaPlayerTest, PlaysTheAudioTrackAskedForSwitchesInPlaceAndTheEqualizerActsAtOnce) {
    const std::string one = makeVideo(dir / "one.mp4", 6), two = makeTwoTrackVideo(dir / "two.mkv", 12);
    open().setEqualizerEnabled(true);
    // The file, its option, the tone heard and the track chosen, as an index into audioTrackIndexes():
    // 0 is audio off, 1 the first track, 2 the second (which is not flagged default).
    const std::tuple<std::string, const char*, double, std::size_t> cases[] = {
        {two, ":audio-track=1", 1000, 2},
        {one, ":audio-track=1", 440, 1},
        {one, ":audio-track=0", 440, 1},
        {two, ":audio-track=0", 440, 1}};
    for (const auto& [file, option, hertz, track] : cases) {
        SCOPED_TRACE(file + " " + option);
        player->setMedia(Media::file(file, {option}));
        listener.forget();
        player->play();
        EXPECT_TRUE(hears(hertz)) << "heard " << listener.frequency() << " Hz";
        ASSERT_TRUE(until([&] { return player->audioTrackIndexes().size() > track; }));
        EXPECT_EQ(player->currentAudioTrackIndex(), player->audioTrackIndexes()[track]);
    }

    // Switching to the second track changes the tone without restarting the media.
    const auto statesBefore = delegate->states.size();
    const float positionBefore = player->position();
    player->setCurrentAudioTrackIndex(player->audioTrackIndexes()[2]);
    ASSERT_TRUE(hears(1000)) << "heard " << listener.frequency() << " Hz";
    EXPECT_EQ(delegate->states.size(), statesBefore) << "no state change while switching";
    EXPECT_GE(player->position(), positionBefore);

    // The equalizer, and the player's own level on top of it (the score sound plays lower).
    const auto allBands = [&](float decibels) {
        player->setPreAmplification(decibels);
        for (int band = 0; band < 10; ++band) player->setAmplification(decibels, band);
    };
    allBands(0);
    const auto heard = listener.framesHeard();
    ASSERT_TRUE(until([&] { return listener.framesHeard() > heard + 24000; }));
    const double flat = loudness(listener.recent());
    ASSERT_GT(flat, 0.009);
    const auto reaches = [&](double low, double high) {
        return until([&] {
            return loudness(listener.recent(4800)) > flat * low &&
                   loudness(listener.recent(4800)) < flat * high;
        });
    };
    allBands(-20);
    EXPECT_TRUE(reaches(0, 0.2));
    player->setEqualizerEnabled(false);  // restores the sound
    EXPECT_TRUE(reaches(0.7, 10));
    player->setVolume(0.3f);
    EXPECT_TRUE(reaches(0, 0.5));
    player->setVolume(1.0f);
    EXPECT_TRUE(reaches(0.7, 10));
    EXPECT_EQ(player->state(), PlayerState::Playing);
    player->stop();
    ASSERT_TRUE(until([&] { return player->state() == PlayerState::Stopped; }));
    EXPECT_FALSE(player->isPlaying());
    EXPECT_FALSE(delegate->saw(PlayerState::Error));
}

TEST_F(MediaPlayerTest, BrokenFilesReportErrorsAndWhatOfThemPlayed) {
    const std::string song = makeTwoTrackVideo(dir / "song.mkv", 6), whole = makeVideo(dir / "whole.mp4", 4),
                      audio = makeAudioOnly(dir / "audio.m4a", 2);
    const std::string notMedia = dir.write("notes.mkv", std::string(20000, 'x') + "this is not a video\n");
    const std::string half = dir.write("half.mkv", readFile(song).substr(0, readFile(song).size() / 2));
    open();
    using S = PlayerState;
    // The file, the states it may end in, whether it played and its pictures' tracks.
    const std::tuple<std::string, std::vector<PlayerState>, bool, int> cases[] = {
        {notMedia, {S::Error}, false, 0},  // not media at all
        {dir / "missing.mkv", {S::Error}, false, 0},
        // Half a Matroska file plays up to where it stops, with a picture: not a broken song.
        {half, {S::Paused, S::Error}, true, 1},
        {audio, {S::Paused}, true, 0},  // sound without a picture plays to its end
        {whole, {S::Paused}, true, 1},  // after all that, a good file still plays
    };
    for (const auto& [file, ends, played, videoTracks] : cases) {
        SCOPED_TRACE(file);
        delegate->states.clear();
        player->setMedia(Media::file(file));
        player->play();
        EXPECT_TRUE(until([&] {
            return delegate->saw(S::Error) || delegate->saw(S::Stopped) || delegate->saw(S::Paused);
        }));
        const PlayerState final = player->state();
        player->setMedia(std::nullopt);
        EXPECT_NE(std::find(ends.begin(), ends.end(), final), ends.end()) << int(final);
        EXPECT_EQ(player->position() > 0.0f, played);
        EXPECT_EQ(player->videoTrackCount(), videoTracks);
    }

    // Events of a media replaced while playing never reach the delegate as the new media's.
    player->setMedia(Media::file(song));
    player->play();
    ASSERT_TRUE(until([&] { return player->state() == S::Playing; }));
    player->setMedia(Media::file(notMedia));
    delegate->states.clear();
    scheduler.runPending();
    EXPECT_TRUE(delegate->states.empty());
    EXPECT_EQ(player->state(), S::Stopped);
    EXPECT_EQ(player->position(), 0.0f);
}

TEST_F(MediaPlayerTest, PauseAndPlayInQuickSuccessionTakeEffectInOrderAndNeverEndTheMedia) {
    const std::string clip = makeVideo(dir / "clip.mp4", 12);
    open().setMedia(Media::file(clip));
    // Paused while it still opens: it waits, paused, instead of being stopped.
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
}

// --no-sound: a song's sound is not even decoded, yet its tracks are listed and chosen as with sound,
// so the vocal/backing switch works on, and the key and centre cancel have nothing to break. With no
// sound output at all (a sound server that goes away is the sound-path test's) it plays on silently.
TEST_F(MediaPlayerTest, WithoutSoundOrAnyOutputItPlaysSilentlyAndTheTrackChoiceStillCounts) {
    const std::string song = makeTwoTrackVideo(dir / "song.mkv", 3);
    open(&sink, VlcMediaPlayer::soundlessArguments()).setMedia(Media::file(song, {":audio-track=1"}));
    player->setKeyShift(2);
    player->setCentreCancel(true);
    player->play();
    ASSERT_TRUE(until([&] { return player->audioTrackIndexes().size() == 3 && sink.frames() > 10; }));
    const std::vector<int> tracks = player->audioTrackIndexes();
    EXPECT_EQ(player->currentAudioTrackIndex(), tracks[2]);
    player->setCurrentAudioTrackIndex(tracks[1]);
    EXPECT_EQ(player->currentAudioTrackIndex(), tracks[1]);
    ASSERT_TRUE(until([&] { return ended(*player); }));
    EXPECT_EQ(listener.framesHeard(), 0);
    EXPECT_FALSE(delegate->saw(PlayerState::Error));

    // No ALSA device either: ALSA's and libVLC's own complaints stay out of the log.
    player.emplace(
        scheduler,
        VlcPlayerOptions{
            {"--aout=alsa,none", "--alsa-audio-device=vocalis-none", "--vout=vdummy"}, nullptr, {}});
    ::testing::internal::CaptureStderr();
    player->setMedia(Media::file(song));
    player->play();
    EXPECT_TRUE(until([&] { return ended(*player); }));
    player->setMedia(std::nullopt);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(occurrences(log, "No sound output can be opened; playing without sound"), 1) << log;
    EXPECT_EQ(occurrences(log, "libVLC") + occurrences(log, "ALSA"), 0) << log;
}

TEST_F(MediaPlayerTest, ShippedClipsAndScoreSoundPlayWithTheirPictureAndSound) {
    // The score sound plays through a second media player: it must decode to real sound too.
    for (const auto& [name, size] :
         {std::pair("intro.mp4", 1280720), {"idle.mp4", 1280720}, {"vcplayer_score.mp3", 0}}) {
        SCOPED_TRACE(name);
        const std::string file = std::string(VOCALIS_RESOURCES) + "/" + name;
        EXPECT_LT(std::filesystem::file_size(file), 2u * 1024 * 1024);
        open(&sink).setMedia(Media::file(file));
        listener.forget();
        const auto frames = sink.frames();
        player->play();
        ASSERT_TRUE(until([&] {
            return loudness(listener.recent(48000)) > 0.001 && listener.framesHeard() > 48000 &&
                   (!size || sink.frames() > frames + 5);
        }));
        EXPECT_EQ(player->videoTrackCount(), size ? 1 : 0);
        EXPECT_EQ(size ? sink.source().width * 1000 + sink.source().height : 0, size);
        EXPECT_FALSE(delegate->saw(PlayerState::Error));
    }
}

}  // namespace
}  // namespace vocalis::testing
