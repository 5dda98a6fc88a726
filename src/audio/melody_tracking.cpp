#include "audio/melody_tracking.h"

#include <algorithm>
#include <vector>

#include "audio/pitch_tracker.h"

namespace vocalis {

namespace {

constexpr float kLowestNote = 38;                    // D2, 73 Hz: below a bass singer's lowest
constexpr float kHighestNote = 86;                   // D6, 1175 Hz: above a soprano's highest
constexpr std::size_t kBlock = PitchTracker::kRate;  // samples between looks at `cancel`

}  // namespace

Melody trackMelody(std::span<const float> sound, const std::atomic<bool>* cancel) {
    PitchTracker tracker;
    // The tracker's frame describes sound a little before the end of its hop: it is given the
    // sound that far ahead, so that frame j is the sound around j × 10 ms.
    const std::size_t ahead = std::min(static_cast<std::size_t>(PitchTracker::kLatency), sound.size());
    std::vector<PitchTracker::Frame> frames;
    frames.reserve(sound.size() / PitchTracker::kHop + 2);
    for (std::size_t at = ahead; at < sound.size(); at += kBlock) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return {};
        tracker.push(sound.subspan(at, std::min(kBlock, sound.size() - at)), frames);
    }
    const std::vector<float> tail(ahead + PitchTracker::kHop - 1, 0.0f);
    tracker.push(tail, frames);
    frames.resize(std::min(frames.size(), (sound.size() + PitchTracker::kHop - 1) / PitchTracker::kHop));

    Melody melody;
    melody.notes.reserve(frames.size());
    for (const PitchTracker::Frame& frame : frames) {
        const bool sung = frame.note && *frame.note >= kLowestNote && *frame.note <= kHighestNote;
        melody.notes.push_back(sung ? *frame.note : NAN);
    }
    return melody;
}

}  // namespace vocalis
