#include <QBuffer>
#include <QFontMetrics>
#include <QLabel>
#include <QScreen>
#include <QWindow>
#include <functional>
#include <thread>

#include "base/virtual_scheduler.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "ui/black_view.h"
#include "ui/camera_preview_view.h"
#include "ui/next_view.h"
#include "ui/picture_view.h"
#include "ui/pitch_band_view.h"
#include "ui/qr_code_view.h"
#include "ui/scoring_view.h"
#include "ui/shadow_label.h"
#include "ui/ui_test_support.h"
#include "ui/video_view.h"
#include "ui/volume_view.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;

namespace {

// A picture as encoded bytes, the way a phone or the thumbnail store hands them over.
ImageBytes encoded(const QImage& image, const char* format = "PNG") {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return ImageBytes(bytes.begin(), bytes.end());
}

QImage filled(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// True when the label's own font has a glyph for every character of its text.
bool fontCovers(const QLabel* label, const QString& text) {
    const QFontMetrics metrics(label->font());
    for (char32_t c : text.toUcs4())
        if (c != ' ' && !metrics.inFontUcs4(c)) return false;
    return true;
}

bool centred(int at, int middle) { return std::abs(at - middle) <= 1; }

}  // namespace

TEST(MainWindowOverlays, EachOverlayShowsWhereItBelongs) {
    TempDir resources;
    const std::string scorePath = resources / "score.png";
    const QColor scoreColour(10, 200, 30);
    filled(64, 36, scoreColour).save(QString::fromStdString(scorePath));
    MainWindow window({QString(), QString::fromStdString(scorePath)});
    showActive(window);
    window.showNormal();  // from the whole screen it takes when it first becomes active
    window.resize(1280, 720);
    QCoreApplication::processEvents();
    ASSERT_EQ(window.screen().size(), QSize(1280, 720));
    ScreenView& screen = window.screen();
    const int W = screen.width(), H = screen.height();
    for (QWidget* overlay : std::initializer_list<QWidget*>{
             screen.title(), screen.next(), screen.message(), screen.picture(), screen.blackCover(),
             screen.volume(), screen.scoring(), screen.pitchBand()})
        EXPECT_FALSE(overlay->isVisible());
    EXPECT_EQ(screen.video()->geometry(), QRect(0, 0, W, H));

    window.setTitleText("Không tìm thấy ổ cứng chứa nhạc");
    window.setTitleVisible(true);
    EXPECT_TRUE(fontCovers(screen.title(), screen.title()->text()));
    EXPECT_TRUE(centred(screen.title()->geometry().center().x(), W / 2));
    EXPECT_LT(screen.title()->geometry().top(), H / 8);

    // White text stays readable on a white picture: its shadow darkens around it.
    const FrameSize size = screen.video()->frameSizeFor(1, 1);
    VideoFrame white{size.width, size.height, {}, {}};
    white.pixels.assign(white.byteSize(), 128);
    std::fill_n(white.pixels.begin(), size.width * size.height, 255);
    screen.video()->presentFrame(std::make_shared<VideoFrame>(std::move(white)));
    QCoreApplication::processEvents();
    const QImage titleShot = screen.grab(screen.title()->geometry()).toImage();
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
    EXPECT_TRUE(centred(message.center().y(), H / 2));
    EXPECT_TRUE(fontCovers(screen.message(), screen.message()->text()));

    // A phone's picture, cut to a circle from its middle square; one that does not decode keeps the last.
    ASSERT_TRUE(window.setPicture(encoded(filled(3000, 2000, Qt::blue))));
    EXPECT_EQ(screen.picture()->picture().width(), 1024);
    ASSERT_TRUE(window.setPicture(encoded(filled(300, 200, Qt::red), "JPG")));
    EXPECT_FALSE(window.setPicture(ImageBytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'}));
    const QImage& circle = screen.picture()->picture();
    EXPECT_EQ(circle.size(), QSize(200, 200));
    for (QPoint corner : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 199), QPoint(199, 199), QPoint(25, 25)})
        EXPECT_EQ(qAlpha(circle.pixel(corner)), 0) << corner.x() << "," << corner.y();
    EXPECT_EQ(qAlpha(circle.pixel(100, 2)), 255);  // the circle touches the edges
    EXPECT_GT(qRed(circle.pixel(100, 100)), 200);
    EXPECT_LT(qGreen(circle.pixel(100, 100)), 60);
    window.setPictureVisible(true);
    const QRect picture = screen.picture()->geometry();
    EXPECT_EQ(picture.right() + 1, W - 40);
    EXPECT_TRUE(centred(picture.center().y(), H / 2));
    EXPECT_EQ(picture.width(), picture.height());

    window.setVolumeVisible(true);
    for (const auto& [level, shown] : {std::pair{7, 7}, {14, 10}, {-3, 0}}) {
        window.setVolumeLevel(level);
        EXPECT_EQ(screen.volume()->level(), shown) << level;
    }
    EXPECT_TRUE(QRect(0, 0, W, H).contains(screen.volume()->geometry()));

    window.setScoreNumber(87);
    window.setScoreDetail("Cao độ 87% · Đúng nhịp 92%");
    window.setScoreVisible(true);
    const ScoringView& scoring = *screen.scoring();
    EXPECT_EQ(scoring.numberLabel()->text(), QString("87"));
    EXPECT_TRUE(centred(scoring.numberLabel()->geometry().center().x(), W / 2));
    // A measured score's line sits under the number, all of it on the screen.
    ASSERT_TRUE(scoring.detailLabel()->isVisible());
    EXPECT_TRUE(fontCovers(scoring.detailLabel(), scoring.detailLabel()->text()));
    EXPECT_GE(scoring.detailLabel()->y(), scoring.numberLabel()->geometry().bottom());
    EXPECT_LE(QFontMetrics(scoring.detailLabel()->font()).horizontalAdvance(scoring.detailLabel()->text()),
              W);
    window.setScoreDetail("");
    EXPECT_FALSE(scoring.detailLabel()->isVisible());

    // The black cover hides everything but the message.
    window.setBlackCoverVisible(true);
    const QImage covered = screen.grab().toImage();
    EXPECT_EQ(covered.pixelColor(picture.center()), QColor(Qt::black));
    EXPECT_EQ(covered.pixelColor(5, 5), QColor(Qt::black));
    bool messageDrawn = false;
    for (int x = 0; x < W && !messageDrawn; x += 2)
        messageDrawn = covered.pixelColor(x, H / 2).lightness() > 200;
    EXPECT_TRUE(messageDrawn);

    // The camera preview in a framed corner, above all.
    CameraPreviewView& preview = window.cameraPreview();
    EXPECT_FALSE(preview.isVisible());
    preview.setPreviewShown(true);
    const QRect frame = preview.pictureGeometry();
    EXPECT_TRUE(QRect(640, 360, 640, 360).contains(frame)) << frame.x() << "," << frame.y();

    // Pictures from another thread, as the capture sends them (blue, green, red, spare byte 0).
    const auto send = [&preview](QColor colour) {
        std::thread([&preview, colour] {
            PreviewFrame picture{32, 18, {}};
            for (int i = 0; i < 32 * 18; ++i)
                picture.pixels.insert(picture.pixels.end(),
                                      {std::uint8_t(colour.blue()), std::uint8_t(colour.green()),
                                       std::uint8_t(colour.red()), 0});
            preview.showPreviewFrame(std::move(picture));
        }).join();
    };
    const QColor orange(0xF0, 0x80, 0x10), green(0x20, 0xC0, 0x40);
    send(orange);
    EXPECT_TRUE(preview.frame().isNull());  // not painted from the capture's thread
    QCoreApplication::processEvents();
    ASSERT_FALSE(preview.frame().isNull());
    // As the screen shows it, shadow included.
    const QImage shown = window.screen().grab().toImage();
    EXPECT_EQ(shown.pixelColor(frame.center()), orange);
    EXPECT_NE(shown.pixelColor(frame.topLeft()), orange);  // the rounded corner
    EXPECT_EQ(shown.pixelColor(frame.topLeft() + QPoint(8, 8)), orange);
    // The next picture replaces it.
    send(green);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.screen().grab().toImage().pixelColor(frame.center()), green);
    preview.setPreviewShown(false);

