#include "visual/clsFourier.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "common/QuillonError.h"

namespace quillon {
namespace {

using Cx = std::complex<double>;

// Reference: X[k] = sum x[n] e^(+2 pi i k n / N), straight from the definition.
std::vector<Cx> naiveDft(const std::vector<Cx>& x)
{
    const std::size_t n = x.size();
    std::vector<Cx> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        Cx sum{};
        for (std::size_t t = 0; t < n; ++t) {
            const double angle = 2.0 * std::numbers::pi * static_cast<double>((k * t) % n) / static_cast<double>(n);
            sum += x[t] * Cx(std::cos(angle), std::sin(angle));
        }
        out[k] = sum;
    }
    return out;
}

double blackman(std::size_t index, std::size_t n)
{
    const double a = 2.0 * std::numbers::pi * static_cast<double>(index) / static_cast<double>(n - 1);
    return 0.42 - 0.5 * std::cos(a) + 0.08 * std::cos(2.0 * a);
}

int errorNumberOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const QuillonError& e) {
        return e.number();
    }
    return 0;
}

// Writes real (and optionally imaginary) inputs and returns what the object stores:
// halved or windowed real parts, imaginary parts as given.
std::vector<Cx> feed(clsFourier& fft, std::int32_t n, std::mt19937& rng, bool window, bool withImag)
{
    std::uniform_real_distribution<double> dist(-32768.0, 32767.0);
    std::vector<Cx> stored(static_cast<std::size_t>(n));
    for (std::int32_t i = 1; i <= n; ++i) {
        const double re = dist(rng);
        fft.RealIn(i, re);
        const auto idx = static_cast<std::size_t>(i - 1);
        stored[idx] = Cx(window ? re * blackman(idx, stored.size()) : re / 2.0, 0.0);
        if (withImag) {
            const double im = dist(rng);
            fft.ImagIn(i, im);
            stored[idx].imag(im);
        }
    }
    return stored;
}

void expectMatchesReference(const clsFourier& fft, const std::vector<Cx>& stored)
{
    const std::vector<Cx> ref = naiveDft(stored);
    double scale = 0.0;
    for (const Cx& v : stored) {
        scale += std::abs(v);
    }
    // The recurrence twiddles lose a few ulps per pass; 1e-9 of the input's L1 norm is far
    // above that and far below any real mistake (wrong sign, wrong bin, missing pass).
    const double tol = 1e-9 * scale + 1e-12;
    for (std::size_t k = 0; k < ref.size(); ++k) {
        const auto idx = static_cast<std::int32_t>(k + 1);
        ASSERT_NEAR(fft.RealOut(idx), ref[k].real(), tol) << "bin " << k << " of " << ref.size();
        ASSERT_NEAR(fft.ImagOut(idx), ref[k].imag(), tol) << "bin " << k << " of " << ref.size();
        ASSERT_NEAR(fft.ComplexOut(idx), std::abs(ref[k]), tol) << "bin " << k << " of " << ref.size();
    }
}

TEST(clsFourier, matchesNaiveDft_forSeveralSizes_withAndWithoutWindow)
{
    std::mt19937 rng(4711);
    for (const std::int32_t n : {2, 4, 8, 16, 64, 256, 1024}) {
        for (const bool window : {false, true}) {
            for (const bool withImag : {false, true}) {
                SCOPED_TRACE(testing::Message() << "N=" << n << " window=" << window << " imag=" << withImag);
                clsFourier fft;
                fft.NumberOfSamples(n);
                fft.WithTimeWindow(window);
                expectMatchesReference(fft, feed(fft, n, rng, window, withImag));
                // A second batch on the same object: every input rewritten, so no trace of the
                // first results may remain.
                expectMatchesReference(fft, feed(fft, n, rng, window, withImag));
            }
        }
    }
}

