#include "system/mpris/mpris_player.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>

#include "base/log.h"

namespace vocalis {

namespace {

constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";

}  // namespace

MprisPlayer::MprisPlayer(SongManager& songs, EngineControl& engine, MprisConfig config)
    : songs_(songs), engine_(engine), config_(std::move(config)) {}

MprisPlayer::~MprisPlayer() {
    if (listening_) engine_.removeListener(this);
    if (!serviceName_.isEmpty()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(serviceName_);
        bus.unregisterObject(kObjectPath);
    }
}

bool MprisPlayer::start() {
    if (!serviceName_.isEmpty()) return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        logParts("No session bus, media keys are off: ", bus.lastError().message().toStdString());
        return false;
    }
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors)) {
        logParts("Media keys are off: cannot export ", kObjectPath);
        return false;
    }
    // A second player does not take the keys from the first: it stays reachable under its
    // own name, and the desktop gives the keys to whichever was used last.
    QString name = QString::fromLatin1(kServiceName);
    if (!bus.registerService(name)) {
        name += QStringLiteral(".instance%1").arg(::getpid());
        if (!bus.registerService(name)) {
            logParts("Media keys are off: cannot take the bus name ", name.toStdString());
            bus.unregisterObject(kObjectPath);
            return false;
        }
        logParts("Another player holds ", kServiceName, ", media keys as ", name.toStdString());
    }
    serviceName_ = name;
    playing_ = engine_.isPlaying();
    metadata_ = metadataFor(songs_.currentSongId());
    engine_.addListener(this);
    listening_ = true;
    return true;
}

void MprisPlayer::play() {
    if (!engine_.isPlaying()) engine_.issue(CommandKind::Play, CommandSource::Operator);
}

void MprisPlayer::pause() {
    if (engine_.isPlaying()) engine_.issue(CommandKind::Pause, CommandSource::Operator);
}

void MprisPlayer::raise() {
    if (config_.raise) config_.raise();
}

void MprisPlayer::quit() {
    if (config_.quit) config_.quit();
}

void MprisPlayer::currentSongChanged(std::int32_t songId) {
    QVariantMap next = metadataFor(songId);
    positionMicroseconds_ = 0;
    const bool sameTrack =
        next.value(QStringLiteral("mpris:trackid")) == metadata_.value(QStringLiteral("mpris:trackid"));
    // A replay keeps the length already read, and is a jump back to the start.
    if (sameTrack && songs_.getSong(songId)) {
        if (const auto length = metadata_.find(QStringLiteral("mpris:length")); length != metadata_.end())
            next.insert(length.key(), length.value());
        if (!serviceName_.isEmpty()) emit player_.Seeked(0);
    }
    if (next == metadata_) return;
    metadata_ = std::move(next);
    announce({{QStringLiteral("Metadata"), metadata_}});
}

void MprisPlayer::playTimeChanged(std::int64_t milliseconds) { positionMicroseconds_ = milliseconds * 1000; }

void MprisPlayer::nextLockChanged(bool locked) {
    if (locked == nextLocked_) return;
    nextLocked_ = locked;
    announce({{QStringLiteral("CanGoNext"), canGoNext()}});
}

void MprisPlayer::songLengthKnown(std::int32_t songId, std::int64_t milliseconds) {
    if (metadata_.value(QStringLiteral("mpris:trackid")) !=
        metadataFor(songId).value(QStringLiteral("mpris:trackid")))
        return;
    const qlonglong microseconds = milliseconds * 1000;
    if (metadata_.value(QStringLiteral("mpris:length")) == microseconds) return;
    metadata_.insert(QStringLiteral("mpris:length"), microseconds);
    announce({{QStringLiteral("Metadata"), metadata_}});
}

void MprisPlayer::playStateChanged(bool playing) {
    if (playing == playing_) return;
    playing_ = playing;
    announce({{QStringLiteral("PlaybackStatus"), statusText(playing)}});
}

QVariantMap MprisPlayer::metadataFor(std::int32_t songId) const {
    const Song* song = songs_.getSong(songId);
    // The intro and idle clips are not tracks.
    if (!song)
        return {{QStringLiteral("mpris:trackid"),
                 QVariant::fromValue(QDBusObjectPath("/org/mpris/MediaPlayer2/TrackList/NoTrack"))}};
    QVariantMap map{
        {QStringLiteral("mpris:trackid"),
         QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/vocalis/song/%1").arg(songId)))},
        {QStringLiteral("xesam:title"), QString::fromUtf8(song->title())},
        {QStringLiteral("mpris:artUrl"),
         QStringLiteral("http://127.0.0.1:%1/%2").arg(config_.thumbnailPort).arg(songId)},
    };
    if (!song->singer().empty())
        map.insert(QStringLiteral("xesam:artist"), QStringList{QString::fromUtf8(song->singer())});
    return map;
}

void MprisPlayer::announce(const QVariantMap& changed) {
    if (serviceName_.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(
        kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

}  // namespace vocalis
