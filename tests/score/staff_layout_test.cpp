#include "score/staff_layout.h"

#include "model/new_song.h"
#include "model/percussion.h"
#include "model/pitch.h"
#include "model/store_check.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace pokopen {
namespace {

using testing::addNote;
using testing::setSignature;
using Kind = NoteMark::Kind;

// Value of a staff step in the middle view's row m (middle view: row m is step m + 7).
constexpr std::uint8_t C4 = 23;

struct Fixture {
    Song song = makeNewSong();
    Editing state;
    StaffLayout layout() const { return layoutStaff(song, state); }
};

std::vector<int> xs(const std::vector<GridLine>& lines, StaffColour c) {
    std::vector<int> out;
    for (const GridLine& l : lines)
        if (l.colour == c)
            out.push_back(l.x);
    return out;
}

TEST(StaffGrid, FourFourHasOneLinePerThreeTickColumn) {
    // One line per 3-tick column, 9 pixels apart: t = 0, 3, ..., 93 at x = 82 + 3 t.
    const auto lines = gridLines(96, 4, false);
    ASSERT_EQ(lines.size(), 32u);
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].x, 82 + 9 * static_cast<int>(i));
    EXPECT_EQ(lines.back().x, 361);
    EXPECT_EQ(xs(lines, StaffColour::Navy), (std::vector<int>{82, 154, 226, 298}));
    EXPECT_EQ(xs(lines, StaffColour::Fuchsia), (std::vector<int>{118, 190, 262, 334}));
    EXPECT_EQ(xs(lines, StaffColour::Lime), (std::vector<int>{100, 136, 172, 208, 244, 280, 316, 352}));
    EXPECT_EQ(xs(lines, StaffColour::Yellow).size(), 16u);
}

TEST(StaffGrid, TripletModeUsesFourTickColumnsWithoutYellow) {
    const auto lines = gridLines(96, 4, true);
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_EQ(lines.front().x, 82);
    EXPECT_EQ(lines[1].x, 94);
    EXPECT_EQ(lines.back().x, 358);
    EXPECT_TRUE(xs(lines, StaffColour::Yellow).empty());
    EXPECT_EQ(xs(lines, StaffColour::Navy), (std::vector<int>{82, 154, 226, 298}));
    EXPECT_EQ(xs(lines, StaffColour::Fuchsia), (std::vector<int>{118, 190, 262, 334}));
    EXPECT_EQ(xs(lines, StaffColour::Lime).size(), 16u);
}

TEST(StaffGrid, EighthNoteMetersBeatOnEighths) {
    // 6/8: a beat is 12 ticks, half beats 6, quarter beats 3.
    const auto lines = gridLines(72, 8, false);
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_EQ(lines[0].colour, StaffColour::Navy);
    EXPECT_EQ(lines[1].colour, StaffColour::Lime);
    EXPECT_EQ(lines[2].colour, StaffColour::Fuchsia);
    EXPECT_EQ(lines[4].colour, StaffColour::Navy);
    EXPECT_TRUE(xs(lines, StaffColour::Yellow).empty());
}

TEST(StaffGrid, DenominatorsBeyondTheWholeNoteDivideByNothing) {
    // 8/128 (only a damaged song holds one): every beat length is 0 ticks, so no line is on a beat.
    const auto lines = gridLines(6, 128, false);
    EXPECT_EQ(lines, (std::vector<GridLine>{{82, StaffColour::Yellow}, {91, StaffColour::Yellow}}));
    // 4/32: beats of 3 ticks, quarter beats of none.
    EXPECT_EQ(xs(gridLines(12, 32, false), StaffColour::Navy).size(), 4u);
}

