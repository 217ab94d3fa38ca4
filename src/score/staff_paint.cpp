#include "score/staff_paint.h"

#include "model/percussion.h"
#include "ui/fonts.h"

#include <QFontMetrics>
#include <QPainter>

namespace pokopen {

namespace {

constexpr int SIGNATURE_FONT_HEIGHT = 36;
constexpr int KEY_GLYPH_FONT_HEIGHT = 14;
constexpr int DRUM_NAME_FONT_HEIGHT = 18;
constexpr int DRUM_NAME_RIGHT = 128;

// Text with its top-left corner at (x, y), on a white cell as wide as the text.
void drawTextOnWhite(QPainter& p, int x, int y, const QString& text) {
    const QFontMetrics fm(p.font());
    p.fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), Qt::white);
    p.drawText(x, y + fm.ascent(), text);
}

void paintGrid(QPainter& p, const StaffLayout& layout) {
    for (const GridLine& line : layout.grid)
        p.fillRect(QRect(line.x, 0, 1, STAFF_IMAGE_HEIGHT), qColorOf(line.colour));
}

void paintNoteMarks(QPainter& p, const StaffLayout& layout) {
    for (const NoteMark& mark : layout.marks) {
        const QRect r(mark.left, mark.top, mark.right - mark.left, mark.height);
        if (mark.kind == NoteMark::Kind::StartBox) {
            p.fillRect(r, mark.selected ? QColor::fromRgb(static_cast<QRgb>(0xFF000000u | CARET_RGB))
                                        : Qt::black);
            p.fillRect(r.adjusted(1, 1, -1, -1), qColorOf(mark.fill));
        } else {
            p.fillRect(r, qColorOf(mark.fill));
        }
    }
}

void paintDrumView(QPainter& p, const StaffLayout& layout, QImage& drumNames) {
    paintGrid(p, layout);
    const int width = layout.rightEnd() - STAFF_LEFT;
    for (int i = 0; i < DRUM_ROWS; ++i)
        p.fillRect(QRect(STAFF_LEFT, DRUM_ROW_HEIGHT * i + 9, width, 1), Qt::black);

    QPainter names(&drumNames);
    names.fillRect(QRect(0, 0, DRUM_NAMES_WIDTH, STAFF_IMAGE_HEIGHT), Qt::white);
    names.setFont(fontWithCellHeight(DRUM_NAME_FONT_FAMILY, DRUM_NAME_FONT_HEIGHT, false, CellFit::NotAbove));
    names.setPen(Qt::black);
    const QFontMetrics fm(names.font());
    for (int i = 0; i < DRUM_ROWS; ++i) {
        const std::string_view name = layout.drumName(i);
        const QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
        drawTextOnWhite(names, DRUM_NAME_RIGHT - fm.horizontalAdvance(text), DRUM_ROW_HEIGHT * i, text);
    }
    paintNoteMarks(p, layout);
}

void paintStaffView(QPainter& p, const StaffLayout& layout) {
    p.setFont(fontWithCellHeight(SIGNATURE_FONT_FAMILY, SIGNATURE_FONT_HEIGHT, false, CellFit::NotAbove));
    p.setPen(layout.meterChangeHere ? Qt::black : qColorOf(StaffColour::Silver));
    const QString numerator = QString::number(layout.numerator);
    const QString denominator = QString::number(layout.denominator);
    drawTextOnWhite(p, 0, 58, numerator);
    drawTextOnWhite(p, 0, 166, numerator);
    drawTextOnWhite(p, 0, 94, denominator);
    drawTextOnWhite(p, 0, 202, denominator);

    // The flats and sharps stand 5 pixels apart and their glyphs are wider than that, so each is
    // drawn without a background of its own, which would wipe out its neighbour.
    p.setFont(fontWithCellHeight(SIGNATURE_FONT_FAMILY, KEY_GLYPH_FONT_HEIGHT, false, CellFit::NotAbove));
    p.setPen(layout.keyChangeHere ? Qt::black : qColorOf(StaffColour::Silver));
    const QFontMetrics fm(p.font());
    for (const SignatureGlyph& g : layout.keyGlyphs)
        p.drawText(g.x, g.y + fm.ascent(), g.sharp ? QStringLiteral("♯") : QStringLiteral("♭"));

    paintGrid(p, layout);

    const int right = layout.rightEnd();
    for (int i = 0; i < STAFF_LINE_COUNT; ++i) {
        if (isStaffLine(i))
            p.fillRect(QRect(0, lineY(i) - 1, right, 3), Qt::black);
        else
            p.fillRect(QRect(STAFF_LEFT, lineY(i), right - STAFF_LEFT, 1), qColorOf(StaffColour::Silver));
    }
    paintNoteMarks(p, layout);
}

} // namespace

QColor qColorOf(StaffColour c) {
    return QColor::fromRgb(static_cast<QRgb>(0xFF000000u | rgbOf(c)));
}

void paintStaff(const StaffLayout& layout, QImage& score, QImage& drumNames) {
    QPainter p(&score);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(0, 0, STAFF_IMAGE_WIDTH, STAFF_IMAGE_HEIGHT), Qt::white);
    if (layout.drums)
        paintDrumView(p, layout, drumNames);
    else
        paintStaffView(p, layout);
    if (layout.caretX)
        p.fillRect(QRect(*layout.caretX, 0, 1, STAFF_IMAGE_HEIGHT),
                   QColor::fromRgb(static_cast<QRgb>(0xFF000000u | CARET_RGB)));
}

QImage renderStaff(const Song& song, const Editing& state) {
    QImage score(STAFF_IMAGE_WIDTH, STAFF_IMAGE_HEIGHT, QImage::Format_RGB32);
    QImage names(DRUM_NAMES_WIDTH, STAFF_IMAGE_HEIGHT, QImage::Format_RGB32);
    paintStaff(layoutStaff(song, state), score, names);
    return score;
}

} // namespace pokopen
