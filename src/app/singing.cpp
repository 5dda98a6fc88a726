// The measured score: the melodies of the queued songs made ahead of their turn, and the
// microphone listening to each queued song while it plays.
#include "app/app_delegate.h"

namespace vocalis {

void AppDelegate::setHasScoring(bool value) {
    flags_.hasScoring = value;
    wantMelodies();
}

void AppDelegate::wantMelodies() {
    if (!melodies_ || !flags_.isLibraryLoaded) return;
    std::vector<ReferenceMelodies::Song> songs;
    // Unscored songs need none: what is under way is let go too.
    for (std::int32_t index = 0; flags_.hasScoring && index < parts_.songs.getQueueCount(); ++index) {
        const Song& song = *parts_.songs.getQueueSong(index);
        songs.push_back({song.songId, std::string(song.karaokeFile())});
    }
    melodies_->want(std::move(songs));
}

bool AppDelegate::measures(std::int32_t songId) const {
    if (!melodies_ || !flags_.hasScoring) return false;
    const auto melody = melodies_->find(songId);
    return melody && melody->voicedFrames() > 0;
}

void AppDelegate::listenToSinging(const Song& song) {
    if (!melodies_ || !flags_.hasScoring) return;
    // A song with no voice to follow: its score is drawn. One whose melody is still being made
    // (the first song onto an idle player) is listened to now and scored once it is made.
    heardMelody_ = melodies_->find(song.songId);
    if (heardMelody_ && heardMelody_->voicedFrames() == 0) {
        heardMelody_.reset();
        return;
    }
    const std::uint64_t listen = ++listens_;
    listening_ = true;
    listenedSong_ = song.songId;
    sung_.reset();
    const auto current = [this, alive = std::weak_ptr(alive_), listen] {
        return !alive.expired() && listening_ && listen == listens_;
    };
    parts_.microphone->listen(
        heardMelody_,
        [this, current](const SingingTotals& totals) {
            if (current()) sung_ = totals;
        },
        [this, current](std::vector<SungFrame> frames) {
            // Shown once the microphone is heard (a source that cannot be recorded shows nothing)
            // and the melody is there to draw.
            if (!current() || !showsPitchBand_ || !heardMelody_) return;
            if (!std::exchange(bandShown_, true)) parts_.overlays.setPitchBand(heardMelody_);
            parts_.overlays.addSungPitches(frames);
        });
    tellSongTime();
}

void AppDelegate::melodyMade(std::int32_t songId) {
    if (!listening_ || heardMelody_ || songId != listenedSong_) return;
    auto melody = melodies_->find(songId);
    if (melody->voicedFrames() == 0) {
        endListening();
        return;
    }
    heardMelody_ = melody;
    parts_.microphone->reference(std::move(melody));
}

void AppDelegate::setShowsPitchBand(bool value) {
    showsPitchBand_ = value;
    if (!value && std::exchange(bandShown_, false)) parts_.overlays.setPitchBand(nullptr);
}

void AppDelegate::tellSongTime() {
    if (listening_) parts_.microphone->songTime(parts_.player.time(), parts_.player.isPlaying());
}

std::optional<SingingTotals> AppDelegate::endListening() {
    if (!std::exchange(listening_, false)) return std::nullopt;
    parts_.microphone->stopListening();
    heardMelody_.reset();
    if (std::exchange(bandShown_, false)) parts_.overlays.setPitchBand(nullptr);
    return std::exchange(sung_, std::nullopt);
}

}  // namespace vocalis
