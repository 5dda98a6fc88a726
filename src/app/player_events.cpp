// What the player's state and time changes mean: the end of a song, of a clip, and errors.
#include <utility>

#include "app/app_delegate.h"
#include "app/engine_timers.h"
#include "base/log.h"

namespace vocalis {

using namespace std::chrono_literals;

void AppDelegate::mediaPlayerStateChanged() {
    if (terminated_ || !parts_.player.hasMedia()) return;
    tellSongTime();
    const PlayerState state = parts_.player.state();
    if (state == PlayerState::Stopped || state == PlayerState::Error) {
        handlePlaybackError();
        return;
    }
    // The tracks are known once it plays: a one-track song starts on the side chosen last.
    if (state == PlayerState::Playing) matchCentreCancel();
    // Only the media's own end counts, never a pause, whoever caused it.
    if (state != PlayerState::Paused || !parts_.player.hasEnded()) return;

    // The end of the media: the player stays paused on its last frame.
    bool opened = false;
    const bool hasVideo = parts_.player.videoTrackCount() > 0;
    if (canEndIntro() && hasVideo) {
        endIntro();
        opened = true;
    }
    if (!hasVideo) {
        if (!isOpen()) return;
        handlePlaybackError();
        return;
    }
    // The intro's end finished no song: the queue's head (a restored one) has yet to play.
    if (isOpen() && !opened) removeFinishedSong();
    parts_.player.setMedia(std::nullopt);
    if (isOpen() && flags_.hasScoring && !opened && !isIdle()) {
        if (flags_.isRandom && phase_ == Phase::RandomSong) {
            historyEnds(SongEnding::kFinished);
            startNextSong();  // random songs are never scored
            return;
        }
        stopRecordingIfAny();
        scoringAndNextSong();
        return;
    }
    historyEnds(SongEnding::kFinished);
    startNextSong();
}

void AppDelegate::mediaPlayerTimeChanged() {
    if (terminated_) return;
    if (lengthFor_) {
        if (const auto length = parts_.player.length()) {
            const std::int32_t songId = *std::exchange(lengthFor_, std::nullopt);
            announce(
                [songId, ms = *length](EngineListener& listener) { listener.songLengthKnown(songId, ms); });
        }
    }
    announce([ms = parts_.player.time()](EngineListener& listener) { listener.playTimeChanged(ms); });
    tellSongTime();
    keepPosition(false);
    upNextCheck();
}

void AppDelegate::removeFinishedSong() {
    parts_.songs.queueDelete(0);
    queueChanged();
}

void AppDelegate::handlePlaybackError() {
    stopRecordingIfAny();
    hideMessage();
    hidePicture();
    hideTitle();
    parts_.player.setMedia(std::nullopt);
    if (isIntro()) {
        // A clip that cannot play would leave the screen dead: try again in a while.
        phase_ = Phase::IntroRetry;
        schedule(timers::kRetryIntro, 5s, [this] { retryIntro(); });
        return;
    }
    historyEnds(SongEnding::kFailed);
    const Song* current = parts_.songs.getCurrentSong();
    if (!current && flags_.isRandom && phase_ == Phase::RandomSong) current = randomSong_;
    // Read after unloading: the player keeps these facts of the media it unloaded last.
    const bool nothingPlayed = parts_.player.position() == 0.0f && parts_.player.videoTrackCount() == 0;
    if (current && nothingPlayed) {
        phase_ = Phase::Error;
        parts_.overlays.fadeNextView(0.0);
        if (isOpen()) removeFinishedSong();
        parts_.overlays.setBlackCoverVisible(true);
        parts_.overlays.setMessageText("Bài hát bị lỗi\n" + current->titleAndSinger());
        parts_.overlays.setMessageVisible(true);
        cancel(timers::kHideMessage);
        schedule(timers::kStartNextSongAfterError, 5s, [this] { startNextSongAfterError(); });
        return;
    }
    hideMessage();
    parts_.overlays.setBlackCoverVisible(false);
    setNextLock(false);
    if (!current) {
        // Nothing of the guests' failed (the idle clip, or the local media service is down):
        // retrying at once would spin as fast as the player can fail.
        phase_ = Phase::Error;
        schedule(timers::kStartNextSongAfterError, 5s, [this] { startNextSongAfterError(); });
        return;
    }
    startNextSongAfterError();
}

void AppDelegate::retryIntro() {
    phase_ = Phase::Intro;
    setNextLock(false);
    if (canEndIntro()) {
        // The catalogue is there; do not let a broken intro keep the phones out.
        logLine("The intro clip cannot be played; starting without it");
        endIntro();
    }
    startNextSong();
}

}  // namespace vocalis