TEST(StaffLayoutTest, MeasureWidthsFollowTheMeter) {
    struct Case {
        std::uint8_t meter;
        int rightEnd;
    };
    for (const Case c : {Case{0x42, 370}, Case{0x33, 190}, Case{0xC3, 514}, Case{0x31, 514}, Case{0x62, 514},
                         Case{0x23, 154}}) {
        Fixture f;
        setSignature(f.song, KIND_METER, 2, c.meter);
        ASSERT_EQ(checkStore(f.song), "");
        f.state.currentMeasure = 2;
        const StaffLayout l = f.layout();
        EXPECT_EQ(l.rightEnd(), c.rightEnd) << int(c.meter);
        EXPECT_EQ(l.measureStart, 192);
        EXPECT_EQ(l.numerator, c.meter / 16);
        EXPECT_EQ(l.denominator, 1 << (c.meter % 16));
        EXPECT_TRUE(l.meterChangeHere);
    }
}

TEST(StaffLayoutTest, SignatureColoursFollowTheirOwnChanges) {
    Fixture f;
    setSignature(f.song, KIND_KEY, 3, 16);
    setSignature(f.song, KIND_METER, 5, 0x33);
    ASSERT_EQ(checkStore(f.song), "");
    struct Case {
        int measure;
        bool key, meter;
    };
    for (const Case c :
         {Case{0, true, true}, Case{3, true, false}, Case{4, false, false}, Case{5, false, true}}) {
        f.state.currentMeasure = c.measure;
        const StaffLayout l = f.layout();
        EXPECT_EQ(l.keyChangeHere, c.key) << c.measure;
        EXPECT_EQ(l.meterChangeHere, c.meter) << c.measure;
    }
}

TEST(StaffLayoutTest, QuarterNoteGetsStartBoxAndBar) {
    Fixture f;
    addNote(f.song, 0, 0, 24, C4);
    ASSERT_EQ(checkStore(f.song), "");
    const StaffLayout l = f.layout();
    ASSERT_EQ(l.marks.size(), 2u);
    EXPECT_EQ(l.marks[0], (NoteMark{Kind::StartBox, 16, 82, 85, 144, 9, StaffColour::Lime}));
    EXPECT_EQ(l.marks[1], (NoteMark{Kind::Bar, 16, 85, 154, 144, 9, StaffColour::Lime}));
    EXPECT_EQ(l.octave, OctaveSign::None);
}

TEST(StaffLayoutTest, RowsOfTheThreeViews) {
    struct Case {
        int view;
        std::uint8_t value;
        int row; // -1: not drawn
    };
    const Case cases[] = {
        {1, C4, 16},  {0, C4, 23}, {2, C4, 9},               // an octave apart per view
        {1, 7, 0},    {1, 38, 31}, {1, 6, -1},  {1, 39, -1}, // the middle view's edges
        {0, 0, 0},    {0, 31, 31}, {0, 32, -1},              // high view
        {2, 14, 0},   {2, 45, 31}, {2, 13, -1},              // low view
        {0, 250, -1},                                        // step -2, above the high view
    };
    for (const Case c : cases) {
        Fixture f;
        addNote(f.song, 0, 0, 24, c.value);
        f.state.scoreView = c.view;
        const StaffLayout l = f.layout();
        if (c.row < 0) {
            EXPECT_TRUE(l.marks.empty()) << c.view << " " << int(c.value);
            continue;
        }
        ASSERT_EQ(l.marks.size(), 2u) << c.view << " " << int(c.value);
        EXPECT_EQ(l.marks[0].row, c.row) << c.view << " " << int(c.value);
        EXPECT_EQ(l.marks[0].top, 9 * c.row);
    }
    Fixture high;
    high.state.scoreView = 0;
    EXPECT_EQ(high.layout().octave, OctaveSign::Up);
    high.state.scoreView = 2;
    EXPECT_EQ(high.layout().octave, OctaveSign::Down);
}

