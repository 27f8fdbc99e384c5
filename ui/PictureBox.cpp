#include "ui/PictureBox.h"

#include <QPainter>
#include <QResizeEvent>

namespace quillon {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    surface_.OnChanged([this] { update(); });
}

void PictureBox::resizeEvent(QResizeEvent* event)
{
    surface_.Resize(event->size().width(), event->size().height());
    QWidget::resizeEvent(event);
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.drawImage(event->rect(), surface_.Image(), event->rect());
}

}  // namespace quillon
