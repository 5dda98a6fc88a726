#include <gtest/gtest.h>

#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QMenuBar>
#include <QTest>
#include <thread>

#include "app/media/video_sink.h"
#include "support/temp_dir.h"
#include "ui/black_view.h"
#include "ui/camera_preview_view.h"
#include "ui/circle_picture.h"
#include "ui/main_window.h"
#include "ui/next_view.h"
#include "ui/picture_view.h"
#include "ui/scoring_view.h"
#include "ui/screen_view.h"
#include "ui/shadow_label.h"
#include "ui/ui_test_support.h"
#include "ui/video_view.h"
#include "ui/volume_view.h"

using namespace vocalis;
using namespace vocalis::testing;

namespace {

// True when the label's own font has a glyph for every character of its text.
bool fontCovers(const QLabel* label, const QString& text) {
    const QFontMetrics metrics(label->font());
    for (char32_t c : text.toUcs4())
        if (c != ' ' && !metrics.inFontUcs4(c)) return false;
    return true;
}

// The window takes the whole screen when it first becomes active; tests want their own size.
void showWindowed(MainWindow& window, int width, int height) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 10000));
    window.showNormal();
    window.resize(width, height);
    QCoreApplication::processEvents();
    ASSERT_EQ(window.screen().size(), QSize(width, height));
}

}  // namespace