TEST(StaffLayoutTest, TransposingInstrumentsShowTheWrittenPitchAndKey) {
    Fixture f;
    f.song.partTransposition[0] = 3; // B-flat instrument: written a step higher, in D major
    addNote(f.song, 0, 0, 24, C4);
    const StaffLayout l = f.layout();
    EXPECT_EQ(l.writtenKey, 18);
    EXPECT_EQ(l.shift, 1);
    ASSERT_EQ(l.marks.size(), 2u);
    EXPECT_EQ(l.marks[0].row, 15);
    EXPECT_EQ(l.keyGlyphs, (std::vector<SignatureGlyph>{
                               {34, 52, true}, {34, 178, true}, {39, 79, true}, {39, 205, true}}));

    // An octave instrument whose shift is negative reads values of 128 and more as steps above E7.
    Fixture low;
    low.song.partTransposition[0] = 0; // shift -7
    low.state.scoreView = 0;
    addNote(low.song, 0, 0, 24, 250); // step -2
    ASSERT_EQ(low.layout().marks.size(), 2u);
    EXPECT_EQ(low.layout().marks[0].row, 5);
}

TEST(StaffLayoutTest, TranspositionOutsideTheTableDrawsAsCInstrument) {
    Fixture f;
    f.song.partTransposition[0] = 99;
    addNote(f.song, 0, 0, 24, C4);
    const StaffLayout l = f.layout();
    EXPECT_EQ(l.writtenKey, 14);
    ASSERT_EQ(l.marks.size(), 2u);
    EXPECT_EQ(l.marks[0].row, 16);
}

TEST(StaffLayoutTest, KeySignatureGlyphs) {
    EXPECT_TRUE(keySignatureGlyphs(14).empty());
    EXPECT_TRUE(keySignatureGlyphs(15).empty());
    // F major / d minor: one flat on B (step 10): treble y 86, bass y 212.
    EXPECT_EQ(keySignatureGlyphs(12), (std::vector<SignatureGlyph>{{34, 86, false}, {34, 212, false}}));
    EXPECT_EQ(keySignatureGlyphs(13), keySignatureGlyphs(12));
    EXPECT_EQ(keySignatureGlyphs(0).size(), 14u);
    EXPECT_EQ(keySignatureGlyphs(0).back(), (SignatureGlyph{64, 9 * 13 + 122, false}));
    EXPECT_EQ(keySignatureGlyphs(29).size(), 14u);
    EXPECT_EQ(keySignatureGlyphs(29).back(), (SignatureGlyph{64, 9 * 10 + 124, true}));
}

TEST(NoteColourTest, ByTheAbsoluteWrittenAccidental) {
    // Rows: 6 is an F, 5 a G, 3 a B.
    struct Case {
        int key, row, accidental;
        StaffColour colour;
    };
    const Case cases[] = {
        {14, 16, -2, StaffColour::Navy},  {14, 16, -1, StaffColour::Blue},
        {14, 16, 0, StaffColour::Lime},   {14, 16, 1, StaffColour::Red},
        {14, 16, 2, StaffColour::Maroon}, {14, 16, 3, StaffColour::Gray},
        {14, 16, -3, StaffColour::Gray},  {14, 16, 127, StaffColour::Gray},
        {16, 6, 0, StaffColour::Red},     // G major: F is sharp by the key
        {16, 13, -1, StaffColour::Green}, // ... a natural F, an octave lower
        {16, 5, 0, StaffColour::Lime},    // ... G unaltered
        {16, 6, 1, StaffColour::Maroon},  // ... F double sharp
        {16, 6, 2, StaffColour::Gray},    // ... beyond a double sharp
        {16, 6, 127, StaffColour::Gray},  // ... continued from an earlier measure
        {12, 3, 0, StaffColour::Blue},    // F major: B is flat by the key
        {12, 3, 1, StaffColour::Green},   // ... natural B
        {12, 3, -1, StaffColour::Navy},   // ... B double flat
        {12, 3, 2, StaffColour::Red},     // ... B sharp
        {0, 6, 0, StaffColour::Blue},     // seven flats alter every letter
        {29, 1, 0, StaffColour::Red},     // seven sharps too
    };
    for (const Case c : cases)
        EXPECT_EQ(noteColour(c.key, c.row, c.accidental), c.colour)
            << c.key << " " << c.row << " " << c.accidental;
}

