#include "score/score_pictures.h"

#include "score/staff_layout.h"

#include <QPainter>
#include <QPainterPath>

namespace pokopen {

namespace {

void paintFiveLines(QPainter& p, int firstLine) {
    for (int i = firstLine; i < firstLine + 5; ++i)
        p.fillRect(QRect(0, lineY(i) - 1, CLEFS_SIZE.width(), 3), Qt::black);
}

// G clef: a spiral around the G line (y 112), a loop above the staff, and a stem that ends in a
// hook below it.
void paintTrebleClef(QPainter& p) {
    QPainterPath path;
    path.moveTo(27, 116);
    path.cubicTo(20, 118, 17, 108, 24, 104);
    path.cubicTo(33, 99, 40, 110, 36, 120);
    path.cubicTo(32, 131, 13, 131, 11, 116);
    path.cubicTo(9, 101, 22, 90, 29, 79);
    path.cubicTo(36, 68, 37, 44, 30, 41);
    path.cubicTo(23, 39, 20, 58, 22, 74);
    path.lineTo(29, 150);
    path.cubicTo(31, 160, 23, 164, 18, 157);
    p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(19.5, 154.5), 3.5, 3.5);
}

// F clef: a dot on the F line (y 184), an arc round to the right and down, and two dots either
// side of the F line.
void paintBassClef(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(11.5, 184.5), 4.5, 4.5);
    QPainterPath path;
    path.moveTo(8, 182);
    path.cubicTo(8, 169, 24, 163, 31, 171);
    path.cubicTo(38, 180, 35, 201, 10, 220);
    p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(40.5, 175.5), 2.5, 2.5);
    p.drawEllipse(QPointF(40.5, 193.5), 2.5, 2.5);
}

} // namespace

void paintClefs(QPainter& p) {
    p.fillRect(QRect(QPoint(0, 0), CLEFS_SIZE), Qt::white);
    paintFiveLines(p, 3);
    paintFiveLines(p, 9);
    p.setRenderHint(QPainter::Antialiasing, true);
    paintTrebleClef(p);
    paintBassClef(p);
}

void paintOctaveSign(QPainter& p, bool up) {
    const QColor colour = QColor::fromRgb(up ? OCTAVE_UP_COLOUR : OCTAVE_DOWN_COLOUR);
    p.fillRect(QRect(QPoint(0, 0), OCTAVE_SIGN_SIZE), Qt::white);
    p.setRenderHint(QPainter::Antialiasing, true);

    // The bracket's level line runs through the middle; its stroke leaves it at the left.
    const qreal level = up ? 6.5 : 18.5;
    const qreal strokeEnd = up ? 23.0 : 2.0;
    p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawLine(QPointF(2, level), QPointF(2, strokeEnd));
    p.drawLine(QPointF(2, level), QPointF(7, level));

    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(15);
    font.setBold(true);
    font.setItalic(true);
    p.setFont(font);
    p.setPen(colour);
    const QRect textBox(8, 4, 30, 17);
    p.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("8va"));
    const int waveLeft = 8 + QFontMetrics(font).horizontalAdvance(QStringLiteral("8va")) + 3;

    // A wavy line of half waves 4 pixels long, at the bracket's level.
    QPainterPath wave;
    wave.moveTo(waveLeft, level);
    for (int x = waveLeft; x + 8 <= OCTAVE_SIGN_SIZE.width() - 2; x += 8) {
        wave.quadTo(x + 2, level - 3, x + 4, level);
        wave.quadTo(x + 6, level + 3, x + 8, level);
    }
    p.setPen(QPen(colour, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
}

QImage renderPicture(QSize size, qreal devicePixelRatio, const std::function<void(QPainter&)>& paint) {
    QImage image((QSizeF(size) * devicePixelRatio).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::white);
    QPainter p(&image);
    paint(p);
    return image;
}

PictureView::PictureView(QSize size, std::function<void(QPainter&)> paint, QWidget* parent)
    : QWidget(parent), paint_(std::move(paint)) {
    setFixedSize(size);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint_(p);
}

} // namespace pokopen
