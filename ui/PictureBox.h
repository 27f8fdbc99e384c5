#pragma once

#include <QImage>
#include <QWidget>

#include "visual/Surface.h"

namespace quillon {

// A picture box: a drawing Surface the size of the widget, shown 1:1 and
// repainted whenever something is drawn on it. Drawing inside a Batch is
// repainted once, when the batch ends, and only where pixels changed.
class PictureBox final : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    [[nodiscard]] Surface& surface() { return surface_; }
    [[nodiscard]] const Surface& surface() const { return surface_; }

    class Batch {
    public:
        explicit Batch(PictureBox& box) : box_(box) { ++box_.batches_; }
        ~Batch()
        {
            if (--box_.batches_ == 0) {
                box_.present();
            }
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        PictureBox& box_;
    };

    // The area the last batch asked to repaint; empty when its pixels did not change.
    [[nodiscard]] QRect LastRepaint() const { return lastRepaint_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Paints by copying rows into the target image; false when the painter must do it.
    bool copyToTarget(const QPaintEvent& event);
    // Asks for a repaint of the pixels that differ from the last batch's picture.
    void present();

    Surface surface_{1, 1};
    int batches_ = 0;
    QImage shown_;  // the picture as of the last batch (a copy of its own)
    std::uint64_t shownVersion_ = 0;
    QRect lastRepaint_;
};

}  // namespace quillon
