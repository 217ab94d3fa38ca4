#pragma once

#include <QImage>
#include <QWidget>

namespace pokopen {

// An image with its own bitmap: a fixed-size widget that shows a QImage of the same size in
// logical pixels, drawn by its owner, and reports the mouse in image pixels. Drawing surfaces
// (the staff, the curve graphs, the measure editor) paint into image() and call update(). Views
// that follow the pointer with no button held turn on mouse tracking.
class ImageView : public QWidget {
    Q_OBJECT
public:
    ImageView(int width, int height, QWidget* parent = nullptr);

    QImage& image() { return image_; }
    const QImage& image() const { return image_; }

signals:
    void mousePressed(Qt::MouseButton button, int x, int y);
    // buttons: the buttons held during the move.
    void mouseMoved(Qt::MouseButtons buttons, int x, int y);
    void mouseReleased(Qt::MouseButton button, int x, int y);
    void mouseDoubleClicked(Qt::MouseButton button, int x, int y);
    // A release inside the view of the button last pressed inside it, after mouseReleased. The
    // release that ends a double-click is not another click.
    void clicked(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage image_;
    Qt::MouseButton pressedButton_ = Qt::NoButton;
};

} // namespace pokopen