TEST(StaffLayoutTest, NotesAcrossMeasuresAreGrayWhereContinued) {
    Fixture f;
    // From the middle of measure 1 to the middle of measure 3, with a sharp.
    addNote(f.song, 0, 48, 192, C4, 1);
    ASSERT_EQ(checkStore(f.song), "");
    const auto marksAt = [&f](int measure) {
        f.state.currentMeasure = measure;
        return f.layout().marks;
    };
    EXPECT_EQ(marksAt(0), (std::vector<NoteMark>{{Kind::StartBox, 16, 226, 229, 144, 9, StaffColour::Red},
                                                 {Kind::Bar, 16, 229, 370, 144, 9, StaffColour::Red}}));
    EXPECT_EQ(marksAt(1), (std::vector<NoteMark>{{Kind::Bar, 16, 82, 370, 144, 9, StaffColour::Gray}}));
    EXPECT_EQ(marksAt(2), (std::vector<NoteMark>{{Kind::Bar, 16, 82, 226, 144, 9, StaffColour::Gray}}));
    EXPECT_TRUE(marksAt(3).empty());
}

TEST(StaffLayoutTest, NoteEndingAtTheBarLineKeepsItsRowGoing) {
    Fixture f;
    addNote(f.song, 0, 72, 24, C4); // ends exactly at the end of measure 1
    addNote(f.song, 0, 96, 24, C4); // next measure: not drawn in measure 1
    addNote(f.song, 0, 120, 24, C4);
    ASSERT_EQ(checkStore(f.song), "");
    const StaffLayout l = f.layout();
    ASSERT_EQ(l.marks.size(), 2u);
    EXPECT_EQ(l.marks[1], (NoteMark{Kind::Bar, 16, 301, 370, 144, 9, StaffColour::Lime}));
}

TEST(StaffLayoutTest, DrumViewRowsAndNames) {
    Fixture f;
    f.state.currentPart = PERCUSSION_PART;
    addNote(f.song, PERCUSSION_PART, 0, 12, 16);
    addNote(f.song, PERCUSSION_PART, 12, 12, 31);
    addNote(f.song, PERCUSSION_PART, 24, 12, 47);  // beyond the list (damaged song)
    addNote(f.song, PERCUSSION_PART, 36, 12, 250); // likewise
    ASSERT_EQ(checkStore(f.song), "");

    StaffLayout l = f.layout();
    EXPECT_TRUE(l.drums);
    EXPECT_EQ(l.firstDrum, 16);
    EXPECT_EQ(l.drumName(0), "高Ｔｉｍｂａｌｅ");
    EXPECT_EQ(l.drumName(15), "高タム");
    EXPECT_TRUE(l.keyGlyphs.empty());
    EXPECT_EQ(l.marks, (std::vector<NoteMark>{{Kind::StartBox, 0, 82, 85, 0, 18, StaffColour::Lime},
                                              {Kind::Bar, 0, 85, 118, 0, 18, StaffColour::Lime},
                                              {Kind::StartBox, 15, 118, 121, 270, 18, StaffColour::Lime},
                                              {Kind::Bar, 15, 121, 154, 270, 18, StaffColour::Lime}}));

    f.state.scoreView = 2;
    l = f.layout();
    EXPECT_EQ(l.drumName(0), "高タム");
    EXPECT_EQ(l.drumName(15), "バスドラム1");
    ASSERT_EQ(l.marks.size(), 2u);
    EXPECT_EQ(l.marks[0].row, 0);

    f.state.scoreView = 0;
    l = f.layout();
    EXPECT_EQ(l.drumName(0), "開トライアングル");
    EXPECT_EQ(l.marks.size(), 0u);

    // Continued drum notes stay lime.
    f.song.row(PERCUSSION_PART).clear();
    addNote(f.song, PERCUSSION_PART, 48, 96, 0);
    f.state.currentMeasure = 1;
    l = f.layout();
    EXPECT_EQ(l.marks, (std::vector<NoteMark>{{Kind::Bar, 0, 82, 226, 0, 18, StaffColour::Lime}}));
}

