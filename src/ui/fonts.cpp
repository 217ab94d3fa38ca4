#include "ui/fonts.h"

#include <QFont>
#include <QFontMetrics>
#include <QStringList>

#include <algorithm>

#include <cstdlib>

namespace pokopen {

void installFontSubstitutions() {
    QFont::insertSubstitutions(QStringLiteral("MS UI Gothic"),
                               QStringList{QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                               QStringList{QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), QStringList{QStringLiteral("IPAGothic")});
    QFont::insertSubstitutions(QStringLiteral("ＭＳ 明朝"),
                               QStringList{QStringLiteral("IPAMincho"), QStringLiteral("IPAPMincho")});
}

QFont fontWithCellHeight(const QString& family, int cellHeight, bool bold, CellFit fit) {
    QFont font(family);
    font.setBold(bold);
    if (fit == CellFit::NotAbove) {
        for (int size = cellHeight; size > 1; --size) {
            font.setPixelSize(size);
            if (QFontMetrics(font).height() <= cellHeight)
                return font;
        }
        font.setPixelSize(1);
        return font;
    }
    int best = cellHeight;
    int bestError = 1 << 20;
    for (int size = std::max(1, cellHeight / 2); size <= cellHeight + 4; ++size) {
        font.setPixelSize(size);
        const int error = std::abs(QFontMetrics(font).height() - cellHeight);
        if (error < bestError) {
            bestError = error;
            best = size;
        }
    }
    font.setPixelSize(best);
    return font;
}

} // namespace pokopen
