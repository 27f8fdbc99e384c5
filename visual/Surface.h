#pragma once

#include <cstdint>
#include <functional>

#include <QImage>

namespace quillon {

// A colour as red + 256 * green + 65536 * blue, each component 0..255.
using Colour = std::uint32_t;

constexpr Colour Rgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue)
{
    return (red & 255U) | ((green & 255U) << 8U) | ((blue & 255U) << 16U);
}

// A picture to draw on: a QImage of the drawing (inner) size in pixels, with the
// pixel rules of the classic GDI calls the drawing code was written against:
// lines leave out their end pixel, rectangles leave out their right and bottom
// edge, and everything outside the picture is clipped. No antialiasing anywhere.
// The widget showing it watches Version() or the change handler and repaints.
class Surface {
public:
    // border: pixels of frame on each side, counted in the outer size only.
    // Starts black with a solid black fill, as the oscilloscope and spectrum want.
    Surface(int width, int height, int border = 0);

    // Drawing size in pixels.
    [[nodiscard]] int ScaleWidth() const { return width_; }
    [[nodiscard]] int ScaleHeight() const { return height_; }
    // Size including the frame, in pixels.
    [[nodiscard]] int OuterWidth() const { return width_ + 2 * border_; }
    [[nodiscard]] int OuterHeight() const { return height_ + 2 * border_; }
    [[nodiscard]] int Border() const { return border_; }
    // New drawing size; the picture starts over in the background colour.
    void Resize(int width, int height);

    // Pen colour of lines, rectangle outlines and single pixels.
    [[nodiscard]] Colour ForeColor() const { return foreColor_; }
    void ForeColor(Colour colour) { foreColor_ = colour & 0xFFFFFFU; }
    // Colour that Cls paints; changing it does not repaint by itself.
    [[nodiscard]] Colour BackColor() const { return backColor_; }
    void BackColor(Colour colour) { backColor_ = colour & 0xFFFFFFU; }
    // Interior of Rectangle: solid in FillColor, or left alone when FillSolid is false.
    [[nodiscard]] Colour FillColor() const { return fillColor_; }
    void FillColor(Colour colour) { fillColor_ = colour & 0xFFFFFFU; }
    [[nodiscard]] bool FillSolid() const { return fillSolid_; }
    void FillSolid(bool solid) { fillSolid_ = solid; }

    // Paints the whole picture in the background colour; the pen goes to (0, 0).
    void Cls();
    // Outline in the pen colour over left..right-1, top..bottom-1, interior filled.
    void Rectangle(int left, int top, int right, int bottom);
    // Solid fill of left..right-1, top..bottom-1; nothing when right <= left or bottom <= top.
    void FillRect(int left, int top, int right, int bottom, Colour colour);
    void MoveToEx(int x, int y);
    // Line in the pen colour from the current position up to, not including, (x, y),
    // which becomes the current position.
    void LineTo(int x, int y);
    // One pixel in the pen colour; also moves the current position there.
    void PSet(int x, int y);

    [[nodiscard]] int CurrentX() const { return penX_; }
    [[nodiscard]] int CurrentY() const { return penY_; }
    // Colour of a pixel; pixels outside the picture read as the background colour.
    [[nodiscard]] Colour Point(int x, int y) const;

    [[nodiscard]] const QImage& Image() const { return image_; }
    // Grows by one with every drawing call that may have changed pixels.
    [[nodiscard]] std::uint64_t Version() const { return version_; }
    // Called after every such drawing call (once per call, not per pixel).
    void OnChanged(std::function<void()> handler) { onChanged_ = std::move(handler); }

private:
    void changed();
    void setPixel(int x, int y, std::uint32_t argb);
    void fill(int left, int top, int right, int bottom, std::uint32_t argb);
    void line(int x0, int y0, int x1, int y1, std::uint32_t argb);

    // A picture without width or height still keeps the other size: QImage would not.
    int width_;
    int height_;
    int border_;
    QImage image_;
    Colour foreColor_ = 0;
    Colour backColor_ = 0;
    Colour fillColor_ = 0;
    bool fillSolid_ = true;
    int penX_ = 0;
    int penY_ = 0;
    std::uint64_t version_ = 0;
    std::function<void()> onChanged_;
};

}  // namespace quillon
