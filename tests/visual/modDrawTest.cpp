#include "visual/modDraw.h"

#include <gtest/gtest.h>

#include "visual/clsSmooth.h"

namespace quillon {
namespace {

constexpr Colour kGreen = 0x00FF00U;
constexpr Colour kAmber = 0x22A8E1U;
constexpr Colour kRed = 0x0000FFU;
constexpr Colour kBack = Rgb(10, 20, 30);

TEST(GradientColor, totalOne_hitsTheThreeColoursExactly_andRoundsHalvesToEven)
{
    const Colour c1 = Rgb(188, 34, 1), c2 = Rgb(225, 168, 34), c3 = Rgb(0, 204, 0);
    EXPECT_EQ(modDraw::GradientColor(1.0F, 0.0F, c1, c2, c3), c1);
    EXPECT_EQ(modDraw::GradientColor(1.0F, 0.5F, c1, c2, c3), c2);
    EXPECT_EQ(modDraw::GradientColor(1.0F, 1.0F, c1, c2, c3), c3);
    // Half way from green to amber: (112.5, 211.5, 17) -> (112, 212, 17).
    EXPECT_EQ(modDraw::GradientColor(1.0F, 0.25F, kGreen, kAmber, kRed), Rgb(112, 212, 17));
    // Second half, over a longer gradient: 3/4 of the way amber -> red on total 40.
    EXPECT_EQ(modDraw::GradientColor(40.0F, 35.0F, kGreen, kAmber, kRed), Rgb(248, 42, 8));
}

TEST(GradientColor, outsideTheGradient_staysWithinComponentRange_andEmptyGradientIsDefined)
{
    // 2 on total 1 extrapolates amber -> red by three halves: components leave 0..255.
    EXPECT_EQ(modDraw::GradientColor(1.0F, 2.0F, kGreen, kAmber, kRed), Rgb(255, 0, 0));
    EXPECT_EQ(modDraw::GradientColor(1.0F, -1.0F, kGreen, kAmber, kRed), Rgb(0, 255, 0));
    EXPECT_EQ(modDraw::GradientColor(0.0F, 0.0F, kGreen, kAmber, kRed), kAmber);
    EXPECT_EQ(modDraw::GradientColor(0.0F, -3.0F, kGreen, kAmber, kRed), kGreen);
}

TEST(DrawLevelMeter, fullLevel_isRedAcrossTheMeter_andSilenceDrawsNoBar)
{
    Surface meter(100, 8, 2);
    meter.BackColor(kBack);
    modDraw::DrawLevelMeter(meter, 32768.0F / 32768.0F);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 100; ++x) {
            ASSERT_EQ(meter.Point(x, y), Rgb(255, 0, 0)) << x << "," << y;
        }
    }
    modDraw::DrawLevelMeter(meter, 1.0F / 32768.0F);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 100; ++x) {
            ASSERT_EQ(meter.Point(x, y), kBack) << x << "," << y;
        }
    }
}

TEST(DrawLevelMeter, halfLevel_isAmber_halfTheOuterWidthLong)
{
    Surface meter(100, 8, 2);  // outer width 104
    meter.BackColor(kBack);
    modDraw::DrawLevelMeter(meter, 0.5F);
    for (int x = 0; x < 100; ++x) {
        ASSERT_EQ(meter.Point(x, 7), x < 52 ? Rgb(225, 168, 34) : kBack) << x;
    }
}

TEST(clsSmooth, averagesTheLastSizeValues)
{
    clsSmooth smooth;
    smooth.SmoothNew(3);
    EXPECT_EQ(smooth.SmoothGetMax(), 0.0F);  // nothing held yet
    smooth.SmoothAdd(300.0F);
    EXPECT_EQ(smooth.SmoothGetMax(), 300.0F);
    smooth.SmoothAdd(600.0F);
    EXPECT_EQ(smooth.SmoothGetMax(), 450.0F);
    smooth.SmoothAdd(900.0F);
    smooth.SmoothAdd(30000.0F);  // replaces the first value
    EXPECT_FLOAT_EQ(smooth.SmoothGetMax(), (30000.0F + 600.0F + 900.0F) / 3.0F);
    smooth.SmoothNew(3);
    smooth.SmoothAdd(6.0F);
    EXPECT_EQ(smooth.SmoothGetMax(), 6.0F);
}

TEST(clsSmooth, windowBelowOne_keepsOnlyTheLastValue)
{
    for (const int size : {0, -5}) {
        clsSmooth smooth;
        smooth.SmoothNew(size);
        smooth.SmoothAdd(5.0F);
        smooth.SmoothAdd(7.0F);
        EXPECT_EQ(smooth.SmoothGetMax(), 7.0F);
    }
}

}  // namespace
}  // namespace quillon
