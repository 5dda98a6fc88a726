// The engine's one command table: every front-end's request runs here, on the main
// thread, in the order it was issued, with its conditions checked once.
#include <algorithm>

#include "app/app_delegate.h"
#include "app/engine_timers.h"
#include "catalogue/unicode_text.h"

namespace vocalis {

void AppDelegate::issue(Command command, CommandSource source) {
    parts_.scheduler.post([this, command = std::move(command), source] { execute(command, source); });
}

// While a change is being written a command waits, so that what front-ends are told once
// that change is on disk is what the store holds.
void AppDelegate::execute(const Command& command, CommandSource source) {
    if (writing_ || !afterWrite_.empty()) {
        afterWrite_.push_back([this, command, source] { perform(command, source); });
        return;
    }
    perform(command, source);
}

void AppDelegate::perform(const Command& command, CommandSource source) {
    // Guests are served from the intro's end with the catalogue loaded; what they ask before is dropped.
    const bool phone = source == CommandSource::Phone;
    if (phone && !takesGuestCommands()) return;
    // A guest may not pause, skip or restart the score screen or a broken song's message.
    const bool phoneHeldOff = phone && isScreenHeld();
    switch (command.kind) {
        case CommandKind::PlayPause:
            if (!phoneHeldOff) playPause(true);
            break;
        case CommandKind::Play:
            if (!phoneHeldOff && !isIntro()) play();
            break;
        case CommandKind::Pause:
            if (!phoneHeldOff && !isIntro()) pause(true);
            break;
        case CommandKind::Next:
            onNext();
            break;
        case CommandKind::Replay:
            if (!phoneHeldOff) replay();
            break;
        case CommandKind::SwitchTrack:
            if (!phoneHeldOff) switchAudioTrack();
            break;
        case CommandKind::VolumeUp:
            volumeUp();
            break;
        case CommandKind::VolumeDown:
            volumeDown();
            break;
        case CommandKind::AddSong:
        case CommandKind::AddSongFirst:
            if (!isIntro())
                addSong(command.value, command.kind == CommandKind::AddSongFirst, command.text, command.key);
            break;
        case CommandKind::RequesterName:
            setRequesterName(command.value, command.text);
            break;
        case CommandKind::RemoveWaiting:
        case CommandKind::MoveWaitingUp:
        case CommandKind::MoveWaitingFirst: {
            // A position outside the waiting songs changes nothing; phones still hear the queue.
            const auto change = command.kind == CommandKind::RemoveWaiting   ? &SongManager::removeWaiting
                                : command.kind == CommandKind::MoveWaitingUp ? &SongManager::moveWaitingUp
                                                                             : &SongManager::moveWaitingFirst;
            const Song* moved = command.value >= 0 && command.value < parts_.songs.getQueueCount()
                                    ? parts_.songs.getQueueSong(command.value + 1)
                                    : nullptr;
            // A song moved by hand stays where it was put, fair turns or not.
            if ((parts_.songs.*change)(command.value) && moved && command.kind != CommandKind::RemoveWaiting)
                requests_[moved->songId].placedByHand = true;
            queueChanged();
            break;
        }
        case CommandKind::Message:
            if (!isIntro()) showGuestMessage(command.text);
            break;
        case CommandKind::Picture:
            if (!isIntro()) showPicture(command.picture);
            break;
        case CommandKind::Record:
            record();
            break;
        case CommandKind::SetKey:
            setSongKey(command.value, command.key);
            break;
        case CommandKind::KeyDown:
        case CommandKind::KeyUp:
            stepKey(command.kind == CommandKind::KeyUp ? 1 : -1);
            break;
        case CommandKind::ClearQueue:
            clearQueue();
            break;
        case CommandKind::FairTurns:
            flags_.isFairTurns = command.value != 0;
            parts_.preferences.setBool(KEY_FAIR_TURNS, flags_.isFairTurns);
            parts_.preferences.synchronize();
            break;
    }
}

// "scoring on" and "scoring off" switch the score screen for this run without storing it.
void AppDelegate::showGuestMessage(const std::string& text) {
    if (!text.empty()) {
        const std::string lower = lowerCase(displayText(text));
        if (lower == "scoring off") setHasScoring(false);
        if (lower == "scoring on") setHasScoring(true);
    }
    parts_.overlays.setMessageText(displayText(text));
    parts_.overlays.setMessageVisible(true);
    schedule(timers::kHideMessage, timers::kPhoneOverlay, [this] { hideMessage(); });
}

void AppDelegate::addListener(EngineListener* listener) {
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void AppDelegate::removeListener(EngineListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

}  // namespace vocalis
