// The measure editor's operations on the store: copy, cut, paste and octave shifts.
#include "editor/measure_editor.h"
#include "editor/measure_ops.h"
#include "model/new_song.h"
#include "model/pitch.h"
#include "model/store_check.h"
#include "model/timeline.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace pokopen {
namespace {

using testing::addNote;
using testing::setSignature;

constexpr std::int32_t M = 96; // one 4/4 measure

// The events of a part row lying in [from, to) ticks.
std::vector<Event> eventsIn(const Song& song, int part, std::int32_t from, std::int32_t to) {
    std::vector<Event> out;
    for (const Event& e : song.row(part).events())
        if (e.pos >= from && e.pos < to)
            out.push_back(e);
    return out;
}

std::vector<Event> shifted(std::vector<Event> events, std::int32_t by) {
    for (Event& e : events)
        e.pos += by;
    return events;
}

bool hasNote(const Song& song, int part, std::int32_t start, std::int32_t end, std::uint8_t value) {
    const std::vector<Event> row = song.row(part).events();
    const auto on = std::find(row.begin(), row.end(), Event{start, KIND_NOTE_ON, value, 0});
    const auto off = std::find(row.begin(), row.end(), Event{end, KIND_NOTE_OFF, value, 0});
    return on != row.end() && off != row.end() && on < off;
}

// Selects measures a..b (0-based) of `part`, or of all parts for ALL_PARTS, with two clicks.
void select(MeasureEditor& ed, std::int32_t a, std::int32_t b, int part) {
    ed.cancelSelection();
    ed.setMode(ClickMode::EndA);
    if (part == ALL_PARTS) {
        ASSERT_TRUE(ed.clickMeasureHeader(a));
        ASSERT_TRUE(ed.clickMeasureHeader(b));
    } else {
        ASSERT_TRUE(ed.clickCell(a, part));
        ASSERT_TRUE(ed.clickCell(b, part));
    }
    ASSERT_EQ(ed.mode(), ClickMode::Pointer);
}

void pointAt(MeasureEditor& ed, std::int32_t measure, int part) {
    ed.setMode(ClickMode::Pointer);
    ASSERT_TRUE(ed.clickCell(measure, part));
}

// Part 1 holds a quarter note of a different step in each beat of measures 1..10 (0-based
// 0..9), plus a dynamics point at the start of each measure.
Song tenMeasures() {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    for (std::int32_t m = 0; m < 10; ++m) {
        // After the previous measure's last note-off, before this measure's first note-on.
        if (m > 0)
            song.row(0).insertAt(song.row(0).count(), {m * M, KIND_DYNAMICS, 90, 0});
        for (std::int32_t beat = 0; beat < 4; ++beat)
            addNote(song, 0, m * M + beat * 24, 24, static_cast<std::uint8_t>(10 + m + beat));
    }
    return song;
}

TEST(MeasureCopyPaste, CopiedMeasuresReplaceTheTargetAndLeaveTheRest) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = tenMeasures();
    // Conductor events in the target measures must not move with the paste.
    setSignature(song, KIND_KEY, 6, 16);
    song.row(TEMPO_ROW).insertAt(1, {6 * M, KIND_TEMPO, 90, 0});
    ASSERT_EQ(checkStore(song), "");
    const Song before = song;

    MeasureEditor ed(doc, 0, 0);
    select(ed, 1, 2, 0);
    ASSERT_TRUE(ed.copy());
    EXPECT_FALSE(ed.songModified());
    EXPECT_TRUE(ed.pasteEnabled());
    EXPECT_EQ(song, before);
    pointAt(ed, 6, 0);
    ASSERT_EQ(ed.paste(), PasteOutcome::Pasted);
    EXPECT_EQ(checkStore(song), "");
    EXPECT_TRUE(ed.songModified());

