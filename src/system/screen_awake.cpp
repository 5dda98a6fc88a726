#include "system/screen_awake.h"

#include <xcb/xcb.h>

#include <QDBusMessage>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <utility>

#include "base/log.h"

namespace vocalis {

namespace {

struct InhibitService {
    const char* name;  // the bus name, also the object's interface
    const char* path;
    const char* release;
    bool gnome;  // GNOME's call takes a window and what to inhibit besides the reason
};

// In the order tried: the common one first (KDE, Xfce, LXQt, recent GNOME), then GNOME's own.
constexpr std::array<InhibitService, 2> kServices{{
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "UnInhibit", false},
    {"org.gnome.SessionManager", "/org/gnome/SessionManager", "Uninhibit", true},
}};
constexpr unsigned kGnomeInhibitIdle = 8;
constexpr const char* kApplication = "Vocalis Player";
constexpr const char* kReason = "Karaoke is playing";
// How often the X saver is reset: a third of its timeout, so a late turn still comes in time;
// no less often than this, for the display's power saving, whose own timeouts are not read.
constexpr int kLongestXResetMs = 30'000;
constexpr int kShortestXResetMs = 500;

}  // namespace

ScreenAwake::ScreenAwake(QDBusConnection bus, xcb_connection_t* x) : bus_(std::move(bus)), x_(x) {}

ScreenAwake::~ScreenAwake() {
    if (state_ != State::Held) return;
    const InhibitService& service = kServices[service_];
    QDBusMessage release =
        QDBusMessage::createMethodCall(service.name, service.path, service.name, service.release);
    release << cookie_;
    bus_.send(release);
}

void ScreenAwake::start() {
    if (x_) resetXSaver();
    if (!bus_.isConnected()) {
        state_ = State::Refused;
        logLine("The screen may blank while songs play: no session bus to ask the desktop");
        return;
    }
    ask(0);
}

void ScreenAwake::ask(std::size_t service) {
    state_ = State::Asking;
    service_ = service;
    const InhibitService& asked = kServices[service];
    QDBusMessage call =
        QDBusMessage::createMethodCall(asked.name, asked.path, asked.name, QStringLiteral("Inhibit"));
    if (asked.gnome)
        call << QString::fromLatin1(kApplication) << 0u << QString::fromLatin1(kReason) << kGnomeInhibitIdle;
    else
        call << QString::fromLatin1(kApplication) << QString::fromLatin1(kReason);
    bus_.callWithCallback(call, this, SLOT(inhibited(uint)), SLOT(refused(QDBusError)));
}

void ScreenAwake::resetXSaver() {
    if (xcb_connection_has_error(x_)) return;
    xcb_force_screen_saver(x_, XCB_SCREEN_SAVER_RESET);
    // Read again each time: the desktop or the operator may change it.
    const std::unique_ptr<xcb_get_screen_saver_reply_t, decltype(&std::free)> saver(
        xcb_get_screen_saver_reply(x_, xcb_get_screen_saver(x_), nullptr), &std::free);
    const int timeoutMs = saver && saver->timeout > 0 ? saver->timeout * 1000 : kLongestXResetMs;
    QTimer::singleShot(std::clamp(timeoutMs / 3, kShortestXResetMs, kLongestXResetMs), this,
                       [this] { resetXSaver(); });
}

void ScreenAwake::inhibited(uint cookie) {
    state_ = State::Held;
    cookie_ = cookie;
    logParts("The screen is kept awake through ", kServices[service_].name);
}

void ScreenAwake::refused(const QDBusError& error) {
    if (service_ + 1 < kServices.size()) return ask(service_ + 1);
    state_ = State::Refused;
    logParts("The screen may blank while songs play: no desktop service keeps it awake (",
             error.message().toStdString(), ")");
}

}  // namespace vocalis
