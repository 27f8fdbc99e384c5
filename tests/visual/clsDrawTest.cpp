#include "visual/clsDraw.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

namespace quillon {
namespace {

constexpr Colour kBlack = 0;
constexpr Colour kWhite = 0xFFFFFFU;
constexpr Colour kMarker = Rgb(1, 2, 3);

// A sine at exactly `bin` of a 1024-point transform of frames, `channels` interleaved copies.
std::vector<std::int16_t> tone(double bin, double amplitude, std::size_t frames, int channels)
{
    std::vector<std::int16_t> block;
    for (std::size_t n = 0; n < frames; ++n) {
        const double v = amplitude * std::sin(2.0 * std::numbers::pi * bin * static_cast<double>(n) / 1024.0);
        for (int c = 0; c < channels; ++c) {
            block.push_back(static_cast<std::int16_t>(std::lround(v)));
        }
    }
    return block;
}

// Spectrum pictures: black background and fill.
Surface spectrumSurface(int w = 96, int h = 40)
{
    Surface s(w, h);
    s.FillRect(0, 0, w, h, kMarker);
    return s;
}

void expectBar(const Surface& s, int band, double level)
{
    const int h = s.ScaleHeight();
    const Colour colour = Rgb(255, static_cast<std::uint32_t>(std::nearbyint(level * 255.0)), 50);
    const int top = std::max(2, std::min(h, static_cast<int>(std::nearbyint(h - h * level))) - 2);
    for (int y = 0; y < h; ++y) {
        for (int x = 4 * band + 3; x <= 4 * band + 7; ++x) {
            const bool inBar = x >= 4 * band + 4 && x <= 4 * band + 6 && y >= top && y < h - 2;
            ASSERT_EQ(s.Point(x, y), inBar ? colour : kBlack) << "band " << band << " at " << x << "," << y;
        }
    }
}

TEST(DrawAmplitudes, narrowPicture_drawsNoColumns_andEndsOnTheCentreLine)
{
    Surface s(3, 20);
    s.FillRect(0, 0, 3, 20, kMarker);
    clsDraw draw;
    const std::vector<std::int16_t> loud(5120, 30000);
    draw.DrawAmplitudes(loud, s);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 3; ++x) {
            // LineTo (1, 10) then (2, 10) from (0, 10): the end pixel (2, 10) stays dark.
            const bool lit = y == 10 && x < 2;
            ASSERT_EQ(s.Point(x, y), lit ? kWhite : kBlack) << x << "," << y;
        }
    }
    // Pictures and blocks with nothing in them still draw without faults.
    for (const int w : {0, 1, 2}) {
        Surface tiny(w, 5);
        draw.DrawAmplitudes({}, tiny);
        draw.DrawAmplitudes(loud, tiny);
        EXPECT_EQ(tiny.CurrentX(), 2);
        EXPECT_EQ(tiny.CurrentY(), 2);
    }
}

TEST(DrawAmplitudes, slicesFollowTheRoundedStep_positiveDownward_thenReturnToCentre)
{
    // 101 samples on width 13: step round(100/13) = 8, 10 columns. Samples 0..39 are high and
    // 40..100 low, so columns 1..5 sit at the bottom and 6..10 at the top; a step of 7 would
    // mix both in column 6.
    std::vector<std::int16_t> block(101, -32768);
    std::fill(block.begin(), block.begin() + 40, std::int16_t{32767});
    Surface s(13, 20);  // mid 10, full scale 8 pixels
    clsDraw draw;
    draw.DrawAmplitudes(block, s);
    for (int x = 1; x <= 10; ++x) {
        const int y = x <= 5 ? 18 : 2;
        EXPECT_EQ(s.Point(x, y), kWhite) << "column " << x;
        if (x != 1 && x != 6) {  // the trace only crosses the centre line on its way to columns 1 and 6
            EXPECT_EQ(s.Point(x, 10), kBlack) << "column " << x;
        }
    }
    // Last segments: from (10, 2) to (11, 10), then to (12, 10), whose end pixel is left out.
    EXPECT_EQ(s.Point(11, 10), kWhite);
    EXPECT_EQ(s.Point(12, 10), kBlack);
    EXPECT_EQ(s.CurrentX(), 12);
}

