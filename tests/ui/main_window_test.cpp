#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QTimer>
#include <thread>

#include "app/engine_harness.h"
#include "ui/key_commands.h"
#include "ui/ui_test_support.h"
#include "ui/video_view.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;

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
}

TEST(MainWindow, ActivationTellsTheEngineAndThePointerHidesAfterMovementUnlessAWindowIsOpen) {
    EngineHarness h({"Alpha - An.mp4"});
    h.engine->awakeFromNib();
    h.engine->applicationDidFinishLaunching();
    VirtualScheduler clock;
    MainWindow window({}, clock);
    const auto shown = [&] {
        return window.cursor().shape() != Qt::BlankCursor && window.menus()->isVisibleTo(&window);
    };
    QWidget* video = window.screen().video();
    const auto touch = [&](QEvent::Type type = QEvent::MouseMove) {
        const auto button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(10, 10), video->mapToGlobal(QPointF(10, 10)), button, button, {});
        QCoreApplication::sendEvent(video, &event);
    };
    QAction* items[] = {window.menuSelectSong(), window.menuThumbnail(), window.menuEqualizer(),
                        window.menuSettings(), window.menuRecord()};
    for (QAction* item : items) EXPECT_FALSE(item->isEnabled()) << item->objectName().toStdString();
    EXPECT_FALSE(shown());

    // Active before the player has made its engine: the intro still starts 1 s after the
    // activation, not 1 s after the engine hears of it.
    showActive(window);
    EXPECT_TRUE(window.isFullScreen());
    EXPECT_FALSE(shown());
    std::this_thread::sleep_for(300ms);
    window.setEngine(h.engine.get());
    EXPECT_TRUE(h.clock.isScheduled("startNextSong"));  // the engine heard
    h.clock.advance(700ms);
    EXPECT_EQ(h.player.location(), "http://127.0.0.1:1/intro.mp4");
    h.clock.advance(300ms);

    touch();
    EXPECT_TRUE(shown());
    clock.advance(2900ms);
    touch();  // moving again keeps it
    clock.advance(2900ms);
    EXPECT_TRUE(shown());
    clock.advance(100ms);
    EXPECT_FALSE(shown());

    // An operator window is open: movement schedules no hide.
    window.autoToHideCursor(false);
    touch();
    clock.runUntilIdle(Millis(3600 * 1000));
    EXPECT_TRUE(shown());
    window.autoToHideCursor(true);
    touch(QEvent::MouseButtonPress);
    EXPECT_TRUE(shown());
    clock.advance(3000ms);
    EXPECT_FALSE(shown());

    // The menus wait for the engine; opening a window from one cancels a pending hide.
    window.setMenusEnabled(true, false);
    for (QAction* item : items) EXPECT_EQ(item->isEnabled(), item != window.menuRecord());
    window.setMenusEnabled(true, true);
    EXPECT_TRUE(window.menuRecord()->isEnabled());
    int settingsOpened = 0;
    QObject::connect(&window, &MainWindow::settingsRequested, [&] { ++settingsOpened; });
    touch();
    window.menuSettings()->trigger();
    EXPECT_EQ(settingsOpened, 1);
    clock.advance(20s);
    EXPECT_TRUE(shown());

    // Every later activation tells the engine again; the intro is not scheduled twice.
    h.clock.advance(1000ms);
    ASSERT_FALSE(h.clock.isScheduled("forceFillVideo"));
    QWidget other;
    showActive(other);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 10000));
    EXPECT_TRUE(h.clock.isScheduled("forceFillVideo"));
    EXPECT_FALSE(h.clock.isScheduled("startNextSong"));
    EXPECT_FALSE(h.clock.isScheduled("loadLibrary"));

    // Closing quits, not because it was the last window: the window itself asks to.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QTimer::singleShot(0, &window, [&] { window.close(); });
    QTimer::singleShot(10000, &window, [] { QCoreApplication::exit(7); });  // only if it never quits
    EXPECT_EQ(QApplication::exec(), 0);
    QGuiApplication::setQuitOnLastWindowClosed(true);
    EXPECT_FALSE(window.isVisible());
}
