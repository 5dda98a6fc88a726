// Phone commands, songs added and pictures shown.
#include <algorithm>

#include "app/app_delegate.h"
#include "app/engine_timers.h"
#include "base/log.h"
#include "catalogue/unicode_text.h"

namespace vocalis {

namespace {
constexpr Millis kAddedPanel = std::chrono::seconds(6);
// A name is a few words on the screen; a guest may send 64 KiB of them.
constexpr std::size_t kNameBytes = 60;

// One line of text, cut on a character boundary, without control characters.
std::string cleanName(const std::string& raw) {
    std::string text = displayText(raw);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    text = trimWhiteSpace(text);
    if (text.size() <= kNameBytes) return text;
    std::size_t cut = kNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return trimWhiteSpace(text.substr(0, cut));
}
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
    issue(Command::requesterName(songId, std::move(name)), CommandSource::Phone);
}

void AppDelegate::showPicture(const std::vector<std::uint8_t>& image) {
    // What does not decode is dropped; a picture already showing keeps its own timer.
    if (!parts_.overlays.setPicture(image)) {
        logParts("A phone sent a picture that cannot be read (", image.size(), " bytes)");
        return;
    }
    parts_.overlays.setPictureVisible(true);
    schedule(timers::kHidePicture, timers::kPhoneOverlay, [this] { hidePicture(); });
}

void AppDelegate::addSong(std::int32_t songId, bool first, const std::string& name, std::int32_t key) {
    const Song* song = parts_.songs.getSong(songId);
    if (!song || parts_.songs.queueContains(*song)) return;
    std::string clean = cleanName(name);
    if (first)
        parts_.songs.queuePriority(*song);
    else if (flags_.isFairTurns)
        parts_.songs.queueInsert(fairIndex(clean), *song);
    else
        parts_.songs.queueAdd(*song);
    requests_[songId] = Request{std::move(clean), std::clamp(key, kLowestKey, kHighestKey), first};
    const std::int32_t count = parts_.songs.getQueueCount();
    if (count > 1) {
        showNextPanel(parts_.thumbnails.getThumbnail(song->songId), *song,
                      withRequester(first ? "Ưu tiên" : "Chọn", *song));
        schedule(timers::kHideNextView, kAddedPanel, [this] { parts_.overlays.fadeNextView(0.0); });
    }
    if (count == 1) {
        setNextLock(false);
        if (!isScreenHeld()) startNextSong();
    }
    queueChanged();
}

// The operator's placing wins: a new song never goes ahead of one put where it is by hand.
std::int32_t AppDelegate::fairIndex(const std::string& name) const {
    std::vector<std::string> names;
    std::int32_t afterHandPlaced = 0;
    for (std::int32_t index = 0; index < parts_.songs.getQueueCount(); ++index) {
        const auto found = requests_.find(parts_.songs.getQueueSong(index)->songId);
        names.push_back(found == requests_.end() ? std::string() : found->second.name);
        if (index > 0 && found != requests_.end() && found->second.placedByHand) afterHandPlaced = index + 1;
    }
    return std::max(fairTurnIndex(names, name), afterHandPlaced);
}

// Phones name a song after adding it: with fair turns its turn is decided again under the
// name, unless it was put where it is by hand.
void AppDelegate::placeFairly(const Song& song) {
    const auto found = requests_.find(song.songId);
    if (!flags_.isFairTurns || (found != requests_.end() && found->second.placedByHand)) return;
    std::int32_t index = 1;
    while (index < parts_.songs.getQueueCount() && parts_.songs.getQueueSong(index) != &song) ++index;
    if (index >= parts_.songs.getQueueCount()) return;
    parts_.songs.queueDelete(index);
    const std::int32_t fair = fairIndex(requesterName(song.songId).value_or(""));
    parts_.songs.queueInsert(fair, song);
    if (fair != index) queueChanged();
}

// Only a queued song keeps a name; the name of the song on screen is shown at once.
void AppDelegate::setRequesterName(std::int32_t songId, const std::string& name) {
    const Song* song = parts_.songs.getSong(songId);
    if (!song || !parts_.songs.queueContains(*song)) return;
    std::string clean = cleanName(name);
    requests_[songId].name = clean;
    if (song == parts_.songs.getCurrentSong() && parts_.songs.currentSongId() == songId) showSongTitle(*song);
    keepPlay();
    announce([songId, clean](EngineListener& listener) { listener.requesterNameChanged(songId, clean); });
    placeFairly(*song);
}

std::optional<std::string> AppDelegate::requesterName(std::int32_t songId) const {
    const auto found = requests_.find(songId);
    if (found == requests_.end() || found->second.name.empty()) return std::nullopt;
    return found->second.name;
}

std::string AppDelegate::withRequester(const std::string& label, const Song& song) const {
    const auto name = requesterName(song.songId);
    return name ? label + ": " + *name : label;
}

}  // namespace vocalis