TEST(DrawAmplitudes, slicesPastTheEnd_areDrawnOnTheCentreLine)
{
    // 32 samples on width 20: step round(31/20) = 2, 17 columns need 34 samples; the 17th
    // slice lies wholly past the end.
    const std::vector<std::int16_t> block(32, 32767);
    Surface s(20, 20);
    clsDraw draw;
    draw.DrawAmplitudes(block, s);
    EXPECT_EQ(s.Point(16, 18), kWhite);
    EXPECT_EQ(s.Point(17, 18), kBlack);
    EXPECT_EQ(s.Point(17, 10), kWhite);
    // Fewer samples than half the columns: step 0, a flat trace.
    Surface wide(40, 20);
    draw.DrawAmplitudes(std::vector<std::int16_t>(10, 32767), wide);
    for (int x = 0; x < 39; ++x) {
        ASSERT_EQ(wide.Point(x, 10), kWhite) << x;
    }
}

TEST(DrawFrequencies, monoTone_fillsItsBandsBars_andTheRunningValueLiftsLaterBands)
{
    // Full-scale sine at bin 2: bins 1..3 saturate and bin 4 reaches 0.4 of full scale
    // (Blackman side values 0.25 and 0.04 of the centre's 0.42 times 2), so band 0 is full;
    // band 1 gets (1 + w(4)) / 3 of band 0's carried 1.287 with w(4) = 0.232, band 2 likewise.
    clsDraw draw;
    Surface s = spectrumSurface();
    draw.DrawFrequencies(tone(2.0, 32767.0, 1024, 1), s);
    EXPECT_EQ(draw.BandLevel(0), 1.0);
    EXPECT_NEAR(draw.BandLevel(1), 0.5286, 0.01);
    EXPECT_NEAR(draw.BandLevel(2), 0.2371, 0.01);
    EXPECT_GT(draw.BandLevel(3), 0.0);
    EXPECT_LT(draw.BandLevel(3), draw.BandLevel(2));
    for (int b = 0; b < clsDraw::kBands; ++b) {
        expectBar(s, b, draw.BandLevel(b));
    }
    EXPECT_EQ(s.Point(4, 2), Rgb(255, 255, 50));   // top pixel of the full bar, yellow
    EXPECT_EQ(s.Point(4, 37), Rgb(255, 255, 50));  // bottom pixel
    EXPECT_EQ(s.Point(4, 38), kBlack);
    EXPECT_EQ(s.Point(7, 20), kBlack);  // gap between bars
}

TEST(DrawFrequencies, stereoTone_lightsTheBarOfItsFrequency_notOfHalfIt)
{
    // 23 cycles per 1024 frames sits in band 4 (bins 21..24). Read as it lies, the
    // interleaved block shows it at bin 11.5 (band 2).
    const std::vector<std::int16_t> stereo = tone(23.0, 20000.0, 2560, 2);
    clsDraw mixed;
    Surface s = spectrumSurface();
    mixed.DrawFrequencies(stereo, s, 2);
    EXPECT_EQ(mixed.BandLevel(4), 1.0);
    for (int b = 0; b < 4; ++b) {
        EXPECT_LT(mixed.BandLevel(b), 0.01) << "band " << b;
    }
    expectBar(s, 4, 1.0);
    expectBar(s, 2, mixed.BandLevel(2));

    clsDraw asItLies;
    Surface s2 = spectrumSurface();
    asItLies.DrawFrequencies(stereo, s2, 1);
    EXPECT_GT(asItLies.BandLevel(2), 0.5);
    EXPECT_LT(asItLies.BandLevel(4), 0.5);

    // The same tone in mono gives the stereo result.
    clsDraw mono;
    Surface s3 = spectrumSurface();
    mono.DrawFrequencies(tone(23.0, 20000.0, 1024, 1), s3, 1);
    for (int b = 0; b < clsDraw::kBands; ++b) {
        EXPECT_NEAR(mono.BandLevel(b), mixed.BandLevel(b), 1e-6) << "band " << b;
    }
}

