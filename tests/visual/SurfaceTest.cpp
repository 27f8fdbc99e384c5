#include "visual/Surface.h"

#include <cmath>
#include <random>
#include <set>
#include <utility>

#include <gtest/gtest.h>

namespace quillon {
namespace {

constexpr Colour kRed = Rgb(255, 0, 0);
constexpr Colour kBack = Rgb(10, 20, 30);

std::set<std::pair<int, int>> pixelsOf(const Surface& s, Colour colour)
{
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < s.ScaleHeight(); ++y) {
        for (int x = 0; x < s.ScaleWidth(); ++x) {
            if (s.Point(x, y) == colour) {
                out.emplace(x, y);
            }
        }
    }
    return out;
}

Surface blankSurface(int w, int h)
{
    Surface s(w, h);
    s.BackColor(kBack);
    s.Cls();
    return s;
}

TEST(Surface, colours_areRedPlus256GreenPlus65536Blue_inTheImage)
{
    Surface s(4, 4);
    s.FillRect(0, 0, 4, 4, 0x123456U);
    EXPECT_EQ(s.Image().pixel(2, 2), qRgb(0x56, 0x34, 0x12));
    EXPECT_EQ(s.Point(2, 2), 0x123456U);
    EXPECT_EQ(Rgb(1, 2, 3), 0x030201U);
}

TEST(Surface, sizes_outerAddsTheBorderOnBothSides)
{
    Surface s(100, 12, 2);
    EXPECT_EQ(s.ScaleWidth(), 100);
    EXPECT_EQ(s.ScaleHeight(), 12);
    EXPECT_EQ(s.OuterWidth(), 104);
    EXPECT_EQ(s.OuterHeight(), 16);
    s.Resize(30, 5);
    EXPECT_EQ(s.Image().width(), 30);
    EXPECT_EQ(s.OuterHeight(), 9);
}

TEST(Surface, lineTo_leavesOutTheEndPixel_inEveryDirection)
{
    struct Row {
        int x0, y0, x1, y1;
        std::set<std::pair<int, int>> lit;
    };
    const Row rows[] = {
        {1, 1, 5, 1, {{1, 1}, {2, 1}, {3, 1}, {4, 1}}},
        {5, 2, 1, 2, {{5, 2}, {4, 2}, {3, 2}, {2, 2}}},
        {3, 6, 3, 3, {{3, 6}, {3, 5}, {3, 4}}},
        {0, 0, 4, 4, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
        {4, 0, 0, 4, {{4, 0}, {3, 1}, {2, 2}, {1, 3}}},
        {2, 2, 2, 2, {}},
        // Exactly between two pixels: the upper one for flat lines, the right one for steep lines.
        {0, 0, 2, 1, {{0, 0}, {1, 0}}},
        {0, 0, 1, 2, {{0, 0}, {1, 1}}},
    };
    for (const Row& row : rows) {
        Surface s = blankSurface(8, 8);
        s.ForeColor(kRed);
        s.MoveToEx(row.x0, row.y0);
        s.LineTo(row.x1, row.y1);
        EXPECT_EQ(pixelsOf(s, kRed), row.lit) << row.x0 << "," << row.y0 << " -> " << row.x1 << "," << row.y1;
        EXPECT_EQ(s.CurrentX(), row.x1);
        EXPECT_EQ(s.CurrentY(), row.y1);
    }
}

TEST(Surface, lineTo_litsOnePixelPerStepNearestTheTrueLine_clippedToThePicture)
{
    // Property check against the exact line: one pixel per step along the longer axis,
    // never more than half a pixel off the line across it, end pixel left out.
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> coord(-6, 25);
    for (int trial = 0; trial < 400; ++trial) {
        const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
        Surface s = blankSurface(20, 20);
        s.ForeColor(kRed);
        s.MoveToEx(x0, y0);
        s.LineTo(x1, y1);
        const int dx = x1 - x0, dy = y1 - y0;
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        const int steps = std::max(std::abs(dx), std::abs(dy));
        std::set<std::pair<int, int>> expectedMajor;
        for (int i = 0; i < steps; ++i) {
            const double t = static_cast<double>(i) / steps;
            const int major = xMajor ? x0 + (dx > 0 ? i : -i) : y0 + (dy > 0 ? i : -i);
            const double minor = xMajor ? y0 + t * dy : x0 + t * dx;
            bool found = false;
            for (const auto& [x, y] : pixelsOf(s, kRed)) {
                if ((xMajor ? x : y) == major) {
                    ASSERT_FALSE(found) << "two pixels at step " << i;
                    found = true;
                    ASSERT_LE(std::abs((xMajor ? y : x) - minor), 0.5) << x0 << "," << y0 << "->" << x1 << "," << y1;
                }
            }
            const int minorRounded = static_cast<int>(std::lround(minor));
            const bool inside = major >= 0 && major < 20 && minorRounded >= 0 && minorRounded < 20 &&
                                std::abs(minor - std::floor(minor) - 0.5) > 1e-9;
            if (inside) {
                ASSERT_TRUE(found) << "missing step " << i << " of " << x0 << "," << y0 << "->" << x1 << "," << y1;
            }
        }
        EXPECT_LE(pixelsOf(s, kRed).size(), static_cast<std::size_t>(steps));
        EXPECT_EQ(pixelsOf(s, kRed).count({x1, y1}), std::size_t{0});
    }
}

TEST(Surface, rectangle_outlinesWithPenAndFillsInside_withoutRightAndBottomEdge)
{
    Surface s = blankSurface(10, 10);
    s.ForeColor(kRed);
    s.FillColor(Rgb(0, 0, 255));
    s.Rectangle(1, 2, 6, 7);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inBox = x >= 1 && x <= 5 && y >= 2 && y <= 6;
            const bool onEdge = inBox && (x == 1 || x == 5 || y == 2 || y == 6);
            const Colour want = onEdge ? kRed : (inBox ? Rgb(0, 0, 255) : kBack);
            ASSERT_EQ(s.Point(x, y), want) << x << "," << y;
        }
    }
    s.Cls();
    s.FillSolid(false);
    s.Rectangle(6, 7, 1, 2);  // reversed corners give the same box
    EXPECT_EQ(s.Point(1, 2), kRed);
    EXPECT_EQ(s.Point(5, 6), kRed);
    EXPECT_EQ(s.Point(3, 4), kBack);
}

