#include "audio/track_offset.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <complex>
#include <numbers>

#include "audio/real_fft.h"

namespace vocalis {

namespace {

constexpr std::size_t kExcerpt = 1 << 17;  // about 8 s at 16 kHz, taken in three places
constexpr double kPi = std::numbers::pi;

// The two tracks' cross-spectrum, summed over excerpts from the start, middle and end of the song.
std::vector<std::complex<float>> crossSpectrum(std::span<const float> a, std::span<const float> b,
                                               RealFft& fft) {
    const std::size_t length = std::min(a.size(), b.size());
    const std::size_t excerpt = std::min(length, kExcerpt);
    std::vector<std::size_t> starts = {(length - excerpt) / 2};
    if (length >= 3 * excerpt)
        starts = {(length - excerpt) / 5, (length - excerpt) / 2, (length - excerpt) * 4 / 5};
    const auto size = static_cast<std::size_t>(fft.size());
    std::vector<float> x(size), y(size);
    std::vector<std::complex<float>> X(static_cast<std::size_t>(fft.bins())), Y(X.size()), sum(X.size());
    for (const std::size_t start : starts) {
        std::fill(x.begin(), x.end(), 0.0f);
        std::fill(y.begin(), y.end(), 0.0f);
        std::copy_n(a.begin() + static_cast<std::ptrdiff_t>(start), excerpt, x.begin());
        std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(start), excerpt, y.begin());
        fft.forward(x, X);
        fft.forward(y, Y);
        for (std::size_t k = 0; k < X.size(); ++k) sum[k] += Y[k] * std::conj(X[k]);
    }
    return sum;
}

}  // namespace

std::optional<double> trackLag(std::span<const float> a, std::span<const float> b, int maxLag) {
    const std::size_t length = std::min(a.size(), b.size());
    if (length < 2 || maxLag < 1) return std::nullopt;
    const std::size_t excerpt = std::min(length, kExcerpt);
    RealFft fft(static_cast<int>(std::bit_ceil(excerpt + static_cast<std::size_t>(maxLag))));
    const std::vector<std::complex<float>> cross = crossSpectrum(a, b, fft);

    // Whitened (each frequency counts alike), so that tonal music gives one sharp peak at the lag
    // instead of a broad hill with others at its periods.
    std::vector<std::complex<float>> whitened(cross.size());
    for (std::size_t k = 0; k < cross.size(); ++k) {
        const float magnitude = std::abs(cross[k]);
        whitened[k] = magnitude > 0 ? cross[k] / magnitude : 0.0f;
    }
    std::vector<float> correlation(static_cast<std::size_t>(fft.size()));
    fft.inverse(whitened, correlation);
    const auto at = [&](int lag) {
        return correlation[static_cast<std::size_t>((lag + fft.size()) % fft.size())];
    };
    int best = 0;
    double sumSquares = 0;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        if (at(lag) > at(best)) best = lag;
        sumSquares += double(at(lag)) * at(lag);
    }
    // A peak that does not stand far above the rest is no common sound.
    const double rms = std::sqrt(sumSquares / (2 * maxLag + 1));
    if (at(best) < 8 * rms) return std::nullopt;

    // The fraction from the slope of the cross-spectrum's phase once the whole lag is taken out, over
    // the band where music has most of its energy and the phase cannot wrap.
    double numerator = 0, denominator = 0;
    const std::size_t top = cross.size() / 2;
    for (std::size_t k = 1; k < top; ++k) {
        const double omega = kPi * double(k) / double(cross.size() - 1);
        const std::complex<double> turned = std::complex<double>(cross[k]) * std::polar(1.0, omega * best);
        const double weight = std::abs(turned);
        numerator += weight * omega * std::arg(turned);
        denominator += weight * omega * omega;
    }
    const double fraction = denominator > 0 ? std::clamp(-numerator / denominator, -0.5, 0.5) : 0.0;
    return best + fraction;
}

std::vector<float> delayed(std::span<const float> samples, double lag) {
    // A windowed sinc (Blackman, 32 taps) for the fraction: at 16 kHz it is flat to about 7 kHz.
    constexpr int kHalf = 16;
    const double whole = std::floor(lag), fraction = lag - whole;
    std::array<float, 2 * kHalf> taps{};
    for (int k = -kHalf + 1; k <= kHalf; ++k) {
        const double x = k - fraction, cutoff = 0.92;
        const double sinc = std::abs(x) < 1e-9 ? cutoff : std::sin(kPi * cutoff * x) / (kPi * x);
        const double w = 0.42 + 0.5 * std::cos(kPi * x / kHalf) + 0.08 * std::cos(2 * kPi * x / kHalf);
        taps[static_cast<std::size_t>(k + kHalf - 1)] = static_cast<float>(sinc * std::max(w, 0.0));
    }
    const auto size = static_cast<std::ptrdiff_t>(samples.size()), shift = static_cast<std::ptrdiff_t>(whole);
    std::vector<float> out(samples.size(), 0.0f);
    for (std::ptrdiff_t n = 0; n < size; ++n) {
        // out[n] = Σ samples[n − shift − k] · taps(k − fraction)
        const std::ptrdiff_t newest = n - shift + kHalf - 1;  // the sample under the first tap
        if (newest - 2 * kHalf + 1 >= 0 && newest < size) {
            const float* s = samples.data() + newest;
            float sum = 0;
            for (std::size_t t = 0; t < taps.size(); ++t) sum += s[-static_cast<std::ptrdiff_t>(t)] * taps[t];
            out[static_cast<std::size_t>(n)] = sum;
        } else {
            float sum = 0;
            for (std::size_t t = 0; t < taps.size(); ++t) {
                const std::ptrdiff_t i = newest - static_cast<std::ptrdiff_t>(t);
                if (i >= 0 && i < size) sum += samples[static_cast<std::size_t>(i)] * taps[t];
            }
            out[static_cast<std::size_t>(n)] = sum;
        }
    }
    return out;
}

}  // namespace vocalis
