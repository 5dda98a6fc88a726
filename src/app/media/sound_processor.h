#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

#include "app/media/pitch_shifter.h"

namespace vocalis {

// The changes made to the decoded sound (interleaved stereo at 48 kHz) on its way out:
// centre cancellation, then the key. Output frame k belongs to input frame k since the last
// reset, whatever was switched on the way, so the caller times the output by its input;
// a switch never plays a frame twice nor leaves one out. With both off the sound passes
// untouched and costs nothing.
class SoundProcessor {
  public:
    SoundProcessor();
    ~SoundProcessor();

    // -6 ... +6 semitones; taken at the next input.
    void setKeyShift(int semitones);
    void setCentreCancel(bool enabled);

    void push(std::span<const float> interleaved);
    // Output frames ready now.
    std::size_t ready() const { return ready_.size() / 2; }
    // Frames pushed and not yet ready (inside the pitch shifter).
    std::size_t pending() const { return history_.size() / 2; }
    // Appends up to `frames` ready frames to `out`; answers how many.
    std::size_t take(std::size_t frames, std::vector<float>& out);
    void drop(std::size_t frames);
    // Forgets all sound (a seek, a new media); the settings stay.
    void reset();

  private:
    void cancelCentre(std::span<float> interleaved);
    void collect();
    void leaveShifter();

    int key_ = 0;
    bool centreCancel_ = false;
    float cancelMix_ = 0.0f;  // 0 untouched ... 1 cancelled, ramped to avoid a click
    // Low-pass state for the mid signal's bass, which is kept (bass and kick sit there too).
    float x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
    std::unique_ptr<PitchShifter> shifter_;
    std::size_t warmUp_ = 0;  // input frames still to pass unshifted while a new shifter warms up
    std::size_t fadeIn_ = 0;  // shifted frames made since the warm-up, up to the fade's length
    std::deque<float> ready_;
    // Input inside the shifter, unshifted: played as it is if the shifter is left.
    std::deque<float> history_;
    std::vector<float> scratch_;
};

}  // namespace vocalis
