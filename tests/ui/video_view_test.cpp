#include "ui/video_view.h"

#include <thread>

#include "app/media/vlc_media_player.h"
#include "app/media_samples.h"
#include "support/temp_dir.h"
#include "ui/qt_scheduler.h"
#include "ui/ui_test_support.h"
#include "ui/vlc_score_sound.h"

using namespace vocalis;
using namespace vocalis::testing;

TEST(VideoView, BlackUntilAFrameThenTheLastFrameAtTheViewsSize) {
    VideoView view;
    view.resize(320, 180);
    view.show();
    QCoreApplication::processEvents();
    const FrameSize asked = view.frameSizeFor(1920, 1080);
    EXPECT_EQ(asked.width, static_cast<int>(320 * view.devicePixelRatioF()));
    EXPECT_EQ(asked.height, static_cast<int>(180 * view.devicePixelRatioF()));
    EXPECT_EQ(view.grab().toImage().pixelColor(160, 90), QColor(Qt::black));

    // A frame from another thread, like libVLC's: a left half red and a right half green (BGRA).
    auto frame = std::make_shared<VideoFrame>();
    frame->width = asked.width;
    frame->height = asked.height;
    for (int y = 0; y < asked.height; ++y)
        for (int x = 0; x < asked.width; ++x)
            frame->pixels.insert(frame->pixels.end(), {0, std::uint8_t(x < asked.width / 2 ? 0 : 255),
                                                       std::uint8_t(x < asked.width / 2 ? 255 : 0), 255});
    std::thread([&] { view.presentFrame(frame); }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.currentFrame() == frame; }, 5000));
    const QImage shot = view.grab().toImage();
    EXPECT_EQ(shot.pixelColor(10, 90), QColor(255, 0, 0));
    EXPECT_EQ(shot.pixelColor(310, 90), QColor(0, 255, 0));

    // After a resize the last frame still covers the whole view.
    view.resize(400, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.frameSizeFor(1, 1).width, static_cast<int>(400 * view.devicePixelRatioF()));
    const QImage stretched = view.grab().toImage();
    EXPECT_EQ(stretched.pixelColor(5, 295), QColor(255, 0, 0));
    EXPECT_EQ(stretched.pixelColor(395, 5), QColor(0, 255, 0));
}

TEST(VideoView, LibVlcPaintsAVideoIntoTheMainWindow) {
    TempDir dir;
    MainWindow window({});
    window.show();
    QCoreApplication::processEvents();
    VideoView* view = window.screen().video();
    const FrameSize wanted = view->deviceSize();
    QtScheduler scheduler;
    VlcMediaPlayer player(scheduler, {{"--aout=adummy"}, &window.videoSink(), {}});
    ASSERT_TRUE(player.isReady());
    player.setMedia(Media::file(makeVideo(dir / "clip.mp4", 2)));
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->currentFrame() != nullptr; }, 20000));
    EXPECT_EQ(view->currentFrame()->width, wanted.width);  // asked at the view's own size: nothing rescales
    EXPECT_EQ(view->currentFrame()->height, wanted.height);
    QCoreApplication::processEvents();
    // ffmpeg's test picture is colourful: the view shows more than black.
    const QImage shot = view->grab().toImage();
    int lit = 0;
    for (int x = 0; x < shot.width(); x += 8) lit += shot.pixelColor(x, shot.height() / 3).lightness() > 40;
    EXPECT_GT(lit, 0);
    player.stop();
    player.setMedia(std::nullopt);
}

TEST(VlcScoreSound, PlaysAFileOnceAndRefusesWhatItCannotPlay) {
    TempDir dir;
    VlcScoreSound missing(dir / "none.mp3", {"--aout=adummy"});
    EXPECT_FALSE(missing.play());
    missing.stop();  // harmless
    VlcScoreSound sound(makeAudioOnly(dir / "score.m4a", 1), {"--aout=adummy"});
    for (const bool toTheEnd : {true, false}) {  // again for the next score screen, then stopped early
        ASSERT_TRUE(sound.play());
        ASSERT_TRUE(QTest::qWaitFor([&] { return sound.isPlaying(); }, 10000));
        if (toTheEnd) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !sound.isPlaying(); }, 15000));
        }
    }
    sound.stop();
    EXPECT_FALSE(sound.isPlaying());
}
