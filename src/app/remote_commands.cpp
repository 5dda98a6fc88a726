// Phone commands: posted from the phone server's queue to the main thread, where their
// conditions are checked against the engine's state of that moment.
#include "app/app_delegate.h"
#include "base/log.h"
#include "catalogue/unicode_text.h"

namespace vocalis {

namespace {
constexpr double kPhoneOverlaySeconds = 15.0;
constexpr double kAddedPanelSeconds = 6.0;
}  // namespace

void AppDelegate::onRemotePlayPause(bool shouldPlay) {
    parts_.scheduler.post([this, shouldPlay] {
        if (flags_.isIntro || flags_.isScoring || flags_.isError) return;
        shouldPlay ? play() : pause(true);
    });
}

void AppDelegate::onRemoteNext() {
    parts_.scheduler.post([this] {
        if (flags_.isLockNext || flags_.isScoring || flags_.isError) return;
        onNext();
    });
}

void AppDelegate::onRemoteReplay() {
    parts_.scheduler.post([this] {
        if (flags_.isIntro || flags_.isScoring || flags_.isError) return;
        replay();
    });
}

void AppDelegate::onRemoteSwitchAudioTrack() {
    parts_.scheduler.post([this] {
        if (flags_.isIntro || flags_.isScoring || flags_.isError) return;
        switchAudioTrack();
    });
}

void AppDelegate::onRemoteRes(std::int32_t songId) {
    parts_.scheduler.post([this, songId] {
        if (!flags_.isIntro) addSong(songId, false);
    });
}

void AppDelegate::onRemoteRes1st(std::int32_t songId) {
    parts_.scheduler.post([this, songId] {
        if (!flags_.isIntro) addSong(songId, true);
    });
}

void AppDelegate::onRemoteVolumeUp() {
    parts_.scheduler.post([this] { volumeUp(); });
}

void AppDelegate::onRemoteVolumeDown() {
    parts_.scheduler.post([this] { volumeDown(); });
}

void AppDelegate::onRemoteQueueRemove(std::int32_t position) {
    parts_.scheduler.post([this, position] {
        parts_.songs.removeWaiting(position);
        queueChanged();
    });
}

void AppDelegate::onRemoteQueueMoveUp(std::int32_t position) {
    parts_.scheduler.post([this, position] {
        parts_.songs.moveWaitingUp(position);
        queueChanged();
    });
}

void AppDelegate::onRemoteQueueMoveFirst(std::int32_t position) {
    parts_.scheduler.post([this, position] {
        parts_.songs.moveWaitingFirst(position);
        queueChanged();
    });
}

void AppDelegate::onRemoteQueueRequesterName(std::int32_t songId, std::string name) {
    parts_.scheduler.post([songId, name = std::move(name)] { logParts(songId, " ", name); });
}

void AppDelegate::onRemoteSendMessage(std::string text) {
    parts_.scheduler.post([this, text = std::move(text)] {
        if (flags_.isIntro) return;
        parts_.scheduler.cancel("hideMessage");
        if (!text.empty()) {
            const std::string lower = lowerCase(displayText(text));
            if (lower == "scoring off") flags_.hasScoring = false;
            if (lower == "scoring on") flags_.hasScoring = true;
        }
        parts_.overlays.setMessageText(displayText(text));
        parts_.overlays.setMessageVisible(true);
        schedule("hideMessage", kPhoneOverlaySeconds, &AppDelegate::hideMessage);
    });
}

void AppDelegate::onRemoteSendPicture(std::vector<std::uint8_t> image) {
    parts_.scheduler.post([this, image = std::move(image)] {
        if (!flags_.isIntro) showPicture(image);
    });
}

void AppDelegate::showPicture(const std::vector<std::uint8_t>& image) {
    // What does not decode is dropped; a picture already showing keeps its own timer.
    if (!parts_.overlays.setPicture(image)) {
        logParts("A phone sent a picture that cannot be read (", image.size(), " bytes)");
        return;
    }
    parts_.scheduler.cancel("hidePicture");
    parts_.overlays.setPictureVisible(true);
    schedule("hidePicture", kPhoneOverlaySeconds, &AppDelegate::hidePicture);
}

void AppDelegate::onRemoteRecord() {
    parts_.scheduler.post([this] { record(); });
}

void AppDelegate::addSong(std::int32_t songId, bool first) {
    const Song* song = parts_.songs.getSong(songId);
    if (!song || parts_.songs.queueContains(*song)) return;
    first ? parts_.songs.queuePriority(*song) : parts_.songs.queueAdd(*song);
    const std::int32_t count = parts_.songs.getQueueCount();
    if (count > 1) {
        parts_.scheduler.cancel("hideNextView");
        parts_.overlays.fadeNextView(1.0);
        parts_.overlays.setNextContent(parts_.thumbnails.getThumbnail(song->songId), first ? "Ưu tiên" : "Chọn",
                                       song->title, song->singer);
        parts_.scheduler.schedule("hideNextView", Millis(static_cast<long>(kAddedPanelSeconds * 1000)),
                                  [this] { parts_.overlays.fadeNextView(0.0); });
    }
    if (count == 1) {
        flags_.isLockNext = false;
        if (!flags_.isScoring && !flags_.isError) startNextSong();
    }
    queueChanged();
}

}  // namespace vocalis
