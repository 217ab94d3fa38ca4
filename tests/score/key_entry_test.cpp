#include "score/key_entry.h"

#include "model/new_song.h"
#include "model/pitch.h"
#include "model/song_file.h"
#include "model/store_check.h"
#include "model/timeline.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>

namespace pokopen {
namespace {

using testing::addNote;
using testing::setSignature;

// Written (and, for a C instrument in C major, stored) steps of the treble octave.
constexpr std::uint8_t C5 = 16, B4 = 17, A4 = 18, G4 = 19, F4 = 20, E4 = 21, D4 = 22, C4 = 23, B3 = 24,
                       G3 = 26;

struct Note {
    std::int32_t start, end;
    std::uint8_t value;
    std::int8_t extra;
    friend bool operator==(const Note&, const Note&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Note& n) {
        return os << "{" << n.start << "-" << n.end << " v" << int(n.value) << " x" << int(n.extra) << "}";
    }
};

// A new 4/4 song in C major, typed into through the document: the caret and selection are kept
// here as the window keeps them.
struct Typist {
    SongDocument doc;
    KeyEntryPlace at;

    Typist() { newSong(writableSong(doc)); }

    // One key; false when refused (and then nothing may have changed).
    bool press(EntryKey key, char letter = 0) {
        const std::uint64_t revision = doc.revision();
        const KeyOutcome o = pressEntryKey(doc.song(), at, doc.palette, key, letter);
        if (o.refused) {
            EXPECT_EQ(o.caret, at.caret);
            EXPECT_EQ(o.selection, at.selection);
            EXPECT_EQ(doc.revision(), revision);
            return false;
        }
        applyKeyOutcome(doc, at.part, o);
        EXPECT_EQ(checkStore(doc.song()), "");
        at.caret = o.caret;
        at.selection = o.selection;
        return true;
    }

    // Keys as typed: a..g letters, A..G with Shift, 0 a rest, 2..7 and '.' lengths, '<' '>' Left
    // and Right, '^' 'v' Up and Down, 'q' 'w', '#' Backspace, 'x' Delete, ' ' nothing.
    bool type(std::string_view keys) {
        bool all = true;
        for (const char k : keys) {
            if (k == ' ')
                continue;
            bool ok;
            if (k >= 'a' && k <= 'g')
                ok = press(EntryKey::Letter, static_cast<char>(k - 'a' + 'A'));
            else if (k >= 'A' && k <= 'G')
                ok = press(EntryKey::ChordLetter, k);
            else if ((k >= '2' && k <= '7') || k == '.')
                ok = pressLengthKey(doc.palette, k);
            else if (k == '0')
                ok = press(EntryKey::Rest);
            else
                ok = press(keyOf(k));
            all = all && ok;
        }
        return all;
    }

    static EntryKey keyOf(char k) {
        switch (k) {
        case '<':
            return EntryKey::PreviousStop;
        case '>':
            return EntryKey::NextStop;
        case '^':
            return EntryKey::SemitoneUp;
        case 'v':
            return EntryKey::SemitoneDown;
        case 'q':
            return EntryKey::Halve;
        case 'w':
            return EntryKey::Double;
        case '#':
            return EntryKey::Backspace;
        default:
            return EntryKey::Delete;
        }
    }

    // The notes of the current part, by start then value.
    std::vector<Note> notes() const {
        std::vector<Note> out;
        const EventRow& row = doc.song().row(at.part);
        for (std::int32_t i = 0; i < row.count(); ++i)
            if (row.kind[static_cast<std::size_t>(i)] == KIND_NOTE_ON) {
                const auto n = findNote(
                    row, {row.pos[static_cast<std::size_t>(i)], row.value[static_cast<std::size_t>(i)]});
                out.push_back({n->start, n->end, n->value, n->extra});
            }
        std::sort(out.begin(), out.end(), [](const Note& a, const Note& b) {
            return a.start != b.start ? a.start < b.start : a.value < b.value;
        });
        return out;
    }