    EXPECT_EQ(eventsIn(song, 0, 0, 6 * M), eventsIn(before, 0, 0, 6 * M));
    // At the target's first tick: measure 6's last note-off stays, the block follows it.
    EXPECT_EQ(eventsIn(song, 0, 6 * M, 6 * M + 1), (std::vector<Event>{{6 * M, KIND_NOTE_OFF, 18, 0},
                                                                       {6 * M, KIND_DYNAMICS, 90, 0},
                                                                       {6 * M, KIND_NOTE_ON, 11, 0}}));
    EXPECT_EQ(eventsIn(song, 0, 6 * M + 1, 8 * M), shifted(eventsIn(before, 0, M + 1, 3 * M), 5 * M));
    EXPECT_EQ(eventsIn(song, 0, 8 * M + 1, 100 * M), eventsIn(before, 0, 8 * M + 1, 100 * M));
    EXPECT_EQ(song.row(TEMPO_ROW), before.row(TEMPO_ROW));
    EXPECT_EQ(song.row(SIGNATURE_ROW), before.row(SIGNATURE_ROW));
}

TEST(MeasureCopyPaste, NoteCrossingTheSelectionEndIsNotCopiedButCutWhole) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    addNote(song, 2, M + 72, 48, 20); // a half note from the last beat of measure 2 into measure 3
    addNote(song, 2, M, 24, 21);
    ASSERT_EQ(checkStore(song), "");

    MeasureEditor ed(doc, 2, 0);
    select(ed, 0, 1, 2);
    ASSERT_TRUE(ed.copy());
    const std::vector<Event>& clip = ed.clipboard().clipRows[2];
    EXPECT_EQ(
        std::count_if(clip.begin(), clip.end(), [](const Event& e) { return e.value == 20 && e.kind <= 2; }),
        0);
    EXPECT_EQ(std::count_if(clip.begin(), clip.end(), [](const Event& e) { return e.value == 21; }), 2);

    ASSERT_TRUE(ed.cut());
    EXPECT_EQ(checkStore(song), "");
    EXPECT_FALSE(hasNote(song, 2, M + 72, M + 120, 20));
    EXPECT_EQ(eventsIn(song, 2, 0, 10 * M), std::vector<Event>{});
    EXPECT_TRUE(ed.hasSelection()) << "a cut keeps the selection";
}

TEST(MeasureCopyPaste, NoteSpanningTheSelectionSurvivesCutAndOctaves) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    addNote(song, 0, 48, 4 * M, 30); // from measure 1 to measure 5
    addNote(song, 0, M + 24, 24, 30 - 7);
    const Song before = song;
    MeasureEditor ed(doc, 0, 0);
    select(ed, 1, 2, 0);
    ASSERT_TRUE(ed.shiftOctaves(OCTAVE_DOWN));
    EXPECT_EQ(checkStore(song), "");
    EXPECT_TRUE(hasNote(song, 0, 48, 48 + 4 * M, 30));
    ASSERT_TRUE(ed.cut());
    EXPECT_EQ(checkStore(song), "");
    EXPECT_TRUE(hasNote(song, 0, 48, 48 + 4 * M, 30));
    EXPECT_EQ(song.row(0).count(), before.row(0).count() - 2);
}

TEST(MeasureCopyPaste, CuttingFromTheFirstMeasureTakesTheStartPointsAndPasteRestoresThem) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = tenMeasures();
    song.row(5) = song.row(0);
    const Song before = song;
    MeasureEditor ed(doc, 5, 0);
    select(ed, 0, 3, 5);
    ASSERT_TRUE(ed.cut());
    EXPECT_EQ(checkStore(song), "");
    EXPECT_EQ(eventsIn(song, 5, 0, 4 * M), std::vector<Event>{});
    pointAt(ed, 0, 5);
    ASSERT_EQ(ed.paste(), PasteOutcome::Pasted);
    EXPECT_EQ(checkStore(song), "");
    EXPECT_EQ(song, before);
}

