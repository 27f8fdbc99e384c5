#include "visual/clsFourier.h"

#include <cmath>
#include <utility>

#include "common/QuillonError.h"

namespace quillon {

namespace {

constexpr int kErrBadSize = 380;
constexpr int kErrBadIndex = 381;
constexpr const char* kBadSizeText = "Number of samples must be a positive value of the form 2 ^ n";
constexpr const char* kBadIndexText = "Index out of range or number of samples unknown";

}  // namespace

clsFourier::clsFourier() : work_(1), pi_(4.0 * std::atan(1.0)), twoPi_(2.0 * pi_) {}

void clsFourier::NumberOfSamples(std::int32_t nuNumSam)
{
    if (nuNumSam < 2 || (nuNumSam & (nuNumSam - 1)) != 0) {
        throw QuillonError(kErrBadSize, kBadSizeText);
    }
    const std::int32_t bits =
        static_cast<std::int32_t>(std::lround(std::log(static_cast<double>(nuNumSam)) / std::log(2.0)));
    // Both tables hold exactly what RealIn computed per call before, once per size.
    std::vector<std::int32_t> reversed(static_cast<std::size_t>(nuNumSam));
    std::vector<double> window(static_cast<std::size_t>(nuNumSam));
    for (std::int32_t i = 0; i < nuNumSam; ++i) {
        reversed[static_cast<std::size_t>(i)] = BitReverse(i, bits);
        // Blackman window over samples 0..N-1, so both ends weigh (almost) zero.
        const double a = static_cast<double>(i) * twoPi_ / static_cast<double>(nuNumSam - 1);
        window[static_cast<std::size_t>(i)] = 0.42 - 0.5 * std::cos(a) + 0.08 * std::cos(2.0 * a);
    }
    std::vector<Complex> twiddles = Twiddles(nuNumSam, pi_);
    work_.assign(static_cast<std::size_t>(nuNumSam), Complex{});
    twiddles_ = std::move(twiddles);
    reversed_ = std::move(reversed);
    window_ = std::move(window);
    n_ = nuNumSam;
    bits_ = bits;
    sizeUnset_ = false;
    stale_ = true;
}

void clsFourier::checkIndex(std::int32_t index) const
{
    if (sizeUnset_ || index < 1 || index > n_) {
        throw QuillonError(kErrBadIndex, kBadIndexText);
    }
}

std::int32_t clsFourier::BitReverse(std::int32_t value, std::int32_t bits)
{
    std::int32_t result = 0;
    for (std::int32_t step = 0; step < bits; ++step) {
        result = 2 * result + (value & 1);
        value >>= 1;
    }
    return result;
}

void clsFourier::RealIn(std::int32_t i, double nuValueIn)
{
    checkIndex(i);
    const auto index = static_cast<std::size_t>(i - 1);
    Complex& element = work_[static_cast<std::size_t>(reversed_[index])];
    if (withTimeWindow_) {
        element.re = nuValueIn * window_[index];
    } else {
        element.re = nuValueIn / 2.0;
    }
    element.im = 0.0;
    stale_ = true;
}

void clsFourier::ImagIn(std::int32_t i, double nuValueIn)
{
    checkIndex(i);
    work_[static_cast<std::size_t>(reversed_[static_cast<std::size_t>(i - 1)])].im = nuValueIn;
    stale_ = true;
}

double clsFourier::RealOut(std::int32_t k) const
{
    checkIndex(k);
    transformIfStale();
    return work_[static_cast<std::size_t>(k - 1)].re;
}

double clsFourier::ImagOut(std::int32_t k) const
{
    checkIndex(k);
    transformIfStale();
    return work_[static_cast<std::size_t>(k - 1)].im;
}

double clsFourier::ComplexOut(std::int32_t k) const
{
    checkIndex(k);
    transformIfStale();
    const Complex& c = work_[static_cast<std::size_t>(k - 1)];
    return std::sqrt(c.re * c.re + c.im * c.im);
}

float clsFourier::Timing() const
{
    const std::chrono::duration<double, std::milli> elapsed = end_ - start_;
    return static_cast<float>(elapsed.count());
}

void clsFourier::transformIfStale() const
{
    if (!stale_) {
        return;
    }
    stale_ = false;
    start_ = Clock::now();
    transform();
    end_ = Clock::now();
}

// Also built with VEX encoding, where the processor has it: the C library's copies leave
// the upper halves of the vector registers in use, and plain SSE code after them runs at
// less than half speed until something clears them. Same operations, same results (no FMA).
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
__attribute__((target_clones("avx", "default")))
#endif
void clsFourier::transform() const
{
    const std::size_t n = work_.size();
    const Complex* turn = twiddles_.data();
    for (std::size_t half = 1; half < n; half *= 2) {
        const std::size_t m = 2 * half;
        for (std::size_t s = 0; s < n; s += m) {
            for (std::size_t j = 0; j < half; ++j) {
                Complex& a = work_[s + j];
                Complex& b = work_[s + j + half];
                const double wRe = turn[j].re;
                const double wIm = turn[j].im;
                const double tRe = wRe * b.re - wIm * b.im;
                const double tIm = wIm * b.re + wRe * b.im;
                b.re = a.re - tRe;
                b.im = a.im - tIm;
                a.re += tRe;
                a.im += tIm;
            }
        }
        turn += half;
    }
}

std::vector<clsFourier::Complex> clsFourier::Twiddles(std::int32_t n, double pi)
{
    // Per pass, the twiddle starts at 1 and turns by a two-multiplication recurrence
    // from two sines. Every block of a pass walks the same sequence, so it is worked
    // out once per size; the transform is then no longer one long chain of dependent
    // multiplications, and gives the same numbers.
    std::vector<Complex> table;
    table.reserve(static_cast<std::size_t>(n > 1 ? n - 1 : 0));
    for (std::int32_t half = 1; half < n; half *= 2) {
        const double halfTheta = pi / static_cast<double>(2 * half);
        const double sinHalf = std::sin(halfTheta);
        const double alpha = 2.0 * sinHalf * sinHalf;
        const double beta = std::sin(2.0 * halfTheta);
        double wRe = 1.0;
        double wIm = 0.0;
        for (std::int32_t j = 0; j < half; ++j) {
            table.push_back({wRe, wIm});
            const double oldRe = wRe;
            const double oldIm = wIm;
            wIm = oldIm - alpha * oldIm + beta * oldRe;
            wRe = oldRe - (alpha * oldRe + beta * oldIm);
        }
    }
    return table;
}

}  // namespace quillon
