#pragma once

#include <optional>

#include "app/engine_command.h"

namespace vocalis {

// The command of a key of the main window: F7 and the previous-track key replay; F8 and
// the play, pause and play/pause keys toggle; F9 and the next-track key skip; F10 and F11
// turn the volume down, F12 up; Tab switches the vocal and backing track; F5 and F6 take
// the song playing now a semitone down and up. Nullopt for every other key (it does nothing).
std::optional<CommandKind> commandForKey(int qtKey);

}  // namespace vocalis
