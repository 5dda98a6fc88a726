#include "audio/melody_cleanup.h"

#include <algorithm>
#include <cmath>

namespace vocalis {

namespace {

constexpr std::size_t kLongestGap = 2;   // frames filled between voiced frames
constexpr std::size_t kShortestRun = 5;  // frames: 50 ms
constexpr float kLeap = 1.0f;            // semitones: farther apart, a gap is a new note, not filled

bool voiced(float note) { return !std::isnan(note); }

void fillGaps(std::vector<float>& notes) {
    for (std::size_t i = 1; i < notes.size(); ++i) {
        if (voiced(notes[i]) || !voiced(notes[i - 1])) continue;
        std::size_t end = i;
        while (end < notes.size() && !voiced(notes[end]) && end - i < kLongestGap) ++end;
        if (end >= notes.size() || !voiced(notes[end])) continue;
        const float before = notes[i - 1], after = notes[end];
        if (std::abs(after - before) > kLeap) continue;
        for (std::size_t j = i; j < end; ++j)
            notes[j] = before + (after - before) * float(j - i + 1) / float(end - i + 1);
    }
}

void dropShortRuns(std::vector<float>& notes) {
    for (std::size_t start = 0; start < notes.size();) {
        if (!voiced(notes[start])) {
            ++start;
            continue;
        }
        std::size_t end = start;
        while (end < notes.size() && voiced(notes[end])) ++end;
        if (end - start < kShortestRun)
            std::fill(notes.begin() + long(start), notes.begin() + long(end), NAN);
        start = end;
    }
}

// A tracker's octave slip lasts a frame or two; the singer's own leaps are followed by more.
void mendOctaveSlips(std::vector<float>& notes) {
    for (std::size_t i = 1; i + 1 < notes.size(); ++i) {
        const float before = notes[i - 1], here = notes[i], after = notes[i + 1];
        if (!voiced(before) || !voiced(here) || !voiced(after)) continue;
        if (std::abs(before - after) < kLeap && std::abs(here - before) > 11.0f)
            notes[i] = (before + after) / 2;
    }
}

}  // namespace

void cleanMelody(Melody& melody) {
    mendOctaveSlips(melody.notes);
    fillGaps(melody.notes);
    dropShortRuns(melody.notes);
}

}  // namespace vocalis
