#pragma once

#include "model/event_store.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Placing the notes of one imported part on the staff: every note a spelling (staff value and
// `extra`, note_spelling.h) such that no two notes on one value overlap, as the song requires.
namespace pokopen {

struct ImportedNote {
    std::int64_t start = 0;
    std::int64_t end = -1;       // -1 while no note-off has ended it
    std::int64_t freeBefore = 0; // since when its staff value was free when it took it
    std::uint8_t key = 0;
    std::uint8_t value = 0;
    std::int8_t extra = 0;
    bool dropped = false;
    bool skipped = false; // an unknown drum, or past the song's end: never placed
    bool placed = false;
};

struct PartNotes {
    std::vector<ImportedNote> notes;
    std::vector<std::int32_t> offNote; // per event: the note a note-off ends, or -1
    std::size_t lengthened = 0, stoppedAtEnd = 0, cut = 0, duplicates = 0, unended = 0;
};

// Gives the notes of one part their staff values in one pass through time, so that no two notes
// sounding together share a value (what the song requires).
//
// - A new note takes its best spelling that is free.
// - Which of several sounding notes of one key a note-off ends is not in the file. That choice
//   is left open until a value is needed: any sounding note of a key with an unassigned
//   note-off can be the one that ended then.
// - When every spelling is taken, a sounding note moves to another spelling of its own (and the
//   one in its way likewise, along one chain, each value tried once), if the value it moves to
//   was free since it began.
// - Only when nothing frees a spelling is the sounding note of the same key (else of the best
//   spelling) cut where the new one starts.
class NoteSweep {
public:
    // `events`: how many events the part has (note-offs are reported by their index);
    // `minLength`: what a note that ends where it starts, or before, is lengthened to.
    NoteSweep(const EventStore& store, bool drums, std::int64_t endTick, std::size_t events,
              std::int64_t minLength = 1);
    ~NoteSweep();
    NoteSweep(const NoteSweep&) = delete;
    NoteSweep& operator=(const NoteSweep&) = delete;

    // In time order. A dropped note (an unknown drum, past the song's end) is counted but not placed.
    void noteOn(std::uint8_t key, std::int64_t tick, bool dropped);
    void noteOff(std::size_t event, std::uint8_t key, std::int64_t tick);
    // Ends what is still open: notes of pending note-offs in turn, the rest where the file ends.
    PartNotes finish(std::int64_t fileEnd);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Every note a spelling, none overlapping another on its value: a depth-first search in order
// of the starts (the notes' ends already known), each note trying its spellings best first,
// going back on a dead end. Its budget of steps is linear in the notes; false when it runs out
// or nothing fits.
bool searchPlacement(std::vector<ImportedNote>& notes, const EventStore& store);

} // namespace pokopen
