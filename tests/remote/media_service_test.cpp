#include "remote/media_service.h"

#include <gtest/gtest.h>
#include <vlc/vlc.h>

#include <atomic>
#include <filesystem>
#include <memory>

#include "catalogue/catalogue.h"
#include "catalogue/song_manager.h"
#include "remote/media_service_routing.h"
#include "support/run_program.h"
#include "support/socket_client.h"
#include "support/temp_dir.h"

namespace vocalis {
namespace {

using testing::HttpAnswer;
using testing::patternBytes;

// Thirteen ".vcv" songs "Song NN-Singer" (ids follow the numbers) holding "song N bytes", and the clips.
class MediaServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.write("temp/intro.mp4", "INTRO CLIP");
        dir_.write("temp/idle.mp4", patternBytes(1000));
        std::vector<Song> found;
        for (int i = 0; i < 13; ++i) {
            const std::string name =
                "NhacMoi/Song " + std::string(i < 10 ? "0" : "") + std::to_string(i) + "-Singer.vcv";
            dir_.write("Karaoke/" + name, "song " + std::to_string(i) + " bytes");
            found.push_back(*songFromPath(dir_ / "Karaoke", name));
            songFiles_.push_back(dir_ / ("Karaoke/" + name));
        }
        songs_.addAll(std::make_shared<const Catalogue>(buildCatalogue(std::move(found))));
        std::string error;
        ASSERT_TRUE(service_.start(0, &error)) << error;
    }
    HttpAnswer get(const std::string& target, const std::string& method = "GET",
                   const std::string& extra = "") {
        testing::RawClient client(service_.port());
        EXPECT_TRUE(client.send(method + " " + target + " HTTP/1.1\r\n" + extra + "\r\n"));
        return client.readAnswer(method == "HEAD").value_or(HttpAnswer{});
    }

    testing::TempDir dir_;
    SongManager songs_;
    const std::string temp_ = dir_ / "temp";
    std::vector<std::string> songFiles_;  // by song id
    LocalMediaService service_{songs_, temp_, "intro.mp4", "idle.mp4"};
};

TEST_F(MediaServiceTest, TargetsNameAClipByTheirEndOrElseOnlyTheCurrentSong) {
    MediaServiceRouting routing(songs_, temp_, "intro.mp4", "idle.mp4");
    const std::string intro = temp_ + "/intro.mp4", idle = temp_ + "/idle.mp4";
    const auto& song = songFiles_;
    struct Case {
        std::int32_t current;
        std::string target;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {-1, "/intro.mp4", intro},
        {3, "/any/longer/path/intro.mp4", intro},
        {3, "/idle.mp4", idle},
        {-1, "/../../../../etc/intro.mp4", intro},
        // With a query the target no longer ends with the name: it reads as song id 0.
        {-1, "/intro.mp4?start=1", std::nullopt},
        {0, "/intro.mp4?start=1", song[0]},
        {12, "/12", song[12]},
        {12, "/1/2", song[12]},
        {12, "//12xyz", song[12]},
        {12, "/11", std::nullopt},
        {11, "/12", std::nullopt},
        {-1, "/12", std::nullopt},
        {-1, "/-1", std::nullopt},
        {13, "/13", std::nullopt},  // past the catalogue, even when "current"
        // Slashes are dropped and the leading number read, so "../" can at most name song 0.
        {-1, "/../secret.txt", std::nullopt},
        {-1, "/..%2f..%2fsecret.txt", std::nullopt},
        {-1, "/" + dir_.path() + "/secret.txt", std::nullopt},
        {0, "/../../../../etc/passwd", song[0]},
    };
    for (const Case& c : cases) {
        songs_.setCurrentSongId(c.current);
        EXPECT_EQ(routing.filePathForURI(c.target), c.path) << c.current << " " << c.target;
    }
}

TEST_F(MediaServiceTest, ServesTheClipsAndTheCurrentSongWhileItsFileIsThere) {
    const HttpAnswer answer = get("/intro.mp4");
    EXPECT_EQ(answer.body, "INTRO CLIP");
    EXPECT_EQ(answer.field("content-disposition"), "attachment; filename=\"intro.mp4\"");
    const HttpAnswer range = get("/idle.mp4", "GET", "Range: bytes=-500\r\n");
    EXPECT_EQ(range.status, 206);
    EXPECT_EQ(range.body, patternBytes(1000).substr(500));
    const HttpAnswer head = get("/idle.mp4", "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.field("content-length"), "1000");

    songs_.setCurrentSongId(5);
    EXPECT_EQ(get("/5").body, "song 5 bytes");
    EXPECT_EQ(get("/6").status, 404);
    // A current song whose file is gone, or is a folder, is 404 too.
    std::filesystem::remove(songFiles_[5]);
    EXPECT_EQ(get("/5").status, 404);
    std::filesystem::create_directory(songFiles_[5]);
    EXPECT_EQ(get("/5").status, 404);
    // The answer names the file a song's link points to, and that name never writes into the head.
    std::filesystem::remove(songFiles_[5]);
    std::filesystem::create_symlink(dir_.write("Xa \"Q\"\r\nX-Injected: yes - Ru.vcv", "odd name"),
                                    songFiles_[5]);
    const HttpAnswer odd = get("/5");
    EXPECT_EQ(odd.body, "odd name");
    EXPECT_FALSE(odd.field("x-injected"));
    EXPECT_EQ(odd.field("content-disposition"),
              R"(attachment; filename="Xa \"Q\"__X-Injected: yes - Ru.vcv"; )"
              R"(filename*=UTF-8''Xa%20%22Q%22%0D%0AX-Injected%3A%20yes%20-%20Ru.vcv)");

    LocalMediaService second(songs_, temp_, "intro.mp4", "idle.mp4");
    std::string error;
    EXPECT_FALSE(second.start(service_.port(), &error));
    EXPECT_FALSE(error.empty());
}

