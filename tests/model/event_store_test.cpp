#include "model/event_store.h"
#include "model/new_song.h"
#include "model/pitch.h"
#include "model/song_end.h"
#include "model/store_check.h"
#include "model/timeline.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

namespace pokopen {
namespace {

TEST(NewSong, HoldsOnlyTheInitialEventsAndDefaults) {
    const Song song = makeNewSong();
    for (int r = 0; r < PART_ROWS; ++r) {
        ASSERT_EQ(song.row(r).count(), 2) << "row " << r;
        EXPECT_EQ(song.row(r).at(0), (Event{0, KIND_DYNAMICS, 100, 0}));
        EXPECT_EQ(song.row(r).at(1), (Event{0, KIND_PAN, 64, 0}));
        EXPECT_EQ(song.partInstrument[static_cast<std::size_t>(r)], 0);
        EXPECT_EQ(song.partVolume[static_cast<std::size_t>(r)], 100);
        EXPECT_EQ(song.partTransposition[static_cast<std::size_t>(r)], 2);
    }
    ASSERT_EQ(song.row(TEMPO_ROW).count(), 1);
    EXPECT_EQ(song.row(TEMPO_ROW).at(0), (Event{0, KIND_TEMPO, 120, 0}));
    ASSERT_EQ(song.row(SIGNATURE_ROW).count(), 2);
    EXPECT_EQ(song.row(SIGNATURE_ROW).at(0), (Event{0, KIND_KEY, 14, 0}));
    EXPECT_EQ(song.row(SIGNATURE_ROW).at(1), (Event{0, KIND_METER, 66, 0}));
    EXPECT_EQ(song.songTitle, "\x96\xb3\x91\xe8");
    EXPECT_EQ(song.songCopyright, "Copyright by ?");
    EXPECT_EQ(checkStore(song), "");
}

TEST(NewSong, ResetPartRestoresOnePartOnly) {
    Song song = makeNewSong();
    testing::addNote(song, 4, 0, 24, 23);
    testing::addNote(song, 5, 0, 24, 23);
    song.partInstrument[4] = 40;
    song.partTransposition[4] = 3;
    resetPart(song, 4);
    EXPECT_EQ(song.row(4).count(), 2);
    EXPECT_EQ(song.partInstrument[4], 0);
    EXPECT_EQ(song.partTransposition[4], 2);
    EXPECT_EQ(song.row(5).count(), 4);
}

TEST(EventRow, GrowShrinkInsertRemoveKeepOrder) {
    EventRow row;
    row.growRow();
    EXPECT_EQ(row.count(), 1);
    row.set(0, {5, KIND_PAN, 1, 0});
    row.insertAt(0, {1, KIND_DYNAMICS, 2, 0});
    row.insertAt(2, {9, KIND_PAN, 3, 0});
    row.insertAt(1, {3, KIND_PAN, 4, 0});
    ASSERT_EQ(row.count(), 4);
    EXPECT_EQ(row.pos, (std::vector<std::int32_t>{1, 3, 5, 9}));
    row.removeAt(1);
    EXPECT_EQ(row.pos, (std::vector<std::int32_t>{1, 5, 9}));
    EXPECT_EQ(row.value, (std::vector<std::uint8_t>{2, 1, 3}));
    row.shrinkRow();
    EXPECT_EQ(row.pos, (std::vector<std::int32_t>{1, 5}));
}

TEST(Pitch, StepsAndPercussionIndexesGiveMidiKeys) {
    EXPECT_EQ(naturalKeyOfValue(0), 100);
    EXPECT_EQ(naturalKeyOfValue(7), 88);
    EXPECT_EQ(naturalKeyOfValue(14), 76);
    EXPECT_EQ(naturalKeyOfValue(21), 64);
    EXPECT_EQ(naturalKeyOfValue(23), 60);
    // 251 stands for the step above E7: F7, not a step below the staff.
    EXPECT_EQ(stepOfValue(251), -1);
    EXPECT_EQ(naturalKeyOfValue(251), 101);
    EXPECT_EQ(valueOfStep(-1), 251);
    EXPECT_EQ(percussionKey(0), 81);
    EXPECT_EQ(percussionKey(46), 35);
}

TEST(Pitch, KeySignaturesAlterTheirLetters) {
    // One sharp (G major, 16) sharpens F; extra -1 on F therefore sounds F natural.
    const int f = 6;
    EXPECT_EQ(keyAlteration(16, f), +1);
    EXPECT_EQ(naturalKeyOfValue(f) + keyAlteration(16, f) - 1, naturalKeyOfValue(f));
    EXPECT_EQ(keyAlteration(16, 5), 0);
    // One flat (F major, 12) flattens B only; seven flats flatten everything.
    EXPECT_EQ(keyAlteration(12, 3), -1);
    EXPECT_EQ(keyAlteration(12, 10), -1);
    EXPECT_EQ(keyAlteration(12, 7), 0);
    for (int v = 0; v < 7; ++v) {
        EXPECT_EQ(keyAlteration(0, v), -1);
        EXPECT_EQ(keyAlteration(29, v), +1);
        EXPECT_EQ(keyAlteration(14, v), 0);
        EXPECT_EQ(keyAlteration(15, v), 0);
    }
    // Values above E7 keep their letter: 251 is F like 6.
    EXPECT_EQ(keyAlteration(16, 251), +1);
}

TEST(FindSongEnd, PicksTheLatestEventAndEarliestRowOnTies) {
    Song song = makeNewSong();
    // A new song ends at tick 0 everywhere: measure 0, no event found.
    EXPECT_EQ(findSongEnd(song).measure, 0);
    EXPECT_FALSE(findSongEnd(song).found);

    // A note-off at the first tick of (0-based) measure 8 puts the end at measure 8.
    testing::addNote(song, 3, 96 * 7, 96, 20);
    SongEnd end = findSongEnd(song);
    EXPECT_EQ(end.measure, 8);
    EXPECT_EQ(end.row, 3);
    EXPECT_EQ(end.kind, KIND_NOTE_OFF);

    // The same tick in a later row does not win; in an earlier row it does.
    testing::addNote(song, 5, 96 * 7, 96, 20);
    EXPECT_EQ(findSongEnd(song).row, 3);
    testing::addNote(song, 1, 96 * 7, 96, 20);
    EXPECT_EQ(findSongEnd(song).row, 1);

    // A meter at measure 19 lies later still: the signature row wins with its measure.
    testing::setSignature(song, KIND_METER, 19, 0x32);
    end = findSongEnd(song);
    EXPECT_EQ(end.measure, 19);
    EXPECT_EQ(end.row, SIGNATURE_ROW);
    EXPECT_EQ(end.kind, KIND_METER);
}

TEST(StoreCheck, CatchesEachBrokenRule) {
    const Song good = makeNewSong();
    auto broken = [&](auto edit) {
        Song s = good;
        edit(s);
        return checkStore(s);
    };
    EXPECT_NE(broken([](Song& s) { s.row(0).insertAt(2, {5, KIND_NOTE_ON, 20, 0}); }), "");
    EXPECT_NE(broken([](Song& s) { s.row(0).insertAt(2, {5, KIND_NOTE_OFF, 20, 0}); }), "");
    EXPECT_NE(broken([](Song& s) {
                  testing::addNote(s, 0, 0, 24, 20);
                  testing::addNote(s, 0, 12, 24, 20);
              }),
              "");
    EXPECT_NE(broken([](Song& s) { s.row(0).pos[0] = 10; }), "");
    EXPECT_NE(broken([](Song& s) { s.row(SIGNATURE_ROW).removeAt(0); }), "");
    EXPECT_NE(broken([](Song& s) { s.row(TEMPO_ROW).pos[0] = 5; }), "");
    EXPECT_NE(broken([](Song& s) { testing::addNote(s, 0, 96000, 3, 20); }), "");
    // Touching notes of one value and chords of different values are fine.
    EXPECT_EQ(broken([](Song& s) {
                  testing::addNote(s, 0, 0, 24, 20);
                  testing::addNote(s, 0, 24, 24, 20);
                  testing::addNote(s, 0, 12, 24, 21);
              }),
              "");
}

TEST(StressSong, KeepsEveryRule) {
    const Song song = testing::makeStressSong();
    EXPECT_EQ(checkStore(song), "");
    std::size_t notes = 0;
    for (int r = 0; r < PART_ROWS; ++r)
        notes += static_cast<std::size_t>(song.row(r).count());
    EXPECT_EQ(notes, 16u * (1000u * 66u));
}

} // namespace
} // namespace pokopen
