#pragma once

#include <QWidget>

#include "visual/Surface.h"

namespace quillon {

// A picture box: a drawing Surface the size of the widget, shown 1:1 and
// repainted whenever something is drawn on it.
class PictureBox final : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    [[nodiscard]] Surface& surface() { return surface_; }
    [[nodiscard]] const Surface& surface() const { return surface_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    Surface surface_{1, 1};
};

}  // namespace quillon
