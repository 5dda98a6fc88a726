// The key each song is sung in: chosen with the song or while it plays, applied at its start.
#include <algorithm>

#include "app/app_delegate.h"

namespace vocalis {

std::string AppDelegate::keyLabel(std::int32_t key) {
    // A true minus sign: a hyphen reads as a dash on the screen.
    return key > 0 ? "Tông +" + std::to_string(key) : "Tông \u2212" + std::to_string(-key);
}

bool AppDelegate::isSongPlaying() const {
    return parts_.player.hasMedia() && !isIntro() && !isIdle() && parts_.songs.currentSongId() >= 0;
}

std::int32_t AppDelegate::songKey(std::int32_t songId) const {
    if (songId == parts_.songs.currentSongId() && isSongPlaying()) return currentKey_;
    const auto found = requests_.find(songId);
    return found == requests_.end() ? 0 : found->second.key;
}

// A waiting song keeps its key for its start; the song playing now changes key at once (a
// random song only for as long as it plays).
void AppDelegate::setSongKey(std::int32_t songId, std::int32_t key) {
    key = std::clamp(key, kLowestKey, kHighestKey);
    const Song* song = parts_.songs.getSong(songId);
    if (!song) return;
    const bool playing = songId == parts_.songs.currentSongId() && isSongPlaying();
    const bool queued = parts_.songs.queueContains(*song);
    if (!playing && !queued) return;
    if (songKey(songId) == key) return;
    if (queued) requests_[songId].key = key;
    if (playing) {
        currentKey_ = key;
        parts_.player.setKeyShift(key);
        showSongTitle(*song);
    }
    keepPlay();
    announce([songId, key](EngineListener& listener) { listener.keyChanged(songId, key); });
}

void AppDelegate::stepKey(std::int32_t semitones) {
    if (isSongPlaying()) setSongKey(parts_.songs.currentSongId(), currentKey_ + semitones);
}

void AppDelegate::prepareSound(std::int32_t key) {
    currentKey_ = key;
    parts_.player.setKeyShift(key);
    setCentreCancel(false);
}

}  // namespace vocalis
