#pragma once

#include <QString>

class QFont;

namespace pokopen {

// The program's title, shown on the task bar and after the song name in the caption.
inline const QString PROGRAM_TITLE = QStringLiteral("ぽこぺんシーケンサ");
inline const QString CAPTION_SUFFIX = QStringLiteral(" - ぽこぺんシーケンサ");

// Lets the fonts the windows are designed with stand for the Japanese fonts the system has.
void installFontSubstitutions();

// How fontWithCellHeight chooses a pixel size: sizes are given for the whole character cell
// (QFontMetrics::height), and the IPA fonts reach only some cell heights.
enum class CellFit {
    // The cell height nearest to the one asked for; of equally near sizes the smallest.
    Nearest,
    // The largest size whose cell height does not exceed the one asked for, so that the text
    // never overflows the cell it was laid out for.
    NotAbove,
};

// A font of the given family whose cell height (ascent + descent) fits `cellHeight` pixels.
QFont fontWithCellHeight(const QString& family, int cellHeight, bool bold = false,
                         CellFit fit = CellFit::Nearest);

} // namespace pokopen
