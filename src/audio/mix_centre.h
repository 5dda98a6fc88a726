#pragma once

#include <span>
#include <vector>

namespace vocalis {

// The centre of a stereo mix, where a song's voice sits, within the voice's band: per frequency, what
// left and right hold alike is kept and what leans to one side is taken out. An estimate: whatever
// else the mix puts in the centre stays.
struct MixCentre {
    static constexpr int kStep = 256;  // samples between two shares
    std::vector<float> sound;
    // The centre's share of the mix's energy within the voice's band, every kStep samples: high where a
    // voice sings over the backing, low where only the backing's centred remains are left.
    std::vector<float> share;
};
MixCentre mixCentre(std::span<const float> left, std::span<const float> right);

}  // namespace vocalis
