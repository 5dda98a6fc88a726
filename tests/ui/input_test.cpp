#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QApplication>

#include "app/engine_harness.h"
#include "ui/main_window.h"
#include "ui/screen_view.h"
#include "ui/video_view.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;

namespace {

void press(MainWindow& window, Qt::Key key, EngineHarness& h) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &up);
    h.clock.runPending();
}

void moveMouse(QWidget* over) {
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), over->mapToGlobal(QPointF(10, 10)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(over, &move);
}

bool pointerShown(const MainWindow& window) {
    return window.cursor().shape() != Qt::BlankCursor && window.menus()->isVisibleTo(&window);
}

}  // namespace

TEST(MainWindowKeys, FunctionKeysDriveTheEngineAndOtherKeysDoNothing) {
    EngineHarness h({"Alpha - An.mp4", "Beta - Bình.mp4"});
    h.launchToFirstSong();
    MainWindow window({});
    window.setEngine(h.engine.get());
    const std::int32_t alpha = h.idOf("Alpha"), beta = h.idOf("Beta");
    h.engine->addSong(alpha, false, "");
    h.engine->addSong(beta, false, "");
    h.clock.advance(2100ms);  // past the lock of the song start
    ASSERT_EQ(h.songs.currentSongId(), alpha);
    ASSERT_TRUE(h.engine->isPlaying());

    // Keys that mean nothing leave everything as it was.
    const auto opened = h.player.opened.size();
    for (Qt::Key key : {Qt::Key_A, Qt::Key_Space, Qt::Key_Escape, Qt::Key_Return, Qt::Key_F1, Qt::Key_F6})
        press(window, key, h);
    EXPECT_EQ(h.player.opened.size(), opened);
    EXPECT_TRUE(h.engine->isPlaying());
    EXPECT_FLOAT_EQ(h.volume.volume, 0.5f);
    EXPECT_FALSE(h.engine->flags().isLockNext || h.engine->flags().isLockReplay ||
                 h.engine->flags().isLockSwitchTrack);

    press(window, Qt::Key_F8, h);  // pause, as the user's own
    EXPECT_FALSE(h.engine->isPlaying());
    EXPECT_TRUE(h.engine->flags().isUserPause);
    press(window, Qt::Key_F8, h);
    EXPECT_TRUE(h.engine->isPlaying());

    press(window, Qt::Key_F12, h);
    EXPECT_NEAR(h.volume.volume, 0.595f, 1e-4);
    EXPECT_TRUE(h.overlays.volumeVisible);
    press(window, Qt::Key_F10, h);
    EXPECT_NEAR(h.volume.volume, 0.5f, 1e-4);
    press(window, Qt::Key_F11, h);  // F11 lowers the volume like F10
    EXPECT_NEAR(h.volume.volume, 0.405f, 1e-4);

    press(window, Qt::Key_Tab, h);  // the backing track
    EXPECT_TRUE(h.engine->flags().isMusic);
    EXPECT_EQ(h.player.track, 1);

    press(window, Qt::Key_F9, h);  // skip to the next song in the queue
    EXPECT_EQ(h.songs.currentSongId(), beta);
    EXPECT_EQ(h.songs.getQueueCount(), 1);
    EXPECT_TRUE(h.engine->flags().isLockNext);

    h.clock.advance(2100ms);
    press(window, Qt::Key_F7, h);  // replay the current song
    EXPECT_TRUE(h.engine->flags().isLockReplay);
    EXPECT_EQ(h.songs.currentSongId(), beta);
    EXPECT_GT(h.player.opened.size(), opened + 1);
}

