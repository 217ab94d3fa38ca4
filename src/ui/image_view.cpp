#include "ui/image_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QtMath>

namespace pokopen {

namespace {
// The image pixel under the pointer (positions are fractional on high-density screens).
QPoint imagePoint(const QMouseEvent* event) {
    const QPointF p = event->position();
    return {qFloor(p.x()), qFloor(p.y())};
}
} // namespace

ImageView::ImageView(int width, int height, QWidget* parent)
    : QWidget(parent), image_(width, height, QImage::Format_RGB32) {
    image_.fill(Qt::white);
    setFixedSize(width, height);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageView::paintEvent(QPaintEvent*) {
    // The bitmap is in logical pixels; on a high-density screen it is enlarged without smoothing,
    // so that its pixel-exact drawing stays sharp.
    QPainter painter(this);
    painter.drawImage(rect(), image_);
}

void ImageView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = imagePoint(event);
    pressedButton_ = event->button();
    emit mousePressed(event->button(), p.x(), p.y());
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = imagePoint(event);
    emit mouseMoved(event->buttons(), p.x(), p.y());
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = imagePoint(event);
    const bool click = event->button() == pressedButton_ && rect().contains(p);
    pressedButton_ = Qt::NoButton;
    emit mouseReleased(event->button(), p.x(), p.y());
    if (click)
        emit clicked(event->button(), p.x(), p.y());
}

void ImageView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = imagePoint(event);
    pressedButton_ = Qt::NoButton;
    emit mouseDoubleClicked(event->button(), p.x(), p.y());
}

} // namespace pokopen
