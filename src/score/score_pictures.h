#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

class QPainter;

namespace pokopen {

// The fixed pictures beside the staff, drawn in code so that they are sharp at any screen
// density. Each paints in the picture's own logical pixels.
inline constexpr QSize CLEFS_SIZE{48, 288};
inline constexpr QSize OCTAVE_SIGN_SIZE{115, 25};
inline constexpr QRgb OCTAVE_UP_COLOUR = 0xFFFF0196;   // pink
inline constexpr QRgb OCTAVE_DOWN_COLOUR = 0xFF01BAFF; // sky blue

// Treble and bass clef on five lines each, the lines continuing those of the staff image.
void paintClefs(QPainter& p);
// "8va" and a wavy line; the bracket's stroke hangs down at the left for the high view (up) and
// rises at the left for the low view.
void paintOctaveSign(QPainter& p, bool up);

// A picture of `size` logical pixels at the given device pixel ratio.
QImage renderPicture(QSize size, qreal devicePixelRatio, const std::function<void(QPainter&)>& paint);

// A static picture: a fixed-size widget that paints itself with a drawing function.
class PictureView : public QWidget {
    Q_OBJECT
public:
    PictureView(QSize size, std::function<void(QPainter&)> paint, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<void(QPainter&)> paint_;
};

} // namespace pokopen
