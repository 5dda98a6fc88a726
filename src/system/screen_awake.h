#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <cstddef>
#include <cstdint>

struct xcb_connection_t;

namespace vocalis {

// Keeps the desktop from blanking or locking the screen while the player runs: guests drive
// it from their phones and watch the screen, and no key or mouse tells the desktop that anyone
// does. Asks the freedesktop screen saver on the session bus, or GNOME's session manager where
// that is what the desktop offers. The inhibit ends with this object; the desktop also drops it
// when the player's bus connection closes. On X, the server's own saver (a session without a
// desktop) is also reset as input would reset it, more often than its timeout. The main thread only.
class ScreenAwake final : public QObject {
    Q_OBJECT

  public:
    // `x`: the display's connection, when the player shows on X; it outlives this object.
    explicit ScreenAwake(QDBusConnection bus = QDBusConnection::sessionBus(), xcb_connection_t* x = nullptr);
    ~ScreenAwake() override;
    ScreenAwake(const ScreenAwake&) = delete;
    ScreenAwake& operator=(const ScreenAwake&) = delete;

    enum class State {
        Idle,     // not started
        Asking,   // waiting for a service's answer
        Held,     // a desktop service keeps the screen awake
        Refused,  // no service would (one line logged)
    };

    // Asks without waiting for the answer.
    void start();
    State state() const { return state_; }

  private slots:
    void inhibited(uint cookie);
    void refused(const QDBusError& error);

  private:
    void ask(std::size_t service);
    void resetXSaver();

    QDBusConnection bus_;
    xcb_connection_t* x_;
    State state_ = State::Idle;
    std::size_t service_ = 0;   // the one asked last, in the order tried
    std::uint32_t cookie_ = 0;  // what the service that holds it answered
};

}  // namespace vocalis
