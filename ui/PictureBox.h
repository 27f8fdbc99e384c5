#pragma once

#include <QImage>
#include <QWidget>

namespace quillon {

// Shows a drawing surface's image 1:1, like the picture boxes of the window.
class PictureBox final : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // The image to show; not owned, may be null (the box stays black).
    void source(const QImage* image);
    [[nodiscard]] const QImage* source() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const QImage* image_ = nullptr;
};

}  // namespace quillon
