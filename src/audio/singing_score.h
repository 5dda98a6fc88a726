#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "audio/melody.h"

namespace vocalis {

// Where a guest's singing stands against the song's melody: counted over the reference's voiced
// frames of the stretch of song the microphone listened to (a song left early is counted up to
// where it was left, one resumed mid-way from there).
struct SingingTotals {
    std::size_t referenceFrames = 0;  // the reference's voiced frames in that stretch
    std::size_t timedFrames = 0;      // of those, the ones the singer was voiced at, give or take the offset
    double credit = 0;                // pitch credit over the timed frames, 0 ... 1 each

    // Only a stretch in which the song has a voice says anything of the singer.
    bool measured() const { return referenceFrames > 0; }
    int score() const;          // 0 ... 100: credit over the reference's voiced frames
    int pitchPercent() const;   // how close the notes were where the singer sang
    int timingPercent() const;  // how much of the song's voice the singer sang along with

    bool operator==(const SingingTotals&) const = default;
};

// The comparison of a sung line with a reference melody, frame by frame (10 ms) as the frames
// come. A frame's note counts whatever its octave (a man an octave below a woman's song sings it
// right): full credit within half a semitone, none past one and a half. The singer may be up to
// 150 ms early or late: each frame is compared at the offset that fits the singing around it best.
// The reference may come late (a song that started before its melody was made): until then the
// sung line is only kept, and it is counted when the reference comes.
class SingingScore {
  public:
    static constexpr int kTolerance = 15;  // frames each way: 150 ms
    // Frames each side (about a phrase) whose fit chooses a frame's offset: a singer's lead or lag
    // holds for a while, a chance fit of a few notes does not.
    static constexpr int kNeighbours = 100;

    // The longest sung line kept without a reference: an hour.
    static constexpr std::int64_t kLongestUnreferenced = 360'000;

    // `reference`: null when it is not known yet.
    explicit SingingScore(std::shared_ptr<const Melody> reference);
    // The reference of a score made without one; what was sung so far is counted against it.
    void setReference(std::shared_ptr<const Melody> reference);
    bool hasReference() const { return reference_ != nullptr; }

    // What was sung at song frame `frame` (its song time over 10 ms): a note, or nothing voiced.
    // Frames come in about the order of the song; a few missing ones between two are taken to be
    // the later one, a frame heard again replaces what was there, and the song's frames between two
    // frames further apart (a jump) were not played: they do not count.
    void add(std::int64_t frame, std::optional<float> note);
    // As if the song stopped after the last frame heard; nothing measured without a reference.
    SingingTotals totals() const;

  private:
    // The sung note at `frame`, NaN when none.
    float sung(std::int64_t frame) const;
    // The offset (in frames) at which the singing around reference frame `frame` fits it best.
    int offsetAt(std::int64_t frame) const;
    // Adds reference frame `frame`'s outcome to `totals`, with the singing heard so far.
    void count(std::int64_t frame, SingingTotals& totals) const;
    // Counts for good the frames no later singing can change.
    void settle();
    std::int64_t referenceSize() const {
        return reference_ ? static_cast<std::int64_t>(reference_->size()) : 0;
    }

    std::shared_ptr<const Melody> reference_;
    std::vector<float> sung_;   // by song frame, NaN where unvoiced or not heard
    std::vector<bool> heard_;   // by song frame: the song played it while the microphone listened
    std::int64_t last_ = -1;    // the latest frame heard
    std::int64_t settled_ = 0;  // frames before this are counted in settledTotals_ for good
    SingingTotals settledTotals_;
};

}  // namespace vocalis