    // Selects the note of `value` starting at `pos`.
    void select(std::int32_t pos, std::uint8_t value) { at.selection = {{pos, value}}; }
};

TEST(KeyEntry, LetterGoesToTheNearestStepOfTheLastNotesHighest) {
    struct Case {
        const char* keys;
        std::uint8_t last; // stored value of the last note entered
    };
    const Case cases[] = {
        {"c", C4},       {"b", B4}, {"e", E4}, // nothing before the caret: C4 .. B4
        {"cb", B3},                            // one step down beats six up
        {"cg", G3},                            // three down beats four up
        {"cf", F4},                            // three up beats four down
        {"cc", C4},                            // the same letter stays in its octave
        {"cEGa", A4},                          // from the chord's highest, G4
        {"ceg 0 b", B4},                       // a rest keeps the note before it as the reference
    };
    for (const Case& c : cases) {
        Typist t;
        EXPECT_TRUE(t.type(c.keys)) << c.keys;
        ASSERT_FALSE(t.at.selection.empty());
        EXPECT_EQ(t.at.selection.back().value, c.last) << c.keys;
    }
}

TEST(KeyEntry, LetterTakesTheLengthAndAccidentalOfAClick) {
    Typist t;
    setSignature(writableSong(t.doc), KIND_KEY, 0, 16); // G major: F is sharp
    ASSERT_TRUE(t.type("f"));
    t.doc.palette.accidentalSet = true;
    t.doc.palette.accidental = 0; // a natural against the key
    t.at.tripletMode = true;      // a third of the quarter
    ASSERT_TRUE(t.type("6f"));
    EXPECT_EQ(t.notes(), (std::vector<Note>{{0, 24, F4, 0}, {24, 40, F4, -1}}));
    EXPECT_EQ(t.at.caret, 40);
}

TEST(KeyEntry, ShiftLetterBuildsAChordAboveAndKeepsTheCaret) {
    Typist t;
    ASSERT_TRUE(t.type("4cEGC"));
    EXPECT_EQ(t.notes(), (std::vector<Note>{{0, 12, C5, 0}, {0, 12, G4, 0}, {0, 12, E4, 0}, {0, 12, C4, 0}}));
    EXPECT_EQ(t.at.caret, 12);
    EXPECT_EQ(t.at.selection, (std::vector<NoteRef>{{0, C5}}));
    // The chord's highest is what the next letter starts from.
    ASSERT_TRUE(t.type("d"));
    EXPECT_EQ(t.at.selection, (std::vector<NoteRef>{{12, 15}})); // D5
}

TEST(KeyEntry, CaretCrossesMeasureEndsAndMeterChanges) {
    Typist t;
    setSignature(writableSong(t.doc), KIND_METER, 1, 0x32); // measure 2 in 3/4
    ASSERT_TRUE(t.type("6c 50d 7e"));                       // half, quarter rest, quarter, whole
    EXPECT_EQ(t.notes(), (std::vector<Note>{{0, 48, C4, 0}, {72, 96, D4, 0}, {96, 192, E4, 0}}));
    EXPECT_EQ(t.at.caret, 192); // past measure 2 (96..168) into measure 3 (168..240)
    // Left and Right stop at note starts and at measure starts, whichever comes first.
    const std::int32_t stops[] = {168, 96, 72, 0};
    for (const std::int32_t s : stops) {
        ASSERT_TRUE(t.type("<"));
        EXPECT_EQ(t.at.caret, s);
    }
    EXPECT_EQ(t.at.selection, (std::vector<NoteRef>{{0, C4}}));
    EXPECT_FALSE(t.type("<"));
    for (const std::int32_t s : {72, 96, 168, 240}) { // 3/4 from measure 2 on
        ASSERT_TRUE(t.type(">"));
        EXPECT_EQ(t.at.caret, s);
    }
    EXPECT_TRUE(t.at.selection.empty());
}

TEST(KeyEntry, SemitonesAreSpelledAsTheKeyWritesThem) {
    struct Case {
        std::uint8_t keyByte;
        std::uint8_t value;
        std::int8_t extra;
        EntryKey key;
        std::uint8_t valueAfter;
        std::int8_t extraAfter;
    };
    const Case cases[] = {
        {14, C4, 0, EntryKey::SemitoneUp, C4, 1},    // C major: C sharp
        {14, E4, 0, EntryKey::SemitoneUp, F4, 0},    // E up is F
        {14, C4, 0, EntryKey::SemitoneDown, B3, 0},  // C down is B
        {16, F4, 0, EntryKey::SemitoneUp, G4, 0},    // G major: F sharp up is G
        {16, F4, 0, EntryKey::SemitoneDown, F4, -1}, // F sharp down is F natural
        {12, C4, 0, EntryKey::SemitoneUp, D4, -1},   // F major: D flat
        {15, G4, 0, EntryKey::SemitoneUp, G4, 1},    // A minor: the raised seventh
        {13, B4, 0, EntryKey::SemitoneUp, B4, 1},    // D minor: B flat up is the raised sixth
        {13, C4, 0, EntryKey::SemitoneUp, C4, 1},    // D minor: C sharp, the raised seventh
        {14, C4, 1, EntryKey::OctaveDown, 30, 1},    // octave: same spelling
        {16, G4, 0, EntryKey::StepDown, F4, 0},      // a staff step takes the key's accidental
        {14, C4, 1, EntryKey::StepUp, D4, 0},
    };
    for (const Case& c : cases) {
        Typist t;
        setSignature(writableSong(t.doc), KIND_KEY, 0, c.keyByte);
        addNote(writableSong(t.doc), 0, 24, 24, c.value, c.extra);
        t.select(24, c.value);
        const int keyBefore = soundingKey(t.doc.song(), 0, c.value, c.extra, 24);
        ASSERT_TRUE(t.press(c.key)) << int(c.keyByte) << " " << int(c.value);
        EXPECT_EQ(t.notes(), (std::vector<Note>{{24, 48, c.valueAfter, c.extraAfter}}))
            << int(c.keyByte) << " " << int(c.value);
        if (c.key == EntryKey::SemitoneUp || c.key == EntryKey::SemitoneDown) {
            EXPECT_EQ(soundingKey(t.doc.song(), 0, c.valueAfter, c.extraAfter, 24),
                      keyBefore + (c.key == EntryKey::SemitoneUp ? 1 : -1));
        }
        EXPECT_EQ(t.at.selection, (std::vector<NoteRef>{{24, c.valueAfter}}));
    }
}

TEST(KeyEntry, DrumPartTakesNoLettersAndMovesByRows) {
    Typist t;
    t.at.part = PERCUSSION_PART;
    EXPECT_FALSE(t.type("c"));
    addNote(writableSong(t.doc), PERCUSSION_PART, 0, 24, 16);
    t.select(0, 16);
    ASSERT_TRUE(t.type("^"));
    EXPECT_EQ(t.notes(), (std::vector<Note>{{0, 24, 15, 0}}));
    ASSERT_TRUE(t.type("vvw"));
    EXPECT_EQ(t.notes(), (std::vector<Note>{{0, 48, 17, 0}}));
    EXPECT_FALSE(t.press(EntryKey::OctaveUp));
}

TEST(KeyEntry, RefusalsChangeNothing) {
    const std::int32_t lastMeasure = 999 * 96;
    struct Case {
        const char* what;
        std::int32_t caret;
        std::vector<NoteRef> selection;
        const char* keys; // typed first, but for the last key, which is refused
    };
    // Every case starts from: C4 0..24, E4 24..33, C4 36..42, D4 and C4 48..96, B4 96..99.
    const Case cases[] = {
        {"letter onto a note of its value", 12, {}, "c"},
        {"letter past the song's end", lastMeasure + 84, {}, "c"},
        {"rest past the song's end", lastMeasure + 84, {}, "0"},
        {"chord letter with nothing selected", 0, {}, "C"},
        {"arrow without a selection", 0, {}, "^"},
        {"Delete without a selection", 0, {}, "x"},
        {"Backspace where nothing ends", 12, {}, "#"},
        {"Left at the song's start", 0, {}, "<"},
        {"Right at the song's end", lastMeasure + 96, {}, ">"},
        {"halving below the grid", 0, {{96, B4}}, "q"},
        {"halving off the grid", 0, {{24, E4}}, "q"},
        {"doubling into a note of its value", 0, {{0, C4}}, "w"},
        {"a semitone onto a note of the new value", 0, {{48, D4}}, "v"},
        {"one of two moving notes collides", 0, {{48, C4}, {0, C4}}, "u"},
        {"an octave off the staff", 0, {{0, C4}}, "oooo"},
        {"a dot after a 32nd", 0, {}, "2."},
    };
    for (const Case& c : cases) {
        Typist t;
        Song& song = writableSong(t.doc);
        addNote(song, 0, 0, 24, C4);
        addNote(song, 0, 24, 9, E4);
        addNote(song, 0, 36, 6, C4);
        addNote(song, 0, 48, 48, D4);
        addNote(song, 0, 48, 48, C4);
        addNote(song, 0, 96, 3, B4);
        t.at.caret = c.caret;
        t.at.selection = c.selection;
        const std::string_view keys = c.keys;
        const auto press = [&](char k) {
            if (k == 'o')
                return t.press(EntryKey::OctaveUp);
            if (k == 'u')
                return t.press(EntryKey::StepUp);
            return t.type(std::string_view(&k, 1));
        };
        for (const char k : keys.substr(0, keys.size() - 1))
            ASSERT_TRUE(press(k)) << c.what;
        const Song before = t.doc.song();
        const PaletteState palette = t.doc.palette;
        EXPECT_FALSE(press(keys.back())) << c.what;
        EXPECT_EQ(t.doc.song(), before) << c.what;
        EXPECT_EQ(t.doc.palette.noteLengthText, palette.noteLengthText) << c.what;
    }
}

TEST(KeyEntry, DotAddsTheNextShorterValue) {
    Typist t;
    ASSERT_TRUE(t.type("5.."));
    EXPECT_EQ(t.doc.palette.noteLength, 24 + 12 + 6);
    EXPECT_EQ(t.doc.palette.noteLengthText, "\xEF\xBC\x94+\xEF\xBC\x98+16"); // "４+８+16"
    // A ninth term is refused as the palette's buttons refuse it.
    ASSERT_TRUE(t.type("7"));
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(addNoteLength(t.doc.palette, NoteValue::Whole));
    EXPECT_FALSE(t.type("."));
    EXPECT_EQ(t.doc.palette.noteLength, 8 * 96);
}

TEST(KeyEntry, BackspaceTakesBackTheLastNoteOrChord) {
    Typist t;
    ASSERT_TRUE(t.type("c eGC"));
    ASSERT_TRUE(t.type("#"));
    EXPECT_EQ(t.notes(), (std::vector<Note>{{0, 24, C4, 0}}));
    EXPECT_EQ(t.at.caret, 24);
    ASSERT_TRUE(t.type("#"));
    EXPECT_TRUE(t.notes().empty());
    EXPECT_EQ(t.at.caret, 0);
    // Delete takes the selection and leaves the caret.
    ASSERT_TRUE(t.type("cd<x"));
    EXPECT_EQ(t.notes(), (std::vector<Note>{{0, 24, C4, 0}}));
    EXPECT_EQ(t.at.caret, 24);
}

TEST(KeyEntry, HalvingAndDoublingAtTheSongsEnd) {
    Typist t;
    t.at.caret = 999 * 96;
    ASSERT_TRUE(t.type("6c"));
    ASSERT_TRUE(t.type("<w")); // 48 -> 96 ends exactly at the song's end
    EXPECT_EQ(t.notes(), (std::vector<Note>{{999 * 96, 96000, C4, 0}}));
    EXPECT_FALSE(t.type("w"));
    ASSERT_TRUE(t.type("qqqqq")); // 96 -> 3
    EXPECT_EQ(t.notes().front().end, 999 * 96 + 3);
    EXPECT_FALSE(t.type("q"));
}

// ---- A plain model of the keys, on a list of notes of one C major 4/4 part -------------------

struct Model {
    std::vector<Note> notes;
    std::int32_t caret = 0;
    std::vector<NoteRef> selection;
    std::int32_t length = 24;

