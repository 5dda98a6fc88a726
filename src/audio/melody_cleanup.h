#pragma once

#include "audio/melody.h"

namespace vocalis {

// Tidies a tracked contour as a singer's line: a gap of one or two frames inside a note is filled
// from its sides, a voiced stretch shorter than 50 ms is dropped (a consonant, a drum, a leftover
// of the backing), and a single frame an octave or more off its neighbours takes their pitch.
void cleanMelody(Melody& melody);

}  // namespace vocalis
