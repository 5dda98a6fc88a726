// Play and pause, replay, the vocal/backing switch, the volume, and the overlays they show.
#include "app/app_delegate.h"
#include "app/engine_timers.h"

namespace vocalis {

using namespace std::chrono_literals;

bool AppDelegate::isPlaying() const { return parts_.player.hasMedia() && parts_.player.isPlaying(); }

void AppDelegate::playPause(bool userPause) {
    if (!parts_.player.hasMedia()) return;
    if (!parts_.player.isPlaying())
        play();
    else
        pause(userPause);
}

void AppDelegate::pause(bool userPause) {
    if (isIntro()) return;
    flags_.isUserPause = userPause;
    if (!isPlaying()) return;
    parts_.player.pause();
    keepPosition(true);
    announce([](EngineListener& listener) { listener.playStateChanged(false); });
}

void AppDelegate::play() {
    if (isIntro()) return;
    flags_.isUserPause = false;
    if (!parts_.player.hasMedia() || parts_.player.isPlaying()) return;
    parts_.player.play();
    announce([](EngineListener& listener) { listener.playStateChanged(true); });
}

void AppDelegate::replay() {
    if (isIntro() || isScreenHeld() || flags_.isLockReplay || !parts_.player.hasMedia()) return;
    flags_.isLockReplay = true;
    if (const Song* current = parts_.songs.getCurrentSong()) {
        parts_.songs.queuePriority(*current);
        if (isOpen()) parts_.songs.queueDelete(0);
        startNextSong();
    } else if (flags_.isRandom && phase_ == Phase::RandomSong) {
        addSong(randomSong_->songId, false, {});
    }
    schedule(timers::kUnlockReplay, 2s, [this] { flags_.isLockReplay = false; });
}

void AppDelegate::switchAudioTrack() {
    if (isIntro() || flags_.isLockSwitchTrack || !parts_.player.hasMedia()) return;
    flags_.isLockSwitchTrack = true;
    const std::vector<int> ids = parts_.player.audioTrackIndexes();
    if (ids.size() >= 3) {
        if (parts_.player.currentAudioTrackIndex() != ids[1]) {
            parts_.player.setCurrentAudioTrackIndex(ids[1]);
            flags_.isMusic = true;
        } else {
            parts_.player.setCurrentAudioTrackIndex(ids[2]);
            flags_.isMusic = false;
        }
    } else if (ids.size() == 2) {
        flags_.isMusic = !flags_.isMusic;
        matchCentreCancel();
    }
    if (ids.size() >= 2) {
        const std::int32_t track = flags_.isMusic ? 1 : 0;
        announce([track](EngineListener& listener) { listener.audioTrackChanged(track); });
    }
    schedule(timers::kUnlockSwitchTrack, 2s, [this] { flags_.isLockSwitchTrack = false; });
}

// Entry 0 of the track list is "off": one entry more is a song with a single track, whose
// backing side (phones' track 1) is that track without its centre. Clips keep their sound.
void AppDelegate::matchCentreCancel() {
    const bool oneTrackSong = isSongPlaying() && parts_.player.audioTrackIndexes().size() == 2;
    setCentreCancel(oneTrackSong && flags_.isMusic);
}

void AppDelegate::setCentreCancel(bool enabled) {
    if (enabled == centreCancel_) return;
    centreCancel_ = enabled;
    parts_.player.setCentreCancel(enabled);
}

void AppDelegate::volumeUp() {
    parts_.volume.increaseSystemVolumeBy(0.095f);
    parts_.overlays.setVolumeLevel(static_cast<int>(parts_.volume.systemVolume() * 10));
    parts_.overlays.setVolumeVisible(true);
    schedule(timers::kHideVolume, 4s, [this] { parts_.overlays.setVolumeVisible(false); });
}

void AppDelegate::volumeDown() {
    parts_.volume.decreaseSystemVolumeBy(0.095f);
    if (parts_.volume.systemVolume() < 0.1f) parts_.volume.decreaseSystemVolumeBy(0.1f);
    parts_.overlays.setVolumeLevel(static_cast<int>(parts_.volume.systemVolume() * 10));
    parts_.overlays.setVolumeVisible(true);
    schedule(timers::kHideVolume, 4s, [this] { parts_.overlays.setVolumeVisible(false); });
}

void AppDelegate::showMessage(const std::string& text) {
    if (isIntro()) return;
    parts_.overlays.setMessageText(text);
    parts_.overlays.setMessageVisible(true);
    schedule(timers::kHideMessage, 5s, [this] { hideMessage(); });
}

void AppDelegate::hideMessage() { parts_.overlays.setMessageVisible(false); }

void AppDelegate::hidePicture() { parts_.overlays.setPictureVisible(false); }

void AppDelegate::fillVideo() {
    if (!parts_.player.hasMedia()) return;
    if (!parts_.player.isPlaying()) {
        schedule(timers::kFillVideo, 200ms, [this] { fillVideo(); });
        return;
    }
    parts_.overlays.nudgeVideo();
}

void AppDelegate::forceFillVideo() {
    if (parts_.player.hasMedia()) parts_.overlays.nudgeVideo();
}

}  // namespace vocalis
