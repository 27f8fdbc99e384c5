#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace quillon {

// Complex radix-2 FFT of a fixed power-of-two size with 1-based indexes.
// Inputs are scattered to their bit-reversed positions as they are written and
// the transform runs lazily on the first read after a write, so reading every
// bin costs one transform. Exponent is positive, no 1/N scaling.
// Errors: 380 for a bad size, 381 for a bad index or an unset size; a failed
// call leaves the object as it was.
class clsFourier {
public:
    clsFourier();

    // Magnitude of bin k-1, k = 1..N.
    [[nodiscard]] double ComplexOut(std::int32_t k) const;
    // Imaginary part of sample i-1; write after RealIn(i), which clears it.
    void ImagIn(std::int32_t i, double nuValueIn);
    [[nodiscard]] double ImagOut(std::int32_t k) const;
    // Size N: a power of two of at least 2. Discards all inputs and results.
    void NumberOfSamples(std::int32_t nuNumSam);
    // Real sample i-1, i = 1..N; stored windowed (Blackman) or halved.
    void RealIn(std::int32_t i, double nuValueIn);
    [[nodiscard]] double RealOut(std::int32_t k) const;
    // Duration of the last transform in milliseconds; 0 before the first.
    [[nodiscard]] float Timing() const;
    // Applies to values written afterwards only.
    void WithTimeWindow(bool nuTimeWindow) { withTimeWindow_ = nuTimeWindow; }

private:
    struct Complex {
        double re = 0.0;
        double im = 0.0;
    };
    using Clock = std::chrono::steady_clock;

    void checkIndex(std::int32_t index) const;
    void transformIfStale() const;
    void transform() const;
    // The twiddles of every pass, in order: 1 of the first, 2 of the second, ... (N - 1 in all).
    [[nodiscard]] static std::vector<Complex> Twiddles(std::int32_t n, double pi);
    [[nodiscard]] static std::int32_t BitReverse(std::int32_t value, std::int32_t bits);

    std::int32_t n_ = 0;
    std::int32_t bits_ = 0;
    bool sizeUnset_ = true;
    bool withTimeWindow_ = false;
    // Reads run the transform in place; the results are what the inputs mean.
    mutable std::vector<Complex> work_;
    // Per input index, made with the size: where it goes, and its window weight.
    std::vector<std::int32_t> reversed_;
    std::vector<Complex> twiddles_;
    std::vector<double> window_;
    mutable bool stale_ = false;
    mutable Clock::time_point start_{};
    mutable Clock::time_point end_{};
    const double pi_;
    const double twoPi_;
};

}  // namespace quillon
