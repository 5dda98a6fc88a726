#pragma once

#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace vocalis {

// The pitch of one voice, one frame every 10 ms (aubio's YIN). Works on mono sound at
// kRate; a frame is voiced only when the tracker is confident and the sound is loud enough.
class PitchTracker {
  public:
    static constexpr int kRate = 16000;
    static constexpr int kHop = kRate / 100;  // one frame per 10 ms
    // 32 ms: YIN compares the window's first half with the sound a period later, so periods up to
    // 16 ms (62 Hz, below a bass singer's lowest) are seen, and a note's start and end are sharp.
    static constexpr int kWindow = 512;
    // A frame's pitch is that of the sound about this many samples before the end of its hop (the
    // part of the window YIN weighs most); voicing follows the newest hop.
    static constexpr int kLatency = 320;

    struct Frame {
        std::optional<float> note;  // MIDI note number with cents
        float confidence = 0;
    };

    PitchTracker();
    ~PitchTracker();
    PitchTracker(const PitchTracker&) = delete;
    PitchTracker& operator=(const PitchTracker&) = delete;

    // Frames quieter than this are unvoiced whatever their pitch (dB full scale).
    void setSilence(float decibels);
    // Frames whose confidence is below this are unvoiced.
    void setMinConfidence(float confidence) { minConfidence_ = confidence; }

    // Takes any number of samples; appends one frame per whole hop completed.
    void push(std::span<const float> mono, std::vector<Frame>& out);
    // Forgets the sound so far (a new song).
    void reset();

  private:
    struct Aubio;  // aubio's detector and its buffers
    std::unique_ptr<Aubio> aubio_;
    float silence_ = -50.0f;
    float minConfidence_ = 0.8f;
};

}  // namespace vocalis
