#include "score/key_entry.h"

#include "model/note_spelling.h"
#include "model/pitch.h"
#include "model/timeline.h"

#include <algorithm>
#include <optional>

namespace pokopen {

namespace {

// Steps of a letter counted as the staff counts them: 0 E, 1 D, 2 C, 3 B, 4 A, 5 G, 6 F.
int letterClass(char letter) {
    switch (letter) {
    case 'E':
        return 0;
    case 'D':
        return 1;
    case 'C':
        return 2;
    case 'B':
        return 3;
    case 'A':
        return 4;
    case 'G':
        return 5;
    case 'F':
        return 6;
    default:
        return -1;
    }
}

int floorMod7(int v) {
    const int m = v % 7;
    return m < 0 ? m + 7 : m;
}

// Written C4 .. B4: where a letter goes when nothing has been written before the caret.
constexpr int MIDDLE_C_STEP = 23;

// First index of the row whose pos is >= t.
std::int32_t firstAtOrAfter(const EventRow& row, std::int32_t t) {
    return static_cast<std::int32_t>(std::lower_bound(row.pos.begin(), row.pos.end(), t) - row.pos.begin());
}

std::int32_t firstAfter(const EventRow& row, std::int32_t t) {
    return static_cast<std::int32_t>(std::upper_bound(row.pos.begin(), row.pos.end(), t) - row.pos.begin());
}

// Index of the note-on named by ref, or -1.
std::int32_t noteOnIndex(const EventRow& row, NoteRef ref) {
    for (std::int32_t i = firstAtOrAfter(row, ref.pos);
         i < row.count() && row.pos[static_cast<std::size_t>(i)] == ref.pos; ++i) {
        const Event e = row.at(i);
        if (e.kind == KIND_NOTE_ON && e.value == ref.value)
            return i;
    }
    return -1;
}

// Index of the note-off that ends the note-on at `on`, or -1 (a damaged row).
std::int32_t noteOffIndex(const EventRow& row, std::int32_t on) {
    const std::uint8_t value = row.value[static_cast<std::size_t>(on)];
    for (std::int32_t i = on + 1; i < row.count(); ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (row.kind[k] == KIND_NOTE_OFF && row.value[k] == value)
            return i;
    }
    return -1;
}

bool ignored(const std::vector<NoteRef>& refs, std::int32_t pos, std::uint8_t value) {
    return std::find(refs.begin(), refs.end(), NoteRef{pos, value}) != refs.end();
}

// True when a note of the row of n's value, other than the notes in `ignore`, overlaps n.
bool overlapsRow(const EventRow& row, const EntryTarget& n, const std::vector<NoteRef>& ignore) {
    bool sounding = false;
    bool skipping = false; // inside an ignored note of this value
    for (std::int32_t i = 0; i < row.count(); ++i) {
        const auto k = static_cast<std::size_t>(i);
        const std::int32_t pos = row.pos[k];
        if (sounding && n.start < pos)
            return true;
        if (pos >= n.end)
            return false;
        if (row.value[k] != n.value)
            continue;
        if (row.kind[k] == KIND_NOTE_ON) {
            if (ignored(ignore, pos, n.value))
                skipping = true;
            else
                sounding = true;
        } else if (row.kind[k] == KIND_NOTE_OFF) {
            if (skipping)
                skipping = false;
            else
                sounding = false;
        }
    }
    return false;
}

} // namespace

bool noteEditCollides(const EventRow& row, const NoteEdit& edit) {
    for (std::size_t a = 0; a < edit.added.size(); ++a) {
        const EntryTarget& n = edit.added[a];
        if (overlapsRow(row, n, edit.removed))
            return true;
        for (std::size_t b = a + 1; b < edit.added.size(); ++b) {
            const EntryTarget& o = edit.added[b];
            if (o.value == n.value && o.start < n.end && n.start < o.end)
                return true;
        }
    }
    return false;
}

namespace {

std::uint8_t concertKeyAt(const Song& song, std::int32_t tick) {
    std::uint8_t key = KEY_C_MAJOR;
    keyAt(song.store, tickToMeasure(song.store, tick), key);
    return key;
}

WrittenKey writtenKeyAt(const Song& song, int part, std::int32_t tick) {
    return writtenKey(concertKeyAt(song, tick), song.partTransposition[static_cast<std::size_t>(part)]);
}

bool writtenStepShown(int w) {
    return w >= HIGHEST_WRITTEN_STEP && w <= LOWEST_WRITTEN_STEP;
}

KeyOutcome refusal(const KeyEntryPlace& place) {
    KeyOutcome o;
    o.refused = true;
    o.caret = place.caret;
    o.selection = place.selection;
    return o;
}

std::int32_t enteredLength(const KeyEntryPlace& place, const PaletteState& palette) {
    return place.tripletMode ? palette.noteLength / 3 : palette.noteLength;
}

// The notes of the selection that the row holds, in selection order.
std::vector<EntryTarget> selectedNotes(const EventRow& row, const std::vector<NoteRef>& selection) {
    std::vector<EntryTarget> notes;
    for (const NoteRef& r : selection)
        if (const auto n = findNote(row, r))
            notes.push_back(*n);
    return notes;
}

NoteRef refOf(const EntryTarget& n) {
    return {n.start, n.value};
}

// Finishes an outcome that replaces `before` by `after` (same order), or refuses it.
KeyOutcome replaceNotes(const Song& song, const KeyEntryPlace& place, const std::vector<EntryTarget>& before,
                        const std::vector<EntryTarget>& after, const char* stepName) {
    KeyOutcome o;
    o.caret = place.caret;
    o.stepName = stepName;
    for (const EntryTarget& n : before)
        o.edit.removed.push_back(refOf(n));
    o.edit.added = after;
    for (const EntryTarget& n : after) {
        if (n.end > songEndTick(song.store))
            return refusal(place);
        o.selection.push_back(refOf(n));
        o.audition.push_back(soundingKey(song, place.part, n.value, n.extra, n.start));
    }
    if (noteEditCollides(song.row(place.part), o.edit))
        return refusal(place);
    return o;
}

// The written step of a letter nearest to written step r (no tie can arise: 7 is odd).
int nearestStepOfLetter(int cls, int r) {
    const int below = floorMod7(cls - r); // down to the step of that letter at or below r
    return below <= 3 ? r + below : r + below - 7;
}

// The step of a letter strictly above written step h, nearest to it.
int stepOfLetterAbove(int cls, int h) {
    const int d = floorMod7(h - cls);
    return h - (d == 0 ? 7 : d);
}

// The written step of the highest note among those of the row that start last before t.
std::optional<int> highestOfLastStart(const Song& song, int part, std::int32_t t) {
    const EventRow& row = song.row(part);
    std::int32_t i = firstAtOrAfter(row, t) - 1;
    while (i >= 0 && row.kind[static_cast<std::size_t>(i)] != KIND_NOTE_ON)
        --i;
    if (i < 0)
        return std::nullopt;
    const std::int32_t last = row.pos[static_cast<std::size_t>(i)];
    const int shift = writtenKeyAt(song, part, last).shift;
    int highest = stepOfValue(row.value[static_cast<std::size_t>(i)]) - shift;
    for (; i >= 0 && row.pos[static_cast<std::size_t>(i)] == last; --i)
        if (row.kind[static_cast<std::size_t>(i)] == KIND_NOTE_ON)
            highest = std::min(highest, stepOfValue(row.value[static_cast<std::size_t>(i)]) - shift);
    return highest;
}

// A note of written step w from start to end, with the accidental a click would give it.
std::optional<EntryTarget> noteOfWrittenStep(const Song& song, int part, const PaletteState& palette, int w,
                                             std::int32_t start, std::int32_t end) {
    if (!writtenStepShown(w))
        return std::nullopt;
    const WrittenKey wk = writtenKeyAt(song, part, start);
    EntryTarget n;
    n.start = start;
    n.end = end;
    n.value = valueOfStep(w + wk.shift);
    if (palette.accidentalSet)
        n.extra = static_cast<std::int8_t>(palette.accidental - keyAlteration(wk.key, w));
    return n;
}

KeyOutcome enterLetter(const Song& song, const KeyEntryPlace& place, const PaletteState& palette,
                       char letter) {
    const int cls = letterClass(letter);
    const std::int32_t length = enteredLength(place, palette);
    if (place.part == PERCUSSION_PART || cls < 0 || length <= 0 || place.caret < 0)
        return refusal(place);
    const std::optional<int> reference = highestOfLastStart(song, place.part, place.caret);
    const int w = reference ? nearestStepOfLetter(cls, *reference) : MIDDLE_C_STEP - floorMod7(2 - cls);
    const auto note = noteOfWrittenStep(song, place.part, palette, w, place.caret, place.caret + length);
    if (!note)
        return refusal(place);
    KeyOutcome o = replaceNotes(song, place, {}, {*note}, NOTE_ENTRY_STEP);
    if (!o.refused)
        o.caret = note->end;
    return o;
}

KeyOutcome addChordLetter(const Song& song, const KeyEntryPlace& place, const PaletteState& palette,
                          char letter) {
    const int cls = letterClass(letter);
    if (place.part == PERCUSSION_PART || cls < 0 || place.selection.empty())
        return refusal(place);
    const EventRow& row = song.row(place.part);
    const auto anchor = findNote(row, place.selection.back());
    if (!anchor)
        return refusal(place);
    // The chord: the notes of the same start and end as the note just entered.
    const int shift = writtenKeyAt(song, place.part, anchor->start).shift;
    int highest = stepOfValue(anchor->value) - shift;
    for (const NoteRef& r : notesStartingAt(row, anchor->start)) {
        const auto n = findNote(row, r);
        if (n && n->end == anchor->end)
            highest = std::min(highest, stepOfValue(n->value) - shift);
    }
    const auto note = noteOfWrittenStep(song, place.part, palette, stepOfLetterAbove(cls, highest),
                                        anchor->start, anchor->end);
    if (!note)
        return refusal(place);
    return replaceNotes(song, place, {}, {*note}, NOTE_ENTRY_STEP);
}

// The selected notes moved by `f`, which gives a moved note or nothing (out of range).
template <class F>
KeyOutcome moveSelected(const Song& song, const KeyEntryPlace& place, const char* stepName, F&& f) {
    const std::vector<EntryTarget> before = selectedNotes(song.row(place.part), place.selection);
    if (before.empty())
        return refusal(place);
    std::vector<EntryTarget> after;
    for (const EntryTarget& n : before) {
        const std::optional<EntryTarget> moved = f(n);
        if (!moved)
            return refusal(place);
        after.push_back(*moved);
    }
    return replaceNotes(song, place, before, after, stepName);
}

KeyOutcome moveBySemitone(const Song& song, const KeyEntryPlace& place, int by) {
    return moveSelected(song, place, NOTE_MOVE_STEP, [&](const EntryTarget& n) -> std::optional<EntryTarget> {
        EntryTarget moved = n;
        if (place.part == PERCUSSION_PART) {
            // Drum rows run from index 0 at the top: up is one index less.
            const int index = n.value - by;
            if (index < 0 || index > LAST_DRUM)
                return std::nullopt;
            moved.value = static_cast<std::uint8_t>(index);
            return moved;
        }
        const int key = soundingKey(song, place.part, n.value, n.extra, n.start) + by;
        if (key < 0 || key > 127 || !spellNote(key, concertKeyAt(song, n.start), 0, moved.value, moved.extra))
            return std::nullopt;
        if (!writtenStepShown(stepOfValue(moved.value) - writtenKeyAt(song, place.part, n.start).shift))
            return std::nullopt;
        return moved;
    });
}

// Staff steps up (negative) or down, keeping the accidental (`keepExtra`) or following the key.
KeyOutcome moveBySteps(const Song& song, const KeyEntryPlace& place, int steps, bool keepExtra) {
    if (place.part == PERCUSSION_PART)
        return refusal(place);
    return moveSelected(song, place, NOTE_MOVE_STEP, [&](const EntryTarget& n) -> std::optional<EntryTarget> {
        const int w = stepOfValue(n.value) + steps - writtenKeyAt(song, place.part, n.start).shift;
        if (!writtenStepShown(w))
            return std::nullopt;
        EntryTarget moved = n;
        moved.value = valueOfStep(stepOfValue(n.value) + steps);
        moved.extra = keepExtra ? n.extra : std::int8_t{0};
        return moved;
    });
}

KeyOutcome scaleLengths(const Song& song, const KeyEntryPlace& place, bool halve) {
    const std::int32_t grid = place.tripletMode ? 4 : 3;
    return moveSelected(song, place, NOTE_LENGTH_STEP,
                        [&](const EntryTarget& n) -> std::optional<EntryTarget> {
                            const std::int32_t length = n.end - n.start;
                            EntryTarget scaled = n;
                            if (halve) {
                                // Half a length must still be a whole number of grid columns.
                                if (length % 2 != 0 || (length / 2) % grid != 0)
                                    return std::nullopt;
                                scaled.end = n.start + length / 2;
                            } else {
                                scaled.end = n.start + 2 * length;
                            }
                            return scaled;
                        });
}

KeyOutcome deleteSelected(const Song& song, const KeyEntryPlace& place) {
    const std::vector<EntryTarget> notes = selectedNotes(song.row(place.part), place.selection);
    if (notes.empty())
        return refusal(place);
    KeyOutcome o;
    o.caret = place.caret;
    o.stepName = NOTE_DELETION_STEP;
    for (const EntryTarget& n : notes)
        o.edit.removed.push_back(refOf(n));
    return o;
}

KeyOutcome backspace(const Song& song, const KeyEntryPlace& place) {
    const EventRow& row = song.row(place.part);
    // The notes ending at the caret; of those the ones that started last (the note or chord typed last).
    std::vector<EntryTarget> ending;
    for (std::int32_t i = firstAtOrAfter(row, place.caret);
         i < row.count() && row.pos[static_cast<std::size_t>(i)] == place.caret; ++i) {
        if (row.kind[static_cast<std::size_t>(i)] != KIND_NOTE_OFF)
            continue;
        const std::uint8_t value = row.value[static_cast<std::size_t>(i)];
        for (std::int32_t j = i - 1; j >= 0; --j) {
            const auto k = static_cast<std::size_t>(j);
            if (row.value[k] == value && row.kind[k] == KIND_NOTE_ON) {
                ending.push_back({row.pos[k], place.caret, value, row.extra[k]});
                break;
            }
        }
    }
    if (ending.empty())
        return refusal(place);
    std::int32_t latest = ending.front().start;
    for (const EntryTarget& n : ending)
        latest = std::max(latest, n.start);
    KeyOutcome o;
    o.stepName = NOTE_DELETION_STEP;
    o.caret = latest;
    for (const EntryTarget& n : ending)
        if (n.start == latest)
            o.edit.removed.push_back(refOf(n));
    return o;
}

KeyOutcome moveCaret(const Song& song, const KeyEntryPlace& place, std::optional<std::int32_t> to) {
    if (!to)
        return refusal(place);
    KeyOutcome o;
    o.caret = *to;
    o.selection = notesStartingAt(song.row(place.part), *to);
    return o;
}

} // namespace

std::optional<EntryTarget> findNote(const EventRow& row, NoteRef ref) {
    const std::int32_t on = noteOnIndex(row, ref);
    if (on < 0)
        return std::nullopt;
    const std::int32_t off = noteOffIndex(row, on);
    if (off < 0)
        return std::nullopt;
    return EntryTarget{ref.pos, row.pos[static_cast<std::size_t>(off)], ref.value,
                       row.extra[static_cast<std::size_t>(on)]};
}

std::vector<NoteRef> notesStartingAt(const EventRow& row, std::int32_t t) {
    std::vector<NoteRef> refs;
    for (std::int32_t i = firstAtOrAfter(row, t);
         i < row.count() && row.pos[static_cast<std::size_t>(i)] == t; ++i)
        if (row.kind[static_cast<std::size_t>(i)] == KIND_NOTE_ON)
            refs.push_back({t, row.value[static_cast<std::size_t>(i)]});
    return refs;
}

std::optional<std::int32_t> nextStop(const Song& song, const EventRow& row, std::int32_t t) {
    const std::int32_t end = songEndTick(song.store);
    if (t >= end)
        return std::nullopt;
    const std::int32_t m = tickToMeasure(song.store, t);
    std::int32_t stop = measureToTick(song.store, m + 1);
    for (std::int32_t i = firstAfter(row, t); i < row.count() && row.pos[static_cast<std::size_t>(i)] < stop;
         ++i)
        if (row.kind[static_cast<std::size_t>(i)] == KIND_NOTE_ON) {
            stop = row.pos[static_cast<std::size_t>(i)];
            break;
        }
    return std::min(stop, end);
}

std::optional<std::int32_t> previousStop(const Song& song, const EventRow& row, std::int32_t t) {
    if (t <= 0)
        return std::nullopt;
    const std::int32_t end = songEndTick(song.store);
    const std::int32_t m = t >= end ? MAX_MEASURES - 1 : tickToMeasure(song.store, t);
    std::int32_t stop = measureToTick(song.store, m);
    if (stop >= t)
        stop = measureToTick(song.store, m - 1);
    for (std::int32_t i = firstAtOrAfter(row, t) - 1; i >= 0 && row.pos[static_cast<std::size_t>(i)] > stop;
         --i)
        if (row.kind[static_cast<std::size_t>(i)] == KIND_NOTE_ON) {
            stop = row.pos[static_cast<std::size_t>(i)];
            break;
        }
    return stop;
}

std::int32_t measureShowingCaret(const EventStore& store, std::int32_t shown, std::int32_t caret) {
    if (caret >= measureToTick(store, shown) && caret <= measureToTick(store, shown + 1))
        return shown;
    if (caret >= songEndTick(store))
        return MAX_MEASURES - 1;
    return tickToMeasure(store, std::max(caret, 0));
}

int soundingKey(const Song& song, int part, std::uint8_t value, std::int8_t extra, std::int32_t pos) {
    if (part == PERCUSSION_PART)
        return percussionKey(value);
    return naturalKeyOfValue(value) + keyAlteration(concertKeyAt(song, pos), value) + extra;
}

KeyOutcome pressEntryKey(const Song& song, const KeyEntryPlace& place, const PaletteState& palette,
                         EntryKey key, char letter) {
    switch (key) {
    case EntryKey::Letter:
        return enterLetter(song, place, palette, letter);
    case EntryKey::ChordLetter:
        return addChordLetter(song, place, palette, letter);
    case EntryKey::Rest: {
        const std::int32_t length = enteredLength(place, palette);
        if (length <= 0 || place.caret + length > songEndTick(song.store))
            return refusal(place);
        KeyOutcome o;
        o.caret = place.caret + length;
        return o;
    }
    case EntryKey::SemitoneUp:
        return moveBySemitone(song, place, +1);
    case EntryKey::SemitoneDown:
        return moveBySemitone(song, place, -1);
    // A staff step of the drum part is one drum row.
    case EntryKey::StepUp:
        return place.part == PERCUSSION_PART ? moveBySemitone(song, place, +1)
                                             : moveBySteps(song, place, -1, false);
    case EntryKey::StepDown:
        return place.part == PERCUSSION_PART ? moveBySemitone(song, place, -1)
                                             : moveBySteps(song, place, +1, false);
    case EntryKey::OctaveUp:
        return moveBySteps(song, place, -7, true);
    case EntryKey::OctaveDown:
        return moveBySteps(song, place, +7, true);
    case EntryKey::Halve:
        return scaleLengths(song, place, true);
    case EntryKey::Double:
        return scaleLengths(song, place, false);
    case EntryKey::Delete:
        return deleteSelected(song, place);
    case EntryKey::Backspace:
        return backspace(song, place);
    case EntryKey::PreviousStop:
        return moveCaret(song, place, previousStop(song, song.row(place.part), place.caret));
    case EntryKey::NextStop:
        return moveCaret(song, place, nextStop(song, song.row(place.part), place.caret));
    }
    return refusal(place);
}

bool pressLengthKey(PaletteState& palette, char key) {
    if (key >= '2' && key <= '7') {
        // '2' is the 32nd .. '7' the whole note; NoteValue runs from the whole note down.
        setNoteLength(palette, static_cast<NoteValue>('7' - key));
        return true;
    }
    if (key == '.')
        return addDot(palette);
    return false;
}

void applyNoteEdit(EventRow& row, const NoteEdit& edit) {
    for (const NoteRef& r : edit.removed) {
        const std::int32_t on = noteOnIndex(row, r);
        if (on < 0)
            continue;
        const std::int32_t off = noteOffIndex(row, on);
        if (off >= 0)
            row.removeAt(off);
        row.removeAt(on);
    }
    for (const EntryTarget& n : edit.added)
        insertNote(row, n);
}

bool applyKeyOutcome(SongDocument& doc, int part, const KeyOutcome& outcome) {
    if (outcome.refused || outcome.edit.empty())
        return false;
    // Undo shows the measure where the first note changed.
    const std::int32_t at =
        outcome.edit.added.empty() ? outcome.edit.removed.front().pos : outcome.edit.added.front().start;
    const EditPlace place{part, tickToMeasure(doc.song().store, at), EditPage::Score};
    return doc.change(outcome.stepName, place,
                      [&](Song& song) { applyNoteEdit(song.row(part), outcome.edit); });
}

} // namespace pokopen
