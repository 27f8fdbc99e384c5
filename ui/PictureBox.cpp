#include "ui/PictureBox.h"

#include <QPainter>

namespace quillon {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::source(const QImage* image)
{
    image_ = image;
    update();
}

void PictureBox::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    if (image_ == nullptr || image_->isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.drawImage(0, 0, *image_);
}

}  // namespace quillon
