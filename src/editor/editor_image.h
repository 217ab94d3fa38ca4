#pragma once

#include <QImage>
#include <QWidget>

namespace pokopen {

// A widget that shows one QImage at its top-left corner, one image pixel per widget pixel,
// and passes on where the mouse is, clicks (on release) and double-clicks.
class EditorImage : public QWidget {
    Q_OBJECT
public:
    EditorImage(int width, int height, QWidget* parent = nullptr);

    QImage& image() { return image_; }
    const QImage& image() const { return image_; }

signals:
    void mouseMoved(int x, int y);
    void clicked();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage image_;
    bool pressed_ = false;
};

} // namespace pokopen