// The display's bars round these magnitudes, so the exact doubles matter: the transform
// must give bit for bit what the radix-2 passes give with each block turning its own
// twiddle by the recurrence w -= (alpha w - i beta w), alpha = 2 sin^2(pi/2m), beta = sin(pi/m).
TEST(clsFourier, givesBitForBitTheResultsOfTheTwiddleRecurrence)
{
    std::mt19937 rng(99);
    for (const std::int32_t n : {8, 1024}) {
        clsFourier fft;
        fft.NumberOfSamples(n);
        fft.WithTimeWindow(true);
        const std::vector<Cx> stored = feed(fft, n, rng, true, true);

        std::vector<Cx> x(stored.size());
        for (std::size_t i = 0; i < x.size(); ++i) {
            std::size_t r = 0;
            for (std::size_t bit = 1, v = i; bit < x.size(); bit *= 2, v >>= 1U) {
                r = 2 * r + (v & 1U);
            }
            x[r] = stored[i];
        }
        const double pi = 4.0 * std::atan(1.0);
        for (std::size_t m = 2; m <= x.size(); m *= 2) {
            const std::size_t half = m / 2;
            const double sinHalf = std::sin(pi / static_cast<double>(m));
            const double alpha = 2.0 * sinHalf * sinHalf;
            const double beta = std::sin(2.0 * (pi / static_cast<double>(m)));
            for (std::size_t s = 0; s < x.size(); s += m) {
                double wRe = 1.0;
                double wIm = 0.0;
                for (std::size_t j = s; j < s + half; ++j) {
                    const double bRe = x[j + half].real();
                    const double bIm = x[j + half].imag();
                    const double tRe = wRe * bRe - wIm * bIm;
                    const double tIm = wIm * bRe + wRe * bIm;
                    x[j + half] = Cx(x[j].real() - tRe, x[j].imag() - tIm);
                    x[j] = Cx(x[j].real() + tRe, x[j].imag() + tIm);
                    const double oldRe = wRe;
                    const double oldIm = wIm;
                    wIm = oldIm - alpha * oldIm + beta * oldRe;
                    wRe = oldRe - (alpha * oldRe + beta * oldIm);
                }
            }
        }
        for (std::int32_t k = 1; k <= n; ++k) {
            const Cx& want = x[static_cast<std::size_t>(k - 1)];
            ASSERT_EQ(fft.RealOut(k), want.real()) << "N=" << n << " bin " << k - 1;
            ASSERT_EQ(fft.ImagOut(k), want.imag()) << "N=" << n << " bin " << k - 1;
        }
    }
}

TEST(clsFourier, sizeTwo_givesSumAndDifferenceOfHalvedInputs)
{
    clsFourier fft;
    fft.NumberOfSamples(2);
    fft.RealIn(1, 10.0);
    fft.RealIn(2, -4.0);
    EXPECT_DOUBLE_EQ(fft.ComplexOut(1), 3.0);  // |5 + -2|
    EXPECT_DOUBLE_EQ(fft.ComplexOut(2), 7.0);  // |5 - -2|
    EXPECT_DOUBLE_EQ(fft.RealOut(2), 7.0);
    EXPECT_DOUBLE_EQ(fft.ImagOut(2), 0.0);
}

TEST(clsFourier, constantInput_withoutWindow_putsHalfNTimesValueIntoDcOnly)
{
    const double c = 1234.5;
    for (const std::int32_t n : {8, 1024}) {
        clsFourier fft;
        fft.NumberOfSamples(n);
        for (std::int32_t i = 1; i <= n; ++i) {
            fft.RealIn(i, c);
        }
        EXPECT_NEAR(fft.ComplexOut(1), n * c / 2.0, 1e-9 * n * c);
        for (std::int32_t k = 2; k <= n; ++k) {
            ASSERT_NEAR(fft.ComplexOut(k), 0.0, 1e-9 * n * c) << "bin " << k - 1;
        }
    }
}

TEST(clsFourier, window_weighsFirstAndLastSampleByZero)
{
    for (const std::int32_t first : {1, 1024}) {
        clsFourier fft;
        fft.NumberOfSamples(1024);
        fft.WithTimeWindow(true);
        for (std::int32_t i = 1; i <= 1024; ++i) {
            fft.RealIn(i, i == first ? 32767.0 : 0.0);
        }
        for (std::int32_t k = 1; k <= 1024; k += 37) {
            ASSERT_NEAR(fft.ComplexOut(k), 0.0, 1e-9) << "impulse at " << first << ", bin " << k - 1;
        }
    }
}

TEST(clsFourier, windowFlag_appliesOnlyToLaterWrites)
{
    clsFourier fft;
    fft.NumberOfSamples(2);
    fft.RealIn(1, 8.0);  // halved: 4
    fft.WithTimeWindow(true);
    fft.RealIn(2, 8.0);  // window at the last sample: ~0
    EXPECT_NEAR(fft.RealOut(1), 4.0, 1e-12);
    EXPECT_NEAR(fft.RealOut(2), 4.0, 1e-12);
}

