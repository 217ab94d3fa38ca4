#include "curves/curve_painter.h"

#include <QPainter>

namespace pokopen {

namespace {

QColor beatColour(BeatLineColour c) {
    switch (c) {
    case BeatLineColour::Beat:
        return Qt::white;
    case BeatLineColour::HalfBeat:
        return QColor(255, 0, 0);
    case BeatLineColour::Step:
        return QColor(0, 0, 255);
    }
    return Qt::white;
}

QRect gdiRect(const GraphRect& r) {
    return QRect(r.x1, r.y1, r.x2 - r.x1, r.y2 - r.y1);
}

} // namespace

QColor curveBackground(CurveKind curve) {
    switch (curve) {
    case CurveKind::Dynamics:
        return QColor(128, 0, 0);
    case CurveKind::Tempo:
        return QColor(0, 128, 0);
    case CurveKind::Pan:
        return QColor(0, 0, 128);
    }
    return QColor(128, 0, 0);
}

void paintCurveGraph(QImage& img, CurveKind curve, const CurveGraph& g) {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(img.rect(), curveBackground(curve));
    for (const GraphRect& r : g.points) {
        p.fillRect(gdiRect(r), QColor(255, 255, 0));
        p.setPen(QPen(Qt::black, 0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(r.x1, r.y1, r.x2 - r.x1 - 1, r.y2 - r.y1 - 1));
    }
    for (const GraphRect& r : g.held)
        p.fillRect(gdiRect(r), QColor(128, 128, 128));
    // Lines leave out their last pixel, as the graph's geometry is given.
    for (const BeatLine& line : g.lines) {
        p.setPen(QPen(beatColour(line.colour), 0));
        p.drawLine(line.x, 0, line.x, g.height - 1);
    }
    p.setPen(QPen(Qt::white, 0));
    if (g.width > 0)
        for (int y : curveReferenceLines(curve))
            p.drawLine(0, y, g.width - 1, y);
    p.end();
}

} // namespace pokopen
