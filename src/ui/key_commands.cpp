#include "ui/key_commands.h"

#include <Qt>

#include "app/app_delegate.h"

namespace vocalis {

std::optional<KeyCommand> commandForKey(int qtKey) {
    switch (qtKey) {
    case Qt::Key_F7:
    case Qt::Key_MediaPrevious:
        return KeyCommand::Replay;
    case Qt::Key_F8:
    case Qt::Key_MediaPlay:
    case Qt::Key_MediaPause:
    case Qt::Key_MediaTogglePlayPause:
        return KeyCommand::PlayPause;
    case Qt::Key_F9:
    case Qt::Key_MediaNext:
        return KeyCommand::Next;
    case Qt::Key_F10:
    case Qt::Key_F11:
        return KeyCommand::VolumeDown;
    case Qt::Key_F12:
        return KeyCommand::VolumeUp;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:  // Shift+Tab is still the Tab key
        return KeyCommand::SwitchAudioTrack;
    default:
        return std::nullopt;
    }
}

void runKeyCommand(AppDelegate& engine, KeyCommand command) {
    switch (command) {
    case KeyCommand::Replay:
        engine.onReplayKeyPress();
        break;
    case KeyCommand::PlayPause:
        engine.onPlayPauseKeyPress();
        break;
    case KeyCommand::Next:
        engine.onNextKeyPress();
        break;
    case KeyCommand::VolumeDown:
        engine.onVolumeDownKeyPress();
        break;
    case KeyCommand::VolumeUp:
        engine.onVolumeUpKeyPress();
        break;
    case KeyCommand::SwitchAudioTrack:
        engine.onSwitchAudioTrack();
        break;
    }
}

}  // namespace vocalis
