#include "ui/key_commands.h"

#include <Qt>

namespace vocalis {

std::optional<CommandKind> commandForKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_F7:
        case Qt::Key_MediaPrevious:
            return CommandKind::Replay;
        case Qt::Key_F8:
        case Qt::Key_MediaPlay:
        case Qt::Key_MediaPause:
        case Qt::Key_MediaTogglePlayPause:
            return CommandKind::PlayPause;
        case Qt::Key_F9:
        case Qt::Key_MediaNext:
            return CommandKind::Next;
        case Qt::Key_F10:
        case Qt::Key_F11:
            return CommandKind::VolumeDown;
        case Qt::Key_F12:
            return CommandKind::VolumeUp;
        case Qt::Key_F5:
            return CommandKind::KeyDown;
        case Qt::Key_F6:
            return CommandKind::KeyUp;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:  // Shift+Tab is still the Tab key
            return CommandKind::SwitchTrack;
        default:
            return std::nullopt;
    }
}

}  // namespace vocalis
