#pragma once

#include <cmath>
#include <cstddef>
#include <optional>
#include <vector>

namespace vocalis {

// A pitch contour at a fixed 10 ms step: one note per frame as a MIDI note number with cents
// (69.0 is A4, 440 Hz), or none where nothing is voiced. A song's reference melody and a
// singer's line are both kept this way.
struct Melody {
    static constexpr double kFrameSeconds = 0.010;

    std::vector<float> notes;  // NaN where unvoiced

    std::size_t size() const { return notes.size(); }
    std::optional<float> at(std::size_t frame) const {
        if (frame >= notes.size() || std::isnan(notes[frame])) return std::nullopt;
        return notes[frame];
    }
    std::size_t voicedFrames() const {
        std::size_t n = 0;
        for (float note : notes) n += std::isnan(note) ? 0 : 1;
        return n;
    }
};

inline float noteOfFrequency(float hertz) { return 69.0f + 12.0f * std::log2(hertz / 440.0f); }
inline float frequencyOfNote(float note) { return 440.0f * std::exp2((note - 69.0f) / 12.0f); }

}  // namespace vocalis
