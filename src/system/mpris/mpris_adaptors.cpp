#include "system/mpris/mpris_adaptors.h"

#include "system/mpris/mpris_player.h"

namespace vocalis {

MprisRootAdaptor::MprisRootAdaptor(MprisPlayer& player) : QDBusAbstractAdaptor(&player), player_(player) {}

void MprisRootAdaptor::Raise() { player_.raise(); }
void MprisRootAdaptor::Quit() { player_.quit(); }

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisPlayer& player)
    : QDBusAbstractAdaptor(&player), player_(player) {}

QString MprisPlayerAdaptor::playbackStatus() const { return player_.playbackStatus(); }
QVariantMap MprisPlayerAdaptor::metadata() const { return player_.metadata(); }
qlonglong MprisPlayerAdaptor::position() const { return player_.position(); }
bool MprisPlayerAdaptor::canGoNext() const { return player_.canGoNext(); }

void MprisPlayerAdaptor::PlayPause() { player_.playPause(); }
void MprisPlayerAdaptor::Play() { player_.play(); }
void MprisPlayerAdaptor::Pause() { player_.pause(); }
void MprisPlayerAdaptor::Stop() { player_.pause(); }
void MprisPlayerAdaptor::Next() { player_.next(); }
void MprisPlayerAdaptor::Previous() { player_.previous(); }
void MprisPlayerAdaptor::Seek(qlonglong) {}
void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath&, qlonglong) {}
void MprisPlayerAdaptor::OpenUri(const QString&) {}

}  // namespace vocalis
