#include "score/staff_layout.h"

#include "model/percussion.h"
#include "model/pitch.h"
#include "model/timeline.h"

#include <algorithm>
#include <array>

namespace pokopen {

StaffColour noteColour(int k, int m, int accidental) {
    if (accidental == CONTINUED_NOTE)
        return StaffColour::Gray;
    const int keyAlter = keyAlteration(k, m);
    switch (keyAlter + accidental) {
    case -2:
        return StaffColour::Navy;
    case -1:
        return StaffColour::Blue;
    case 0:
        return keyAlter == 0 ? StaffColour::Lime : StaffColour::Green;
    case 1:
        return StaffColour::Red;
    case 2:
        return StaffColour::Maroon;
    default:
        return StaffColour::Gray;
    }
}

namespace {
// A divisor of zero (a denominator above 96 in a damaged song) marks no line.
bool multipleOf(std::int32_t t, int divisor) {
    return divisor > 0 && t % divisor == 0;
}
} // namespace

std::vector<GridLine> gridLines(std::int32_t ticks, int denominator, bool triplet) {
    const int beat = TICKS_PER_WHOLE / denominator;
    const int halfBeat = TICKS_PER_WHOLE / 2 / denominator;
    const int quarterBeat = TICKS_PER_WHOLE / 4 / denominator;
    const int step = triplet ? 4 : 3;
    std::vector<GridLine> lines;
    lines.reserve(static_cast<std::size_t>(std::max(ticks, 0) / step + 1));
    for (std::int32_t t = 0; t < ticks; t += step) {
        StaffColour c = StaffColour::Yellow;
        if (multipleOf(t, beat))
            c = StaffColour::Navy;
        else if (multipleOf(t, halfBeat))
            c = StaffColour::Fuchsia;
        else if (triplet || multipleOf(t, quarterBeat))
            c = StaffColour::Lime;
        lines.push_back({tickX(t), c});
    }
    return lines;
}

std::vector<SignatureGlyph> keySignatureGlyphs(int k) {
    std::vector<SignatureGlyph> glyphs;
    if (k < 14) {
        const int flats = std::min(7 - k / 2, 7);
        for (int j = 0; j < flats; ++j) {
            const int step = FLATS_ORDER[static_cast<std::size_t>(j)];
            glyphs.push_back({34 + 5 * j, 9 * step - 4, false});
            glyphs.push_back({34 + 5 * j, 9 * step + 122, false});
        }
    } else if (k > 15) {
        const int sharps = std::min(k / 2 - 7, 7);
        for (int j = 0; j < sharps; ++j) {
            const int step = SHARPS_ORDER[static_cast<std::size_t>(j)];
            glyphs.push_back({34 + 5 * j, 9 * step - 2, true});
            glyphs.push_back({34 + 5 * j, 9 * step + 124, true});
        }
    }
    return glyphs;
}

namespace {

// The rows of one view: which row (or none, -1) each stored value falls on, the height of a row,
// and the fill of a row's marks.
struct RowMap {
    std::array<std::int8_t, 256> rowOfValue{};
    int rowCount = 0;
    int rowHeight = 0;
};

// One pass over the part's row from the first event at or after the measure's start, holding
// for every view row the state a scan of that row alone would hold. Earlier note-ons only tell
// that a note began before the measure, and so does the starting value of lastOn: the row scan
// starts with lastOn = 0, which lies before any measure but the first.
template <typename Fill>
std::vector<NoteMark> scanNoteMarks(const EventRow& part, std::int32_t start, std::int32_t ticks,
                                    const RowMap& map, Fill fill) {
    std::vector<NoteMark> marks;
    struct RowState {
        std::int32_t lastOn;
        int lastExtra;
        bool stopped;
    };
    std::array<RowState, STEP_ROWS> rows{};
    const std::int32_t before = start > 0 ? start - 1 : 0;
    for (RowState& r : rows)
        r = {before, 0, false};
    int active = map.rowCount;
    const std::int32_t end = start + ticks;
    const auto first = std::lower_bound(part.pos.begin(), part.pos.end(), start);
    for (auto i = static_cast<std::size_t>(first - part.pos.begin()); i < part.pos.size() && active > 0;
         ++i) {
        const std::uint8_t kind = part.kind[i];
        if (kind != KIND_NOTE_ON && kind != KIND_NOTE_OFF)
            continue;
        const int row = map.rowOfValue[part.value[i]];
        if (row < 0)
            continue;
        RowState& r = rows[static_cast<std::size_t>(row)];
        if (r.stopped)
            continue;
        const std::int32_t p = part.pos[i];
        const int top = row * map.rowHeight;
        if (kind == KIND_NOTE_ON) {
            r.lastOn = p;
            r.lastExtra = part.extra[i];
            if (p >= end) {
                r.stopped = true;
                --active;
            } else if (p >= start) {
                const int x = tickX(p - start);
                marks.push_back({NoteMark::Kind::StartBox, row, x, x + NOTE_BOX_WIDTH, top, map.rowHeight,
                                 fill(row, r.lastExtra)});
            }
            continue;
        }
        if (p <= start)
            continue;
        const bool continued = start > r.lastOn;
        const int left = continued ? STAFF_LEFT : tickX(r.lastOn - start) + NOTE_BOX_WIDTH;
        const int right = tickX(std::min(p, end) - start);
        if (left < right)
            marks.push_back({NoteMark::Kind::Bar, row, left, right, top, map.rowHeight,
                             fill(row, continued ? CONTINUED_NOTE : r.lastExtra)});
        if (p > end) {
            r.stopped = true;
            --active;
        }
    }
    return marks;
}

} // namespace

std::vector<NoteMark> staffNoteMarks(const EventRow& part, std::int32_t start, std::int32_t ticks, int base,
                                     int key) {
    RowMap map;
    map.rowCount = STEP_ROWS;
    map.rowHeight = STEP_ROW_HEIGHT;
    for (int v = 0; v < 256; ++v) {
        const int row = stepOfValue(v) - base;
        map.rowOfValue[static_cast<std::size_t>(v)] =
            static_cast<std::int8_t>(row >= 0 && row < STEP_ROWS ? row : -1);
    }
    return scanNoteMarks(part, start, ticks, map,
                         [key](int row, int accidental) { return noteColour(key, row, accidental); });
}

std::vector<NoteMark> drumNoteMarks(const EventRow& part, std::int32_t start, std::int32_t ticks, int first) {
    RowMap map;
    map.rowCount = DRUM_ROWS;
    map.rowHeight = DRUM_ROW_HEIGHT;
    for (int v = 0; v < 256; ++v) {
        const int row = v - first;
        map.rowOfValue[static_cast<std::size_t>(v)] =
            static_cast<std::int8_t>(row >= 0 && row < DRUM_ROWS ? row : -1);
    }
    return scanNoteMarks(part, start, ticks, map, [](int, int) { return StaffColour::Lime; });
}

std::string_view StaffLayout::drumName(int i) const {
    return percussionName(firstDrum + i);
}

namespace {
// Marks the start boxes of the selected notes; `valueOfRow` gives the stored value a row shows.
template <class F>
void markSelected(std::vector<NoteMark>& marks, const std::vector<NoteRef>& selection, std::int32_t start,
                  F&& valueOfRow) {
    if (selection.empty())
        return;
    for (NoteMark& mark : marks) {
        if (mark.kind != NoteMark::Kind::StartBox)
            continue;
        const NoteRef ref{start + (mark.left - STAFF_LEFT) / PIXELS_PER_TICK, valueOfRow(mark.row)};
        mark.selected = std::find(selection.begin(), selection.end(), ref) != selection.end();
    }
}
} // namespace

StaffLayout layoutStaff(const Song& song, const Editing& state) {
    const EventStore& store = song.store;
    StaffLayout layout;
    const int part = std::clamp(state.currentPart, 0, PART_ROWS - 1);
    const int view = std::clamp(state.scoreView, 0, 2);
    const std::int32_t measure = std::clamp(state.currentMeasure, 0, MAX_MEASURES - 1);

    layout.drums = part == PERCUSSION_PART;
    layout.measureStart = measureToTick(store, measure);
    layout.meter = METER_4_4;
    layout.meterChangeHere = meterAt(store, measure, layout.meter);
    layout.numerator = layout.meter / 16;
    layout.denominator = 1 << (layout.meter % 16);
    layout.ticks = ticksPerMeasure(layout.meter);
    layout.grid = gridLines(layout.ticks, layout.denominator, state.tripletMode);

    // The caret is drawn in the measure that holds it, and at the right edge at the measure's end.
    if (state.caret >= layout.measureStart && state.caret <= layout.measureStart + layout.ticks)
        layout.caretX = std::min(tickX(state.caret - layout.measureStart), STAFF_IMAGE_WIDTH - 1);

    if (layout.drums) {
        layout.firstDrum = firstDrumIndex(view);
        layout.marks = drumNoteMarks(song.row(part), layout.measureStart, layout.ticks, layout.firstDrum);
        markSelected(layout.marks, state.selection, layout.measureStart,
                     [&](int row) { return static_cast<std::uint8_t>(layout.firstDrum + row); });
        return layout;
    }

    layout.concertKey = KEY_C_MAJOR;
    layout.keyChangeHere = keyAt(store, measure, layout.concertKey);
    // The readers refuse a transposition outside the instrument table; should one reach here all
    // the same, the part is drawn as a C instrument rather than reading past the table.
    int transposition = song.partTransposition[static_cast<std::size_t>(part)];
    if (transposition < 0 || transposition >= TRANSPOSITION_COUNT)
        transposition = C_INSTRUMENT;
    const WrittenKey written = writtenKey(layout.concertKey, transposition);
    layout.writtenKey = written.key;
    layout.shift = written.shift;
    layout.keyGlyphs = keySignatureGlyphs(written.key);
    layout.octave = view == 0 ? OctaveSign::Up : view == 2 ? OctaveSign::Down : OctaveSign::None;
    const int base = 7 * view + written.shift;
    layout.marks = staffNoteMarks(song.row(part), layout.measureStart, layout.ticks, base, written.key);
    markSelected(layout.marks, state.selection, layout.measureStart,
                 [&](int row) { return valueOfStep(base + row); });
    return layout;
}

} // namespace pokopen
