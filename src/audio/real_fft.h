#pragma once

#include <complex>
#include <memory>
#include <span>

namespace vocalis {

// A real discrete Fourier transform of one size and its inverse (FFmpeg's libavutil).
class RealFft {
  public:
    explicit RealFft(int size);  // even; powers of two are fastest
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    int size() const { return size_; }
    int bins() const { return size_ / 2 + 1; }

    // size() samples to bins() values.
    void forward(std::span<const float> samples, std::span<std::complex<float>> spectrum);
    // bins() values (overwritten) to size() samples, scaled by 1 / size() so that the pair is lossless.
    void inverse(std::span<std::complex<float>> spectrum, std::span<float> samples);

  private:
    struct Transforms;
    int size_;
    std::unique_ptr<Transforms> transforms_;
};

}  // namespace vocalis