    // The up-next panel, which fades.
    NextView* next = window.screen().next();
    window.fadeNextView(0.0);
    window.setNextViewVisible(true);

    const QImage thumbnail = filled(320, 180, QColor(0, 0, 255));
    window.setNextContent(encoded(thumbnail), "Tiếp theo", "Người ấy", "Trịnh Thăng Bình");
    EXPECT_EQ(next->thumbnail().size(), thumbnail.size());
    for (QLabel* label : {next->upNextLabel(), next->titleLabel(), next->singerLabel()})
        EXPECT_TRUE(fontCovers(label, label->text() + "ƯuChọnữỹđ")) << label->text().toStdString();

    window.fadeNextView(1.0);
    EXPECT_TRUE(next->isFading());
    EXPECT_LT(next->opacity(), 1.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !next->isFading(); }, 5000));
    EXPECT_DOUBLE_EQ(next->opacity(), 1.0);

    // In the top right corner, inside the screen, wider than tall.
    const QRect panel = next->geometry(), all = window.screen().rect();
    EXPECT_TRUE(all.contains(panel));
    EXPECT_GT(panel.center().x(), all.width() / 2);
    EXPECT_LT(panel.center().y(), all.height() / 2);
    EXPECT_GT(panel.width(), panel.height());

    // No thumbnail (or a broken one): the banner picture; a long title ends in an ellipsis.
    const QImage firstContent = next->grab().toImage();
    window.setNextContent(std::nullopt, "Ưu tiên", std::string(200, 'A'), "");
    EXPECT_NE(next->grab().toImage(), firstContent);
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
    EXPECT_TRUE(centred(window.screen().title()->geometry().center().x(), all.width() / 2));
    EXPECT_TRUE(next->isVisible());  // only its alpha changes

    // The score screen covers the song's overlays: its title, the up-next panel even as it fades in
    // when the song ends, and the page's QR code. Read from the window's pixels as shown, which
    // are painted piecemeal as each overlay changes, not drawn afresh as grab() would.
    window.setBlackCoverVisible(false);
    window.setMessageVisible(false);
    window.setPictureVisible(false);
    window.setVolumeVisible(false);
    window.setScoreVisible(false);
    // The pitch band along the bottom: the song's notes ahead as bars at their pitch (C4 then G4 from 1 s),
    // and the singer's latest note as a dot at "now", an octave folded onto the song's.
    PitchBandView& band = *screen.pitchBand();
    window.setPitchBand(std::make_shared<Melody>(Melody{std::vector<float>(100, NAN)}));
    EXPECT_FALSE(band.isVisible());  // nothing voiced to follow
    auto melody = std::make_shared<Melody>(Melody{std::vector<float>(100, NAN)});
    melody->notes.insert(melody->notes.end(), 250, 60.2f);
    melody->notes.insert(melody->notes.end(), 250, 67.0f);
    window.setPitchBand(melody);
    std::vector<SungFrame> sung;
    for (std::int64_t frame = 0; frame <= 120; ++frame) sung.push_back({frame, frame < 100 ? NAN : 76.1f});
    window.addSungPitches(sung);
    ASSERT_TRUE(band.isVisible());
    EXPECT_GT(band.y(), H * 3 / 4);
    EXPECT_EQ(band.now(), 120);
    QCoreApplication::processEvents();
    const QImage bandShot = window.windowHandle()->screen()->grabWindow(window.winId()).toImage();
    const auto colourAt = [&](std::int64_t frame, float note) {
        return bandShot.pixelColor(band.mapTo(&window, band.pointOf(frame, note).toPoint()));
    };
    const auto bar = [](QColor c) { return c.blue() > 200 && c.red() < 140; };
    const auto dot = [](QColor c) { return c.red() > 200 && c.green() > 150 && c.blue() < 120; };
    EXPECT_TRUE(bar(colourAt(250, 60))) << colourAt(250, 60).name().toStdString();
    EXPECT_FALSE(bar(colourAt(250, 67)));
    EXPECT_TRUE(bar(colourAt(450, 67)));
    EXPECT_FALSE(bar(colourAt(450, 60)));
    EXPECT_TRUE(dot(colourAt(120, 64))) << colourAt(120, 64).name().toStdString();
    EXPECT_FALSE(dot(colourAt(120, 67)));
    EXPECT_LT(band.pointOf(0, 64).y(), band.pointOf(0, 60).y());
    EXPECT_LT(band.pointOf(0, 67).y(), band.pointOf(0, 64).y());

    VirtualScheduler clock;
    SongManager songs;
    QrCodeView qr(
        clock, songs, [] { return std::optional<std::string>("http://192.168.1.20:6790/"); }, screen);
    ASSERT_TRUE(qr.isVisible() && screen.title()->isVisible());

    // Each overlay is drawn once per change and then only blended over the video's frames: a new
    // text, a new size or the band's next notes show in full at the next frame.
    const auto drawn = [&](QWidget* overlay) {
        screen.video()->repaint();  // a frame under the overlays
        const QImage shot = window.windowHandle()->screen()->grabWindow(window.winId()).toImage();
        return shot.copy(QRect(overlay->mapTo(&window, QPoint(0, 0)), overlay->size()));
    };
    const auto drawnWidth = [](const QImage& image) {
        int left = image.width(), right = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) != QColor(Qt::white)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return right - left + 1;
    };
    const auto resize = [&](int width, int height) {
        window.resize(width, height);
        QCoreApplication::processEvents();
    };
    const std::vector<SungFrame> later{{200, 64.0f}};
    const struct {
        const char* name;
        QWidget* overlay;
        std::function<void()> change;
        int widens;  // 1: the drawing is wider after the change, -1 narrower, 0 as wide
    } changes[] = {
        {"shorter title", screen.title(), [&] { window.setTitleText("Ánh"); }, -1},
        {"longer title", screen.title(), [&] { window.setTitleText("Người ấy - Trịnh Thăng Bình"); }, 1},
        {"bigger screen", &band, [&] { resize(1600, 900); }, 1},
        {"smaller screen", &qr, [&] { resize(W, H); }, -1},
        {"next notes", &band, [&] { window.addSungPitches(later); }, 0},
    };
    for (const auto& [name, overlay, change, widens] : changes) {
        const QImage before = drawn(overlay);
        change();
        const QImage after = drawn(overlay);
        EXPECT_NE(after, before) << name;
        const int wider = drawnWidth(after) - drawnWidth(before);
        EXPECT_EQ((wider > 0) - (wider < 0), widens) << name << ": " << wider;
    }
    ASSERT_EQ(screen.size(), QSize(W, H));

    const auto uncovered = [&](QWidget* overlay) {
        QCoreApplication::processEvents();
        const QImage shown = window.windowHandle()->screen()->grabWindow(window.winId()).toImage();
        const QRect area(overlay->mapTo(&window, QPoint(0, 0)), overlay->size());
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); y += 4)
            for (int x = area.left(); x <= area.right(); x += 4)
                count += shown.pixelColor(x, y) != scoreColour;
        return count;
    };
    const std::pair<const char*, QWidget*> songOverlays[] = {
        {"title", screen.title()}, {"up next", next}, {"QR code", &qr}, {"pitch band", &band}};
    for (const auto& [name, overlay] : songOverlays) ASSERT_GT(uncovered(overlay), 0) << name;  // not yet
    window.fadeNextView(1.0);
    window.setScoreVisible(true);
    ASSERT_TRUE(next->isFading());
    for (const auto& [name, overlay] : songOverlays) EXPECT_EQ(uncovered(overlay), 0) << name;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !next->isFading(); }, 5000));
    EXPECT_EQ(uncovered(next), 0);
    window.setTitleText("Vui lòng chọn bài hát");
    EXPECT_EQ(uncovered(screen.title()), 0);
    window.setPitchBand(nullptr);
    EXPECT_FALSE(band.isVisible());
}