TEST(MainWindowKeys, TheKeyboardsMediaKeys) {
    EngineHarness h({"Alpha - An.mp4", "Beta - Bình.mp4", "Gamma - Giang.mp4"});
    h.launchToFirstSong();
    MainWindow window({});
    window.setEngine(h.engine.get());
    for (const char* title : {"Alpha", "Beta", "Gamma"}) h.engine->addSong(h.idOf(title), false, "");
    h.clock.advance(2100ms);

    for (Qt::Key key : {Qt::Key_MediaTogglePlayPause, Qt::Key_MediaPause, Qt::Key_MediaPlay}) {
        const bool before = h.engine->isPlaying();
        press(window, key, h);
        EXPECT_NE(h.engine->isPlaying(), before) << key;
    }
    press(window, Qt::Key_MediaNext, h);
    EXPECT_EQ(h.songs.currentSongId(), h.idOf("Beta"));
    press(window, Qt::Key_MediaNext, h);  // the skip lock holds
    EXPECT_EQ(h.songs.currentSongId(), h.idOf("Beta"));
    h.clock.advance(2100ms);
    press(window, Qt::Key_MediaPrevious, h);
    EXPECT_TRUE(h.engine->flags().isLockReplay);
    EXPECT_EQ(h.songs.currentSongId(), h.idOf("Beta"));
}

TEST(MainWindowPointer, HidesThreeSecondsAfterTheLastMovement) {
    VirtualScheduler clock;
    MainWindow window({}, clock);
    EXPECT_FALSE(pointerShown(window));  // hidden from the start

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 10000));
    EXPECT_TRUE(window.isFullScreen());
    EXPECT_FALSE(pointerShown(window));

    QWidget* video = window.screen().video();
    moveMouse(video);
    EXPECT_TRUE(pointerShown(window));
    clock.advance(2900ms);
    EXPECT_TRUE(pointerShown(window));
    moveMouse(video);  // moving again keeps it
    clock.advance(2900ms);
    EXPECT_TRUE(pointerShown(window));
    clock.advance(100ms);
    EXPECT_FALSE(pointerShown(window));

    // An operator window is open: the pointer shows and stays, movement schedules nothing.
    moveMouse(video);
    window.autoToHideCursor(false);
    EXPECT_TRUE(pointerShown(window));
    clock.advance(60s);
    moveMouse(video);
    EXPECT_TRUE(pointerShown(window));
    EXPECT_EQ(clock.runPending(), 0);
    clock.runUntilIdle(Millis(3600 * 1000));
    EXPECT_TRUE(pointerShown(window));

    // Closed again: hidden at once, and movement wakes it as before.
    window.autoToHideCursor(true);
    EXPECT_FALSE(pointerShown(window));
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), video->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(video, &click);
    EXPECT_TRUE(pointerShown(window));
    clock.advance(3000ms);
    EXPECT_FALSE(pointerShown(window));
}

TEST(MainWindowPointer, TheFirstActivationHidesItAndTellsTheEngineEachTime) {
    EngineHarness h({"Alpha - An.mp4"});
    h.engine->awakeFromNib();
    h.engine->applicationDidFinishLaunching();
    VirtualScheduler windowClock;
    MainWindow window({}, windowClock);
    window.setEngine(h.engine.get());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 10000));
    // The engine heard of it: the intro starts a second later.
    EXPECT_TRUE(h.clock.isScheduled("startNextSong"));
    h.clock.advance(1000ms);
    EXPECT_EQ(h.player.opened.size(), 1u);

    // A movement shows the pointer; the menu item of an operator window cancels its hide.
    moveMouse(window.screen().video());
    EXPECT_TRUE(pointerShown(window));
    window.setMenusEnabled(true, false);
    window.menuSettings()->trigger();
    windowClock.advance(20s);
    EXPECT_TRUE(pointerShown(window));

    // Every later activation tells the engine again; the intro is not scheduled twice.
    h.clock.advance(1000ms);
    ASSERT_FALSE(h.clock.isScheduled("forceFillVideo"));
    QWidget other;
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other, 10000));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 10000));
    EXPECT_TRUE(h.clock.isScheduled("forceFillVideo"));
    EXPECT_FALSE(h.clock.isScheduled("startNextSong"));
    EXPECT_FALSE(h.clock.isScheduled("loadLibrary"));
}

TEST(MainWindowClose, ClosingTheWindowQuitsTheApplication) {
    MainWindow window({});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 10000));
    // Not because it was the last window: the window itself asks to quit.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QTimer::singleShot(0, &window, [&] { window.close(); });
    QTimer giveUp;  // only if it never quits; gone with the test
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    giveUp.start(10000);
    EXPECT_EQ(QApplication::exec(), 0);
    QGuiApplication::setQuitOnLastWindowClosed(true);
    EXPECT_FALSE(window.isVisible());
}
