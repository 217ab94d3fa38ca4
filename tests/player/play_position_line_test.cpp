#include "curves/curve_graph.h"
#include "curves/curve_painter.h"
#include "document/editing.h"
#include "model/new_song.h"
#include "player/play_position_line.h"
#include "score/staff_paint.h"
#include "support/song_builders.h"
#include "ui/image_view.h"

#include <gtest/gtest.h>

#include <random>

namespace pokopen {
namespace {

// Columns of the image holding the line's colour.
std::vector<int> columnsInLineColour(const QImage& image) {
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (image.pixelColor(x, y) == PlayPositionLine::COLOUR) {
                columns.push_back(x);
                break;
            }
    return columns;
}

TEST(PlayPositionLine, CoversTheWholeHeightBetweenTicksAndHidesOutsideTheView) {
    ImageView view(300, 120);
    PlayPositionLine line(&view, [](std::int32_t t) { return 82 + 3 * t; });
    line.showAtTick(10, 0.5); // halfway to the next tick: a pixel on
    EXPECT_EQ(line.geometry(), QRect(113, 0, 1, 120));
    EXPECT_EQ(columnsInLineColour(view.grab().toImage()), std::vector<int>{113});
    line.showAtTick(73); // x 301 lies outside the view
    EXPECT_TRUE(columnsInLineColour(view.grab().toImage()).empty());
}

TEST(PlayPositionLine, NoPageDrawsInItsColour) {
    // Notes of every accidental and key, signatures, the drum view, and every curve graph.
    std::mt19937 rng(1416);
    Song song = makeNewSong();
    testing::setSignature(song, KIND_KEY, 1, 3);
    testing::setSignature(song, KIND_METER, 1, 0x63);
    for (int part : {0, PERCUSSION_PART})
        for (int i = 0; i < 40; ++i)
            testing::addNote(
                song, part, static_cast<std::int32_t>(96 + rng() % 66),
                3 + static_cast<std::int32_t>(rng() % 30),
                static_cast<std::uint8_t>(part == PERCUSSION_PART ? rng() % 47 : 10 + rng() % 40),
                static_cast<std::int8_t>(static_cast<int>(rng() % 5) - 2));
    for (int i = 0; i < 12; ++i) {
        const auto at = static_cast<std::int32_t>(96 + rng() % 72);
        testing::addPoint(song, 0, at, KIND_DYNAMICS, static_cast<std::uint8_t>(rng() % 128));
        testing::addPoint(song, 0, at, KIND_PAN, static_cast<std::uint8_t>(rng() % 128));
        testing::addPoint(song, TEMPO_ROW, at, KIND_TEMPO, static_cast<std::uint8_t>(rng() % 256));
    }
    for (int part : {0, PERCUSSION_PART}) {
        for (bool triplet : {false, true}) {
            Editing state;
            state.currentPart = part;
            state.currentMeasure = 1;
            state.tripletMode = triplet;
            EXPECT_TRUE(columnsInLineColour(renderStaff(song, state)).empty()) << part;
        }
    }
    for (CurveKind kind : {CurveKind::Dynamics, CurveKind::Tempo, CurveKind::Pan}) {
        const CurveGraph graph = buildCurveGraph(kind, song.store, 0, 1);
        QImage image(graph.width + 10, graph.height, QImage::Format_RGB32);
        paintCurveGraph(image, kind, graph);
        EXPECT_TRUE(columnsInLineColour(image).empty());
    }
}

} // namespace
} // namespace pokopen
