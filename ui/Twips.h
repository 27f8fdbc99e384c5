#pragma once

#include <QRect>

namespace quillon {

// Window layouts are kept in twips: 15 twips are one pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;

// Nearest pixel; 15 is odd, so a twip count never lies exactly half-way between two pixels.
constexpr int TwipsToPixels(int twips)
{
    const int half = kTwipsPerPixel / 2;
    return twips >= 0 ? (twips + half) / kTwipsPerPixel : -((-twips + half) / kTwipsPerPixel);
}

constexpr QRect TwipsRect(int left, int top, int width, int height)
{
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

}  // namespace quillon