TEST(MeasureCopyPaste, DrumPartAndOrdinaryPartRefuseEachOther) {
    struct Case {
        int from;
        int to;
    };
    for (const Case c : {Case{PERCUSSION_PART, 2}, Case{2, PERCUSSION_PART}}) {
        SongDocument doc;
        Song& song = writableSong(doc);
        song = tenMeasures();
        song.row(PERCUSSION_PART) = song.row(0);
        song.row(2) = song.row(0);
        const Song before = song;
        MeasureEditor ed(doc, 0, 0);
        std::vector<bool> waits;
        ed.waitHook = [&waits](bool on) { waits.push_back(on); };
        select(ed, 0, 1, c.from);
        ASSERT_TRUE(ed.copy());
        pointAt(ed, 4, c.to);
        EXPECT_EQ(ed.paste(), PasteOutcome::RefusedDrumMixed) << c.from << " to " << c.to;
        EXPECT_EQ(song, before);
        EXPECT_FALSE(ed.songModified());
        EXPECT_TRUE(ed.hasSelection()) << "a refused paste changes nothing";
        EXPECT_EQ(waits, (std::vector<bool>{true, false, true, false}));
    }
}

TEST(MeasureCopyPaste, AllPartsPasteCoversTheDrumPart) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    for (int p = 0; p < PART_ROWS; ++p)
        addNote(song, p, M, 24, static_cast<std::uint8_t>(p + 3));
    MeasureEditor ed(doc, 3, 0);
    select(ed, 1, 1, ALL_PARTS);
    ASSERT_TRUE(ed.copy());
    pointAt(ed, 9, 3);
    ASSERT_EQ(ed.paste(), PasteOutcome::Pasted);
    EXPECT_EQ(checkStore(song), "");
    for (int p = 0; p < PART_ROWS; ++p) {
        EXPECT_TRUE(hasNote(song, p, 9 * M, 9 * M + 24, static_cast<std::uint8_t>(p + 3))) << "part " << p;
        EXPECT_TRUE(hasNote(song, p, M, M + 24, static_cast<std::uint8_t>(p + 3))) << "part " << p;
    }
}

TEST(MeasureCopyPaste, PasteClearsTheSelectionAndCanBeRepeated) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = tenMeasures();
    MeasureEditor ed(doc, 0, 0);
    select(ed, 0, 0, 0);
    ASSERT_TRUE(ed.copy());
    pointAt(ed, 20, 1);
    ASSERT_EQ(ed.paste(), PasteOutcome::Pasted);
    EXPECT_FALSE(ed.hasSelection());
    EXPECT_EQ(ed.selectionA(), -1);
    EXPECT_EQ(ed.selectionB(), -1);
    EXPECT_FALSE(ed.cutEnabled());
    EXPECT_FALSE(ed.copyEnabled());
    EXPECT_TRUE(ed.pasteEnabled());
    EXPECT_EQ(ed.mode(), ClickMode::Pointer);
    pointAt(ed, 30, 2);
    ASSERT_EQ(ed.paste(), PasteOutcome::Pasted);
    EXPECT_EQ(checkStore(song), "");
    EXPECT_EQ(eventsIn(song, 1, 20 * M, 21 * M), shifted(eventsIn(song, 0, 0, M), 20 * M));
    EXPECT_EQ(eventsIn(song, 2, 30 * M, 31 * M), shifted(eventsIn(song, 0, 0, M), 30 * M));
}

TEST(MeasureCopyPaste, NothingHappensWithoutSelectionOrClipboard) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = tenMeasures();
    const Song before = song;
    MeasureEditor ed(doc, 0, 0);
    int waits = 0;
    ed.waitHook = [&waits](bool) { ++waits; };
    EXPECT_FALSE(ed.copy());
    EXPECT_FALSE(ed.cut());
    EXPECT_FALSE(ed.shiftOctaves(OCTAVE_UP));
    EXPECT_EQ(ed.paste(), PasteOutcome::Empty);
    EXPECT_EQ(waits, 0);
    EXPECT_FALSE(ed.songModified());
    EXPECT_EQ(song, before);
}

