#pragma once

#include "document/palette_state.h"
#include "document/song_document.h"
#include "model/song.h"
#include "score/note_entry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Writing with the keyboard: letters enter notes at the caret, digits choose the length, the
// arrows raise, lower, move and shorten the selected notes. Every key is worked out here as a
// function of the song, the current part, the caret, the selection and the palette: it gives the
// change to make, the caret and selection after it, and the notes to sound, or a refusal. The
// window only maps key presses to these and makes the change as one step of the document.
namespace pokopen {

// The names of the keyboard's steps in the Edit menu (entry and deletion share the mouse's).
inline constexpr const char* NOTE_MOVE_STEP = "音符の移動";
inline constexpr const char* NOTE_LENGTH_STEP = "音符の長さの変更";

// Written steps the staff can show in one of its three views (rows 0..31 of the high view to
// rows 0..31 of the low view), and the drum indexes of part 10.
inline constexpr int HIGHEST_WRITTEN_STEP = 0;
inline constexpr int LOWEST_WRITTEN_STEP = 45;
inline constexpr int LAST_DRUM = 46;

enum class EntryKey {
    Letter,       // A..G: a note of that letter at the caret
    ChordLetter,  // Shift + A..G: that letter added above the chord just entered
    Rest,         // 0: the caret moves on by the palette's length
    SemitoneUp,   // Up
    SemitoneDown, // Down
    StepUp,       // Alt+Up
    StepDown,     // Alt+Down
    OctaveUp,     // Ctrl+Up
    OctaveDown,   // Ctrl+Down
    Halve,        // Q
    Double,       // W
    Delete,       // Delete: the selected notes
    Backspace,    // the note or chord ending at the caret
    PreviousStop, // Left: previous note start or measure start
    NextStop,     // Right
};

// Where the keyboard acts.
struct KeyEntryPlace {
    int part = 0;
    std::int32_t caret = 0; // tick in the song
    std::vector<NoteRef> selection;
    bool tripletMode = false;
};

// Notes taken out of the part and notes put in, as one change.
struct NoteEdit {
    std::vector<NoteRef> removed;
    std::vector<EntryTarget> added;
    bool empty() const { return removed.empty() && added.empty(); }
};

struct KeyOutcome {
    bool refused = false; // beep; nothing changes
    std::string stepName; // the step's name when the song changes
    NoteEdit edit;        // in the current part
    std::int32_t caret = 0;
    std::vector<NoteRef> selection;
    std::vector<int> audition; // MIDI keys of the notes entered or changed
};

// The outcome of `key` at `place`. `letter` is 'A'..'G' for the letter keys.
KeyOutcome pressEntryKey(const Song& song, const KeyEntryPlace& place, const PaletteState& palette,
                         EntryKey key, char letter = 0);

// The length keys: '2' .. '7' set the 32nd .. whole note, '.' adds the next shorter plain length
// (as a dot). False when refused (the palette's rules) or not a length key.
bool pressLengthKey(PaletteState& palette, char key);

// Makes the outcome's change in `part` as one step of the document (placed at the caret's
// measure). False when there is no change to make.
bool applyKeyOutcome(SongDocument& doc, int part, const KeyOutcome& outcome);

// True when the notes put in overlap each other or a note of their value that stays.
bool noteEditCollides(const EventRow& row, const NoteEdit& edit);

// The change itself, on the part's row; the outcome has checked that it fits.
void applyNoteEdit(EventRow& row, const NoteEdit& edit);

// The MIDI key a note sounds at `pos` (as the MIDI file plays it).
int soundingKey(const Song& song, int part, std::uint8_t value, std::int8_t extra, std::int32_t pos);

// The note named by `ref` in the row, start, end, value and note-on extra; nothing when absent.
std::optional<EntryTarget> findNote(const EventRow& row, NoteRef ref);

// The first stop of the caret after / before `t`: the next (previous) note start in the row or
// measure start, whichever is nearer; nothing at the song's end (start).
std::optional<std::int32_t> nextStop(const Song& song, const EventRow& row, std::int32_t t);
std::optional<std::int32_t> previousStop(const Song& song, const EventRow& row, std::int32_t t);

// The measure to show for the caret: the shown one while the caret lies in it or at its end,
// otherwise the one that holds it (the last measure for the song's end).
std::int32_t measureShowingCaret(const EventStore& store, std::int32_t shown, std::int32_t caret);

// The notes of the row that start at `t`.
std::vector<NoteRef> notesStartingAt(const EventRow& row, std::int32_t t);

} // namespace pokopen
