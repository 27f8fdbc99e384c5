// The live display's pictures: drawing in a batch repaints only what changed, and a
// block drawn again on an untouched picture costs no repaint at all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include <QApplication>
#include <QBackingStore>
#include <QImage>
#include <QWidget>

#include "ui/LiveDisplay.h"
#include "ui/PictureBox.h"

namespace quillon {
namespace {

constexpr Colour kRed = Rgb(255, 0, 0);

std::vector<std::int16_t> stereoTone(double step, double amplitude)
{
    std::vector<std::int16_t> block(5120);
    for (std::size_t i = 0; i < block.size(); i += 2) {
        // NOLINTNEXTLINE(bugprone-integer-division): the frame's index, whole frames meant
        const auto v = static_cast<std::int16_t>(std::lround(amplitude * std::sin(step * static_cast<double>(i / 2))));
        block[i] = v;
        block[i + 1] = v;
    }
    return block;
}

void showAt(PictureBox& box, int width, int height)
{
    box.resize(width, height);
    box.show();  // delivers the resize, which sizes the picture
    ASSERT_EQ(box.surface().ScaleWidth(), width);
    ASSERT_EQ(box.surface().ScaleHeight(), height);
}

TEST(PictureBox, BatchRepaintsTheBoxAroundTheChangedPixelsOnly_andShowsThePicture)
{
    PictureBox box;
    showAt(box, 40, 20);
    {
        const PictureBox::Batch batch(box);
        box.surface().FillRect(0, 0, 40, 20, Rgb(0, 0, 0));
    }
    EXPECT_EQ(box.LastRepaint(), QRect(0, 0, 40, 20));  // the first batch has nothing to compare with
    {
        const PictureBox::Batch batch(box);
        box.surface().FillRect(0, 0, 40, 20, Rgb(0, 0, 0));  // drawn again, the same pixels
    }
    EXPECT_TRUE(box.LastRepaint().isEmpty());
    {
        const PictureBox::Batch batch(box);
        const PictureBox::Batch inner(box);  // nested: repainted when the outer one ends
        box.surface().ForeColor(kRed);
        box.surface().PSet(5, 7);
        box.surface().PSet(30, 12);
    }
    EXPECT_EQ(box.LastRepaint(), QRect(5, 7, 26, 6));
    const QImage shown = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, box.surface().Image());
}

// A picture with a few distinct pixels, so a shifted or clipped copy shows.
void drawMarks(PictureBox& box)
{
    const PictureBox::Batch batch(box);
    Surface& surface = box.surface();
    surface.FillRect(0, 0, surface.ScaleWidth(), surface.ScaleHeight(), Rgb(10, 20, 30));
    surface.ForeColor(kRed);
    surface.PSet(0, 0);
    surface.PSet(surface.ScaleWidth() - 1, surface.ScaleHeight() - 1);
    surface.FillRect(3, 2, 9, 5, Rgb(0, 200, 0));
}

QImage part(const QImage& image, const QRect& rect)
{
    return image.copy(rect).convertToFormat(QImage::Format_RGB32);
}

TEST(PictureBox, PaintsThePictureAtItsPlaceInTheWindowRenderedImagesAndPixmapsAndClipsAtTheWindowEdge)
{
    QWidget window;
    window.resize(60, 40);
    PictureBox inside(&window);
    inside.setGeometry(7, 5, 30, 12);
    PictureBox overEdge(&window);  // only its left 10 columns lie in the window
    overEdge.setGeometry(50, 20, 25, 8);
    window.show();
    drawMarks(inside);
    drawMarks(overEdge);
    window.repaint();
    QApplication::processEvents();

    QBackingStore* store = window.backingStore();
    ASSERT_NE(store, nullptr);
    ASSERT_EQ(store->paintDevice()->devType(), QInternal::Image);
    const QImage& shown = *static_cast<const QImage*>(store->paintDevice());
    EXPECT_EQ(part(shown, QRect(7, 5, 30, 12)), inside.surface().Image());
    EXPECT_EQ(part(shown, QRect(50, 20, 10, 8)), overEdge.surface().Image().copy(0, 0, 10, 8));

    // Rendered into images of other formats and at an offset, and into a pixmap.
    for (const auto format :
         {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888, QImage::Format_RGBA8888}) {
        QImage target(70, 50, format);
        target.fill(Qt::blue);
        window.render(&target, QPoint(4, 3));
        EXPECT_EQ(part(target, QRect(11, 8, 30, 12)), inside.surface().Image()) << format;
        EXPECT_EQ(part(target, QRect(54, 23, 10, 8)), overEdge.surface().Image().copy(0, 0, 10, 8)) << format;
        EXPECT_EQ(target.pixel(3, 2), QColor(Qt::blue).rgb()) << format;  // outside the window: untouched
    }
    const QImage grabbed = inside.grab().toImage();
    EXPECT_EQ(part(grabbed, grabbed.rect()), inside.surface().Image());
}

TEST(LiveDisplay, SameBlockAgainRepaintsNothing_aDisturbedPictureIsRedrawn_aNewBlockRepaints)
{
    PictureBox ampl;
    PictureBox freq;
    PictureBox vuL;
    PictureBox vuR;
    showAt(ampl, 236, 60);
    showAt(freq, 96, 60);
    showAt(vuL, 286, 10);
    showAt(vuR, 286, 10);
    LiveDisplay display(ampl, freq, vuL, vuR);
    const auto a = stereoTone(0.05, 12000.0);
    // The meters smooth over three ticks: draw until they hold still.
    for (int i = 0; i < 3; ++i) {
        display.Draw(a, 1, true);
    }
    const QImage trace = ampl.surface().Image().copy();
    const QImage bars = freq.surface().Image().copy();
    display.Draw(a, 1, true);
    EXPECT_TRUE(ampl.LastRepaint().isEmpty());
    EXPECT_TRUE(freq.LastRepaint().isEmpty());
    EXPECT_TRUE(vuL.LastRepaint().isEmpty());
    EXPECT_TRUE(vuR.LastRepaint().isEmpty());
    EXPECT_EQ(freq.surface().Image(), bars);

    // Someone drew over the oscilloscope: the same block brings the trace back.
    ampl.surface().FillRect(0, 0, 236, 60, kRed);
    display.Draw(a, 1, true);
    EXPECT_EQ(ampl.surface().Image(), trace);

    // A new block is drawn, and only the scope's changed part is repainted.
    const auto b = stereoTone(0.11, 12000.0);
    display.Draw(b, 2, true);
    EXPECT_NE(ampl.surface().Image(), trace);
    EXPECT_FALSE(ampl.LastRepaint().isEmpty());
    EXPECT_TRUE(QRect(0, 0, 236, 60).contains(ampl.LastRepaint()));
}

}  // namespace
}  // namespace quillon
