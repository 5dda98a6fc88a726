// The screen kept awake on a private session bus, with the desktop's services played by this test.
#include "system/screen_awake.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "support/background_program.h"
#include "support/eventually.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace vocalis::testing {
namespace {

using namespace std::chrono_literals;

// What a desktop service heard: each inhibit asked, and each cookie released.
struct Heard {
    std::vector<QString> asked;
    std::vector<uint> released;
};

class FreedesktopScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

  public:
    Heard heard;

  public slots:
    uint Inhibit(const QString& application, const QString& reason) {
        heard.asked.push_back(application + " | " + reason);
        return 41;
    }
    void UnInhibit(uint cookie) { heard.released.push_back(cookie); }
};

class GnomeSessionManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.SessionManager")

  public:
    Heard heard;

  public slots:
    uint Inhibit(const QString& application, uint window, const QString& reason, uint flags) {
        heard.asked.push_back(
            QStringLiteral("%1 | %2 | %3 | %4").arg(application).arg(window).arg(reason).arg(flags));
        return 57;
    }
    void Uninhibit(uint cookie) { heard.released.push_back(cookie); }
};

// Runs Qt's events until the condition holds or the time (10 s unless said) passes.
template <typename Condition>
bool served(Condition condition, qint64 milliseconds = 10'000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
}

// One for the whole program, as Qt wants it.
void startQt() {
    static int argc = 1;
    static char name[] = "system_tests";
    static char* argv[] = {name};
    static QCoreApplication application(argc, argv);
}

TEST(ScreenAwake, AsksTheDesktopsServiceInTurnAndReleasesWhatItHolds) {
    startQt();
    TempDir dir;
    const QString address = QString::fromStdString("unix:path=" + (dir / "bus"));
    BackgroundProgram bus("/usr/bin/dbus-daemon",
                          {"--session", "--nofork", "--address=" + address.toStdString()}, {},
                          dir / "bus.log");
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(dir / "bus"); }, 10s))
        << readFile(dir / "bus.log");

    struct Row {
        bool freedesktop, gnome;
        std::optional<QString> freedesktopHears, gnomeHears;  // the inhibit asked of each
        std::optional<uint> released;
    };
    const QString freedesktopAsk = "Vocalis Player | Karaoke is playing";
    const QString gnomeAsk = "Vocalis Player | 0 | Karaoke is playing | 8";  // no window; idle only
    const Row rows[] = {
        {true, true, freedesktopAsk, std::nullopt, 41u},
        {false, true, std::nullopt, gnomeAsk, 57u},
        {false, false, std::nullopt, std::nullopt, std::nullopt},
    };
    int round = 0;
    for (const auto& [freedesktop, gnome, freedesktopHears, gnomeHears, released] : rows) {
        SCOPED_TRACE(::testing::Message() << "freedesktop " << freedesktop << ", gnome " << gnome);
        // Fresh connections each round, so that names taken before are gone.
        const QString desktopName = QStringLiteral("desktop%1").arg(round);
        const QString playerName = QStringLiteral("player%1").arg(round++);
        QDBusConnection desktop = QDBusConnection::connectToBus(address, desktopName);
        ASSERT_TRUE(desktop.isConnected());
        FreedesktopScreenSaver screenSaver;
        GnomeSessionManager sessionManager;
        if (freedesktop) {
            ASSERT_TRUE(desktop.registerObject("/org/freedesktop/ScreenSaver", &screenSaver,
                                               QDBusConnection::ExportAllSlots));
            ASSERT_TRUE(desktop.registerService("org.freedesktop.ScreenSaver"));
        }
        if (gnome) {
            ASSERT_TRUE(desktop.registerObject("/org/gnome/SessionManager", &sessionManager,
                                               QDBusConnection::ExportAllSlots));
            ASSERT_TRUE(desktop.registerService("org.gnome.SessionManager"));
        }
        {
            ::testing::internal::CaptureStderr();
            ScreenAwake awake(QDBusConnection::connectToBus(address, playerName));
            awake.start();
            EXPECT_TRUE(served([&] { return awake.state() != ScreenAwake::State::Asking; }));
            const std::string log = ::testing::internal::GetCapturedStderr();
            EXPECT_EQ(awake.state(), released ? ScreenAwake::State::Held : ScreenAwake::State::Refused);
            EXPECT_EQ(log.find("The screen may blank while songs play") != std::string::npos, !released)
                << log;
        }
        // Released as the player ends.
        const auto releasedSeen = [&] {
            auto all = screenSaver.heard.released;
            all.insert(all.end(), sessionManager.heard.released.begin(), sessionManager.heard.released.end());
            return all;
        };
        if (released) {
            EXPECT_TRUE(served([&] { return !releasedSeen().empty(); }));
        }
        EXPECT_EQ(releasedSeen(), released ? std::vector<uint>{*released} : std::vector<uint>{});
        EXPECT_EQ(screenSaver.heard.asked,
                  freedesktopHears ? std::vector<QString>{*freedesktopHears} : std::vector<QString>{});
        EXPECT_EQ(sessionManager.heard.asked,
                  gnomeHears ? std::vector<QString>{*gnomeHears} : std::vector<QString>{});
        QDBusConnection::disconnectFromBus(playerName);
        QDBusConnection::disconnectFromBus(desktopName);
    }
}

// A session without a desktop: the X server's own saver, which shows as a window over the root's.
TEST(ScreenAwake, KeepsTheXServersOwnSaverOffWhileItRuns) {
    startQt();
    TempDir dir;
    BackgroundProgram xvfb("/usr/bin/Xvfb", words("-displayfd 1 -screen 0 320x240x24 -nolisten tcp"), {},
                           dir / "xvfb.log");
    std::string display;
    const auto numbered = [&] {
        std::istringstream lines(readFile(dir / "xvfb.log"));
        for (std::string line; std::getline(lines, line);)
            if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos)
                display = ":" + line;
        return !display.empty();
    };
    ASSERT_TRUE(eventually(numbered, 20s)) << readFile(dir / "xvfb.log");
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> x(
        xcb_connect(display.c_str(), nullptr), &xcb_disconnect);
    ASSERT_EQ(xcb_connection_has_error(x.get()), 0);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x.get())).data->root;
    const auto saverOn = [&] {
        const std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
            xcb_query_tree_reply(x.get(), xcb_query_tree(x.get(), root), nullptr), &std::free);
        return tree && xcb_query_tree_children_length(tree.get()) > 0;
    };
    // On after 3 s without input, as a window rather than a blanked screen.
    xcb_set_screen_saver(x.get(), 3, 0, XCB_BLANKING_NOT_PREFERRED, XCB_EXPOSURES_ALLOWED);
    {
        ScreenAwake awake(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"), "none"),
                          x.get());
        awake.start();
        bool everOn = false;
        served(
            [&] {
                everOn = everOn || saverOn();
                return false;
            },
            8'000);
        EXPECT_FALSE(everOn);
    }
    // Without it the saver comes on: the check above would have seen it.
    EXPECT_TRUE(served(saverOn));
}

}  // namespace
}  // namespace vocalis::testing

#include "screen_awake_test.moc"
