#pragma once

#include "document/song_document.h"
#include "midifile/test_note.h"

#include <cstdint>
#include <optional>
#include <vector>

// Entering, deleting and auditioning notes with the mouse on the staff image. The functions work
// on the current part and measure of the session and on the pointer position the staff's window
// remembers from its mouse moves.
namespace pokopen {

// The names of the steps in the Edit menu.
inline constexpr const char* NOTE_ENTRY_STEP = "音符の入力";
inline constexpr const char* NOTE_DELETION_STEP = "音符の削除";

// Geometry of the staff image that entry relies on.
inline constexpr int NOTE_ENTRY_FIRST_COLUMN_X = 82; // x of tick 0 of the measure
inline constexpr int NOTE_ENTRY_IMAGE_WIDTH = 514;
inline constexpr int NOTE_ENTRY_IMAGE_HEIGHT = 288;

// Where the pointer was last seen over the staff image: x relative to the first tick column.
struct ScorePointer {
    std::int32_t relX = 0;
    std::int32_t y = 0;
};
// imgScoreMouseMove: the pointer at image point (x, y).
ScorePointer scorePointerAt(int x, int y);

// The note a click at the remembered pointer stands for, before the overlap test.
struct EntryTarget {
    std::int32_t start = 0; // absolute ticks
    std::int32_t end = 0;
    std::uint8_t value = 0; // stored value: concert step (or drum index for part 10)
    std::int8_t extra = 0;  // accidental relative to the key signature
};

// True when a note of `value` overlaps [start, end) in the row. Notes that only touch do not.
bool noteOverlaps(const EventRow& row, std::int32_t start, std::int32_t end, std::uint8_t value);

// Inserts a note: the note-on after every event at its start, the note-off before every event
// at its end. The caller has checked the overlap.
void insertNote(EventRow& row, const EntryTarget& note);

// imgScoreClick: enters a note of the palette's length at the remembered pointer. False (and
// nothing changed) left of the first column, past the measure's end, when a note of the same
// value overlaps, or when the note would end after the last measure.
// `entered`, when given, receives the note.
bool enterNoteAtPointer(SongDocument& session, const ScorePointer& at, EntryTarget* entered = nullptr);

// imgScoreDblClick: deletes the note of the pointed value that sounds at the pointed column
// (note-on <= tick < note-off). False when none does. `deleted`, when given, receives the note.
bool deleteNoteAtPointer(SongDocument& session, const ScorePointer& at, EntryTarget* deleted = nullptr);

// The note whose bar lies under image point (x, y): one that starts in the current measure and
// sounds at the pointed column on the pointed row. Nothing when there is none.
std::optional<EntryTarget> noteAtPoint(const SongDocument& session, int x, int y);

// Where a note dragged to image point (x, y) goes: the pointed column less `grab` ticks (where in
// the note it was taken), the pointed row, its own length, and its own accidental on its own
// row, else the one a click gives. Nothing when the point lies outside the measure's columns or
// rows or the note would leave the song.
std::optional<EntryTarget> dragTarget(const SongDocument& session, const EntryTarget& note, std::int32_t grab,
                                      int x, int y);
// The note lengthened or shortened so that it ends with the grid column under image x (at least
// one column long). Nothing when it would end after the song.
std::optional<EntryTarget> stretchTarget(const SongDocument& session, const EntryTarget& note, int x);
// The start tick of the grid column under image x of the current measure.
std::int32_t columnTickAt(const SongDocument& session, int x);

// imgScoreMouseDown with the right button at image point (x, y): the messages that sound the
// pointed pitch on the current part's channel. Empty when the point lies outside the measure,
// in which case the device is not opened.
std::vector<MidiShortMessage> auditionAt(const SongDocument& session, int x, int y);

} // namespace pokopen