TEST(QrCodeView, ScansAsTheAddressAndShowsWhileNothingIsQueuedAndAtEachStart) {
    VirtualScheduler clock;
    SongManager songs;
    std::vector<Song> list{*songFromPath("/k", "Anh - Tuấn.mp4"), *songFromPath("/k", "Bông - Lan.mp4")};
    songs.addAll(std::make_shared<Catalogue>(buildCatalogue(std::move(list))));
    ScreenView screen({}, {});
    const std::string address = "http://192.168.1.20:6790/";
    QrCodeView qr(
        clock, songs, [&] { return std::optional(address); }, screen);
    screen.show();
    EXPECT_TRUE(qr.isVisible());  // the intro
    // Readable from three metres on every screen (8 px a module at 1080 lines), at the left edge above
    // the idle clip's hint and its texts, under every overlay: only the video is below it.
    for (const QSize size : {QSize(1920, 1080), QSize(1280, 720), QSize(3840, 2160), QSize(1920, 1200)}) {
        screen.resize(size);
        EXPECT_GE(qr.moduleSize() * 1080, 8 * size.height()) << size.height();
        EXPECT_GE(qr.y(), 0) << size.height();
        EXPECT_LT(qr.geometry().bottom(), QrCodeView::hintTop(size)) << size.height();
        EXPECT_LT(qr.geometry().right(), size.width() * 19 / 100) << size.height();
    }
    const auto stack = screen.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_GE(stack.size(), 3);
    EXPECT_EQ(stack[0], screen.video());
    EXPECT_EQ(stack[1], &qr);
    screen.resize(1920, 1080);
    TempDir dir;
    ASSERT_TRUE(qr.grab().save(QString::fromStdString(dir / "code.png")));
    EXPECT_EQ(runProgram(findProgram("zbarimg"), {"--quiet", "--raw", dir / "code.png"}).out, address + "\n");

    // Each queued song's start shows it for 10 s; the queue run dry keeps it up.
    const auto current = [&](std::int32_t id) {
        songs.setCurrentSongId(id);
        qr.currentSongChanged(id);
    };
    const auto queue = [&](auto change) {
        change();
        qr.queueChanged();
    };
    queue([&] { songs.queueAdd(*songs.getSong(0)); });
    current(0);
    clock.advance(9999ms);
    EXPECT_TRUE(qr.isVisible());
    clock.advance(1ms);
    EXPECT_FALSE(qr.isVisible());
    queue([&] { songs.queueAdd(*songs.getSong(1)); });
    EXPECT_FALSE(qr.isVisible());
    queue([&] { songs.queueDelete(0); });
    current(1);
    EXPECT_TRUE(qr.isVisible());
    clock.advance(10s);
    EXPECT_FALSE(qr.isVisible());
    queue([&] { songs.queueDelete(0); });
    current(0);
    clock.advance(30s);
    EXPECT_TRUE(qr.isVisible());

    QrCodeView none(
        clock, songs, [] { return std::optional<std::string>(); }, screen);
    none.currentSongChanged(-1);
    none.queueChanged();
    EXPECT_FALSE(none.isVisible());
    EXPECT_TRUE(none.modules().isNull());
}
