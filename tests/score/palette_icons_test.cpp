#include "score/palette_icons.h"

#include <QPixmap>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace pokopen {
namespace {

struct NamedIcon {
    std::string name;
    std::function<QImage(int scale)> draw;
    bool text; // drawn from a font, so its edges are smoothed even at 1x
};

std::vector<NamedIcon> allIcons() {
    std::vector<NamedIcon> icons;
    const char* signs[] = {"", "+", "-"};
    for (int s = 0; s < 3; ++s) {
        for (int v = 0; v < 6; ++v) {
            icons.push_back({signs[s] + std::to_string(v),
                             [=](int scale) { return drawNoteIcon(NoteValue(v), LengthSign(s), scale); },
                             false});
        }
    }
    for (int a = -2; a <= 2; ++a) {
        icons.push_back({"accidental" + std::to_string(a),
                         [=](int scale) { return drawAccidentalIcon(std::int8_t(a), scale); }, false});
    }
    icons.push_back({"cancel", [](int scale) { return drawCancelIcon(scale); }, true});
    return icons;
}

int inkPixels(const QImage& image) {
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ink += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    }
    return ink;
}

TEST(PaletteIcons, BlackOnClearAndCrispAtOneX) {
    const std::vector<NamedIcon> icons = allIcons();
    ASSERT_EQ(icons.size(), 24u);
    for (const NamedIcon& icon : icons) {
        SCOPED_TRACE(icon.name);
        const QImage image = icon.draw(1);
        ASSERT_EQ(image.size(), QSize(18, 18));
        EXPECT_EQ(image.devicePixelRatio(), 1.0);
        EXPECT_GT(inkPixels(image), 15);
        for (int y = 0; y < 18; ++y) {
            for (int x = 0; x < 18; ++x) {
                const QRgb p = image.pixel(x, y);
                ASSERT_EQ(qRed(p) | qGreen(p) | qBlue(p), 0) << x << "," << y; // only black ink
                if (!icon.text) {
                    ASSERT_TRUE(qAlpha(p) == 0 || qAlpha(p) == 255) << x << "," << y;
                }
            }
        }
    }
}

TEST(PaletteIcons, DrawnAfreshAtTwoX) {
    // The 2x picture is drawn at 36 x 36 device pixels, not the 1x one blown up: somewhere a
    // 2 x 2 block is not one colour.
    for (const NamedIcon& icon : allIcons()) {
        SCOPED_TRACE(icon.name);
        const QImage image = icon.draw(2);
        ASSERT_EQ(image.size(), QSize(36, 36));
        EXPECT_EQ(image.devicePixelRatio(), 2.0);
        bool finer = false;
        for (int y = 0; y < 36 && !finer; y += 2) {
            for (int x = 0; x < 36 && !finer; x += 2) {
                const QRgb p = image.pixel(x, y);
                finer = image.pixel(x + 1, y) != p || image.pixel(x, y + 1) != p ||
                        image.pixel(x + 1, y + 1) != p;
            }
        }
        EXPECT_TRUE(finer);
        EXPECT_GT(inkPixels(image), 4 * 15);
    }
}

TEST(PaletteIcons, AllDifferent) {
    const std::vector<NamedIcon> icons = allIcons();
    for (int scale : {1, 2}) {
        for (std::size_t i = 0; i < icons.size(); ++i) {
            for (std::size_t j = i + 1; j < icons.size(); ++j)
                EXPECT_NE(icons[i].draw(scale), icons[j].draw(scale))
                    << icons[i].name << " " << icons[j].name;
        }
    }
}

TEST(PaletteIcons, IconsOfferBothPictures) {
    const QIcon icon = noteIcon(NoteValue::Quarter, LengthSign::Plus);
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(18, 18)));
    EXPECT_TRUE(sizes.contains(QSize(36, 36)));
    EXPECT_EQ(icon.pixmap(QSize(18, 18), 2.0).toImage(),
              drawNoteIcon(NoteValue::Quarter, LengthSign::Plus, 2));
}

} // namespace
} // namespace pokopen
