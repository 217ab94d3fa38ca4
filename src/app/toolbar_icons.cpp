#include "app/toolbar_icons.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace pokopen {

namespace {

// Draws one picture on a 16 x 16 design grid.
void paint(QPainter& p, ToolIcon kind) {
    const QColor ink(0x20, 0x20, 0x20);
    p.setPen(QPen(ink, 1.0));
    switch (kind) {
    case ToolIcon::New: {
        QPainterPath page;
        page.moveTo(3.5, 1.5);
        page.lineTo(10.5, 1.5);
        page.lineTo(13.5, 4.5);
        page.lineTo(13.5, 14.5);
        page.lineTo(3.5, 14.5);
        page.closeSubpath();
        p.fillPath(page, Qt::white);
        p.drawPath(page);
        p.drawLine(QPointF(10.5, 1.5), QPointF(10.5, 4.5));
        p.drawLine(QPointF(10.5, 4.5), QPointF(13.5, 4.5));
        break;
    }
    case ToolIcon::Open: {
        p.setBrush(QColor(0xF0, 0xC8, 0x50));
        p.drawRect(QRectF(1.5, 4.5, 12, 9));
        p.setBrush(QColor(0xF8, 0xDC, 0x80));
        QPolygonF flap({QPointF(3.5, 7.5), QPointF(15.5, 7.5), QPointF(13.5, 13.5), QPointF(1.5, 13.5)});
        p.drawPolygon(flap);
        break;
    }
    case ToolIcon::Save: {
        p.setBrush(QColor(0x30, 0x50, 0xA0));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(0xD0, 0xD0, 0xD0));
        p.drawRect(QRectF(3.5, 9.5, 9, 5));
        break;
    }
    case ToolIcon::MidiOut: {
        p.setBrush(ink);
        p.drawEllipse(QRectF(2, 10, 5, 4));
        p.drawLine(QPointF(6.5, 12), QPointF(6.5, 2.5));
        p.drawLine(QPointF(6.5, 2.5), QPointF(9.5, 5));
        p.setPen(QPen(QColor(0xC0, 0x30, 0x30), 1.5));
        p.drawLine(QPointF(9, 11), QPointF(15, 11));
        p.drawLine(QPointF(12.5, 8.5), QPointF(15, 11));
        p.drawLine(QPointF(12.5, 13.5), QPointF(15, 11));
        break;
    }
    case ToolIcon::Settings: {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 1.5, 10, 13));
        for (int y = 4; y <= 11; y += 3)
            p.drawLine(QPointF(4.5, y + 0.5), QPointF(10.5, y + 0.5));
        p.setPen(QPen(QColor(0xC0, 0x80, 0x20), 2.0));
        p.drawLine(QPointF(9, 13), QPointF(15, 5));
        break;
    }
    case ToolIcon::Fm: {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(8);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(0x10, 0x60, 0x10));
        p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("FM"));
        break;
    }
    case ToolIcon::Editor: {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 2.5, 13, 11));
        p.drawLine(QPointF(1.5, 6.5), QPointF(14.5, 6.5));
        p.drawLine(QPointF(1.5, 10.5), QPointF(14.5, 10.5));
        p.drawLine(QPointF(5.5, 2.5), QPointF(5.5, 13.5));
        p.drawLine(QPointF(10.5, 2.5), QPointF(10.5, 13.5));
        p.fillRect(QRectF(6, 7, 4, 3), QColor(0x40, 0x80, 0xE0));
        break;
    }
    case ToolIcon::Divide: {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(0, -2, 16, 12), Qt::AlignCenter, QStringLiteral("3"));
        p.drawLine(QPointF(2.5, 13.5), QPointF(13.5, 13.5));
        p.drawLine(QPointF(2.5, 13.5), QPointF(2.5, 11.5));
        p.drawLine(QPointF(13.5, 13.5), QPointF(13.5, 11.5));
        break;
    }
    case ToolIcon::Find: {
        p.setBrush(QColor(0xD8, 0xF0, 0xFF));
        p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
        p.setPen(QPen(ink, 2.5));
        p.drawLine(QPointF(9.5, 9.5), QPointF(14.5, 14.5));
        break;
    }
    case ToolIcon::JumpEnd: {
        p.setBrush(QColor(0x20, 0x80, 0x20));
        p.drawPolygon(QPolygonF({QPointF(2, 3), QPointF(11, 8), QPointF(2, 13)}));
        p.fillRect(QRectF(12, 3, 2.5, 10), ink);
        break;
    }
    case ToolIcon::Play: {
        p.setBrush(QColor(0x20, 0xA0, 0x40));
        p.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(14, 8), QPointF(4, 14)}));
        break;
    }
    case ToolIcon::PlayFrom: {
        // A bar line, and the play triangle starting from it.
        p.fillRect(QRectF(2, 2, 2, 12), ink);
        p.setBrush(QColor(0x20, 0xA0, 0x40));
        p.drawPolygon(QPolygonF({QPointF(6, 3), QPointF(15, 8), QPointF(6, 13)}));
        break;
    }
    case ToolIcon::Help: {
        p.setBrush(QColor(0xFF, 0xF0, 0x90));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case ToolIcon::Exit: {
        p.setBrush(QColor(0xA0, 0x70, 0x40));
        p.drawRect(QRectF(3.5, 1.5, 8, 13));
        p.setBrush(ink);
        p.drawEllipse(QRectF(9, 7.5, 1.5, 1.5));
        p.setPen(QPen(QColor(0xC0, 0x30, 0x30), 1.5));
        p.drawLine(QPointF(12, 8), QPointF(15.5, 8));
        break;
    }
    }
}

QPixmap render(ToolIcon kind, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(size / 16.0, size / 16.0);
    paint(p, kind);
    return pixmap;
}

} // namespace

QIcon toolIcon(ToolIcon kind) {
    QIcon icon;
    icon.addPixmap(render(kind, 16));
    icon.addPixmap(render(kind, 32));
    return icon;
}

QIcon drumPartIcon() {
    QIcon icon;
    for (int size : {12, 24}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setBold(true);
        f.setPixelSize(size * 11 / 12);
        p.setFont(f);
        p.setPen(QColor(0x8A, 0x01, 0xFF));
        p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("R"));
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace pokopen
