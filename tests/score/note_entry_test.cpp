#include "score/note_entry.h"

#include "model/new_song.h"
#include "model/store_check.h"
#include "model/timeline.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <random>

namespace pokopen {
namespace {

// A new 4/4 song, measure 1, middle view, quarter note on the palette.
SongDocument newSession() {
    SongDocument s;
    newSong(writableSong(s));
    return s;
}

// A click on the staff image at (x, y): the pointer moves there, then the click arrives.
bool click(SongDocument& s, int x, int y) {
    const bool entered = enterNoteAtPointer(s, scorePointerAt(x, y));
    EXPECT_EQ(checkStore(s.song()), "");
    return entered;
}

bool doubleClick(SongDocument& s, int x, int y) {
    const bool deleted = deleteNoteAtPointer(s, scorePointerAt(x, y));
    EXPECT_EQ(checkStore(s.song()), "");
    return deleted;
}

// x of the column of tick t inside the current measure.
int xOfTick(int t) {
    return 82 + 3 * t;
}

// The note events of a part in row order (a new song also holds a dynamics and a pan point).
std::vector<Event> part(const SongDocument& s, int p = 0) {
    std::vector<Event> notes = s.song().row(p).events();
    std::erase_if(notes, [](const Event& e) { return e.kind != KIND_NOTE_ON && e.kind != KIND_NOTE_OFF; });
    return notes;
}

const std::uint8_t ON = KIND_NOTE_ON;
const std::uint8_t OFF = KIND_NOTE_OFF;

TEST(NoteEntry, QuarterNoteC4AtColumn40) {
    SongDocument s = newSession();
    EXPECT_TRUE(click(s, 82 + 40, 150));
    EXPECT_EQ(part(s), (std::vector<Event>{{12, ON, 23, 0}, {36, OFF, 23, 0}}));
}

TEST(NoteEntry, TripletModeSnapsToFourTicksAndThirdsTheLength) {
    SongDocument s = newSession();
    s.setTripletMode(true);
    EXPECT_TRUE(click(s, 82 + 40, 150));
    EXPECT_EQ(part(s), (std::vector<Event>{{12, ON, 23, 0}, {20, OFF, 23, 0}}));
}

TEST(NoteEntry, SameValueOverlapIsRefusedTouchingIsAccepted) {
    SongDocument s = newSession();
    ASSERT_TRUE(click(s, xOfTick(12), 150));
    EXPECT_FALSE(click(s, xOfTick(12), 150)); // same place
    EXPECT_FALSE(click(s, xOfTick(15), 150)); // next column
    EXPECT_FALSE(click(s, xOfTick(0), 150));  // runs into it from before
    EXPECT_TRUE(click(s, xOfTick(24), 140));  // other step (D4) overlaps freely
    EXPECT_TRUE(click(s, xOfTick(36), 150));  // touches the end
    EXPECT_EQ(part(s), (std::vector<Event>{{12, ON, 23, 0},
                                           {24, ON, 22, 0},
                                           {36, OFF, 23, 0},
                                           {36, ON, 23, 0},
                                           {48, OFF, 22, 0},
                                           {60, OFF, 23, 0}}));
    // A note ending exactly where another begins: its note-off goes before that note-on.
    EXPECT_TRUE(click(s, xOfTick(60), 150));
    s.palette.noteLength = 12;
    EXPECT_TRUE(click(s, xOfTick(0), 150));
    EXPECT_EQ(part(s).front(), (Event{0, ON, 23, 0}));
    EXPECT_EQ(part(s)[1], (Event{12, OFF, 23, 0}));
    EXPECT_EQ(part(s)[2], (Event{12, ON, 23, 0}));
}

TEST(NoteEntry, ClicksOutsideTheMeasureChangeNothing) {
    SongDocument s = newSession();
    for (int x : {0, 81, xOfTick(96), 513})
        EXPECT_FALSE(click(s, x, 150)) << x;
    EXPECT_TRUE(click(s, xOfTick(96) - 1, 150)); // last pixel of the last column (tick 93)
    EXPECT_EQ(part(s), (std::vector<Event>{{93, ON, 23, 0}, {117, OFF, 23, 0}}));
    EXPECT_FALSE(click(s, xOfTick(30), -1));
    EXPECT_FALSE(click(s, xOfTick(30), 288));
}

TEST(NoteEntry, DottedHalfRunsIntoTheNextMeasure) {
    SongDocument s = newSession();
    s.palette.noteLength = 72;
    EXPECT_TRUE(click(s, xOfTick(48), 150));
    EXPECT_EQ(part(s), (std::vector<Event>{{48, ON, 23, 0}, {120, OFF, 23, 0}}));
    // Seen from measure 2 the note is still sounding at its first column: a click there is
    // refused, and a double click there deletes it.
    s.setCurrentMeasure(1);
    EXPECT_FALSE(click(s, xOfTick(0), 150));
    EXPECT_TRUE(doubleClick(s, xOfTick(0), 150));
    EXPECT_TRUE(part(s).empty());
}

TEST(NoteEntry, NoNoteEndsAfterTheLastMeasure) {
    SongDocument s = newSession();
    s.setCurrentMeasure(999);
    EXPECT_FALSE(click(s, xOfTick(75), 150)); // would end at 96003
    EXPECT_TRUE(click(s, xOfTick(72), 150));  // ends exactly at 96000
    EXPECT_EQ(part(s), (std::vector<Event>{{95976, ON, 23, 0}, {96000, OFF, 23, 0}}));
    s.palette.noteLength = 48;
    EXPECT_FALSE(click(s, xOfTick(60), 100));
}

TEST(NoteEntry, LaterMeterMovesTheMeasureStart) {
    SongDocument s = newSession();
    testing::setSignature(writableSong(s), KIND_METER, 1, 0x32); // 3/4 from measure 2
    s.setCurrentMeasure(2);
    EXPECT_FALSE(click(s, xOfTick(72), 150)); // past the 3/4 measure
    EXPECT_TRUE(click(s, xOfTick(69), 150));
    EXPECT_EQ(part(s).front().pos, 96 + 72 + 69);
}

TEST(NoteEntry, DrumPartStoresTheRowIndexAndAuditionsOnChannel10) {
    SongDocument s = newSession();
    s.setCurrentPart(PERCUSSION_PART);
    s.palette.accidentalSet = true; // drums ignore the accidental
    s.palette.accidental = 1;
    writableSong(s).partInstrument[PERCUSSION_PART] = 0;
    EXPECT_TRUE(click(s, xOfTick(0), 0));
    EXPECT_EQ(part(s, PERCUSSION_PART), (std::vector<Event>{{0, ON, 16, 0}, {24, OFF, 16, 0}}));
    EXPECT_EQ(auditionAt(s, 82, 0), (std::vector<MidiShortMessage>{{0xC9, 0, 0}, {0x99, 65, 0x7F}}));

    const struct {
        int view, y;
        std::uint8_t value;
    } rows[] = {{0, 0, 0}, {0, 287, 15}, {1, 287, 31}, {2, 0, 31}, {2, 287, 46}};
    for (const auto& r : rows) {
        s.setScoreView(r.view);
        EXPECT_TRUE(click(s, xOfTick(48), r.y));
        EXPECT_EQ(part(s, PERCUSSION_PART).back().value, r.value);
        EXPECT_TRUE(doubleClick(s, xOfTick(48), r.y));
        EXPECT_EQ(auditionAt(s, 100, r.y)[1].data1, 81 - r.value);
    }
}

TEST(NoteEntry, ExtraIsTheAbsoluteAccidentalAgainstTheWrittenKey) {
    // G major: F is sharpened by the key signature.
    const int F5_Y = 6 * 9, G5_Y = 5 * 9;
    const struct {
        bool set;
        std::int8_t accidental;
        int y;
        std::int8_t extra;
    } cases[] = {
        {true, 0, F5_Y, -1}, // natural on F
        {false, 0, F5_Y, 0}, // follows the key
        {true, 1, F5_Y, 0},  // sharp on F is what the key gives
        {true, 0, G5_Y, 0},  // natural on G
        {true, -2, G5_Y, -2}, {true, 2, F5_Y, 1},
    };
    for (const auto& c : cases) {
        SongDocument s = newSession();
        testing::setSignature(writableSong(s), KIND_KEY, 0, 16);
        s.palette.accidentalSet = c.set;
        s.palette.accidental = c.accidental;
        ASSERT_TRUE(click(s, xOfTick(0), c.y));
        EXPECT_EQ(part(s).front().extra, c.extra) << c.set << " " << int(c.accidental) << " " << c.y;
    }
}

TEST(NoteEntry, TransposingInstrumentsStoreConcertStepsAndSoundConcertPitch) {
    const struct {
        const char* name;
        int transposition;
        std::uint8_t concertKey;
        int y;
        std::uint8_t value;
        std::uint8_t writtenKey;
        int sounding;
    } cases[] = {
        {"Bb instrument, written D4", 3, 14, 15 * 9, 23, 18, 60},
        {"Eb instrument in Cis-dur, written B4", 1, 28, 94, 16, 10, 73},
        {"C instrument, C4", 2, 14, 150, 23, 14, 60},
        {"octave down, written C4", 6, 14, 150, 30, 14, 48},
    };
    for (const auto& c : cases) {
        SongDocument s = newSession();
        testing::setSignature(writableSong(s), KIND_KEY, 0, c.concertKey);
        writableSong(s).partTransposition[0] = c.transposition;
        writableSong(s).partInstrument[0] = 71;
        ASSERT_TRUE(click(s, xOfTick(0), c.y)) << c.name;
        EXPECT_EQ(part(s).front(), (Event{0, ON, c.value, 0})) << c.name;
        EXPECT_EQ(writtenKey(keyInForceAt(s.song().store, 0), c.transposition).key, c.writtenKey) << c.name;
        EXPECT_EQ(auditionAt(s, 82, c.y),
                  (std::vector<MidiShortMessage>{{0xC0, 71, 0}, {0x90, std::uint8_t(c.sounding), 0x7F}}))
            << c.name;
    }
}

TEST(NoteEntry, StepsAboveE7AreStoredAsNegativeBytes) {
    SongDocument s = newSession();
    s.setScoreView(0);
    writableSong(s).partTransposition[0] = 0; // octave up: concert step is written step - 7
    EXPECT_TRUE(click(s, xOfTick(0), 0));
    EXPECT_EQ(part(s).front().value, 245); // step -7
    EXPECT_TRUE(doubleClick(s, xOfTick(3), 0));
}

TEST(NoteEntry, AuditionUsesChosenAccidentalOrKeyAndStaysInsideTheMeasure) {
    SongDocument s = newSession();
    testing::setSignature(writableSong(s), KIND_KEY, 0, 16); // G major
    s.setCurrentPart(4);
    writableSong(s).partInstrument[4] = 40;
    EXPECT_EQ(auditionAt(s, 82, 6 * 9),
              (std::vector<MidiShortMessage>{{0xC4, 40, 0}, {0x94, 78, 0x7F}})); // F#5
    s.palette.accidentalSet = true;
    s.palette.accidental = 0;
    EXPECT_EQ(auditionAt(s, 82, 6 * 9)[1].data1, 77); // F5
    EXPECT_TRUE(auditionAt(s, 81, 100).empty());
    EXPECT_TRUE(auditionAt(s, xOfTick(96), 100).empty());
    EXPECT_EQ(auditionAt(s, xOfTick(96) - 1, 100).size(), 2u);
}

TEST(NoteDeletion, HitsTheNoteSoundingAtTheColumn) {
    SongDocument s = newSession();
    testing::addNote(writableSong(s), 0, 12, 24, 23);
    testing::addNote(writableSong(s), 0, 12, 24, 22); // another step at the same time
    testing::addNote(writableSong(s), 0, 48, 24, 23);
    const std::vector<Event> before = s.song().row(0).events();
    const auto only23At12Removed = [&] {
        std::vector<Event> e = before;
        std::erase(e, Event{12, ON, 23, 0});
        std::erase(e, Event{36, OFF, 23, 0});
        return e;
    }();

    const struct {
        const char* name;
        int tick;
        bool deletes;
    } cases[] = {
        {"first column", 12, true}, {"middle", 24, true}, {"last column", 33, true},
        {"end column", 36, false},  {"before", 9, false}, {"beyond every note", 93, false},
    };
    for (const auto& c : cases) {
        writableSong(s).row(0).assign(before);
        EXPECT_EQ(doubleClick(s, xOfTick(c.tick), 150), c.deletes) << c.name;
        EXPECT_EQ(s.song().row(0).events(), c.deletes ? only23At12Removed : before) << c.name;
    }
}

TEST(NoteDeletion, ClickThenDoubleClickAsTheMouseDeliversThem) {
    SongDocument s = newSession();
    testing::addNote(writableSong(s), 0, 12, 24, 23);
    // On the note: the click is refused, the double click deletes it.
    EXPECT_FALSE(click(s, xOfTick(24), 150));
    EXPECT_TRUE(doubleClick(s, xOfTick(24), 150));
    EXPECT_TRUE(part(s).empty());
    // On free space: the click enters a note and the double click takes it away again.
    testing::addNote(writableSong(s), 0, 12, 24, 23);
    EXPECT_TRUE(click(s, xOfTick(36), 150));
    EXPECT_TRUE(doubleClick(s, xOfTick(36), 150));
    EXPECT_EQ(part(s), (std::vector<Event>{{12, ON, 23, 0}, {36, OFF, 23, 0}}));
}

TEST(NoteDeletion, TripletColumnsAndOtherPartsAreUntouched) {
    SongDocument s = newSession();
    testing::addNote(writableSong(s), 1, 0, 24, 23);
    s.setTripletMode(true);
    s.setCurrentPart(1);
    EXPECT_FALSE(click(s, 82 + 12 * 5, 150)); // tick 20: overlaps
    EXPECT_TRUE(doubleClick(s, 82 + 12 * 5, 150));
    EXPECT_TRUE(part(s, 1).empty());
    EXPECT_TRUE(part(s, 0).empty());
}

TEST(NoteEntry, RandomClicksKeepTheStoreValid) {
    const unsigned seed = 20261208;
    std::mt19937 rng(seed);
    SongDocument s = newSession();
    testing::setSignature(writableSong(s), KIND_METER, 1, 0x63); // 6/8 from measure 2
    const int lengths[] = {3, 6, 12, 24, 36, 48, 72, 96, 144};
    for (int step = 0; step < 3000; ++step) {
        s.setCurrentMeasure(static_cast<int>(rng() % 4));
        s.setCurrentPart(rng() % 8 == 0 ? PERCUSSION_PART : 0);
        s.setTripletMode(rng() % 3 == 0);
        s.setScoreView(static_cast<int>(rng() % 3));
        s.palette.noteLength = lengths[rng() % std::size(lengths)];
        const int x = 82 + static_cast<int>(rng() % 288);
        const int y = static_cast<int>(rng() % 288);
        if (rng() % 3 == 0)
            deleteNoteAtPointer(s, scorePointerAt(x, y));
        else
            enterNoteAtPointer(s, scorePointerAt(x, y));
        ASSERT_EQ(checkStore(s.song()), "") << "seed " << seed << " step " << step;
    }
}

} // namespace
} // namespace pokopen