TEST(clsFourier, imagInBeforeRealIn_isLost)
{
    clsFourier fft;
    fft.NumberOfSamples(4);
    fft.ImagIn(2, 100.0);
    for (std::int32_t i = 1; i <= 4; ++i) {
        fft.RealIn(i, 0.0);
    }
    for (std::int32_t k = 1; k <= 4; ++k) {
        EXPECT_EQ(fft.ComplexOut(k), 0.0);
    }
}

TEST(clsFourier, repeatedReads_returnStoredResults_andKeepTiming)
{
    clsFourier fft;
    EXPECT_EQ(fft.Timing(), 0.0F);
    fft.NumberOfSamples(1024);
    for (std::int32_t i = 1; i <= 1024; ++i) {
        fft.RealIn(i, std::sin(i * 0.3) * 1000.0);
    }
    const double first = fft.ComplexOut(50);
    const float timing = fft.Timing();
    EXPECT_GE(timing, 0.0F);
    for (int repeat = 0; repeat < 3; ++repeat) {
        EXPECT_EQ(fft.ComplexOut(50), first);
        EXPECT_EQ(fft.Timing(), timing);
    }
}

TEST(clsFourier, newSize_zeroesEarlierInputsAndResults)
{
    clsFourier fft;
    fft.NumberOfSamples(8);
    for (std::int32_t i = 1; i <= 8; ++i) {
        fft.RealIn(i, 100.0);
    }
    ASSERT_GT(fft.ComplexOut(1), 0.0);
    fft.NumberOfSamples(8);
    for (std::int32_t k = 1; k <= 8; ++k) {
        EXPECT_EQ(fft.ComplexOut(k), 0.0);
    }
}

TEST(clsFourier, badSize_raises380_andKeepsSizeAndData)
{
    clsFourier fft;
    fft.NumberOfSamples(8);
    for (std::int32_t i = 1; i <= 8; ++i) {
        fft.RealIn(i, i * 10.0);
    }
    const double before = fft.ComplexOut(2);
    for (const std::int32_t bad : {1, 0, -2, -8, 1000, 3, std::numeric_limits<std::int32_t>::min()}) {
        SCOPED_TRACE(bad);
        try {
            fft.NumberOfSamples(bad);
            ADD_FAILURE() << "no error";
        } catch (const QuillonError& e) {
            EXPECT_EQ(e.number(), 380);
            EXPECT_STREQ(e.what(), "Number of samples must be a positive value of the form 2 ^ n");
        }
    }
    EXPECT_EQ(fft.ComplexOut(2), before);
    EXPECT_EQ(errorNumberOf([&] { fft.RealIn(9, 0.0); }), 381);
    EXPECT_EQ(errorNumberOf([&] { fft.RealIn(8, 0.0); }), 0);
}

TEST(clsFourier, badIndexOrUnknownSize_raises381_andChangesNothing)
{
    clsFourier unsized;
    for (const std::int32_t index : {0, 1, 2}) {
        EXPECT_EQ(errorNumberOf([&] { unsized.RealIn(index, 1.0); }), 381);
        EXPECT_EQ(errorNumberOf([&] { unsized.ImagIn(index, 1.0); }), 381);
        EXPECT_EQ(errorNumberOf([&] { (void)unsized.RealOut(index); }), 381);
        EXPECT_EQ(errorNumberOf([&] { (void)unsized.ImagOut(index); }), 381);
        EXPECT_EQ(errorNumberOf([&] { (void)unsized.ComplexOut(index); }), 381);
    }
    try {
        (void)unsized.ComplexOut(1);
    } catch (const QuillonError& e) {
        EXPECT_STREQ(e.what(), "Index out of range or number of samples unknown");
    }

    clsFourier fft;
    fft.NumberOfSamples(4);
    for (std::int32_t i = 1; i <= 4; ++i) {
        fft.RealIn(i, 2.0);
    }
    const double dc = fft.ComplexOut(1);
    for (const std::int32_t index : {0, -1, 5, std::numeric_limits<std::int32_t>::max()}) {
        EXPECT_EQ(errorNumberOf([&] { fft.RealIn(index, 1.0); }), 381);
        EXPECT_EQ(errorNumberOf([&] { fft.ImagIn(index, 1.0); }), 381);
        EXPECT_EQ(errorNumberOf([&] { (void)fft.RealOut(index); }), 381);
        EXPECT_EQ(errorNumberOf([&] { (void)fft.ImagOut(index); }), 381);
        EXPECT_EQ(errorNumberOf([&] { (void)fft.ComplexOut(index); }), 381);
    }
    EXPECT_EQ(fft.ComplexOut(1), dc);
}

}  // namespace
}  // namespace quillon
