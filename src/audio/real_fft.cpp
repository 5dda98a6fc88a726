#include "audio/real_fft.h"

extern "C" {
#include <libavutil/tx.h>
}

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace vocalis {

struct RealFft::Transforms {
    AVTXContext* forward = nullptr;
    AVTXContext* inverse = nullptr;
    av_tx_fn runForward = nullptr;
    av_tx_fn runInverse = nullptr;
    std::vector<float> input;  // libavutil's transforms may use their input as scratch space

    ~Transforms() {
        av_tx_uninit(&forward);
        av_tx_uninit(&inverse);
    }
};

RealFft::RealFft(int size) : size_(size), transforms_(std::make_unique<Transforms>()) {
    const float one = 1.0f, scale = 1.0f / static_cast<float>(size);
    Transforms& t = *transforms_;
    if (size < 2 || size % 2 ||
        av_tx_init(&t.forward, &t.runForward, AV_TX_FLOAT_RDFT, 0, size, &one, AV_TX_UNALIGNED) < 0 ||
        av_tx_init(&t.inverse, &t.runInverse, AV_TX_FLOAT_RDFT, 1, size, &scale, AV_TX_UNALIGNED) < 0)
        throw std::runtime_error("libavutil: cannot make a transform of " + std::to_string(size) +
                                 " samples");
    t.input.resize(static_cast<std::size_t>(size));
}

RealFft::~RealFft() = default;

void RealFft::forward(std::span<const float> samples, std::span<std::complex<float>> spectrum) {
    Transforms& t = *transforms_;
    std::copy_n(samples.begin(), size_, t.input.begin());
    t.runForward(t.forward, spectrum.data(), t.input.data(), sizeof(float));
}

void RealFft::inverse(std::span<std::complex<float>> spectrum, std::span<float> samples) {
    Transforms& t = *transforms_;
    t.runInverse(t.inverse, samples.data(), spectrum.data(), sizeof(std::complex<float>));
}

}  // namespace vocalis
