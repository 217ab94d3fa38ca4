#include "score/note_entry.h"

#include "model/pitch.h"
#include "model/timeline.h"

#include <algorithm>
#include <optional>

namespace pokopen {

namespace {

// First drum index shown in drum row 0 of the high, middle and low views.
constexpr std::array<int, 3> FIRST_DRUM_OF_VIEW = {0, 16, 31};

int firstDrum(int scoreView) {
    return FIRST_DRUM_OF_VIEW[static_cast<std::size_t>(scoreView)];
}

// Ticks of the current measure.
std::int32_t currentMeasureTicks(const SongDocument& s) {
    return ticksPerMeasure(meterInForceAt(s.song().store, s.editing().currentMeasure));
}

// x relative to the first column lies on a column of the measure.
bool insideMeasure(std::int32_t relX, std::int32_t ticks) {
    return relX >= 0 && relX / 3 < ticks;
}

bool insideImageRows(std::int32_t y) {
    return y >= 0 && y < NOTE_ENTRY_IMAGE_HEIGHT;
}

// Start tick of the column under relX, absolute.
std::int32_t columnStart(const SongDocument& s, std::int32_t relX) {
    const std::int32_t measureStart = measureToTick(s.song().store, s.editing().currentMeasure);
    return s.editing().tripletMode ? measureStart + 4 * (relX / 12) : measureStart + 3 * (relX / 9);
}

// Pitch of image row y of the current part: stored value, written step and written key.
struct PointedPitch {
    std::uint8_t value = 0;
    int writtenStep = 0;
    int writtenKeyByte = 0;
};

PointedPitch pointedPitch(const SongDocument& s, std::int32_t y) {
    PointedPitch p;
    if (s.editing().currentPart == PERCUSSION_PART) {
        p.value = static_cast<std::uint8_t>(firstDrum(s.editing().scoreView) + y / 18);
        return p;
    }
    const WrittenKey wk =
        writtenKey(keyInForceAt(s.song().store, s.editing().currentMeasure),
                   s.song().partTransposition[static_cast<std::size_t>(s.editing().currentPart)]);
    p.writtenStep = y / 9 + 7 * s.editing().scoreView;
    p.writtenKeyByte = wk.key;
    p.value = valueOfStep(p.writtenStep + wk.shift);
    return p;
}

} // namespace

ScorePointer scorePointerAt(int x, int y) {
    return {x - NOTE_ENTRY_FIRST_COLUMN_X, y};
}

bool noteOverlaps(const EventRow& row, std::int32_t start, std::int32_t end, std::uint8_t value) {
    bool sounding = false;
    for (std::int32_t i = 0; i < row.count(); ++i) {
        const auto k = static_cast<std::size_t>(i);
        const std::int32_t pos = row.pos[k];
        if (sounding && start < pos)
            return true;
        if (pos >= end)
            return false;
        if (row.value[k] != value)
            continue;
        if (row.kind[k] == KIND_NOTE_ON)
            sounding = true;
        else if (row.kind[k] == KIND_NOTE_OFF)
            sounding = false;
    }
    return false;
}

void insertNote(EventRow& row, const EntryTarget& note) {
    std::int32_t i = 0;
    while (i < row.count() && row.pos[static_cast<std::size_t>(i)] <= note.start)
        ++i;
    row.insertAt(i, {note.start, KIND_NOTE_ON, note.value, note.extra});
    std::int32_t j = i;
    while (j < row.count() && row.pos[static_cast<std::size_t>(j)] < note.end)
        ++j;
    row.insertAt(j, {note.end, KIND_NOTE_OFF, note.value, 0});
}

bool enterNoteAtPointer(SongDocument& s, const ScorePointer& at, EntryTarget* entered) {
    const std::int32_t ticks = currentMeasureTicks(s);
    const std::int32_t relX = at.relX;
    const std::int32_t y = at.y;
    if (!insideMeasure(relX, ticks) || !insideImageRows(y))
        return false;
    const std::int32_t length = s.editing().tripletMode ? s.palette.noteLength / 3 : s.palette.noteLength;
    // A note of no length would put its note-off before its note-on.
    if (length <= 0)
        return false;
    EntryTarget note;
    note.start = columnStart(s, relX);
    note.end = note.start + length;
    if (note.end > songEndTick(s.song().store))
        return false;
    const PointedPitch p = pointedPitch(s, y);
    note.value = p.value;
    const int part = s.editing().currentPart;
    if (noteOverlaps(s.song().row(part), note.start, note.end, note.value))
        return false;
    if (part != PERCUSSION_PART && s.palette.accidentalSet)
        note.extra =
            static_cast<std::int8_t>(s.palette.accidental - keyAlteration(p.writtenKeyByte, p.writtenStep));
    if (entered)
        *entered = note;
    return s.change(NOTE_ENTRY_STEP, {part, s.editing().currentMeasure, EditPage::Score},
                    [&](Song& song) { insertNote(song.row(part), note); });
}

bool deleteNoteAtPointer(SongDocument& s, const ScorePointer& at, EntryTarget* deleted) {
    const std::int32_t ticks = currentMeasureTicks(s);
    const std::int32_t relX = at.relX;
    const std::int32_t y = at.y;
    if (!insideMeasure(relX, ticks) || !insideImageRows(y))
        return false;
    const std::int32_t t = columnStart(s, relX);
    const std::uint8_t value = pointedPitch(s, y).value;
    const int part = s.editing().currentPart;
    const EventRow& row = s.song().row(part);

    bool sounding = false;
    std::int32_t lastOn = -1;
    std::int32_t i = 0;
    for (; i < row.count() && row.pos[static_cast<std::size_t>(i)] <= t; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (row.value[k] != value)
            continue;
        if (row.kind[k] == KIND_NOTE_ON) {
            sounding = true;
            lastOn = i;
        } else if (row.kind[k] == KIND_NOTE_OFF) {
            sounding = false;
        }
    }
    if (!sounding)
        return false;
    std::int32_t off = lastOn + 1;
    while (off < row.count() && !(row.kind[static_cast<std::size_t>(off)] == KIND_NOTE_OFF &&
                                  row.value[static_cast<std::size_t>(off)] == value))
        ++off;
    // A note-on that nothing ends (only a damaged row holds one) goes alone.
    const bool offFound = off < row.count();
    if (deleted) {
        const auto on = static_cast<std::size_t>(lastOn);
        *deleted = {row.pos[on], offFound ? row.pos[static_cast<std::size_t>(off)] : row.pos[on], value,
                    row.extra[on]};
    }
    return s.change(NOTE_DELETION_STEP, {part, s.editing().currentMeasure, EditPage::Score}, [&](Song& song) {
        EventRow& edited = song.row(part);
        edited.removeAt(lastOn);
        if (offFound)
            edited.removeAt(off - 1);
    });
}

std::optional<EntryTarget> noteAtPoint(const SongDocument& s, int x, int y) {
    const std::int32_t ticks = currentMeasureTicks(s);
    const std::int32_t relX = x - NOTE_ENTRY_FIRST_COLUMN_X;
    if (!insideMeasure(relX, ticks) || !insideImageRows(y))
        return std::nullopt;
    const std::int32_t measureStart = measureToTick(s.song().store, s.editing().currentMeasure);
    const std::int32_t t = measureStart + relX / 3;
    const std::uint8_t value = pointedPitch(s, y).value;
    const EventRow& row = s.song().row(s.editing().currentPart);
    // The note of that value sounding at t: the last note-on at or before t, if no note-off follows it.
    std::int32_t on = -1;
    std::int32_t i = 0;
    for (; i < row.count() && row.pos[static_cast<std::size_t>(i)] <= t; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (row.value[k] != value)
            continue;
        if (row.kind[k] == KIND_NOTE_ON)
            on = i;
        else if (row.kind[k] == KIND_NOTE_OFF)
            on = -1;
    }
    if (on < 0 || row.pos[static_cast<std::size_t>(on)] < measureStart)
        return std::nullopt;
    for (; i < row.count(); ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (row.kind[k] == KIND_NOTE_OFF && row.value[k] == value) {
            const auto o = static_cast<std::size_t>(on);
            return EntryTarget{row.pos[o], row.pos[k], value, row.extra[o]};
        }
    }
    return std::nullopt;
}

std::int32_t columnTickAt(const SongDocument& s, int x) {
    return columnStart(s, x - NOTE_ENTRY_FIRST_COLUMN_X);
}

std::optional<EntryTarget> dragTarget(const SongDocument& s, const EntryTarget& note, std::int32_t grab,
                                      int x, int y) {
    const std::int32_t ticks = currentMeasureTicks(s);
    const std::int32_t relX = x - NOTE_ENTRY_FIRST_COLUMN_X;
    if (!insideMeasure(relX, ticks) || !insideImageRows(y))
        return std::nullopt;
    EntryTarget moved = note;
    moved.start = columnStart(s, relX) - grab;
    moved.end = moved.start + (note.end - note.start);
    if (moved.start < 0 || moved.end > songEndTick(s.song().store))
        return std::nullopt;
    const PointedPitch p = pointedPitch(s, y);
    moved.value = p.value;
    if (moved.value != note.value) {
        // On another row the note takes the accidental a click there would give.
        moved.extra = 0;
        if (s.editing().currentPart != PERCUSSION_PART && s.palette.accidentalSet)
            moved.extra = static_cast<std::int8_t>(s.palette.accidental -
                                                   keyAlteration(p.writtenKeyByte, p.writtenStep));
    }
    return moved;
}

std::optional<EntryTarget> stretchTarget(const SongDocument& s, const EntryTarget& note, int x) {
    const std::int32_t grid = s.editing().tripletMode ? 4 : 3;
    const std::int32_t relX = std::max(x - NOTE_ENTRY_FIRST_COLUMN_X, 0);
    EntryTarget stretched = note;
    stretched.end = std::max(columnStart(s, relX) + grid, note.start + grid);
    if (stretched.end > songEndTick(s.song().store))
        return std::nullopt;
    return stretched;
}

std::vector<MidiShortMessage> auditionAt(const SongDocument& s, int x, int y) {
    const std::int32_t ticks = currentMeasureTicks(s);
    if (!insideMeasure(x - NOTE_ENTRY_FIRST_COLUMN_X, ticks) || !insideImageRows(y))
        return {};
    const int part = s.editing().currentPart;
    int key = 0;
    if (part == PERCUSSION_PART) {
        key = percussionKey(firstDrum(s.editing().scoreView) + y / 18);
    } else {
        const PointedPitch p = pointedPitch(s, y);
        const int alteration =
            s.palette.accidentalSet ? s.palette.accidental : keyAlteration(p.writtenKeyByte, p.writtenStep);
        const int transposition = s.song().partTransposition[static_cast<std::size_t>(part)];
        key = alteration + naturalKey(p.writtenStep) +
              TRANSPOSE_SEMITONES[static_cast<std::size_t>(transposition)];
    }
    const auto messages =
        testNoteMessages(part, s.song().partInstrument[static_cast<std::size_t>(part)], key);
    return {messages.begin(), messages.end()};
}

} // namespace pokopen
