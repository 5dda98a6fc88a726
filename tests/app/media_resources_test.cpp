// The clips, pictures and sound the player ships open in the media player as what they are.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/media/vlc_media_player.h"
#include "app/media_samples.h"

namespace vocalis {
namespace {

using testing::DelegateRecorder;
using testing::FrameRecorder;
using testing::pumpUntil;

std::string resource(const std::string& name) { return std::string(VOCALIS_RESOURCES) + "/" + name; }

// Width and height from a PNG's header.
FrameSize pngSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    if (!in || header[1] != 'P' || header[2] != 'N' || header[3] != 'G') return {};
    auto word = [&](int at) {
        return header[at] << 24 | header[at + 1] << 16 | header[at + 2] << 8 | header[at + 3];
    };
    return {word(16), word(20)};
}

TEST(MediaResourcesTest, ClipsPlayWithPictureAndSound) {
    for (const char* name : {"intro.mp4", "idle.mp4"}) {
        SCOPED_TRACE(name);
        const std::string path = resource(name);
        ASSERT_TRUE(std::filesystem::exists(path));
        EXPECT_LT(std::filesystem::file_size(path), 2u * 1024 * 1024) << "clips stay small";

        VirtualScheduler scheduler;
        FrameRecorder sink({0, 0});
        testing::ToneListener listener;
        VlcMediaPlayer player(scheduler, testing::headlessOptions(listener.tap(), &sink));
        DelegateRecorder delegate(player);
        player.setDelegate(&delegate);
        player.setMedia(Media::file(path));
        player.play();

        ASSERT_TRUE(
            pumpUntil(scheduler, [&] { return sink.frames() > 5 && listener.framesHeard() > 48000; }));
        EXPECT_EQ(player.videoTrackCount(), 1);
        EXPECT_EQ(player.audioTrackIndexes().size(), 2u);
        EXPECT_EQ(sink.source().width, 1280);
        EXPECT_EQ(sink.source().height, 720);
        EXPECT_GT(listener.loudness(48000), 30.0) << "the clip is not silent";
        EXPECT_FALSE(delegate.saw(PlayerState::Error));
    }
}

TEST(MediaResourcesTest, PicturesAndScoreSoundAreThere) {
    const FrameSize banner = pngSize(resource("banner.png"));
    EXPECT_GT(banner.width, 0);
    EXPECT_EQ(banner.width * 9, banner.height * 16) << "a 16:9 picture like the thumbnails";
    const FrameSize background = pngSize(resource("score_bg.png"));
    EXPECT_EQ(background.width, 1920);
    EXPECT_EQ(background.height, 1080);

    // The score sound plays through a second media player: it must decode to real sound.
    VirtualScheduler scheduler;
    testing::ToneListener listener;
    VlcMediaPlayer player(scheduler, testing::headlessOptions(listener.tap()));
    ASSERT_TRUE(std::filesystem::exists(resource("vcplayer_score.mp3")));
    player.setMedia(Media::file(resource("vcplayer_score.mp3")));
    player.play();
    ASSERT_TRUE(pumpUntil(scheduler, [&] { return listener.framesHeard() > 48000; }));
    EXPECT_GT(listener.loudness(48000), 100.0);
    EXPECT_EQ(player.videoTrackCount(), 0);
}

}  // namespace
}  // namespace vocalis