TEST(PercussionTest, NamesAndIndexesOutsideTheList) {
    EXPECT_EQ(PERCUSSION_NAMES.size(), 47u);
    EXPECT_EQ(percussionName(0), "開トライアングル");
    EXPECT_EQ(percussionName(46), "バスドラム1");
    EXPECT_EQ(percussionName(26), "Ｓｐｌａｓｈシンバル");
    EXPECT_TRUE(percussionName(47).empty());
    EXPECT_TRUE(percussionName(-1).empty());
    EXPECT_EQ(firstDrumIndex(0), 0);
    EXPECT_EQ(firstDrumIndex(1), 16);
    EXPECT_EQ(firstDrumIndex(2), 31);
}

// The note-bar scan as it reads for one row at a time, from the row's first event; the layout's
// single pass from the measure's start must draw exactly what this draws, also for damaged rows
// (overlapping notes of one value, note-offs without a note-on).
std::vector<NoteMark> referenceMarks(const EventRow& part, std::int32_t c, std::int32_t t, int base,
                                     int key) {
    std::vector<NoteMark> out;
    for (int m = 0; m < STEP_ROWS; ++m) {
        std::int32_t lastOn = 0;
        int lastExtra = 0;
        const int y0 = 9 * m;
        for (std::int32_t i = 0; i < part.count(); ++i) {
            const Event e = part.at(i);
            if ((e.kind != KIND_NOTE_ON && e.kind != KIND_NOTE_OFF) || stepOfValue(e.value) != base + m)
                continue;
            if (e.kind == KIND_NOTE_ON) {
                lastOn = e.pos;
                lastExtra = e.extra;
                if (e.pos >= c + t)
                    break;
                if (e.pos >= c)
                    out.push_back({Kind::StartBox, m, 82 + 3 * (e.pos - c), 85 + 3 * (e.pos - c), y0, 9,
                                   noteColour(key, m, e.extra)});
                continue;
            }
            if (e.pos <= c)
                continue;
            const bool continued = c > lastOn;
            const int left = continued ? 82 : 85 + 3 * (lastOn - c);
            const int right = 82 + 3 * (std::min(e.pos, c + t) - c);
            if (left < right)
                out.push_back({Kind::Bar, m, left, right, y0, 9,
                               noteColour(key, m, continued ? CONTINUED_NOTE : lastExtra)});
            if (e.pos > c + t)
                break;
        }
    }
    return out;
}

TEST(StaffLayoutTest, SinglePassDrawsWhatTheRowScanDraws) {
    const unsigned seed = 20240611;
    std::mt19937 rng(seed);
    for (int round = 0; round < 200; ++round) {
        std::vector<Event> events;
        std::int32_t pos = 0;
        const int n = std::uniform_int_distribution<int>(0, 120)(rng);
        for (int i = 0; i < n; ++i) {
            pos += std::uniform_int_distribution<int>(0, 20)(rng);
            const int kind = std::uniform_int_distribution<int>(1, 3)(rng);
            const auto value = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(20, 26)(rng));
            const auto extra = static_cast<std::int8_t>(std::uniform_int_distribution<int>(-3, 3)(rng));
            events.push_back({pos, static_cast<std::uint8_t>(kind), value, extra});
        }
        EventRow row;
        row.assign(events);
        for (std::int32_t c : {0, 24, 96, 192}) {
            auto mine = staffNoteMarks(row, c, 72, 7, 16);
            std::stable_sort(mine.begin(), mine.end(),
                             [](const NoteMark& a, const NoteMark& b) { return a.row < b.row; });
            ASSERT_EQ(mine, referenceMarks(row, c, 72, 7, 16))
                << "seed " << seed << " round " << round << " c " << c;
        }
    }
}

} // namespace
} // namespace pokopen
