#include "ui/qr_code_view.h"

#include <gtest/gtest.h>

#include <QWidget>

#include "base/virtual_scheduler.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "ui/screen_view.h"
#include "ui/shadow_label.h"
#include "ui/video_view.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;

namespace {

SongManager& withSongs(SongManager& songs) {
    std::vector<Song> list{*songFromPath("/k/Karaoke", "Anh - Tuấn.mp4"),
                           *songFromPath("/k/Karaoke", "Bông - Lan.mp4")};
    songs.addAll(std::make_shared<Catalogue>(buildCatalogue(std::move(list))));
    return songs;
}

}  // namespace

TEST(QrCodeView, ScansAsTheAddressAndShowsWhileNothingIsQueuedAndAtEachStart) {
    VirtualScheduler clock;
    SongManager songs;
    withSongs(songs);
    ScreenView screen({}, {});
    screen.resize(1920, 1080);
    const std::string address = "http://192.168.1.20:6790/";
    QrCodeView qr(
        clock, songs, [&] { return std::optional(address); }, screen);
    screen.show();

    // The intro: shown, and a scanner reads it.
    EXPECT_TRUE(qr.isVisible());
    EXPECT_EQ(qr.address(), QString::fromStdString(address));
    // Readable from three metres on every screen (8 px a module at 1080 lines), at the left
    // edge above the idle clip's hint (a 16:9 picture fitted to the screen), and under every
    // overlay: the video is the only thing below it.
    for (const QSize size : {QSize(1920, 1080), QSize(1280, 720), QSize(3840, 2160), QSize(1920, 1200)}) {
        screen.resize(size);
        EXPECT_GE(qr.moduleSize() * 1080, 8 * size.height()) << size.height();
        EXPECT_GE(qr.y(), 0) << size.height();
        EXPECT_LT(qr.geometry().bottom(), QrCodeView::hintTop(size)) << size.height();
        EXPECT_LT(qr.geometry().right(), size.width() * 19 / 100) << size.height();  // the clip's texts
    }
    EXPECT_EQ(QrCodeView::hintTop(QSize(1920, 1200)), 60 + 1080 * 84 / 100);
    const auto stack = screen.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_GE(stack.size(), 3);
    EXPECT_EQ(stack[0], screen.video());
    EXPECT_EQ(stack[1], &qr);
    screen.resize(1920, 1080);
    TempDir dir;
    ASSERT_TRUE(qr.grab().save(QString::fromStdString(dir / "code.png")));
    const auto scanned = runProgram(findProgram("zbarimg"), {"--quiet", "--raw", dir / "code.png"});
    EXPECT_EQ(scanned.out, address + "\n");

    // A queued song starts: shown for 10 s, then gone while songs are queued.
    songs.queueAdd(*songs.getSong(0));
    songs.setCurrentSongId(0);
    qr.currentSongChanged(0);
    qr.queueChanged();
    EXPECT_TRUE(qr.isVisible());
    clock.advance(9999ms);
    EXPECT_TRUE(qr.isVisible());
    clock.advance(1ms);
    EXPECT_FALSE(qr.isVisible());
    songs.queueAdd(*songs.getSong(1));
    qr.queueChanged();
    EXPECT_FALSE(qr.isVisible());
    // The next one starts: 10 s again.
    songs.queueDelete(0);
    songs.setCurrentSongId(1);
    qr.queueChanged();
    qr.currentSongChanged(1);
    EXPECT_TRUE(qr.isVisible());
    clock.advance(10s);
    EXPECT_FALSE(qr.isVisible());
    // The queue runs dry: a random song or the idle clip keeps it up.
    songs.queueDelete(0);
    qr.queueChanged();
    songs.setCurrentSongId(0);
    qr.currentSongChanged(0);
    EXPECT_TRUE(qr.isVisible());
    clock.advance(30s);
    EXPECT_TRUE(qr.isVisible());
}

TEST(QrCodeView, NoAddressNoCode) {
    VirtualScheduler clock;
    SongManager songs;
    withSongs(songs);
    ScreenView screen({}, {});
    screen.resize(1280, 720);
    QrCodeView qr(
        clock, songs, [] { return std::optional<std::string>(); }, screen);
    screen.show();
    qr.currentSongChanged(-1);
    qr.queueChanged();
    EXPECT_FALSE(qr.isVisible());
    EXPECT_TRUE(qr.modules().isNull());
}
