#include <gtest/gtest.h>
#include <vlc/vlc.h>

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>

#include "remote/media_service.h"
#include "remote/media_service_fixture.h"
#include "support/run_program.h"

namespace vocalis {
namespace {

using testing::findProgram;
using testing::MediaCatalogue;
using testing::runProgram;

// A short clip with moving video and a tone, in the container the format names. Raw
// video makes a large file in no time.
void makeMedia(const std::string& path, const std::string& format, int seconds, bool raw = false) {
    const std::string video = std::string("testsrc=rate=25:size=") + (raw ? "640x480" : "160x120");
    const std::string codecs = raw ? "-c:v rawvideo -pix_fmt yuv420p -c:a pcm_s16le" : "-c:v mpeg4 -c:a aac";
    const auto args = testing::words("-hide_banner -loglevel error -y -f lavfi -i " + video +
                                         " -f lavfi -i sine=frequency=440 -t " + std::to_string(seconds) +
                                         " " + codecs + " -f " + format,
                                     {path});
    const auto result = runProgram(findProgram("ffmpeg"), args);
    ASSERT_EQ(result.status, 0) << result.err;
}

// How one playback ended, as libVLC reports it.
struct PlaybackOutcome {
    bool ended = false;
    bool failed = false;
    bool timedOut = false;
};

class VlcPlayer {
  public:
    VlcPlayer() {
        const char* args[] = {"--aout=dummy", "--vout=dummy", "--no-xlib", "--quiet",
                              "--no-video-title-show"};
        instance_.reset(libvlc_new(static_cast<int>(std::size(args)), args));
    }
    bool ready() const { return instance_ != nullptr; }

    // Plays the address to its end; `seekTo` (0 ... 1) jumps there once playback runs,
    // which makes libVLC ask for a byte range.
    PlaybackOutcome play(const std::string& url, float seekTo = -1) {
        std::unique_ptr<libvlc_media_t, decltype(&libvlc_media_release)> media(
            libvlc_media_new_location(instance_.get(), url.c_str()), &libvlc_media_release);
        std::unique_ptr<libvlc_media_player_t, decltype(&libvlc_media_player_release)> player(
            libvlc_media_player_new_from_media(media.get()), &libvlc_media_player_release);
        State state;
        libvlc_event_manager_t* events = libvlc_media_player_event_manager(player.get());
        for (auto type :
             {libvlc_MediaPlayerEndReached, libvlc_MediaPlayerEncounteredError, libvlc_MediaPlayerPlaying})
            libvlc_event_attach(events, type, &VlcPlayer::onEvent, &state);
        libvlc_media_player_play(player.get());
        PlaybackOutcome outcome;
        {
            std::unique_lock lock(state.mutex);
            if (seekTo >= 0) {
                state.changed.wait_for(lock, std::chrono::seconds(60),
                                       [&] { return state.playing || state.done(); });
                if (state.playing && !state.done()) {
                    lock.unlock();
                    libvlc_media_player_set_position(player.get(), seekTo);
                    lock.lock();
                }
            }
            outcome.timedOut =
                !state.changed.wait_for(lock, std::chrono::seconds(90), [&] { return state.done(); });
            outcome.ended = state.ended;
            outcome.failed = state.failed;
        }
        libvlc_media_player_stop(player.get());
        for (auto type :
             {libvlc_MediaPlayerEndReached, libvlc_MediaPlayerEncounteredError, libvlc_MediaPlayerPlaying})
            libvlc_event_detach(events, type, &VlcPlayer::onEvent, &state);
        return outcome;
    }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool playing = false, ended = false, failed = false;
        bool done() const { return ended || failed; }
    };
    static void onEvent(const libvlc_event_t* event, void* data) {
        auto* state = static_cast<State*>(data);
        std::lock_guard lock(state->mutex);
        if (event->type == libvlc_MediaPlayerPlaying) state->playing = true;
        if (event->type == libvlc_MediaPlayerEndReached) state->ended = true;
        if (event->type == libvlc_MediaPlayerEncounteredError) state->failed = true;
        state->changed.notify_all();
    }

    std::unique_ptr<libvlc_instance_t, decltype(&libvlc_release)> instance_{nullptr, &libvlc_release};
};

TEST(MediaServiceVlc, LibVlcPlaysTheClipAndAVcvSongOverHttpToTheEnd) {
    MediaCatalogue media{{"placeholder", "placeholder"}};
    const std::string songPath = media.songFiles[0];
    ASSERT_EQ(songPath.substr(songPath.size() - 4), ".vcv");
    makeMedia(media.dir / "temp/intro.mp4", "mp4", 2);
    makeMedia(songPath, "matroska", 4);
    // A song of real size: libVLC hangs up in the middle of the body when it seeks.
    makeMedia(media.songFiles[1], "avi", 3, true);
    ASSERT_GE(std::filesystem::file_size(media.songFiles[1]), 30u * 1024 * 1024);
    LocalMediaService service(media.songs, media.tempFolder, "intro.mp4", "idle.mp4");
    ASSERT_TRUE(service.start(0));

    VlcPlayer player;
    ASSERT_TRUE(player.ready());
    const PlaybackOutcome clip = player.play(service.clipURL("intro.mp4"));
    EXPECT_TRUE(clip.ended);
    EXPECT_FALSE(clip.failed);
    EXPECT_FALSE(clip.timedOut);

    media.songs.setCurrentSongId(0);
    const PlaybackOutcome song = player.play(service.songURL(0), 0.5f);
    EXPECT_TRUE(song.ended);
    EXPECT_FALSE(song.failed);
    EXPECT_FALSE(song.timedOut);

    media.songs.setCurrentSongId(1);
    const PlaybackOutcome large = player.play(service.songURL(1), 0.5f);
    EXPECT_TRUE(large.ended);
    EXPECT_FALSE(large.failed);
    EXPECT_FALSE(large.timedOut);

    // Once another song is current, the address no longer plays.
    media.songs.setCurrentSongId(-1);
    const PlaybackOutcome gone = player.play(service.songURL(0));
    EXPECT_FALSE(gone.ended);
    EXPECT_TRUE(gone.failed);
}

}  // namespace
}  // namespace vocalis
