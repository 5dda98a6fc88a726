#include "ui/qr_code_view.h"

#include <gtest/gtest.h>

#include <QWidget>

#include "base/virtual_scheduler.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

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
    QWidget screen;
    screen.resize(1920, 1080);
    const std::string address = "http://192.168.1.20:6790/";
    QrCodeView qr(
        clock, songs, [&] { return std::optional(address); }, &screen);
    screen.show();

    // The intro: shown, in a corner, a quarter of the screen's height, and a scanner reads it.
    EXPECT_TRUE(qr.isVisible());
    EXPECT_EQ(qr.address(), QString::fromStdString(address));
    EXPECT_GE(qr.height(), 1080 / 4 - qr.modules().width());
    EXPECT_LE(qr.geometry().bottom(), 1080);
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
    QWidget screen;
    screen.resize(1280, 720);
    QrCodeView qr(
        clock, songs, [] { return std::optional<std::string>(); }, &screen);
    screen.show();
    qr.currentSongChanged(-1);
    qr.queueChanged();
    EXPECT_FALSE(qr.isVisible());
    EXPECT_TRUE(qr.modules().isNull());
}
