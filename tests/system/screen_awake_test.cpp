// The screen kept awake on a private session bus, with the desktop's services played by this test.
#include "system/screen_awake.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <filesystem>
#include <optional>
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

// Runs Qt's events until the condition holds or 10 s pass.
template <typename Condition>
bool served(Condition condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < 10'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
}

TEST(ScreenAwake, AsksTheDesktopsServiceInTurnAndReleasesWhatItHolds) {
    int argc = 1;
    char name[] = "system_tests";
    char* argv[] = {name};
    QCoreApplication application(argc, argv);
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

}  // namespace
}  // namespace vocalis::testing

#include "screen_awake_test.moc"
