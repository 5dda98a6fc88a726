#include <sys/stat.h>

#include "app/engine_harness.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;
using E = AppDelegate;

TEST(EngineControls, PhoneMessagesPicturesScoringWordsAndTheVolume) {
    EngineHarness h({"a.mp4"});
    h.launch();
    h.clock.advance(1000ms);
    h.remote(&E::onRemoteSendMessage, "too early");  // during the intro phones show nothing
    EXPECT_FALSE(h.overlays.messageVisible);
    h.clock.advance(1000ms);
    ASSERT_TRUE(h.loaded());
    h.end();

    // The words switch scoring for this run, unstored; with a trailing space they are only shown.
    h.engine->setHasScoring(true);
    for (const auto& [text, scoring] :
         {std::pair("Scoring OFF", false), {"scoring on ", false}, {"SCORING ON", true}}) {
        h.remote(&E::onRemoteSendMessage, text);
        EXPECT_EQ(h.engine->flags().hasScoring, scoring) << text;
    }
    EXPECT_EQ(h.overlays.message, "SCORING ON");
    EXPECT_FALSE(h.preferences.boolForKey(KEY_SCORING));
    h.clock.advance(14999ms);
    EXPECT_TRUE(h.overlays.messageVisible);
    h.clock.advance(1ms);
    EXPECT_FALSE(h.overlays.messageVisible);

    // A picture shows for 15 s; one that does not decode changes nothing.
    const ImageBytes png{0x89, 'P', 'N', 'G', 1, 2};
    h.remote(&E::onRemoteSendPicture, png);
    EXPECT_TRUE(h.overlays.pictureVisible);
    h.clock.advance(10000ms);
    h.remote(&E::onRemoteSendPicture, ImageBytes{'n', 'o', 'p', 'e'});
    EXPECT_EQ(h.overlays.picture, png);
    h.clock.advance(5000ms);
    EXPECT_FALSE(h.overlays.pictureVisible);

    // The operator's own messages last 5 s; the last one decides.
    h.engine->showMessage("một");
    h.clock.advance(3000ms);
    h.engine->showMessage("hai");
    h.clock.advance(4999ms);
    EXPECT_TRUE(h.overlays.messageVisible);
    EXPECT_EQ(h.overlays.message, "hai");
    h.clock.advance(1ms);
    EXPECT_FALSE(h.overlays.messageVisible);

    h.remote(&E::onRemoteRecord);  // no camera: recording says so and nothing else happens
    EXPECT_EQ(h.overlays.message, "Không tìm thấy Camera");

    // Volume steps; one below a tenth mutes.
    h.clock.advance(5000ms);
    h.engine->volumeUp();  // one step
    EXPECT_NEAR(h.volume.volume, 0.595f, 1e-4);
    h.volume.volume = 0.15f;
    h.engine->volumeDown();  // 0.055 is below 0.1: a further step asks for -0.045, which mutes
    EXPECT_TRUE(h.volume.muted);
    EXPECT_EQ(h.screen(), "idle idle.mp4 | Vui lòng chọn bài hát | volume 0");
    h.clock.advance(3000ms);
    h.remote(&E::onRemoteVolumeUp);  // the panel stays 4 s from here
    EXPECT_FALSE(h.volume.muted);
    h.clock.advance(3999ms);
    EXPECT_EQ(h.screen(), "idle idle.mp4 | Vui lòng chọn bài hát | volume 1");
    h.clock.advance(1ms);
    EXPECT_EQ(h.screen(), "idle idle.mp4 | Vui lòng chọn bài hát");
}

TEST(EngineControls, UpNextMakesAMissingThumbnailWithTheTool) {
    // Stands in for the video tool: writes a picture to its last argument, and the arguments beside.
    const TempDir bin;
    const std::string tool = bin.write(
        "tool.sh",
        "#!/bin/sh\nfor last; do :; done\nprintf 'picture' > \"$last\"\necho \"$@\" > \"$last.args\"\n");
    ::chmod(tool.c_str(), 0755);
    EngineHarness h({"Anh - Tuấn.mp4", "Bông - Lan.mp4", "Chiều - Quang.mp4"}, tool);
    std::filesystem::create_directories(h.songsDir / "thumbnail");
    h.launchToFirstSong();
    h.clock.advance(2000ms);
    h.add("Anh");
    h.player.timeLeft(20000);  // one song queued: the prompt instead
    h.clock.runPending();
    EXPECT_EQ(h.overlays.title, "Vui lòng chọn bài hát");
    EXPECT_TRUE(h.overlays.titleVisible);

    h.clock.advance(2000ms);
    h.add("Bông");
    h.remote(&E::onRemoteNext);
    h.add("Chiều");
    h.clock.advance(6000ms);
    h.player.timeLeft(10000);
    ASSERT_TRUE(h.settle([&] { return h.overlays.nextLabel == "Tiếp theo"; }));
    EXPECT_EQ(h.overlays.nextImage, (ImageBytes{'p', 'i', 'c', 't', 'u', 'r', 'e'}));
    const std::string image = h.songsDir / "thumbnail/chieu-quang.jpg";
    EXPECT_EQ(readFile(image + ".args"), "-i " + h.song("Chiều - Quang.mp4") +
                                             " -an -ss 00:00:30 -an -r 1 -vframes 1 -s 640x360 -y " + image +
                                             "\n");
}

TEST(EngineControls, UpNextIsNotShownForASongRemovedMeanwhile) {
    // The picture is found on a background thread; the song may leave the queue meanwhile.
    for (const std::string next : {"Bông - Lan.vcv", "Bông - Lan.mp4"}) {  // no picture needed; none made
        SCOPED_TRACE(next);
        EngineHarness h({"Anh - Tuấn.mp4", next, "Chiều - Quang.mp4"});
        h.launchToFirstSong();
        h.clock.advance(2000ms);
        for (const char* title : {"Anh", "Bông", "Chiều"}) h.add(title);
        h.clock.advance(6000ms);
        h.player.timeLeft(10000);
        h.clock.post([&] { h.songs.queueDelete(1); });  // right after the check, before its answer
        h.clock.runPending();
        ASSERT_TRUE(h.engine->flags().isNextShawn);
        h.background.join();
        h.clock.runPending();
        EXPECT_NE(h.overlays.nextLabel, "Tiếp theo") << h.overlays.nextTitle;
    }
}