TEST(CirclePicture, CornersAreTransparentAndTheMiddleKeepsThePicture) {
    auto circle = circlePicture(encoded(filled(300, 200, Qt::red), "JPG"));
    ASSERT_TRUE(circle.has_value());
    EXPECT_EQ(circle->size(), QSize(200, 200));  // the centred square of the picture
    for (QPoint corner : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 199), QPoint(199, 199), QPoint(25, 25)})
        EXPECT_EQ(qAlpha(circle->pixel(corner)), 0) << corner.x() << "," << corner.y();
    const QRgb middle = circle->pixel(100, 100);
    EXPECT_EQ(qAlpha(middle), 255);
    EXPECT_GT(qRed(middle), 200);
    EXPECT_LT(qGreen(middle), 60);
    EXPECT_EQ(qAlpha(circle->pixel(100, 2)), 255);  // the circle touches the edges

    auto big = circlePicture(encoded(filled(3000, 2000, Qt::blue)));
    ASSERT_TRUE(big.has_value());
    EXPECT_EQ(big->width(), 1024);

    EXPECT_FALSE(circlePicture({}).has_value());
    EXPECT_FALSE(circlePicture(ImageBytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'}).has_value());
    ImageBytes truncated = encoded(filled(64, 64, Qt::green));
    truncated.resize(truncated.size() / 3);
    EXPECT_FALSE(circlePicture(truncated).has_value());
}

TEST(MainWindowOverlays, EachOverlayShowsWhereItBelongs) {
    TempDir resources;
    const std::string scorePath = resources / "score.png";
    filled(64, 36, QColor(10, 200, 30)).save(QString::fromStdString(scorePath));
    MainWindow window({QString(), QString::fromStdString(scorePath)});
    showWindowed(window, 1280, 720);
    ScreenView& screen = window.screen();
    const int W = screen.width(), H = screen.height();
    ASSERT_GT(W, 0);

    // At start every overlay is hidden and the video fills the view.
    for (QWidget* overlay : {static_cast<QWidget*>(screen.title()), static_cast<QWidget*>(screen.next()),
                             static_cast<QWidget*>(screen.message()), static_cast<QWidget*>(screen.picture()),
                             static_cast<QWidget*>(screen.blackCover()),
                             static_cast<QWidget*>(screen.volume()), static_cast<QWidget*>(screen.scoring())})
        EXPECT_FALSE(overlay->isVisible());
    EXPECT_EQ(screen.video()->geometry(), QRect(0, 0, W, H));

    window.setTitleText("Không tìm thấy ổ cứng chứa nhạc");
    window.setTitleVisible(true);
    EXPECT_TRUE(screen.title()->isVisible());
    EXPECT_EQ(screen.title()->text(), QString("Không tìm thấy ổ cứng chứa nhạc"));
    EXPECT_TRUE(fontCovers(screen.title(), screen.title()->text()));
    EXPECT_LE(std::abs(screen.title()->geometry().center().x() - W / 2), 1);
    EXPECT_LT(screen.title()->geometry().top(), H / 8);
    EXPECT_TRUE(screen.title()->font().bold());

    // White text stays readable on a white picture: its shadow darkens around it.
    auto white = std::make_shared<VideoFrame>();
    const FrameSize frameSize = screen.video()->frameSizeFor(1, 1);
    white->width = frameSize.width;
    white->height = frameSize.height;
    white->pixels.assign(static_cast<std::size_t>(white->stride()) * static_cast<std::size_t>(white->height),
                         0xff);
    screen.video()->presentFrame(white);
    QCoreApplication::processEvents();
    const QRect titleArea = screen.title()->geometry();
    const QImage titleShot = screen.grab(titleArea).toImage();
    int shaded = 0;
    for (int y = 0; y < titleShot.height(); y += 2)
        for (int x = 0; x < titleShot.width(); x += 2) shaded += titleShot.pixelColor(x, y).lightness() < 160;
    EXPECT_GT(shaded, 50);
    EXPECT_EQ(titleShot.pixelColor(2, titleShot.height() - 2), QColor(Qt::white));  // far from the text

    window.setMessageText("Chúc mừng sinh nhật Ngọc Ánh");
    window.setMessageVisible(true);
    const QRect message = screen.message()->geometry();
    EXPECT_EQ(message.left(), 0);
    EXPECT_EQ(message.width(), W);
    EXPECT_LE(std::abs(message.center().y() - H / 2), 1);
    EXPECT_TRUE(fontCovers(screen.message(), screen.message()->text()));

    // A picture that does not decode changes nothing.
    EXPECT_FALSE(window.setPicture(ImageBytes{1, 2, 3, 4}));
    EXPECT_TRUE(screen.picture()->picture().isNull());
    EXPECT_TRUE(window.setPicture(encoded(filled(80, 120, Qt::yellow))));
    EXPECT_EQ(screen.picture()->picture().size(), QSize(80, 80));
    EXPECT_FALSE(window.setPicture(ImageBytes{0x89, 'P', 'N', 'G'}));
    EXPECT_EQ(screen.picture()->picture().size(), QSize(80, 80));
    window.setPictureVisible(true);
    const QRect picture = screen.picture()->geometry();
    EXPECT_EQ(picture.right() + 1, W - 40);
    EXPECT_LE(std::abs(picture.center().y() - H / 2), 1);
    EXPECT_EQ(picture.width(), picture.height());

    window.setVolumeLevel(7);
    window.setVolumeVisible(true);
    EXPECT_EQ(screen.volume()->level(), 7);
    window.setVolumeLevel(14);
    EXPECT_EQ(screen.volume()->level(), 10);
    window.setVolumeLevel(-3);
    EXPECT_EQ(screen.volume()->level(), 0);
    EXPECT_TRUE(screen.volume()->isVisible());
    EXPECT_TRUE(QRect(0, 0, W, H).contains(screen.volume()->geometry()));

    window.setScoreNumber(87);
    window.setScoreVisible(true);
    EXPECT_EQ(screen.scoring()->geometry(), QRect(0, 0, W, H));
    EXPECT_EQ(screen.scoring()->numberLabel()->text(), QString("87"));
    EXPECT_LE(std::abs(screen.scoring()->numberLabel()->geometry().center().x() - W / 2), 1);
    // The background is stretched over the whole screen.
    const QImage scoreShot = screen.scoring()->grab().toImage();
    EXPECT_EQ(scoreShot.pixelColor(5, 5), QColor(10, 200, 30));
    EXPECT_EQ(scoreShot.pixelColor(scoreShot.width() - 5, scoreShot.height() - 5), QColor(10, 200, 30));

    // The black cover hides everything but the message.
    window.setBlackCoverVisible(true);
    EXPECT_EQ(screen.blackCover()->geometry(), QRect(0, 0, W, H));
    const QImage covered = screen.grab().toImage();
    EXPECT_EQ(covered.pixelColor(picture.center()), QColor(Qt::black));
    EXPECT_EQ(covered.pixelColor(5, 5), QColor(Qt::black));
    bool messageDrawn = false;
    for (int x = 0; x < W && !messageDrawn; x += 2)
        messageDrawn = covered.pixelColor(x, H / 2).lightness() > 200;
    EXPECT_TRUE(messageDrawn);
    window.setBlackCoverVisible(false);
    window.setScoreVisible(false);
    EXPECT_FALSE(screen.scoring()->isVisible());

    // Another size: everything follows.
    showWindowed(window, 1000, 600);
    window.nudgeVideo();
    const int W2 = screen.width(), H2 = screen.height();
    EXPECT_NE(W2, W);
    EXPECT_EQ(screen.video()->geometry(), QRect(0, 0, W2, H2));
    EXPECT_EQ(screen.message()->width(), W2);
    EXPECT_EQ(screen.picture()->geometry().right() + 1, W2 - 40);
    EXPECT_LE(std::abs(screen.picture()->geometry().center().y() - H2 / 2), 1);
}

TEST(MainWindowOverlays, TheCameraPreviewShowsFramesFromTheCapturesThreadInAFramedCorner) {
    MainWindow window({QString(), QString()});
    showWindowed(window, 1280, 720);
    CameraPreviewView& preview = window.cameraPreview();
    EXPECT_FALSE(preview.isVisible());
    preview.setPreviewShown(true);
    EXPECT_TRUE(preview.isVisible());
    const QRect frame = preview.pictureGeometry();
    EXPECT_GT(frame.left(), 1280 / 2);
    EXPECT_GT(frame.top(), 720 / 2);
    EXPECT_LT(frame.right(), 1280);
    EXPECT_LT(frame.bottom(), 720);

    // An orange picture from another thread, as the capture sends it (blue, green, red, spare).
    std::thread([&preview] {
        PreviewFrame orange{32, 18, {}};
        for (int i = 0; i < 32 * 18; ++i) orange.pixels.insert(orange.pixels.end(), {0x10, 0x80, 0xF0, 0});
        preview.showPreviewFrame(std::move(orange));
    }).join();
    EXPECT_TRUE(preview.frame().isNull());  // not painted from the capture's thread
    QCoreApplication::processEvents();
    ASSERT_FALSE(preview.frame().isNull());
    // As the screen shows it, shadow included.
    const QImage shown = window.screen().grab().toImage();
    EXPECT_EQ(shown.pixelColor(frame.center()), QColor(0xF0, 0x80, 0x10));
    EXPECT_NE(shown.pixelColor(frame.topLeft()), QColor(0xF0, 0x80, 0x10));  // the rounded corner
    EXPECT_EQ(shown.pixelColor(frame.topLeft() + QPoint(8, 8)), QColor(0xF0, 0x80, 0x10));

    preview.setPreviewShown(false);
    EXPECT_FALSE(preview.isVisible());
}

TEST(MainWindowOverlays, TheUpNextPanelFadesAndShowsTheSong) {
    MainWindow window({});
    showWindowed(window, 1280, 720);
    NextView* next = window.screen().next();
    EXPECT_FALSE(next->isVisible());
    window.fadeNextView(0.0);
    window.setNextViewVisible(true);
    EXPECT_TRUE(next->isVisible());

    const QImage thumbnail = filled(320, 180, QColor(0, 0, 255));
    window.setNextContent(encoded(thumbnail), "Tiếp theo", "Người ấy", "Trịnh Thăng Bình");
    EXPECT_EQ(next->thumbnail().size(), thumbnail.size());
    EXPECT_EQ(next->upNextText(), QString("Tiếp theo"));
    EXPECT_EQ(next->titleLabel()->text(), QString("Người ấy"));
    EXPECT_EQ(next->singerLabel()->text(), QString("Trịnh Thăng Bình"));
    for (QLabel* label : {next->upNextLabel(), next->titleLabel(), next->singerLabel()})
        EXPECT_TRUE(fontCovers(label, label->text() + "ƯuChọnữỹđ")) << label->text().toStdString();

    window.fadeNextView(1.0);
    EXPECT_TRUE(next->isFading());
    EXPECT_LT(next->opacity(), 1.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !next->isFading(); }, 5000));
    EXPECT_DOUBLE_EQ(next->opacity(), 1.0);

    // In the top right corner, inside the screen, wider than tall.
    const QRect panel = next->geometry();
    const QRect all = window.screen().rect();
    EXPECT_TRUE(all.contains(panel));
    EXPECT_GT(panel.center().x(), all.width() / 2);
    EXPECT_LT(panel.center().y(), all.height() / 2);
    EXPECT_GT(panel.width(), panel.height());

    // No thumbnail (or a broken one): the banner picture; a long title ends in an ellipsis.
    window.setNextContent(std::nullopt, "Ưu tiên", std::string(200, 'A'), "");
    EXPECT_FALSE(next->thumbnail().isNull());
    EXPECT_NE(next->thumbnail().size(), thumbnail.size());
    EXPECT_TRUE(next->titleLabel()->text().endsWith(QChar(0x2026)));
    window.setNextContent(ImageBytes{9, 9, 9}, "Chọn", "Bài", "Ca sĩ");
    EXPECT_NE(next->thumbnail().size(), thumbnail.size());

    // The title banner keeps clear of the panel while it shows, and is centred again after.
    window.setTitleText("Người ấy - Trịnh Thăng Bình");
    window.setTitleVisible(true);
    EXPECT_FALSE(window.screen().title()->geometry().intersects(next->geometry()));

    window.fadeNextView(0.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !next->isFading(); }, 5000));
    EXPECT_DOUBLE_EQ(next->opacity(), 0.0);
    EXPECT_LE(std::abs(window.screen().title()->geometry().center().x() - all.width() / 2), 1);
    EXPECT_TRUE(next->isVisible());  // only its alpha changes
}

TEST(MainWindowMenus, DisabledUntilTheEngineEnablesThem) {
    MainWindow window({});
    QAction* items[] = {window.menuSelectSong(), window.menuThumbnail(), window.menuEqualizer(),
                        window.menuSettings(), window.menuRecord()};
    for (QAction* item : items) {
        ASSERT_NE(item, nullptr);
        EXPECT_FALSE(item->isEnabled()) << item->objectName().toStdString();
        EXPECT_FALSE(item->text().isEmpty());
    }
    window.setMenusEnabled(true, false);
    for (QAction* item : items) EXPECT_EQ(item->isEnabled(), item != window.menuRecord());
    window.setMenusEnabled(true, true);
    EXPECT_TRUE(window.menuRecord()->isEnabled());

    int settingsOpened = 0;
    QObject::connect(&window, &MainWindow::settingsRequested, [&] { ++settingsOpened; });
    window.menuSettings()->trigger();
    EXPECT_EQ(settingsOpened, 1);
}
