#include "visual/Surface.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace quillon {

namespace {

std::uint32_t toArgb(Colour colour)
{
    return 0xFF000000U | ((colour & 255U) << 16U) | (colour & 0xFF00U) | ((colour >> 16U) & 255U);
}

Colour fromArgb(QRgb argb)
{
    return Rgb(static_cast<std::uint32_t>(qRed(argb)), static_cast<std::uint32_t>(qGreen(argb)),
               static_cast<std::uint32_t>(qBlue(argb)));
}

std::int64_t floorDiv(std::int64_t numerator, std::int64_t positiveDivisor)
{
    std::int64_t q = numerator / positiveDivisor;
    if (numerator % positiveDivisor != 0 && numerator < 0) {
        --q;
    }
    return q;
}

}  // namespace

Surface::Surface(int width, int height, int border)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      border_(std::max(border, 0)),
      image_(width_, height_, QImage::Format_RGB32)
{
    image_.fill(toArgb(backColor_));
}

void Surface::Resize(int width, int height)
{
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    image_ = QImage(width_, height_, QImage::Format_RGB32);
    image_.fill(toArgb(backColor_));
    changed();
}

void Surface::changed()
{
    ++version_;
    if (onChanged_) {
        onChanged_();
    }
}

void Surface::setPixel(int x, int y, std::uint32_t argb)
{
    if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height()) {
        reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = argb;
    }
}

namespace {

// Writes pixels of a 32-bit image without going through QImage for each one.
class PixelWriter {
public:
    explicit PixelWriter(QImage& image)
        : bits_(reinterpret_cast<QRgb*>(image.bits())),
          stride_(image.bytesPerLine() / 4),
          width_(image.width()),
          height_(image.height())
    {
    }
    void set(std::int64_t x, std::int64_t y, QRgb argb) const
    {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) {
            bits_[y * stride_ + x] = argb;
        }
    }

private:
    QRgb* bits_;
    std::int64_t stride_;
    std::int64_t width_;
    std::int64_t height_;
};

}  // namespace

void Surface::fill(int left, int top, int right, int bottom, std::uint32_t argb)
{
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, image_.width());
    bottom = std::min(bottom, image_.height());
    if (right <= left || bottom <= top) {
        return;
    }
    auto* bits = reinterpret_cast<QRgb*>(image_.bits());
    const auto stride = static_cast<std::ptrdiff_t>(image_.bytesPerLine() / 4);
    for (int y = top; y < bottom; ++y) {
        QRgb* row = bits + y * stride;
        std::fill(row + left, row + right, argb);
    }
}

// Pixels of the line from (x0, y0) towards (x1, y1), without (x1, y1): one per
// step along the longer axis, at the nearest pixel on the other axis. A line
// passing exactly between two pixels takes the upper one when it runs mostly
// sideways and the right one when it runs mostly up or down.
void Surface::line(int x0, int y0, int x1, int y1, std::uint32_t argb)
{
    const std::int64_t dx = static_cast<std::int64_t>(x1) - x0;
    const std::int64_t dy = static_cast<std::int64_t>(y1) - y0;
    const std::int64_t adx = std::llabs(dx);
    const std::int64_t ady = std::llabs(dy);
    if (adx == 0 && ady == 0) {
        return;
    }
    const bool xMajor = adx >= ady;
    const std::int64_t steps = xMajor ? adx : ady;
    const std::int64_t major0 = xMajor ? x0 : y0;
    const std::int64_t majorSign = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const std::int64_t majorLimit = xMajor ? image_.width() : image_.height();

    // Only the steps whose major coordinate lies inside the picture.
    std::int64_t first = 0;
    std::int64_t last = steps - 1;
    if (majorSign > 0) {
        first = std::max(first, -major0);
        last = std::min(last, majorLimit - 1 - major0);
    } else {
        first = std::max(first, major0 - majorLimit + 1);
        last = std::min(last, major0);
    }
    if (first > last) {
        return;
    }
    const PixelWriter pixels(image_);
    for (std::int64_t i = first; i <= last; ++i) {
        const std::int64_t major = major0 + majorSign * i;
        if (xMajor) {
            // y0 + (dy*i/adx rounded, halves down)
            pixels.set(major, y0 - floorDiv(adx - 2 * dy * i, 2 * adx), argb);
        } else {
            // x0 + (dx*i/ady rounded, halves up)
            pixels.set(x0 + floorDiv(2 * dx * i + ady, 2 * ady), major, argb);
        }
    }
}

void Surface::Cls()
{
    image_.fill(toArgb(backColor_));
    penX_ = 0;
    penY_ = 0;
    changed();
}

void Surface::Rectangle(int left, int top, int right, int bottom)
{
    if (left > right) {
        std::swap(left, right);
    }
    if (top > bottom) {
        std::swap(top, bottom);
    }
    if (right - left < 1 || bottom - top < 1) {
        return;
    }
    if (fillSolid_) {
        fill(left + 1, top + 1, right - 1, bottom - 1, toArgb(fillColor_));
    }
    const std::uint32_t pen = toArgb(foreColor_);
    fill(left, top, right, top + 1, pen);
    fill(left, bottom - 1, right, bottom, pen);
    fill(left, top, left + 1, bottom, pen);
    fill(right - 1, top, right, bottom, pen);
    changed();
}

void Surface::FillRect(int left, int top, int right, int bottom, Colour colour)
{
    if (right <= left || bottom <= top) {
        return;
    }
    fill(left, top, right, bottom, toArgb(colour));
    changed();
}

void Surface::MoveToEx(int x, int y)
{
    penX_ = x;
    penY_ = y;
}

void Surface::LineTo(int x, int y)
{
    line(penX_, penY_, x, y, toArgb(foreColor_));
    penX_ = x;
    penY_ = y;
    changed();
}

void Surface::PSet(int x, int y)
{
    setPixel(x, y, toArgb(foreColor_));
    penX_ = x;
    penY_ = y;
    changed();
}

Colour Surface::Point(int x, int y) const
{
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) {
        return backColor_;
    }
    return fromArgb(image_.pixel(x, y));
}

}  // namespace quillon
