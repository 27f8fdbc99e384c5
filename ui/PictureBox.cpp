#include "ui/PictureBox.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cstring>

namespace quillon {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    surface_.OnChanged([this] {
        if (batches_ == 0) {
            update();
        }
    });
}

void PictureBox::resizeEvent(QResizeEvent* event)
{
    surface_.Resize(event->size().width(), event->size().height());
    QWidget::resizeEvent(event);
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    if (copyToTarget(*event)) {
        return;
    }
    QPainter painter(this);
    painter.drawImage(event->rect(), surface_.Image(), event->rect());
}

bool PictureBox::copyToTarget(const QPaintEvent& event)
{
    // Setting up a painter costs more than copying these few rows, and the picture is
    // shown 1:1 without blending: copy straight into the image the widget is painted
    // into, when it is a plain 32-bit one. Anything else (a pixmap, a shared painter,
    // scaled pixels) takes the painter.
    QPoint offset;
    QPaintDevice* target = redirected(&offset);
    if (target == nullptr || target->devType() != QInternal::Image || sharedPainter() != nullptr) {
        return false;
    }
    auto& image = *static_cast<QImage*>(target);
    const QImage& picture = surface_.Image();
    const auto format = image.format();
    if (image.devicePixelRatio() != 1.0 || picture.format() != QImage::Format_RGB32 ||
        (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
         format != QImage::Format_ARGB32_Premultiplied)) {
        return false;
    }
    // The painter would map widget point p to p - offset on the target.
    const QRect visible = picture.rect().intersected(image.rect().translated(offset));
    for (const QRect& area : event.region()) {
        const QRect rect = area.intersected(visible);
        if (rect.isEmpty()) {
            continue;
        }
        const auto bytes = static_cast<std::size_t>(rect.width()) * sizeof(QRgb);
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            const auto* from = reinterpret_cast<const QRgb*>(picture.constScanLine(y)) + rect.left();
            auto* to = reinterpret_cast<QRgb*>(image.scanLine(y - offset.y())) + (rect.left() - offset.x());
            std::memcpy(to, from, bytes);
        }
    }
    return true;
}

void PictureBox::present()
{
    const QImage& now = surface_.Image();
    if (shown_.size() != now.size() || shown_.format() != now.format()) {
        shown_ = now.copy();  // a copy of its own: sharing would make every drawing call copy
        shownVersion_ = surface_.Version();
        lastRepaint_ = now.rect();
        update();
        return;
    }
    // Nothing was drawn since: no need to compare (most ticks leave the scope alone).
    if (surface_.Version() == shownVersion_) {
        lastRepaint_ = QRect();
        return;
    }
    shownVersion_ = surface_.Version();
    // The rows that differ, and within them the columns from the first to the last difference.
    const int width = now.width();
    const auto rowBytes = static_cast<std::size_t>(width) * sizeof(QRgb);
    int top = -1;
    int bottom = -1;
    int left = width;
    int right = -1;
    for (int y = 0; y < now.height(); ++y) {
        const auto* fresh = reinterpret_cast<const QRgb*>(now.constScanLine(y));
        auto* old = reinterpret_cast<QRgb*>(shown_.scanLine(y));
        if (std::memcmp(fresh, old, rowBytes) == 0) {
            continue;
        }
        int x = 0;
        while (x < left && fresh[x] == old[x]) {
            ++x;
        }
        left = std::min(left, x);
        x = width - 1;
        while (x > right && fresh[x] == old[x]) {
            --x;
        }
        right = std::max(right, x);
        top = top < 0 ? y : top;
        bottom = y;
        std::memcpy(old, fresh, rowBytes);
    }
    if (top < 0) {
        lastRepaint_ = QRect();
        return;
    }
    lastRepaint_ = QRect(left, top, right - left + 1, bottom - top + 1);
    update(lastRepaint_);
}

}  // namespace quillon
