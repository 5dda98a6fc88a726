#pragma once

#include <optional>
#include <span>
#include <vector>

namespace vocalis {

// What one track of a song has that the other has not: the voice, when the tracks are the backing
// and the backing with the voice (which track holds it does not matter). The tracks are lined up
// first (encoders delay them differently) and their levels matched every 150 ms. nullopt when the
// tracks do not share their sound.
std::optional<std::vector<float>> trackDifference(std::span<const float> a, std::span<const float> b);

}  // namespace vocalis