TEST(MeasureOctaves, StepsMoveByAnOctaveOrTheNoteIsDeleted) {
    struct Case {
        std::uint8_t value;
        int steps;
        int expected; // stored value afterwards, -1 when the note is deleted
    };
    const Case cases[] = {
        {3, OCTAVE_UP, 248},                         // B6 up to step -4
        {250, OCTAVE_DOWN, 5},                       // step -2 down
        {48, OCTAVE_DOWN, -1},                       // would reach step 55
        {45, OCTAVE_DOWN, 52},                       // the lowest step kept
        {0, OCTAVE_UP, 245},                         // step -7, the highest kept
        {1, OCTAVE_UP, 246},   {249, OCTAVE_UP, -1}, // step -3 would reach -10
    };
    for (const Case& c : cases) {
        SongDocument doc;
        Song& song = writableSong(doc);
        song = makeNewSong();
        addNote(song, 4, 2 * M, 12, c.value, 1);
        MeasureEditor ed(doc, 4, 0);
        select(ed, 2, 2, 4);
        ASSERT_TRUE(ed.shiftOctaves(c.steps));
        EXPECT_EQ(checkStore(song), "") << int(c.value);
        if (c.expected < 0) {
            EXPECT_EQ(song.row(4).count(), 2) << int(c.value);
        } else {
            ASSERT_EQ(song.row(4).count(), 4) << int(c.value);
            EXPECT_EQ(song.row(4).at(2),
                      (Event{2 * M, KIND_NOTE_ON, static_cast<std::uint8_t>(c.expected), 1}));
            EXPECT_EQ(song.row(4).at(3),
                      (Event{2 * M + 12, KIND_NOTE_OFF, static_cast<std::uint8_t>(c.expected), 0}));
        }
    }
}

TEST(MeasureOctaves, NotesCrossingTheRangeAreDeletedAndDrumsNeverMove) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    addNote(song, 0, M - 12, 24, 20);     // crosses the start
    addNote(song, 0, 2 * M - 12, 24, 21); // crosses the end
    addNote(song, 0, M + 12, 12, 22);     // inside
    addNote(song, PERCUSSION_PART, M, 24, 30);
    const EventRow drums = song.row(PERCUSSION_PART);
    MeasureEditor ed(doc, 0, 0);
    select(ed, 1, 1, ALL_PARTS);
    ASSERT_TRUE(ed.shiftOctaves(OCTAVE_UP));
    EXPECT_EQ(checkStore(song), "");
    EXPECT_EQ(song.row(0).count(), 4);
    EXPECT_TRUE(hasNote(song, 0, M + 12, M + 24, 15));
    EXPECT_EQ(song.row(PERCUSSION_PART), drums);

    SongDocument drumDoc;
    Song& drumOnly = writableSong(drumDoc);
    drumOnly = song;
    MeasureEditor drumEd(drumDoc, PERCUSSION_PART, 0);
    select(drumEd, 0, 999, PERCUSSION_PART);
    ASSERT_TRUE(drumEd.shiftOctaves(OCTAVE_DOWN));
    // Nothing moved: no step, and the song is not marked modified.
    EXPECT_FALSE(drumEd.songModified());
    EXPECT_FALSE(drumDoc.canUndo());
    EXPECT_FALSE(drumDoc.isModified());
    EXPECT_EQ(drumOnly, song);
}

// Choices where the plain algorithm would break the store.

