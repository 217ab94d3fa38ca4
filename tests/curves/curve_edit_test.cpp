#include "curves/curve_edit.h"
#include "curves/curve_graph.h"
#include "model/new_song.h"
#include "model/store_check.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <vector>

namespace pokopen {
namespace {

using testing::addNote;
using testing::setSignature;

// The (tick, value) pairs of one kind in a row.
std::vector<std::pair<std::int32_t, int>> points(const Song& song, int row, std::uint8_t kind) {
    std::vector<std::pair<std::int32_t, int>> out;
    for (const Event& e : song.row(row).events())
        if (e.kind == kind)
            out.emplace_back(e.pos, e.value);
    return out;
}

using Points = std::vector<std::pair<std::int32_t, int>>;

class CurveEditTest : public ::testing::Test {
protected:
    Song song = makeNewSong(); // dynamics 100, pan 64, tempo 120 at tick 0
    void SetUp() override { ASSERT_EQ(points(song, 0, KIND_DYNAMICS), (Points{{0, 100}})); }
    void TearDown() override { EXPECT_EQ(checkStore(song), ""); }
};

TEST_F(CurveEditTest, InputOfTheValueInForceAddsNothing) {
    EXPECT_FALSE(editDynamicsPoint(song, 0, 96, 100, CurveMode::Input));
    EXPECT_EQ(points(song, 0, KIND_DYNAMICS), (Points{{0, 100}}));

    // A point with another value at that step is removed by painting the value in force.
    ASSERT_TRUE(editDynamicsPoint(song, 0, 96, 80, CurveMode::Input));
    EXPECT_TRUE(editDynamicsPoint(song, 0, 96, 100, CurveMode::Input));
    EXPECT_EQ(points(song, 0, KIND_DYNAMICS), (Points{{0, 100}}));

    // Input of the value already stored at the tick changes nothing.
    ASSERT_TRUE(editDynamicsPoint(song, 0, 96, 80, CurveMode::Input));
    EXPECT_FALSE(editDynamicsPoint(song, 0, 96, 80, CurveMode::Input));
}

TEST_F(CurveEditTest, PaintingOverAStepRemovesALaterEqualPoint) {
    editPanPoint(song, 2, 96, 30, CurveMode::Input);
    editPanPoint(song, 2, 192, 90, CurveMode::Input);
    ASSERT_EQ(points(song, 2, KIND_PAN), (Points{{0, 64}, {96, 30}, {192, 90}}));
    EXPECT_TRUE(editPanPoint(song, 2, 96, 90, CurveMode::Input));
    EXPECT_EQ(points(song, 2, KIND_PAN), (Points{{0, 64}, {96, 90}}));
}

TEST_F(CurveEditTest, DeleteKeepsTheFirstPointAndRemovesOthers) {
    EXPECT_FALSE(editDynamicsPoint(song, 0, 0, 0, CurveMode::Delete));
    EXPECT_FALSE(editTempoPoint(song, 0, 0, CurveMode::Delete));
    EXPECT_FALSE(editDynamicsPoint(song, 0, 96, 0, CurveMode::Delete)); // nothing there

    editDynamicsPoint(song, 0, 96 * 4, 50, CurveMode::Input);
    EXPECT_TRUE(editDynamicsPoint(song, 0, 96 * 4, 0, CurveMode::Delete));
    EXPECT_EQ(points(song, 0, KIND_DYNAMICS), (Points{{0, 100}}));
}

TEST_F(CurveEditTest, DeletingBetweenEqualPointsRemovesTheLaterOne) {
    for (const auto& [tick, value] : Points{{96, 120}, {192, 140}, {288, 120}, {384, 60}})
        editTempoPoint(song, tick, static_cast<std::uint8_t>(value), CurveMode::Input);
    ASSERT_EQ(points(song, TEMPO_ROW, KIND_TEMPO), (Points{{0, 120}, {192, 140}, {288, 120}, {384, 60}}));
    EXPECT_TRUE(editTempoPoint(song, 192, 0, CurveMode::Delete));
    EXPECT_EQ(points(song, TEMPO_ROW, KIND_TEMPO), (Points{{0, 120}, {384, 60}}));
}

TEST_F(CurveEditTest, AllPartsPaintsEachRowIndependently) {
    editDynamicsPoint(song, 4, 96, 70, CurveMode::Input);
    const Song before = song;
    const int part7 = 7;
    EXPECT_TRUE(applyCurveStroke(song, part7, CurveKind::Dynamics, CurveMode::Input, true, {96, 70}));
    for (int part = 0; part < PART_ROWS; ++part)
        EXPECT_EQ(points(song, part, KIND_DYNAMICS), (Points{{0, 100}, {96, 70}})) << "part " << part;
    EXPECT_EQ(song.row(4), before.row(4));

    // Without the box only the current part is edited.
    EXPECT_TRUE(applyCurveStroke(song, part7, CurveKind::Pan, CurveMode::Input, false, {96, 10}));
    EXPECT_EQ(points(song, 7, KIND_PAN), (Points{{0, 64}, {96, 10}}));
    EXPECT_EQ(points(song, 6, KIND_PAN), (Points{{0, 64}}));
}

TEST_F(CurveEditTest, PointGoesAfterNoteOffsAndBeforeNoteOnsOfItsTick) {
    addNote(song, 0, 0, 24, 30);
    addNote(song, 0, 24, 24, 31);
    ASSERT_TRUE(editDynamicsPoint(song, 0, 24, 60, CurveMode::Input));
    ASSERT_TRUE(editPanPoint(song, 0, 24, 20, CurveMode::Input));
    std::vector<std::uint8_t> kindsAt24;
    for (const Event& e : song.row(0).events())
        if (e.pos == 24)
            kindsAt24.push_back(e.kind);
    // The later point goes first among the curve points: straight after the note-offs.
    EXPECT_EQ(kindsAt24, (std::vector<std::uint8_t>{KIND_NOTE_OFF, KIND_PAN, KIND_DYNAMICS, KIND_NOTE_ON}));
}

TEST_F(CurveEditTest, MergePassOverAWholeRowKeepsTheFirstPoint) {
    song.row(TEMPO_ROW).assign({{0, KIND_TEMPO, 90, 0},
                                {24, KIND_TEMPO, 90, 0},
                                {48, KIND_TEMPO, 100, 0},
                                {72, KIND_TEMPO, 100, 0},
                                {96, KIND_TEMPO, 90, 0}});
    EXPECT_EQ(mergeCurvePoints(song.row(TEMPO_ROW), KIND_TEMPO), 2);
    EXPECT_EQ(points(song, TEMPO_ROW, KIND_TEMPO), (Points{{0, 90}, {48, 100}, {96, 90}}));
}

// Pointer mapping: (curve, meter, x, y) -> tick inside the measure and value, or ignored.
struct PointerCase {
    CurveKind curve;
    std::uint8_t meter;
    int x, y;
    bool hit;
    std::int32_t tickInMeasure;
    int value;
    int label;
};

class CurvePointerTest : public ::testing::TestWithParam<PointerCase> {};

TEST_P(CurvePointerTest, MapsPointerToStepAndValue) {
    const PointerCase c = GetParam();
    Song song = makeNewSong();
    setSignature(song, KIND_METER, 2, c.meter);
    const auto at = mapCurvePointer(c.curve, song.store, 2, c.x, c.y);
    ASSERT_EQ(at.has_value(), c.hit);
    if (!c.hit)
        return;
    EXPECT_EQ(at->tick, 192 + c.tickInMeasure);
    EXPECT_EQ(at->value, c.value);
    EXPECT_EQ(curveLabelValue(c.curve, at->value), c.label);
}

INSTANTIATE_TEST_SUITE_P(Cases, CurvePointerTest,
                         ::testing::Values(
                             // 3/8: 36 ticks, steps at x = 0, 9, .. 99; from x = 108 on nothing.
                             PointerCase{CurveKind::Dynamics, 0x33, 99, 0, true, 33, 127, 127},
                             PointerCase{CurveKind::Dynamics, 0x33, 107, 0, true, 33, 127, 127},
                             PointerCase{CurveKind::Dynamics, 0x33, 108, 0, false, 0, 0, 0},
                             PointerCase{CurveKind::Dynamics, 0x42, -1, 10, false, 0, 0, 0},
                             PointerCase{CurveKind::Dynamics, 0x42, 17, 255, true, 3, 0, 0},
                             PointerCase{CurveKind::Dynamics, 0x42, 17, 256, false, 0, 0, 0},
                             PointerCase{CurveKind::Tempo, 0x42, 0, 209, true, 0, 30, 30},
                             PointerCase{CurveKind::Tempo, 0x42, 0, 0, true, 0, 239, 239},
                             PointerCase{CurveKind::Tempo, 0x42, 0, 210, false, 0, 0, 0},
                             PointerCase{CurveKind::Pan, 0x62, 431, 0, true, 141, 127, 63},
                             PointerCase{CurveKind::Pan, 0x42, 288, 0, false, 0, 0, 0},
                             PointerCase{CurveKind::Pan, 0x42, 0, 255, true, 0, 0, -64},
                             PointerCase{CurveKind::Pan, 0x42, 0, -1, false, 0, 0, 0}));

TEST(CurveGraphTest, BoxesHeldBarsAndBeatLinesOfOneMeasure) {
    // Given dynamics 100 from tick 0, 50 at the second step of measure 2 and 80 on its third beat
    Song song = makeNewSong();
    editDynamicsPoint(song, 0, 96 + 3, 50, CurveMode::Input);
    editDynamicsPoint(song, 0, 96 + 48, 80, CurveMode::Input);
    const CurveGraph g = buildCurveGraph(CurveKind::Dynamics, song.store, 0, 1);

    EXPECT_EQ(g.width, 288);
    EXPECT_EQ(g.points, (std::vector<GraphRect>{{9, 154, 18, 256}, {144, 94, 153, 256}}));
    // 100 held into the measure up to the first box, 50 up to the second, 80 to the end.
    EXPECT_EQ(g.held, (std::vector<GraphRect>{{0, 54, 9, 256}, {18, 154, 144, 256}, {153, 94, 288, 256}}));
    ASSERT_EQ(g.lines.size(), 32u);
    EXPECT_EQ(g.lines[0], (BeatLine{0, BeatLineColour::Beat}));
    EXPECT_EQ(g.lines[1], (BeatLine{9, BeatLineColour::Step}));
    EXPECT_EQ(g.lines[4], (BeatLine{36, BeatLineColour::HalfBeat}));
    EXPECT_EQ(g.lines[8], (BeatLine{72, BeatLineColour::Beat}));

    // A measure without points shows the value held from before over its whole width.
    const CurveGraph later = buildCurveGraph(CurveKind::Dynamics, song.store, 0, 7);
    EXPECT_TRUE(later.points.empty());
    EXPECT_EQ(later.held, (std::vector<GraphRect>{{0, 94, 288, 256}}));
}

TEST(CurveGraphTest, FirstMeasureAndOddMeters) {
    Song song = makeNewSong();
    // The point at tick 0 has no held bar before it; the rest of the measure holds its value.
    const CurveGraph first = buildCurveGraph(CurveKind::Tempo, song.store, 0, 0);
    EXPECT_EQ(first.points, (std::vector<GraphRect>{{0, 119, 9, 210}}));
    EXPECT_EQ(first.held, (std::vector<GraphRect>{{9, 119, 288, 210}}));

    // 6/8: beats every 12 ticks, half beats every 6.
    setSignature(song, KIND_METER, 1, 0x63);
    const CurveGraph g = buildCurveGraph(CurveKind::Pan, song.store, 3, 1);
    EXPECT_EQ(g.width, 216);
    EXPECT_EQ(g.lines[2].colour, BeatLineColour::HalfBeat);
    EXPECT_EQ(g.lines[3].colour, BeatLineColour::Step);
    EXPECT_EQ(g.lines[4].colour, BeatLineColour::Beat);

    // A meter with a very small note value (from a file) draws without dividing by zero.
    setSignature(song, KIND_METER, 1, 0x76); // 7/64
    const CurveGraph tiny = buildCurveGraph(CurveKind::Pan, song.store, 3, 1);
    EXPECT_EQ(tiny.width, 30);
    EXPECT_EQ(tiny.lines[1].colour, BeatLineColour::Beat);
}

} // namespace
} // namespace pokopen
