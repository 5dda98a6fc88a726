// Phone commands, songs added and pictures shown.
#include <algorithm>

#include "app/app_delegate.h"
#include "base/log.h"
#include "catalogue/unicode_text.h"

namespace vocalis {

namespace {
constexpr double kPhoneOverlaySeconds = 15.0;
constexpr double kAddedPanelSeconds = 6.0;
// A name is logged shortened and only a few times a second: a phone may send 64 KiB names
// a thousand times a second.
constexpr std::size_t kLoggedNameBytes = 100;
}  // namespace

// Phone commands arrive on the phone server's queue and join the engine's command path as
// they are; nothing here decides anything.
void AppDelegate::onRemotePlayPause(bool play) {
    issue({play ? CommandKind::Play : CommandKind::Pause}, CommandSource::Phone);
}
void AppDelegate::onRemoteNext() { issue({CommandKind::Next}, CommandSource::Phone); }
void AppDelegate::onRemoteReplay() { issue({CommandKind::Replay}, CommandSource::Phone); }
void AppDelegate::onRemoteSwitchAudioTrack() { issue({CommandKind::SwitchTrack}, CommandSource::Phone); }
void AppDelegate::onRemoteRes(std::int32_t songId) {
    issue({CommandKind::AddSong, songId}, CommandSource::Phone);
}
void AppDelegate::onRemoteRes1st(std::int32_t songId) {
    issue({CommandKind::AddSongFirst, songId}, CommandSource::Phone);
}
void AppDelegate::onRemoteVolumeUp() { issue({CommandKind::VolumeUp}, CommandSource::Phone); }
void AppDelegate::onRemoteVolumeDown() { issue({CommandKind::VolumeDown}, CommandSource::Phone); }
void AppDelegate::onRemoteQueueRemove(std::int32_t position) {
    issue({CommandKind::RemoveWaiting, position}, CommandSource::Phone);
}
void AppDelegate::onRemoteQueueMoveUp(std::int32_t position) {
    issue({CommandKind::MoveWaitingUp, position}, CommandSource::Phone);
}
void AppDelegate::onRemoteQueueMoveFirst(std::int32_t position) {
    issue({CommandKind::MoveWaitingFirst, position}, CommandSource::Phone);
}
void AppDelegate::onRemoteSendMessage(std::string text) {
    issue(Command::message(std::move(text)), CommandSource::Phone);
}
void AppDelegate::onRemoteSendPicture(std::vector<std::uint8_t> image) {
    issue(Command::showPicture(std::move(image)), CommandSource::Phone);
}
void AppDelegate::onRemoteRecord() { issue({CommandKind::Record}, CommandSource::Phone); }

void AppDelegate::onRemoteQueueRequesterName(std::int32_t songId, std::string name) {
    parts_.scheduler.post([this, songId, name = std::move(name)] {
        if (!nameLog_.tryTake(TokenBucket::Clock::now())) return;
        std::size_t cut = std::min(name.size(), kLoggedNameBytes);
        while (cut < name.size() && cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        logParts(songId, " ", displayText(name.substr(0, cut)), cut < name.size() ? "..." : "");
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

void AppDelegate::addSong(std::int32_t songId, bool first) {
    const Song* song = parts_.songs.getSong(songId);
    if (!song || parts_.songs.queueContains(*song)) return;
    first ? parts_.songs.queuePriority(*song) : parts_.songs.queueAdd(*song);
    const std::int32_t count = parts_.songs.getQueueCount();
    if (count > 1) {
        parts_.scheduler.cancel("hideNextView");
        parts_.overlays.fadeNextView(1.0);
        parts_.overlays.setNextContent(parts_.thumbnails.getThumbnail(song->songId),
                                       first ? "Ưu tiên" : "Chọn", song->title, song->singer);
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
