#pragma once

#include <optional>
#include <span>
#include <vector>

namespace vocalis {

// How many samples (with the fraction) the sound of `b` lags the same sound in `a`: b[n] ≈ g·a[n − lag].
// Searched within ±maxLag by cross-correlation; nullopt when nothing in that range correlates.
std::optional<double> trackLag(std::span<const float> a, std::span<const float> b, int maxLag);

// `samples` delayed by `lag` samples (any real number; negative brings it earlier), the same length:
// out[n] = samples[n − lag], silence where that falls outside.
std::vector<float> delayed(std::span<const float> samples, double lag);

}  // namespace vocalis
