#pragma once

#include <optional>

namespace vocalis {

class AppDelegate;

// What a key of the main window does.
enum class KeyCommand {
    Replay,          // F7, the keyboard's previous-track key
    PlayPause,       // F8, the keyboard's play, pause and play/pause keys
    Next,            // F9, the keyboard's next-track key
    VolumeDown,      // F10, F11
    VolumeUp,        // F12
    SwitchAudioTrack // Tab
};

// The command of a Qt key code; nullopt for every other key (it does nothing).
std::optional<KeyCommand> commandForKey(int qtKey);

// Runs the command on the engine.
void runKeyCommand(AppDelegate& engine, KeyCommand command);

}  // namespace vocalis
