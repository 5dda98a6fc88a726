#include "audio/mix_centre.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "audio/real_fft.h"
#include "audio/track_decoder.h"

namespace vocalis {

namespace {

constexpr int kFrame = 1024;  // 64 ms
constexpr int kHop = MixCentre::kStep;
static_assert(kHop * 4 == kFrame);
constexpr double kLowest = 200, kHighest = 4000;  // Hz: a voice's lowest notes to its upper harmonics
constexpr double kCentred = 0.8;                  // less alike than this is taken for a side's sound

}  // namespace

MixCentre mixCentre(std::span<const float> left, std::span<const float> right) {
    const std::size_t length = std::min(left.size(), right.size());
    MixCentre result;
    std::vector<float>& centre = result.sound;
    centre.assign(length, 0.0f);
    RealFft fft(kFrame);
    std::vector<float> window(kFrame), l(kFrame), r(kFrame), out(kFrame);
    for (int n = 0; n < kFrame; ++n)
        window[static_cast<std::size_t>(n)] =
            static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / kFrame));
    // A Hann window on both sides at a quarter-frame hop adds up to 1.5.
    const float scale = 1.0f / 1.5f;
    std::vector<std::complex<float>> L(static_cast<std::size_t>(fft.bins())), R(L.size());
    const auto lowest = static_cast<std::size_t>(kLowest * kFrame / SongSound::kRate);
    const auto highest = static_cast<std::size_t>(kHighest * kFrame / SongSound::kRate);

    // Frames start a frame before the sound so that every sample is covered by four of them.
    for (std::ptrdiff_t start = -kFrame; start < static_cast<std::ptrdiff_t>(length); start += kHop) {
        for (std::ptrdiff_t n = 0; n < kFrame; ++n) {
            const std::ptrdiff_t i = start + n;
            const bool inside = i >= 0 && i < static_cast<std::ptrdiff_t>(length);
            const float w = window[static_cast<std::size_t>(n)];
            l[static_cast<std::size_t>(n)] = inside ? w * left[static_cast<std::size_t>(i)] : 0.0f;
            r[static_cast<std::size_t>(n)] = inside ? w * right[static_cast<std::size_t>(i)] : 0.0f;
        }
        fft.forward(l, L);
        fft.forward(r, R);
        double kept = 0, all = 0;
        for (std::size_t k = 0; k < L.size(); ++k) {
            const float power = std::norm(L[k]) + std::norm(R[k]);
            // 1 where left and right are the same, 0 for a sound on one side, −1 for opposite phase.
            const float alike = power > 0 ? 2 * (L[k] * std::conj(R[k])).real() / power : 0.0f;
            float keep = std::clamp((alike - float(kCentred)) / float(1 - kCentred), 0.0f, 1.0f);
            if (k < lowest || k > highest) keep = 0;
            const std::complex<float> mid = 0.5f * (L[k] + R[k]);
            L[k] = keep * keep * mid;
            if (k >= lowest && k <= highest) kept += std::norm(L[k]), all += std::norm(mid);
        }
        // The share of the frame centred on this hop.
        if (start + kFrame / 2 >= 0) result.share.push_back(all > 0 ? static_cast<float>(kept / all) : 0.0f);
        fft.inverse(L, out);
        for (std::ptrdiff_t n = 0; n < kFrame; ++n) {
            const std::ptrdiff_t i = start + n;
            if (i >= 0 && i < static_cast<std::ptrdiff_t>(length))
                centre[static_cast<std::size_t>(i)] +=
                    scale * window[static_cast<std::size_t>(n)] * out[static_cast<std::size_t>(n)];
        }
    }
    return result;
}

}  // namespace vocalis
