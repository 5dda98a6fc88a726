#pragma once

#include <atomic>
#include <span>

#include "audio/melody.h"

namespace vocalis {

// The pitch of the voice in `sound` (mono, 16 kHz), one frame per 10 ms: frame j is the sound around
// the time j × 10 ms. Pitches outside a singer's range are taken for unvoiced. An empty Melody when
// `cancel` is set meanwhile.
Melody trackMelody(std::span<const float> sound, const std::atomic<bool>* cancel = nullptr);

}  // namespace vocalis
