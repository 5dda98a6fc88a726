#include "app/phone_news.h"

#include "remote/socket_manager.h"

namespace vocalis {

void PhoneNews::queueChanged() { sockets_.notifyQueue(); }

void PhoneNews::currentSongChanged(std::int32_t songId) {
    sockets_.setCurrentSongId(songId);
    sockets_.notifyCurrentSong();
}

void PhoneNews::playStateChanged(bool playing) {
    sockets_.setIsPlaying(playing);
    sockets_.notifyPlayState();
}

void PhoneNews::audioTrackChanged(std::int32_t track) {
    sockets_.setCurrentAudioTrack(track);
    sockets_.notifyAudioTrack();
}

}  // namespace vocalis
