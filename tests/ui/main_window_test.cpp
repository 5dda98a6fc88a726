#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include "app/engine_harness.h"
#include "ui/key_commands.h"
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

TEST(MainWindowKeys, EachKeyIssuesItsCommandAndOtherKeysNone) {
    using K = CommandKind;
    const std::pair<std::optional<K>, std::vector<int>> cases[] = {
        {K::Replay, {Qt::Key_F7, Qt::Key_MediaPrevious}},
        {K::PlayPause, {Qt::Key_F8, Qt::Key_MediaPlay, Qt::Key_MediaPause, Qt::Key_MediaTogglePlayPause}},
        {K::Next, {Qt::Key_F9, Qt::Key_MediaNext}},
        {K::VolumeDown, {Qt::Key_F10, Qt::Key_F11}},
        {K::VolumeUp, {Qt::Key_F12}},
        {K::SwitchTrack, {Qt::Key_Tab, Qt::Key_Backtab}},
        {K::KeyDown, {Qt::Key_F5}},
        {K::KeyUp, {Qt::Key_F6}},
        {std::nullopt, {Qt::Key_A, Qt::Key_Space, Qt::Key_Escape, Qt::Key_Return, Qt::Key_F1, Qt::Key_F4}},
    };
    for (const auto& [command, keys] : cases)
        for (int key : keys) EXPECT_EQ(commandForKey(key), command) << key;

    // Pressed on the window, a key reaches the engine as the operator's.
    EngineHarness h({"Alpha - An.mp4"});
    h.launchToFirstSong();
    MainWindow window({});
    window.setEngine(h.engine.get());
    h.engine->addSong(h.idOf("Alpha"), false, "");
    h.clock.advance(2100ms);
    ASSERT_TRUE(h.engine->isPlaying());
    press(window, Qt::Key_A, h);
    EXPECT_TRUE(h.engine->isPlaying());
    press(window, Qt::Key_F8, h);
    EXPECT_FALSE(h.engine->isPlaying());
    EXPECT_TRUE(h.engine->flags().isUserPause);
    press(window, Qt::Key_F6, h);
    EXPECT_EQ(h.player.keyShifts.back(), 1);
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
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), video->mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
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