    static constexpr std::int32_t END = 96000;

    bool free(const Note& n, const std::vector<NoteRef>& ignoring) const {
        for (const Note& o : notes) {
            const bool ignored =
                std::find(ignoring.begin(), ignoring.end(), NoteRef{o.start, o.value}) != ignoring.end();
            if (!ignored && o.value == n.value && o.start < n.end && n.start < o.end)
                return false;
        }
        return n.end <= END && n.value <= LOWEST_WRITTEN_STEP;
    }
    Note* find(NoteRef r) {
        for (Note& n : notes)
            if (n.start == r.pos && n.value == r.value)
                return &n;
        return nullptr;
    }
    static int cls(char letter) { return static_cast<int>(std::string_view("EDCBAGF").find(letter)); }

    bool letter(char l) {
        int ref = -1;
        std::int32_t last = -1;
        for (const Note& n : notes)
            if (n.start < caret && (n.start > last || (n.start == last && n.value < ref)))
                last = n.start, ref = n.value;
        int w = 0;
        if (ref < 0) {
            w = 17;
            while (w % 7 != cls(l))
                ++w;
        } else {
            int best = 1000;
            for (int s = ref - 3; s <= ref + 3; ++s)
                if (((s % 7) + 7) % 7 == cls(l) && std::abs(s - ref) < std::abs(best - ref))
                    best = s;
            w = best;
        }
        const Note n{caret, caret + length, static_cast<std::uint8_t>(w), 0};
        if (w < 0 || !free(n, {}))
            return false;
        notes.push_back(n);
        caret = n.end;
        selection = {{n.start, n.value}};
        return true;
    }
    // Moves every selected note by `steps` or scales its length; all or nothing.
    bool change(int steps, int lengthTimes2) {
        std::vector<Note> moved;
        for (const NoteRef& r : selection) {
            Note* n = find(r);
            if (!n)
                continue;
            Note m = *n;
            const int value = m.value + steps;
            const std::int32_t len = (m.end - m.start) * lengthTimes2 / 4;
            if (value < 0 || ((m.end - m.start) * lengthTimes2) % 4 != 0 || len % 3 != 0 || len == 0)
                return false;
            m.value = static_cast<std::uint8_t>(value);
            m.end = m.start + len;
            moved.push_back(m);
        }
        if (moved.empty())
            return false;
        for (std::size_t a = 0; a < moved.size(); ++a) {
            if (!free(moved[a], selection))
                return false;
            for (std::size_t b = a + 1; b < moved.size(); ++b)
                if (moved[a].value == moved[b].value && moved[a].start < moved[b].end &&
                    moved[b].start < moved[a].end)
                    return false;
        }
        std::erase_if(notes, [&](const Note& n) {
            return std::find(selection.begin(), selection.end(), NoteRef{n.start, n.value}) !=
                   selection.end();
        });
        selection.clear();
        for (const Note& m : moved) {
            notes.push_back(m);
            selection.push_back({m.start, m.value});
        }
        return true;
    }
    bool step(bool right) {
        if (right ? caret >= END : caret <= 0)
            return false;
        std::int32_t to = right ? (caret / 96 + 1) * 96 : (caret - 1) / 96 * 96;
        for (const Note& n : notes)
            if (right ? n.start > caret && n.start < to : n.start < caret && n.start > to)
                to = n.start;
        caret = to;
        selection.clear();
        for (const Note& n : notes)
            if (n.start == caret)
                selection.push_back({n.start, n.value});
        return true;
    }
    bool backspace() {
        std::int32_t latest = -1;
        for (const Note& n : notes)
            if (n.end == caret)
                latest = std::max(latest, n.start);
        if (latest < 0)
            return false;
        std::erase_if(notes, [&](const Note& n) { return n.end == caret && n.start == latest; });
        caret = latest;
        selection.clear();
        return true;
    }

