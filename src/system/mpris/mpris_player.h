#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/engine_control.h"
#include "catalogue/song_manager.h"
#include "system/mpris/mpris_adaptors.h"

namespace vocalis {

struct MprisConfig {
    std::uint16_t thumbnailPort = 6768;  // the song's picture, for the desktop's media controls
    std::function<void()> raise;         // brings the main window to the front
    std::function<void()> quit;          // ends the player as closing its window does
};

// The player on the session bus as an MPRIS2 media player, so the desktop sends it the
// keyboard's media keys: play/pause, next and previous become the engine's commands, and the
// engine's news become the properties the desktop shows. The main thread only.
class MprisPlayer final : public QObject, public EngineListener {
    Q_OBJECT

  public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.vocalis";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

    MprisPlayer(SongManager& songs, EngineControl& engine, MprisConfig config);
    ~MprisPlayer() override;

    // Exports the object and takes the bus name; when another player holds the name, takes
    // the name of this instance (kServiceName + ".instance<pid>") so both stay reachable.
    // False (one line logged) without a session bus: the player runs on without media keys.
    bool start();

    // --- what the adaptors read and do
    // Read from the engine: not every start comes with news (the intro's does not).
    QString playbackStatus() const { return statusText(engine_.isPlaying()); }
    QVariantMap metadata() const { return metadata_; }
    qlonglong position() const { return positionMicroseconds_; }
    bool canGoNext() const { return !nextLocked_; }
    void playPause() { engine_.issue(CommandKind::PlayPause, CommandSource::Operator); }
    void play();
    void pause();
    void next() { engine_.issue(CommandKind::Next, CommandSource::Operator); }
    void previous() { engine_.issue(CommandKind::Replay, CommandSource::Operator); }
    void raise();
    void quit();

    // --- the engine's news
    void currentSongChanged(std::int32_t songId) override;
    void playStateChanged(bool playing) override;
    void songLengthKnown(std::int32_t songId, std::int64_t milliseconds) override;
    void playTimeChanged(std::int64_t milliseconds) override;
    void nextLockChanged(bool locked) override;

  private:
    static QString statusText(bool playing) {
        return playing ? QStringLiteral("Playing") : QStringLiteral("Paused");
    }
    QVariantMap metadataFor(std::int32_t songId) const;
    void announce(const QVariantMap& changed);

    SongManager& songs_;
    EngineControl& engine_;
    MprisConfig config_;
    bool playing_ = false;  // as last announced
    QVariantMap metadata_;
    qlonglong positionMicroseconds_ = 0;
    bool nextLocked_ = false;  // as last announced; nothing starts (nor locks) before start()
    QString serviceName_;      // the bus name taken; empty before start() or without a bus
    bool listening_ = false;
    // Children of this object, as QtDBus wants them; members, so they go before it does.
    MprisRootAdaptor root_{*this};
    MprisPlayerAdaptor player_{*this};
};

}  // namespace vocalis
