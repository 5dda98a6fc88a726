#include "ui/video_view.h"

#include <gtest/gtest.h>

#include <QScreen>
#include <QTest>
#include <thread>

#include "app/media_samples.h"
#include "support/temp_dir.h"
#include "ui/vlc_score_sound.h"

using namespace vocalis;
using namespace vocalis::testing;

// The player's I420 frames are converted straight into the window, only where Qt repaints (an overlay
// outside that stays), each pixel with its own colour sample also where a repaint starts on an odd row or
// column; grab() and a frame of another size take the drawn image instead.
TEST(VideoView, BlackUntilAFrameThenTheFrameWhereRepaintedAndStretchedAfterAResize) {
    VideoView view;
    view.resize(320, 180);
    std::vector<QWidget*> overlays;
    for (const QRect area : {QRect(101, 51, 40, 30), QRect(200, 120, 40, 30)}) {
        overlays.push_back(new QWidget(&view));
        overlays.back()->setGeometry(area);
        overlays.back()->setAutoFillBackground(true);
        overlays.back()->setPalette(QPalette(Qt::black));
    }
    view.show();
    QCoreApplication::processEvents();
    const FrameSize size = view.frameSizeFor(1920, 1080);
    ASSERT_EQ(size.width, 320) << "one device pixel a pixel, as the offscreen screen has";
    ASSERT_EQ(size.height, 180);
    EXPECT_EQ(view.grab().toImage().pixelColor(160, 20), QColor(Qt::black));
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
    std::thread([&] { view.presentFrame(frame); }).join();  // from libVLC's thread
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.currentFrame() == frame; }, 5000));
    QCoreApplication::processEvents();  // the repaint it asks for
    view.repaint();
    overlays[0]->hide();  // Qt repaints the video under it alone
    QCoreApplication::processEvents();
    const auto expectColour = [](const QImage& shown, QPoint at, QColor expected) {
        const QColor got = shown.pixelColor(at);
        EXPECT_LT(std::abs(got.red() - expected.red()) + std::abs(got.green() - expected.green()) +
                      std::abs(got.blue() - expected.blue()),
                  24)
            << at.x() << "," << at.y() << ": " << got.name().toStdString();
    };
    const QImage shown = view.screen()->grabWindow(view.winId()).toImage();
    const std::pair<QPoint, QColor> cases[] = {
        {{10, 10}, red.rgb},    {{300, 10}, green.rgb},  {{10, 170}, blue.rgb},  {{300, 170}, white.rgb},
        {{101, 51}, red.rgb},   {{102, 51}, green.rgb},  {{101, 52}, blue.rgb},  {{102, 52}, white.rgb},
        {{140, 80}, white.rgb}, {{200, 120}, Qt::black}, {{239, 149}, Qt::black}};
    for (const auto& [at, expected] : cases) expectColour(shown, at, expected);
    expectColour(view.grab().toImage(), {300, 170}, white.rgb);
    view.resize(400, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.frameSizeFor(1, 1).width, 400);
    const QImage stretched = view.grab().toImage();
    expectColour(stretched, {5, 295}, blue.rgb);
    expectColour(stretched, {395, 5}, green.rgb);
}

TEST(VlcScoreSound, PlaysAFileOnceAndRefusesWhatItCannotPlay) {
    TempDir dir;
    EXPECT_FALSE(VlcScoreSound(dir / "none.mp3", {"--aout=adummy"}).play());
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
