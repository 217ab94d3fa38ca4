#include "score/palette_icons.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace pokopen {

namespace {

// Paints on an 18 x 18 grid whatever the scale. At 1x antialiasing is off and curved shapes
// are pixel art, so that every pixel is either black or clear; at 2x and more shapes are
// drawn as curves with antialiasing, so that they come out smooth.
QImage paintIcon(int scale, const std::function<void(QPainter&, bool pixelArt)>& paint) {
    QImage image(PALETTE_ICON_SIZE * scale, PALETTE_ICON_SIZE * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, scale > 1);
        painter.scale(scale, scale);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        paint(painter, scale == 1);
    }
    image.setDevicePixelRatio(scale);
    return image;
}

void fillBox(QPainter& p, qreal x, qreal y, qreal w, qreal h) {
    p.fillRect(QRectF(x, y, w, h), Qt::black);
}

// A slanted beam (of a sharp or natural) from (x1, y1) to (x2, y2), `thickness` high.
void beam(QPainter& p, qreal x1, qreal y1, qreal x2, qreal y2, qreal thickness) {
    QPainterPath path;
    path.moveTo(x1, y1);
    path.lineTo(x2, y2);
    path.lineTo(x2, y2 + thickness);
    path.lineTo(x1, y1 + thickness);
    path.closeSubpath();
    p.fillPath(path, Qt::black);
}

// Pixel art for 1x, where curves drawn without antialiasing come out ragged: one string per row,
// '#' a black pixel.
void paintPixels(QPainter& p, int x, int y, std::initializer_list<const char*> rows) {
    for (const char* row : rows) {
        for (int i = 0; row[i] != '\0'; ++i) {
            if (row[i] == '#')
                p.fillRect(x + i, y, 1, 1, Qt::black);
        }
        ++y;
    }
}

int flagCount(NoteValue value) {
    switch (value) {
    case NoteValue::Eighth:
        return 1;
    case NoteValue::Sixteenth:
        return 2;
    case NoteValue::ThirtySecond:
        return 3;
    default:
        return 0;
    }
}

// The note value at 1x, its head's left edge at x = left; the stem is on column left + 5.
void paintNotePixels(QPainter& p, NoteValue value, int left) {
    if (value == NoteValue::Whole) {
        paintPixels(p, left - 1, 11, {"..#####..", ".##...###", "##.....##", "###...##.", "..#####.."});
        return;
    }
    if (value == NoteValue::Half)
        paintPixels(p, left, 12, {"..####", ".#...#", "#...#.", "#..#..", ".##..."});
    else
        paintPixels(p, left, 12, {"..####", ".#####", "######", "#####.", ".###.."});
    const int stem = left + 5;
    p.fillRect(stem, 1, 1, 12, Qt::black);
    const int flags = flagCount(value);
    if (flags == 1) {
        paintPixels(p, stem + 1, 1, {"#...", "##..", ".##.", "..##", "...#", "...#", "..#."});
        return;
    }
    for (int i = 0; i < flags; ++i)
        paintPixels(p, stem + 1, 1 + 3 * i, {"##..", ".##.", "..##"});
}

// A note head: an ellipse tilted upwards to the right around (cx, cy).
QPainterPath headPath(qreal cx, qreal cy, qreal rx, qreal ry, qreal angle) {
    QPainterPath ellipse;
    ellipse.addEllipse(QPointF(0, 0), rx, ry);
    QTransform t;
    t.translate(cx, cy);
    t.rotate(angle);
    return t.map(ellipse);
}

// The note value at 2x and more, drawn with curves; same layout as paintNotePixels.
void paintNoteCurves(QPainter& p, NoteValue value, qreal left) {
    const qreal cx = left + 3.0;
    const qreal cy = 14.0;
    if (value == NoteValue::Whole) {
        // Wider head with its hole tilted the other way, no stem.
        QPainterPath outer = headPath(cx + 0.5, cy - 0.5, 4.5, 2.8, 0);
        QPainterPath inner = headPath(cx + 0.5, cy - 0.5, 2.2, 1.5, 55);
        p.fillPath(outer.subtracted(inner), Qt::black);
        return;
    }
    QPainterPath head = headPath(cx, cy, 3.4, 2.4, -25);
    if (value == NoteValue::Half)
        head = head.subtracted(headPath(cx, cy, 2.5, 1.0, -25));
    p.fillPath(head, Qt::black);

    const qreal stemX = left + 5.4;
    fillBox(p, stemX, 1, 1, cy - 1);
    const int flags = flagCount(value);
    for (int i = 0; i < flags; ++i) {
        const qreal y = 1 + 3.0 * i;
        QPainterPath flag;
        flag.moveTo(stemX + 1, y);
        flag.cubicTo(stemX + 1.5, y + 2.5, stemX + 5.5, y + 3.0, stemX + 4.0, y + 6.5);
        flag.cubicTo(stemX + 4.2, y + 4.5, stemX + 2.5, y + 3.8, stemX + 1, y + 2.6);
        flag.closeSubpath();
        p.fillPath(flag, Qt::black);
    }
}

