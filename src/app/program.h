#pragma once

#include <QString>

class QFont;

namespace pokopen {

// The program's title, shown on the task bar and after the song name in the caption.
inline const QString PROGRAM_TITLE = QStringLiteral("ぽこぺんシーケンサ");
inline const QString CAPTION_SUFFIX = QStringLiteral(" - ぽこぺんシーケンサ");

// Lets the fonts the windows are designed with stand for the Japanese fonts the system has.
void installFontSubstitutions();

// A font of the given family whose cell height (ascent + descent) is as close as possible to
// `cellHeight` pixels.
QFont fontWithCellHeight(const QString& family, int cellHeight, bool bold = false);

} // namespace pokopen
