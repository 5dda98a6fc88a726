#include "ui/video_view.h"

#include <QScreen>
#include <thread>

#include "app/media_samples.h"
#include "support/temp_dir.h"
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

    // A frame from another thread, like libVLC's: a left half white and a right half black.
    auto frame = std::make_shared<VideoFrame>();
    frame->width = asked.width;
    frame->height = asked.height;
    frame->pixels.assign(frame->byteSize(), 128);
    for (int y = 0; y < asked.height; ++y)
        for (int x = 0; x < asked.width; ++x)
            frame->plane(0)[y * asked.width + x] = x < asked.width / 2 ? 235 : 16;
    std::thread([&] { view.presentFrame(frame); }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.currentFrame() == frame; }, 5000));
    const QImage shot = view.grab().toImage();
    EXPECT_EQ(shot.pixelColor(10, 90), QColor(Qt::white));
    EXPECT_EQ(shot.pixelColor(310, 90), QColor(Qt::black));

    // After a resize the last frame still covers the whole view.
    view.resize(400, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.frameSizeFor(1, 1).width, static_cast<int>(400 * view.devicePixelRatioF()));
    const QImage stretched = view.grab().toImage();
    EXPECT_EQ(stretched.pixelColor(5, 295), QColor(Qt::white));
    EXPECT_EQ(stretched.pixelColor(395, 5), QColor(Qt::black));
}

// The player's I420 frames are converted straight into the window: only where Qt repaints (an
// overlay outside that stays), each pixel with its own colour sample also where a repaint
// starts on an odd row or column.
TEST(VideoView, PlayerFramesPaintIntoTheWindowOnlyWhereRepainted) {
    VideoView view;
    view.resize(320, 180);
    QWidget* overlays[2];
    for (QWidget*& overlay : overlays) {
        overlay = new QWidget(&view);
        overlay->setAutoFillBackground(true);
        overlay->setPalette(QPalette(Qt::black));
    }
    overlays[0]->setGeometry(101, 51, 40, 30);
    overlays[1]->setGeometry(200, 120, 40, 30);
    view.show();
    QCoreApplication::processEvents();
    const FrameSize size = view.frameSizeFor(1, 1);
    ASSERT_EQ(size.width, 320) << "one device pixel a pixel, as the offscreen screen has";
    // Quadrants split at row 52 and column 102, where a repaint from row 51 or column 101
    // needs the next colour sample: red, green above; blue, white below (BT.601 Y, U, V).
    const struct {
        QColor rgb;
        std::uint8_t y, u, v;
    } red{QColor(255, 0, 0), 81, 90, 240}, green{QColor(0, 255, 0), 145, 54, 34},
        blue{QColor(0, 0, 255), 41, 240, 110}, white{QColor(255, 255, 255), 235, 128, 128};
    const auto quadrant = [&](int x, int y) {
        return y < 52 ? (x < 102 ? red : green) : (x < 102 ? blue : white);
    };
    auto frame = std::make_shared<VideoFrame>();
    frame->width = size.width;
    frame->height = size.height;
    frame->pixels.resize(frame->byteSize());
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            frame->plane(0)[y * size.width + x] = quadrant(x, y).y;
            const int c = (y / 2) * frame->chromaWidth() + x / 2;
            frame->plane(1)[c] = quadrant(x & ~1, y & ~1).u;
            frame->plane(2)[c] = quadrant(x & ~1, y & ~1).v;
        }
    view.presentFrame(frame);
    QCoreApplication::processEvents();  // the repaint it asks for
    view.repaint();
    overlays[0]->hide();  // Qt repaints the video under it alone
    QCoreApplication::processEvents();
    const QImage shown = view.screen()->grabWindow(view.winId()).toImage();
    const auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) <
               24;
    };
    const struct {
        QPoint at;
        QColor expected;
    } cases[] = {{{10, 10}, red.rgb},     {{300, 10}, green.rgb}, {{10, 170}, blue.rgb},
                 {{300, 170}, white.rgb}, {{101, 51}, red.rgb},   {{102, 51}, green.rgb},
                 {{101, 52}, blue.rgb},   {{102, 52}, white.rgb}, {{140, 80}, white.rgb},
                 {{200, 120}, Qt::black}, {{239, 149}, Qt::black}};
    for (const auto& [at, expected] : cases)
        EXPECT_TRUE(near(shown.pixelColor(at), expected))
            << at.x() << "," << at.y() << ": " << shown.pixelColor(at).name().toStdString();
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
