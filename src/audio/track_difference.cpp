#include "audio/track_difference.h"

#include <algorithm>
#include <cmath>

#include "audio/track_decoder.h"
#include "audio/track_offset.h"

namespace vocalis {

namespace {

constexpr int kMaxLag = SongSound::kRate / 2;              // encoders and authoring shift tracks by less
constexpr std::size_t kChunk = SongSound::kRate * 3 / 20;  // 150 ms

// Sums over one chunk: the energy of each track and their product.
struct ChunkSums {
    double aa = 0, bb = 0, ab = 0;
    double coherence() const { return aa > 0 && bb > 0 ? ab * ab / (aa * bb) : 0.0; }
};

double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace

std::optional<std::vector<float>> trackDifference(std::span<const float> a, std::span<const float> b) {
    const std::size_t length = std::min(a.size(), b.size());
    const auto lag = trackLag(a.first(length), b.first(length), kMaxLag);
    if (!lag) return std::nullopt;
    std::vector<float> x = delayed(a.first(length), *lag);  // now x[n] ≈ b[n] / gain outside the voice
    std::span<const float> y = b.first(length);

    std::vector<ChunkSums> chunks((length + kChunk - 1) / kChunk);
    for (std::size_t n = 0; n < length; ++n) {
        ChunkSums& c = chunks[n / kChunk];
        c.aa += double(x[n]) * x[n], c.bb += double(y[n]) * y[n], c.ab += double(x[n]) * y[n];
    }

    // The level of b against a, from the chunks where the two are one sound (no voice in either).
    double peak = 0;
    for (const ChunkSums& c : chunks) peak = std::max({peak, c.aa, c.bb});
    std::vector<double> gains;
    for (const ChunkSums& c : chunks)
        if (c.coherence() > 0.98 && c.aa > peak * 1e-5) gains.push_back(c.ab / c.aa);
    double total[3] = {};
    for (const ChunkSums& c : chunks) total[0] += c.aa, total[1] += c.bb, total[2] += c.ab;
    if (total[0] <= 0 || total[1] <= 0) return std::nullopt;
    const double gain = gains.size() >= 4 ? median(gains) : total[2] / total[0];

    // The track with the voice is the one louder than the level alone explains. It is the one
    // predicted from the other: a least-squares level leaves exactly the voice then, where the
    // other way round would take part of the voice for backing.
    double excess = 0;
    for (const ChunkSums& c : chunks) excess += c.bb - gain * gain * c.aa;
    const bool voiceInB = excess >= 0;
    std::vector<float> voice(length);
    const std::span<const float> with = voiceInB ? y : std::span<const float>(x);
    const std::span<const float> without = voiceInB ? std::span<const float>(x) : y;

    // Each chunk's level from it and its neighbours, followed smoothly from centre to centre.
    const double fallback = voiceInB ? gain : 1.0 / gain;
    std::vector<double> levels(chunks.size());
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        double product = 0, energy = 0;
        for (std::size_t j = i ? i - 1 : 0; j <= std::min(i + 1, chunks.size() - 1); ++j)
            product += chunks[j].ab, energy += voiceInB ? chunks[j].aa : chunks[j].bb;
        levels[i] = energy > peak * 1e-6 ? product / energy : fallback;
    }
    for (std::size_t n = 0; n < length; ++n) {
        const double place = (double(n) + 0.5) / double(kChunk) - 0.5;
        const auto i = static_cast<std::size_t>(std::clamp(place, 0.0, double(chunks.size() - 1)));
        const std::size_t j = std::min(i + 1, chunks.size() - 1);
        const double t = std::clamp(place - double(i), 0.0, 1.0);
        const double level = levels[i] + (levels[j] - levels[i]) * t;
        voice[n] = static_cast<float>(with[n] - level * without[n]);
    }
    // The guest sings to the backing track: the voice is given in its time. Whole samples are
    // plenty for a pitch every 10 ms.
    if (voiceInB) {
        const auto shift = std::min(static_cast<std::size_t>(std::lround(std::abs(*lag))), length);
        if (*lag > 0)
            voice.erase(voice.begin(), voice.begin() + static_cast<std::ptrdiff_t>(shift)),
                voice.resize(length, 0.0f);
        else
            voice.insert(voice.begin(), shift, 0.0f), voice.resize(length);
    }
    return voice;
}

}  // namespace vocalis