void paintSign(QPainter& p, LengthSign sign) {
    if (sign == LengthSign::None)
        return;
    fillBox(p, 0, 8, 5, 1); // bar of the plus and the minus
    if (sign == LengthSign::Plus)
        fillBox(p, 2, 6, 1, 5);
}

// A flat with its stem on column x.
void paintFlat(QPainter& p, int x, bool pixelArt) {
    if (pixelArt) {
        p.fillRect(x, 1, 1, 16, Qt::black);
        paintPixels(p, x, 10, {"#.##.", "##..#", "#...#", "#..#.", "#.#..", "##..."});
        return;
    }
    fillBox(p, x, 1, 1.2, 16);
    QPainterPath bowl;
    bowl.moveTo(x + 1, 16.6);
    bowl.cubicTo(x + 6.0, 13.5, x + 5.5, 8.0, x + 1, 10.5);
    bowl.lineTo(x + 1, 11.8);
    bowl.cubicTo(x + 3.5, 10.0, x + 3.0, 13.5, x + 1, 15.2);
    bowl.closeSubpath();
    p.fillPath(bowl, Qt::black);
}

void paintAccidental(QPainter& p, std::int8_t accidental, bool pixelArt) {
    switch (accidental) {
    case -2:
        paintFlat(p, 3, pixelArt);
        paintFlat(p, 10, pixelArt);
        break;
    case -1:
        paintFlat(p, 7, pixelArt);
        break;
    case 0:
        fillBox(p, 6, 1, 1, 13);
        fillBox(p, 11, 4, 1, 13);
        beam(p, 6, 7, 12, 5, 2);
        beam(p, 6, 12, 12, 10, 2);
        break;
    case 1:
        fillBox(p, 7, 1, 1, 16);
        fillBox(p, 11, 1, 1, 16);
        beam(p, 4, 7, 15, 4, 2);
        beam(p, 4, 13, 15, 10, 2);
        break;
    case 2: {
        QPen pen(Qt::black, 2.0, Qt::SolidLine, Qt::FlatCap);
        p.setPen(pen);
        p.drawLine(QPointF(5, 5), QPointF(13, 13));
        p.drawLine(QPointF(13, 5), QPointF(5, 13));
        p.setPen(Qt::NoPen);
        // The square ends of the double sharp.
        for (const QPointF corner : {QPointF(3, 3), QPointF(12, 3), QPointF(3, 12), QPointF(12, 12)})
            fillBox(p, corner.x(), corner.y(), 3, 3);
        break;
    }
    default:
        break;
    }
}

QIcon iconOf(const std::function<QImage(int)>& draw) {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(draw(1)));
    icon.addPixmap(QPixmap::fromImage(draw(2)));
    return icon;
}

} // namespace

QImage drawNoteIcon(NoteValue value, LengthSign sign, int scale) {
    return paintIcon(scale, [&](QPainter& p, bool pixelArt) {
        paintSign(p, sign);
        const int left = sign == LengthSign::None ? 4 : 6;
        if (pixelArt)
            paintNotePixels(p, value, left);
        else
            paintNoteCurves(p, value, left);
    });
}

QImage drawAccidentalIcon(std::int8_t accidental, int scale) {
    return paintIcon(scale, [&](QPainter& p, bool pixelArt) { paintAccidental(p, accidental, pixelArt); });
}

QImage drawCancelIcon(int scale) {
    return paintIcon(scale, [](QPainter& p, bool) {
        QFont font;
        font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("MS UI Gothic")});
        font.setPixelSize(16);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QRectF(0, 0, PALETTE_ICON_SIZE, PALETTE_ICON_SIZE), Qt::AlignCenter, QStringLiteral("解"));
    });
}

QIcon noteIcon(NoteValue value, LengthSign sign) {
    return iconOf([=](int scale) { return drawNoteIcon(value, sign, scale); });
}

QIcon accidentalIcon(std::int8_t accidental) {
    return iconOf([=](int scale) { return drawAccidentalIcon(accidental, scale); });
}

QIcon cancelIcon() {
    return iconOf([](int scale) { return drawCancelIcon(scale); });
}

} // namespace pokopen