    bool erase() {
        const auto before = notes.size();
        std::erase_if(notes, [&](const Note& n) {
            return std::find(selection.begin(), selection.end(), NoteRef{n.start, n.value}) !=
                   selection.end();
        });
        if (notes.size() == before)
            return false;
        selection.clear();
        return true;
    }

    std::vector<Note> sorted() const {
        std::vector<Note> out = notes;
        std::sort(out.begin(), out.end(), [](const Note& a, const Note& b) {
            return a.start != b.start ? a.start < b.start : a.value < b.value;
        });
        return out;
    }
};

TEST(KeyEntry, RandomKeysFollowThePlainModelAndUndoGivesBackTheStart) {
    std::mt19937 random(21);
    Typist t;
    addNote(writableSong(t.doc), 0, 100 * 96, 24, G3); // something far away that must stay
    Model m;
    m.notes.push_back({100 * 96, 100 * 96 + 24, G3, 0});
    const std::string start = serializeKn2(t.doc.song());
    const char lengths[] = {'3', '4', '5', '6'};
    int accepted = 0;
    for (int i = 0; i < 1500; ++i) {
        const int pick = static_cast<int>(random() % 13);
        bool ours = false;
        bool theirs = false;
        if (pick < 4) {
            const char l = "ABCDEFG"[random() % 7];
            ours = t.press(EntryKey::Letter, l);
            theirs = m.letter(l);
        } else if (pick == 4) {
            const char k = lengths[random() % 4];
            pressLengthKey(t.doc.palette, k);
            m.length = 96 >> ('7' - k);
            ours = theirs = true;
        } else if (pick == 5) {
            ours = t.press(EntryKey::StepUp);
            theirs = m.change(-1, 4);
        } else if (pick == 6) {
            ours = t.press(EntryKey::OctaveDown);
            theirs = m.change(7, 4);
        } else if (pick == 7) {
            ours = t.press(EntryKey::Halve);
            theirs = m.change(0, 2);
        } else if (pick == 8) {
            ours = t.press(EntryKey::Double);
            theirs = m.change(0, 8);
        } else if (pick == 9) {
            ours = t.press(EntryKey::Backspace);
            theirs = m.backspace();
        } else if (pick == 12) {
            ours = t.press(EntryKey::Delete);
            theirs = m.erase();
        } else {
            const bool right = pick == 10;
            ours = t.press(right ? EntryKey::NextStop : EntryKey::PreviousStop);
            theirs = m.step(right);
        }
        ASSERT_EQ(ours, theirs) << "key " << i << " pick " << pick;
        accepted += ours ? 1 : 0;
        ASSERT_EQ(t.notes(), m.sorted()) << "key " << i;
        ASSERT_EQ(t.at.caret, m.caret) << "key " << i;
        ASSERT_EQ(t.at.selection, m.selection) << "key " << i;
    }
    EXPECT_GT(accepted, 750); // most keys did something: the sequence is not all refusals
    EXPECT_GT(t.doc.stepCount(), 300U);
    while (t.doc.canUndo())
        t.doc.undo();
    EXPECT_EQ(serializeKn2(t.doc.song()), start);
}

} // namespace
} // namespace pokopen