TEST(DrawFrequencies, repeatedBlockHoldsItsBars_andTheNextBlockIsTransformedAfresh)
{
    // The display tick draws a block again, under its number, until the next one comes;
    // drawing it twice must leave the picture as drawing it once, and a block under a new
    // number must show its own spectrum.
    const std::vector<std::int16_t> low = tone(23.0, 20000.0, 1024, 1);    // band 4
    const std::vector<std::int16_t> high = tone(103.0, 20000.0, 1024, 1);  // band 20 (bins 101..104)
    clsDraw twice;
    Surface s1 = spectrumSurface();
    twice.DrawFrequencies(low, s1, 1, 7);
    const double lowLevel = twice.BandLevel(4);
    twice.DrawFrequencies(low, s1, 1, 7);
    EXPECT_EQ(twice.BandLevel(4), lowLevel);
    EXPECT_LT(twice.BandLevel(20), 0.01);
    twice.DrawFrequencies(high, s1, 1, 8);
    EXPECT_EQ(twice.BandLevel(20), 1.0);
    EXPECT_NEAR(twice.BandLevel(4), lowLevel - 0.07, 1e-9);

    clsDraw once;
    Surface s2 = spectrumSurface();
    once.DrawFrequencies(low, s2, 1, 7);
    once.DrawFrequencies(high, s2, 1, 8);
    for (int b = 0; b < clsDraw::kBands; ++b) {
        EXPECT_EQ(twice.BandLevel(b), once.BandLevel(b)) << "band " << b;
    }
    EXPECT_EQ(s1.Image(), s2.Image());

    // The same block read as frames of another width is transformed again: a stereo block
    // drawn again as mono shows mono's spectrum, not the held stereo one.
    const std::vector<std::int16_t> stereo = tone(103.0, 20000.0, 1024, 2);
    clsDraw switched;
    Surface s3 = spectrumSurface();
    switched.DrawFrequencies(stereo, s3, 2, 1);
    switched.DrawFrequencies(stereo, s3, 1, 1);
    clsDraw asStereo;
    Surface s4 = spectrumSurface();
    asStereo.DrawFrequencies(stereo, s4, 2, 1);
    asStereo.DrawFrequencies(stereo, s4, 2, 1);
    clsDraw asMono;
    Surface s5 = spectrumSurface();
    asMono.DrawFrequencies(stereo, s5, 1);
    EXPECT_NE(asStereo.BandLevel(20), asMono.BandLevel(20));
    EXPECT_EQ(switched.BandLevel(10), std::max(asStereo.BandLevel(10) - 0.07, asMono.BandLevel(10)));
    EXPECT_EQ(switched.BandLevel(20), std::max(asStereo.BandLevel(20) - 0.07, asMono.BandLevel(20)));
}

TEST(DrawFrequencies, shortBlock_changesNeitherPictureNorLevels)
{
    clsDraw draw;
    Surface s = spectrumSurface();
    draw.DrawFrequencies(tone(2.0, 32767.0, 1024, 1), s);
    const double level = draw.BandLevel(0);
    Surface untouched = spectrumSurface();
    draw.DrawFrequencies(tone(2.0, 32767.0, 1023, 1), untouched);
    draw.DrawFrequencies(tone(2.0, 32767.0, 1023, 2), untouched, 2);  // 2046 samples, 1023 frames
    draw.DrawFrequencies({}, untouched);
    EXPECT_EQ(draw.BandLevel(0), level);
    EXPECT_EQ(untouched.Version(), 1U);  // only the set-up fill
    EXPECT_EQ(untouched.Point(5, 20), kMarker);
}

TEST(DrawFrequencies, silence_letsAFullBarFallBy007PerCall_goneAfter15)
{
    clsDraw draw;
    Surface s = spectrumSurface();
    draw.DrawFrequencies(tone(2.0, 32767.0, 1024, 1), s);
    ASSERT_EQ(draw.BandLevel(0), 1.0);
    const std::vector<std::int16_t> silence(1024, 0);
    draw.DrawFrequencies(silence, s);
    EXPECT_NEAR(draw.BandLevel(0), 0.93, 1e-12);
    expectBar(s, 0, 0.93);
    EXPECT_EQ(s.Point(5, 37), Rgb(255, 237, 50));  // 0.93 * 255 = 237.15
    for (int call = 2; call <= 14; ++call) {
        draw.DrawFrequencies(silence, s);
    }
    EXPECT_GT(draw.BandLevel(0), 0.0);
    expectBar(s, 0, draw.BandLevel(0));
    draw.DrawFrequencies(silence, s);
    for (int b = 0; b < clsDraw::kBands; ++b) {
        EXPECT_EQ(draw.BandLevel(b), 0.0) << "band " << b;
    }
    for (int y = 0; y < s.ScaleHeight(); ++y) {
        for (int x = 0; x < s.ScaleWidth(); ++x) {
            ASSERT_EQ(s.Point(x, y), kBlack) << x << "," << y;
        }
    }
}

TEST(DrawFrequencies, tinyPicture_drawsWithoutFaults)
{
    clsDraw draw;
    for (const int h : {0, 1, 3}) {
        Surface s = spectrumSurface(5, h);
        draw.DrawFrequencies(tone(2.0, 32767.0, 1024, 1), s);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < 5; ++x) {
                ASSERT_EQ(s.Point(x, y), kBlack) << "h " << h << " at " << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace quillon
