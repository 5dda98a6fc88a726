#include "ui/video_view.h"

#include <gtest/gtest.h>

#include <QTest>
#include <thread>

#include "app/media/vlc_media_player.h"
#include "app/media_samples.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"
#include "ui/qt_scheduler.h"
#include "ui/screen_view.h"

using namespace vocalis;
using namespace vocalis::testing;

namespace {

std::shared_ptr<VideoFrame> solidFrame(int width, int height, std::uint8_t b, std::uint8_t g,
                                       std::uint8_t r) {
    auto frame = std::make_shared<VideoFrame>();
    frame->width = width;
    frame->height = height;
    frame->pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    for (std::size_t i = 0; i < frame->pixels.size(); i += 4) {
        frame->pixels[i] = b;
        frame->pixels[i + 1] = g;
        frame->pixels[i + 2] = r;
        frame->pixels[i + 3] = 255;
    }
    return frame;
}

}  // namespace

TEST(VideoView, BlackUntilAFrameThenTheLastFrameAtTheViewsSize) {
    VideoView view;
    view.resize(320, 180);
    view.show();
    QCoreApplication::processEvents();
    const FrameSize asked = view.frameSizeFor(1920, 1080);
    EXPECT_EQ(asked.width, static_cast<int>(320 * view.devicePixelRatioF()));
    EXPECT_EQ(asked.height, static_cast<int>(180 * view.devicePixelRatioF()));
    EXPECT_EQ(view.grab().toImage().pixelColor(160, 90), QColor(Qt::black));

    // A frame from another thread, like libVLC's: a left half red and a right half green.
    auto frame = solidFrame(asked.width, asked.height, 0, 0, 255);
    for (int y = 0; y < asked.height; ++y)
        for (int x = asked.width / 2; x < asked.width; ++x) {
            std::uint8_t* pixel = frame->pixels.data() + (y * asked.width + x) * 4;
            pixel[1] = 255;
            pixel[2] = 0;
        }
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
    const std::string clip = makeVideo(dir / "clip.mp4", 2);
    MainWindow window({});
    window.show();
    QCoreApplication::processEvents();
    VideoView* view = window.screen().video();
    const FrameSize wanted = view->deviceSize();
    ASSERT_GT(wanted.width, 0);

    QtScheduler scheduler;
    VlcMediaPlayer player(scheduler, {{"--aout=adummy"}, &window.videoSink(), {}});
    ASSERT_TRUE(player.isReady());
    player.setMedia(Media::file(clip));
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->currentFrame() != nullptr; }, 20000));
    const auto frame = view->currentFrame();
    EXPECT_EQ(frame->width, wanted.width);  // asked at the view's own size: nothing rescales
    EXPECT_EQ(frame->height, wanted.height);
    QCoreApplication::processEvents();
    // ffmpeg's test picture is colourful: the view shows more than black.
    const QImage shot = view->grab().toImage();
    int lit = 0;
    for (int x = 0; x < shot.width(); x += 8) lit += shot.pixelColor(x, shot.height() / 3).lightness() > 40;
    EXPECT_GT(lit, 0);
    player.stop();
    player.setMedia(std::nullopt);
}