TEST(MeasurePasteFit, ShorterTargetMeasuresKeepTheBlockInsideThem) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    setSignature(song, KIND_METER, 10, 0x22); // 2/4 from measure 11 on
    setSignature(song, KIND_METER, 12, 0x42);
    addNote(song, 0, 0, 24, 20);  // fits into the 2/4 measure
    addNote(song, 0, 36, 24, 21); // runs past its end: stopped there
    addNote(song, 0, 72, 12, 22); // starts after its end: dropped
    const std::int32_t t10 = measureToTick(song.store, 10);
    const std::int32_t t11 = measureToTick(song.store, 11);
    addNote(song, 0, t11, 24, 21); // the following measure is left as it was
    song.row(0).insertAt(song.row(0).count() - 2, {t11, KIND_DYNAMICS, 30, 0});
    ASSERT_EQ(checkStore(song), "");
    const std::vector<Event> after = eventsIn(song, 0, t11, 1 << 30);

    MeasureEditor ed(doc, 0, 0);
    select(ed, 0, 0, 0);
    ASSERT_TRUE(ed.copy());
    pointAt(ed, 10, 0);
    ASSERT_EQ(ed.paste(), PasteOutcome::Pasted);
    EXPECT_EQ(checkStore(song), "");
    EXPECT_TRUE(hasNote(song, 0, t10, t10 + 24, 20));
    EXPECT_TRUE(hasNote(song, 0, t10 + 36, t11, 21));
    // Dynamics and pan, the two notes, then the following measure's dynamics and note-on.
    EXPECT_EQ(eventsIn(song, 0, t10, t11 + 1).size(), 8u);
    EXPECT_EQ(eventsIn(song, 0, t11 + 1, 1 << 30), std::vector<Event>(after.begin() + 2, after.end()));
}

TEST(MeasurePasteFit, PasteNearTheEndStopsAtTheEndOfTheSong) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = tenMeasures();
    MeasureEditor ed(doc, 0, 0);
    select(ed, 0, 2, 0);
    ASSERT_TRUE(ed.copy());
    pointAt(ed, 998, 0);
    ASSERT_EQ(ed.paste(), PasteOutcome::Pasted);
    EXPECT_EQ(checkStore(song), "");
    // Measures 1 and 2 fit; the third copied measure falls past the end of the song.
    EXPECT_EQ(eventsIn(song, 0, 998 * M, 1000 * M), shifted(eventsIn(song, 0, 0, 2 * M), 998 * M));
    EXPECT_EQ(song.row(0).at(song.row(0).count() - 1), (Event{1000 * M, KIND_NOTE_OFF, 14, 0}));
}

TEST(MeasurePasteFit, TargetNoteSpanningTheRangeGivesWayToAPastedNoteOfItsStep) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    addNote(song, 0, 0, 24, 25);
    addNote(song, 0, 24, 24, 26);
    addNote(song, 1, 2 * M, 4 * M, 25); // spans measure 4, same step as a pasted note
    addNote(song, 1, 2 * M, 4 * M, 27); // spans it too, a step nothing is pasted on
    MeasureEditor ed(doc, 0, 0);
    select(ed, 0, 0, 0);
    ASSERT_TRUE(ed.copy());
    pointAt(ed, 3, 1);
    ASSERT_EQ(ed.paste(), PasteOutcome::Pasted);
    EXPECT_EQ(checkStore(song), "");
    EXPECT_FALSE(hasNote(song, 1, 2 * M, 6 * M, 25));
    EXPECT_TRUE(hasNote(song, 1, 2 * M, 6 * M, 27));
    EXPECT_TRUE(hasNote(song, 1, 3 * M, 3 * M + 24, 25));
    EXPECT_TRUE(hasNote(song, 1, 3 * M + 24, 3 * M + 48, 26));
}

TEST(MeasureOctaves, ShiftedNoteLandingInASpanningNoteIsDeleted) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    addNote(song, 0, 0, 4 * M, 20);   // spans measure 2
    addNote(song, 0, M + 24, 24, 27); // would become step 20 inside it
    addNote(song, 0, M + 48, 24, 28); // becomes 21
    MeasureEditor ed(doc, 0, 0);
    select(ed, 1, 1, 0);
    ASSERT_TRUE(ed.shiftOctaves(OCTAVE_UP));
    EXPECT_EQ(checkStore(song), "");
    EXPECT_TRUE(hasNote(song, 0, 0, 4 * M, 20));
    EXPECT_TRUE(hasNote(song, 0, M + 48, M + 72, 21));
    EXPECT_EQ(song.row(0).count(), 6);
}

} // namespace
} // namespace pokopen
