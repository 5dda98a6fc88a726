#include "audio/singing_score.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vocalis {

namespace {

constexpr float kUnvoiced = std::numeric_limits<float>::quiet_NaN();
// Missing frames between two heard ones that are taken to be the later one: a song clock that
// steps a little ahead leaves such holes.
constexpr std::int64_t kHeldGap = 3;
// An offset is taken only when it fits clearly better than none (by this share of the reference's
// voiced frames around): among 31 offsets one fits a little better by chance alone.
constexpr float kOffsetMargin = 0.05f;

// Full credit within half a semitone, none past one and a half; the octave does not matter.
float credit(float sung, float reference) {
    float distance = sung - reference;
    distance -= 12.0f * std::round(distance / 12.0f);
    return std::clamp(1.5f - std::fabs(distance), 0.0f, 1.0f);
}

int percent(double part, double whole) {
    return whole > 0 ? static_cast<int>(std::lround(100.0 * part / whole)) : 0;
}

}  // namespace

int SingingTotals::score() const { return percent(credit, static_cast<double>(referenceFrames)); }
int SingingTotals::pitchPercent() const { return percent(credit, static_cast<double>(timedFrames)); }
int SingingTotals::timingPercent() const {
    return percent(static_cast<double>(timedFrames), static_cast<double>(referenceFrames));
}

SingingScore::SingingScore(std::shared_ptr<const Melody> reference) : reference_(std::move(reference)) {}

void SingingScore::setReference(std::shared_ptr<const Melody> reference) {
    if (reference_ || !reference) return;
    reference_ = std::move(reference);
    settle();
}

float SingingScore::sung(std::int64_t frame) const {
    if (frame < 0 || frame >= static_cast<std::int64_t>(sung_.size())) return kUnvoiced;
    return sung_[static_cast<std::size_t>(frame)];
}

void SingingScore::add(std::int64_t frame, std::optional<float> note) {
    if (frame < 0) return;
    const float value = note.value_or(kUnvoiced);
    // Past the reference's end by more than the tolerance, singing is compared with nothing.
    const std::int64_t kept = reference_ ? referenceSize() + kTolerance : kLongestUnreferenced;
    if (last_ < 0) settled_ = frame;  // counted from where the singing was first heard
    const std::int64_t from = frame > last_ + 1 && frame - last_ <= kHeldGap ? last_ + 1 : frame;
    if (from < kept) {
        const std::int64_t to = std::min(frame, kept - 1);
        if (sung_.size() <= static_cast<std::size_t>(to)) {
            sung_.resize(static_cast<std::size_t>(to) + 1, kUnvoiced);
            heard_.resize(sung_.size(), false);
        }
        std::fill(sung_.begin() + from, sung_.begin() + to + 1, value);
        std::fill(heard_.begin() + from, heard_.begin() + to + 1, true);
    }
    last_ = std::max(last_, frame);
    settle();
}

// A frame is counted for good once every sung frame that could change its outcome is in.
void SingingScore::settle() {
    const std::int64_t size = referenceSize();
    while (settled_ < size && settled_ + kTolerance + kNeighbours <= last_) count(settled_++, settledTotals_);
}

SingingTotals SingingScore::totals() const {
    SingingTotals totals = settledTotals_;
    const std::int64_t end = std::min(last_ + 1, referenceSize());
    for (std::int64_t frame = settled_; frame < end; ++frame) count(frame, totals);
    return totals;
}

int SingingScore::offsetAt(std::int64_t frame) const {
    const Melody& reference = *reference_;
    const std::int64_t from = std::max<std::int64_t>(0, frame - kNeighbours);
    const std::int64_t to =
        std::min<std::int64_t>(frame + kNeighbours, static_cast<std::int64_t>(reference.size()) - 1);
    float voiced = 0;
    for (std::int64_t near = from; near <= to; ++near)
        voiced += reference.at(static_cast<std::size_t>(near)) ? 1 : 0;
    int offset = 0;
    float bestFit = -1;
    // 0, -1, 1, -2, 2 ...: of equal fits, the one nearest to no offset.
    for (int step = 0; step <= 2 * kTolerance; ++step) {
        const int candidate = step % 2 ? (step + 1) / 2 : -(step / 2);
        float fit = candidate == 0 ? 0 : -kOffsetMargin * voiced;
        for (std::int64_t near = from; near <= to; ++near) {
            const auto note = reference.at(static_cast<std::size_t>(near));
            const float singing = sung(near + candidate);
            if (note && !std::isnan(singing)) fit += credit(singing, *note);
        }
        if (fit > bestFit) bestFit = fit, offset = candidate;
    }
    return offset;
}

void SingingScore::count(std::int64_t frame, SingingTotals& totals) const {
    const auto wanted = reference_->at(static_cast<std::size_t>(frame));
    if (!wanted || static_cast<std::size_t>(frame) >= heard_.size() ||
        !heard_[static_cast<std::size_t>(frame)])
        return;
    ++totals.referenceFrames;
    const float singing = sung(frame + offsetAt(frame));
    if (std::isnan(singing)) return;
    ++totals.timedFrames;
    totals.credit += credit(singing, *wanted);
}

}  // namespace vocalis
