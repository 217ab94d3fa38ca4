#pragma once

#include <QGroupBox>
#include <QImage>
#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QRadioButton;

// Small widgets shared by the curve, signature and search windows.
namespace pokopen {

// A titled group of radio buttons laid out in columns, with one item index (-1 for none).
// `clicked` is emitted only when the user picks an item, not when code sets the index.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent = nullptr);

    int itemIndex() const;
    void setItemIndex(int index);
    QRadioButton* item(int index) const;
    int count() const;

signals:
    void clicked(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutItems();

    QButtonGroup* group_;
    int columns_;
};

// An image control: shows its own QImage at its own size and reports mouse input in image pixels.
class ImageControl : public QWidget {
    Q_OBJECT
public:
    ImageControl(int width, int height, QWidget* parent = nullptr);

    QImage& image() { return image_; }
    const QImage& image() const { return image_; }

signals:
    void mouseDown(Qt::MouseButton button, int x, int y);
    void mouseMove(int x, int y);
    void mouseUp(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage image_;
};

} // namespace pokopen
