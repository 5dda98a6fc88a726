#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace vocalis {

// Moves interleaved stereo 48 kHz sound by whole semitones with the tempo unchanged
// (rubberband in real-time mode). Output frame k belongs to input frame k: the shifter's
// own start-up delay is removed, so a caller can time the output by its input. The output
// trails the input by up to a few thousand frames, which the caller keeps fed.
class PitchShifter {
  public:
    static constexpr int kRate = 48000;

    explicit PitchShifter(int semitones);
    ~PitchShifter();
    PitchShifter(const PitchShifter&) = delete;
    PitchShifter& operator=(const PitchShifter&) = delete;

    // Takes effect smoothly within the next few blocks.
    void setSemitones(int semitones);
    void push(std::span<const float> interleaved);
    // The output of the next `frames` pushed is thrown away (the caller plays them otherwise).
    void skipOutput(std::size_t frames) { toDiscard_ += frames; }
    // Frames ready to be taken.
    std::size_t available() const;
    // Appends up to `frames` ready frames (interleaved) to `out`; answers how many.
    std::size_t take(std::size_t frames, std::vector<float>& out);

  private:
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    std::size_t toDiscard_ = 0;  // output frames that stand for the start-up padding or are skipped
    std::vector<float> left_, right_;
};

}  // namespace vocalis
