#include "editor/editor_image.h"

#include <QMouseEvent>
#include <QPainter>

namespace pokopen {

EditorImage::EditorImage(int width, int height, QWidget* parent)
    : QWidget(parent), image_(width, height, QImage::Format_RGB32) {
    image_.fill(Qt::white);
    setFixedSize(width, height);
    setMouseTracking(true);
}

void EditorImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

void EditorImage::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mouseMoved(p.x(), p.y());
}

void EditorImage::mousePressEvent(QMouseEvent* event) {
    // A press is also where the mouse is, even when no move came before it.
    const QPoint p = event->position().toPoint();
    emit mouseMoved(p.x(), p.y());
    pressed_ = event->button() == Qt::LeftButton;
}

void EditorImage::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click)
        emit clicked();
}

void EditorImage::mouseDoubleClickEvent(QMouseEvent* event) {
    // The release that ends a double-click is not another click.
    pressed_ = false;
    const QPoint p = event->position().toPoint();
    emit mouseMoved(p.x(), p.y());
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

} // namespace pokopen
