#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vocalis {

// The stored equalizer: the pre-amplification, then the ten band gains, in decibels, each
// with one digit after the point, separated by single spaces.
struct EqualizerValues {
    double preAmplification = 0;
    std::vector<float> bands;
};

// Reads what it can: a value that is not a number counts as 0, missing bands are left out
// and anything past the tenth band is ignored.
EqualizerValues parseEqualizer(const std::string& text);

// Formatted the same in every locale.
std::string formatEqualizer(double preAmplification, const std::vector<float>& bands);

}  // namespace vocalis
