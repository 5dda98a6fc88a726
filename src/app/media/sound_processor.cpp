#include "app/media/sound_processor.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vocalis {

namespace {

// A cancel switched on or off fades over 10 ms rather than clicking.
constexpr float kCancelStep = 1.0f / 480.0f;

// A new shifter's first output needs some 4,000 frames of input and the work on them, which a
// song's start in another key (due at once) or a skip on a busy machine cannot wait for: its
// first frames play in the file's key meanwhile, and the shifted sound fades in after them.
constexpr std::size_t kWarmUpFrames = 8192;
constexpr std::size_t kFadeFrames = 480;

// Butterworth low-pass at 120 Hz (48 kHz): the bass that survives centre cancellation.
struct LowPass {
    float b0, b1, b2, a1, a2;
};
LowPass makeLowPass() {
    const double w = 2.0 * std::numbers::pi * 120.0 / PitchShifter::kRate;
    const double q = 1.0 / std::numbers::sqrt2;
    const double alpha = std::sin(w) / (2.0 * q);
    const double c = std::cos(w);
    const double a0 = 1.0 + alpha;
    return {static_cast<float>((1.0 - c) / 2.0 / a0), static_cast<float>((1.0 - c) / a0),
            static_cast<float>((1.0 - c) / 2.0 / a0), static_cast<float>(-2.0 * c / a0),
            static_cast<float>((1.0 - alpha) / a0)};
}
const LowPass kLowPass = makeLowPass();

}  // namespace

SoundProcessor::SoundProcessor() = default;
SoundProcessor::~SoundProcessor() = default;

void SoundProcessor::setKeyShift(int semitones) {
    semitones = std::clamp(semitones, -6, 6);
    if (semitones == key_) return;
    key_ = semitones;
    if (key_ == 0) {
        leaveShifter();
    } else if (shifter_) {
        shifter_->setSemitones(key_);
    }
}

void SoundProcessor::setCentreCancel(bool enabled) { centreCancel_ = enabled; }

void SoundProcessor::push(std::span<const float> interleaved) {
    scratch_.assign(interleaved.begin(), interleaved.end());
    if (centreCancel_ || cancelMix_ > 0.0f) cancelCentre(scratch_);
    if (key_ == 0) {
        ready_.insert(ready_.end(), scratch_.begin(), scratch_.end());
        return;
    }
    std::span<const float> input(scratch_);
    if (!shifter_) {
        shifter_ = std::make_unique<PitchShifter>(key_);
        warmUp_ = kWarmUpFrames;
        fadeIn_ = 0;
    }
    if (warmUp_ > 0) {
        const auto head = input.first(std::min(warmUp_ * 2, input.size()));
        ready_.insert(ready_.end(), head.begin(), head.end());
        shifter_->push(head);
        shifter_->skipOutput(head.size() / 2);
        warmUp_ -= head.size() / 2;
        input = input.subspan(head.size());
    }
    history_.insert(history_.end(), input.begin(), input.end());
    shifter_->push(input);
    collect();
}

void SoundProcessor::cancelCentre(std::span<float> interleaved) {
    const LowPass& f = kLowPass;
    const float target = centreCancel_ ? 1.0f : 0.0f;
    for (std::size_t i = 0; i + 1 < interleaved.size(); i += 2) {
        const float left = interleaved[i];
        const float right = interleaved[i + 1];
        const float mid = (left + right) * 0.5f;
        const float bass = f.b0 * mid + f.b1 * x1_ + f.b2 * x2_ - f.a1 * y1_ - f.a2 * y2_;
        x2_ = x1_;
        x1_ = mid;
        y2_ = y1_;
        y1_ = bass;
        // The sides alone, the same in both speakers so that a mono system does not cancel
        // them too; at the power a side had in its own speaker.
        const float cancelled = bass + (left - right) * 0.5f * std::numbers::sqrt2_v<float>;
        if (cancelMix_ != target)
            cancelMix_ = target > cancelMix_ ? std::min(target, cancelMix_ + kCancelStep)
                                             : std::max(target, cancelMix_ - kCancelStep);
        interleaved[i] = left + (cancelled - left) * cancelMix_;
        interleaved[i + 1] = right + (cancelled - right) * cancelMix_;
    }
}

// Moves what the shifter has made to the ready output, and forgets its unshifted twin.
void SoundProcessor::collect() {
    scratch_.clear();
    const std::size_t made = shifter_->take(shifter_->available(), scratch_);
    // The first shifted frames after a warm-up fade in from their unshifted twins.
    for (std::size_t i = 0; i < made && fadeIn_ < kFadeFrames && i * 2 + 1 < history_.size();
         ++i, ++fadeIn_) {
        const float shifted = static_cast<float>(fadeIn_ + 1) / (kFadeFrames + 1);
        for (std::size_t c = 0; c < 2; ++c)
            scratch_[i * 2 + c] = scratch_[i * 2 + c] * shifted + history_[i * 2 + c] * (1.0f - shifted);
    }
    ready_.insert(ready_.end(), scratch_.begin(), scratch_.end());
    const std::size_t done = std::min(made * 2, history_.size());
    history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(done));
}

// Back to the file's key: what is still inside the shifter plays unshifted, right after
// what it has made, so nothing is lost or repeated.
void SoundProcessor::leaveShifter() {
    if (!shifter_) return;
    collect();
    ready_.insert(ready_.end(), history_.begin(), history_.end());
    history_.clear();
    shifter_.reset();
}

std::size_t SoundProcessor::take(std::size_t frames, std::vector<float>& out) {
    const std::size_t count = std::min(frames, ready());
    out.insert(out.end(), ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(count * 2));
    ready_.erase(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(count * 2));
    return count;
}

void SoundProcessor::drop(std::size_t frames) {
    const std::size_t count = std::min(frames, ready());
    ready_.erase(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(count * 2));
}

void SoundProcessor::reset() {
    ready_.clear();
    history_.clear();
    shifter_.reset();
    warmUp_ = 0;
    x1_ = x2_ = y1_ = y2_ = 0.0f;
    cancelMix_ = centreCancel_ ? 1.0f : 0.0f;
}

}  // namespace vocalis