TEST(Surface, fillRect_excludesRightAndBottom_andIgnoresEmptyOrReversedRects)
{
    Surface s = blankSurface(8, 8);
    s.FillRect(2, 3, 5, 4, kRed);
    EXPECT_EQ(pixelsOf(s, kRed), (std::set<std::pair<int, int>>{{2, 3}, {3, 3}, {4, 3}}));
    s.FillRect(5, 5, 2, 7, kRed);
    s.FillRect(1, 1, 1, 7, kRed);
    s.FillRect(-100, -100, -1, 3, kRed);
    EXPECT_EQ(pixelsOf(s, kRed).size(), 3U);
    s.FillRect(-5, 6, 100, 100, kRed);  // clipped, not refused
    EXPECT_EQ(pixelsOf(s, kRed).size(), 3U + 16U);
}

TEST(Surface, cls_paintsBackground_movesPenHome_andEveryDrawingCallNotifies)
{
    Surface s(5, 5);
    int notified = 0;
    s.OnChanged([&] { ++notified; });
    const auto v0 = s.Version();
    s.FillRect(0, 0, 5, 5, kRed);
    s.MoveToEx(3, 3);
    s.BackColor(kBack);
    s.Cls();
    EXPECT_EQ(pixelsOf(s, kBack).size(), 25U);
    EXPECT_EQ(s.CurrentX(), 0);
    EXPECT_EQ(s.CurrentY(), 0);
    s.ForeColor(kRed);
    s.PSet(4, 1);
    EXPECT_EQ(s.Point(4, 1), kRed);
    EXPECT_EQ(s.CurrentX(), 4);
    EXPECT_EQ(notified, 3);
    EXPECT_EQ(s.Version(), v0 + 3);
}

}  // namespace
}  // namespace quillon