// Plays the address with libVLC, seeking to `seekTo` (a byte range); the first end or error event.
int playToEnd(libvlc_instance_t* vlc, const std::string& url, float seekTo = -1) {
    std::unique_ptr<libvlc_media_t, decltype(&libvlc_media_release)> media(
        libvlc_media_new_location(vlc, url.c_str()), &libvlc_media_release);
    std::atomic<int> end{0};
    std::unique_ptr<libvlc_media_player_t, decltype(&libvlc_media_player_release)> player(
        libvlc_media_player_new_from_media(media.get()), &libvlc_media_player_release);
    for (auto type : {libvlc_MediaPlayerEndReached, libvlc_MediaPlayerEncounteredError})
        libvlc_event_attach(
            libvlc_media_player_event_manager(player.get()), type,
            [](const libvlc_event_t* event, void* data) {
                int none = 0;
                static_cast<std::atomic<int>*>(data)->compare_exchange_strong(none, event->type);
            },
            &end);
    libvlc_media_player_play(player.get());
    auto playing = [&] { return libvlc_media_player_get_state(player.get()) == libvlc_Playing; };
    if (seekTo >= 0 && testing::eventually([&] { return playing() || end != 0; }, std::chrono::seconds(60)) &&
        playing())
        libvlc_media_player_set_position(player.get(), seekTo);
    testing::eventually([&] { return end != 0; }, std::chrono::seconds(90));
    libvlc_media_player_stop(player.get());
    return end;
}

TEST_F(MediaServiceTest, LibVlcPlaysTheClipAndVcvSongsOverHttpToTheEnd) {
    // Moving video and a tone; raw video makes a large file in no time.
    auto makeMedia = [](const std::string& path, const std::string& format, int seconds, bool raw = false) {
        const auto result = testing::runProgram(
            "ffmpeg", testing::words("-hide_banner -loglevel error -y -f lavfi -i testsrc=rate=25:size=" +
                                         std::string(raw ? "640x480" : "160x120") +
                                         " -f lavfi -i sine=frequency=440 -t " + std::to_string(seconds) +
                                         (raw ? " -c:v rawvideo -pix_fmt yuv420p -c:a pcm_s16le"
                                              : " -c:v mpeg4 -c:a aac") +
                                         " -f " + format,
                                     {path}));
        ASSERT_EQ(result.status, 0) << result.err;
    };
    makeMedia(temp_ + "/intro.mp4", "mp4", 2);
    makeMedia(songFiles_[0], "matroska", 4);
    // A song of real size: libVLC hangs up in the middle of the body when it seeks.
    makeMedia(songFiles_[1], "avi", 3, true);
    ASSERT_GE(std::filesystem::file_size(songFiles_[1]), 30u * 1024 * 1024);
    const char* args[] = {"--aout=dummy", "--vout=dummy", "--no-xlib", "--quiet", "--no-video-title-show"};
    std::unique_ptr<libvlc_instance_t, decltype(&libvlc_release)> vlc(libvlc_new(std::size(args), args),
                                                                      &libvlc_release);
    ASSERT_TRUE(vlc);

    EXPECT_EQ(playToEnd(vlc.get(), service_.clipURL("intro.mp4")), libvlc_MediaPlayerEndReached);
    songs_.setCurrentSongId(0);
    EXPECT_EQ(playToEnd(vlc.get(), service_.songURL(0), 0.5f), libvlc_MediaPlayerEndReached);
    songs_.setCurrentSongId(1);
    EXPECT_EQ(playToEnd(vlc.get(), service_.songURL(1), 0.5f), libvlc_MediaPlayerEndReached);
    // Once another song is current, the address no longer plays.
    songs_.setCurrentSongId(-1);
    EXPECT_EQ(playToEnd(vlc.get(), service_.songURL(0)), libvlc_MediaPlayerEncounteredError);
}

}  // namespace
}  // namespace vocalis
