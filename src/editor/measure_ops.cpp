#include "editor/measure_ops.h"

#include "model/pitch.h"
#include "model/timeline.h"

#include <algorithm>
#include <utility>

namespace pokopen {

namespace {

constexpr std::int32_t NO_PARTNER = -1;
// Staff steps a part row can hold: E8 .. the lowest line of the editor's miniature.
constexpr int LOWEST_STEP_UP = -7;
constexpr int HIGHEST_STEP_DOWN = 52;

std::size_t idx(std::int32_t i) {
    return static_cast<std::size_t>(i);
}

bool isNote(std::uint8_t kind) {
    return kind == KIND_NOTE_ON || kind == KIND_NOTE_OFF;
}

// Pairs the notes of a row in one walk: a note-off closes the nearest open note-on of its value
// before it, which in a well-formed row is also the note-on whose first following note-off it is.
// partner[i] is the index of the other event of i's note, or NO_PARTNER for a curve point and for
// a note event left alone (only damaged rows have those).
std::vector<std::int32_t> pairNotes(const std::vector<std::uint8_t>& kind,
                                    const std::vector<std::uint8_t>& value) {
    std::vector<std::int32_t> partner(kind.size(), NO_PARTNER);
    std::array<std::int32_t, 256> open;
    open.fill(NO_PARTNER);
    for (std::size_t i = 0; i < kind.size(); ++i) {
        std::int32_t& o = open[value[i]];
        if (kind[i] == KIND_NOTE_ON) {
            o = static_cast<std::int32_t>(i);
        } else if (kind[i] == KIND_NOTE_OFF && o != NO_PARTNER) {
            partner[i] = o;
            partner[idx(o)] = static_cast<std::int32_t>(i);
            o = NO_PARTNER;
        }
    }
    return partner;
}

// Membership of an event in the tick range S..E of whole measures: a note-off belongs to the
// range when it ends a note inside it (S < pos <= E), everything else when S <= pos < E.
struct TickRange {
    std::int32_t start;
    std::int32_t end;

    bool holds(std::uint8_t kind, std::int32_t pos) const {
        return kind == KIND_NOTE_OFF ? start < pos && pos <= end : start <= pos && pos < end;
    }
};

TickRange measureRange(const EventStore& store, std::int32_t from, std::int32_t to) {
    return {measureToTick(store, from), measureToTick(store, to + 1)};
}

// Marks for deletion what clearing the range removes: every curve point in it and every note
// that starts or ends in it, whole. Returns the pairing so that callers can look further.
std::vector<std::int32_t> markCleared(const EventRow& row, const TickRange& range, std::vector<char>& drop) {
    std::vector<std::int32_t> partner = pairNotes(row.kind, row.value);
    drop.assign(row.pos.size(), 0);
    for (std::size_t i = 0; i < row.pos.size(); ++i) {
        if (!range.holds(row.kind[i], row.pos[i]))
            continue;
        drop[i] = 1;
        if (partner[i] != NO_PARTNER)
            drop[idx(partner[i])] = 1;
    }
    return partner;
}

void assignKept(EventRow& row, const std::vector<char>& drop) {
    std::vector<Event> kept;
    kept.reserve(row.pos.size());
    for (std::int32_t i = 0; i < row.count(); ++i)
        if (!drop[idx(i)])
            kept.push_back(row.at(i));
    row.assign(kept);
}

// The clipboard row fitted into `length` ticks starting at tick `start`: events from `length` on
// are dropped (a note-off exactly at `length` still ends its note), and notes that would run
// past `length` are stopped there. The stopped note-offs go last, which keeps the block sorted
// because only note-offs can stand at `length`.
std::vector<Event> fitBlock(const std::vector<Event>& clipRow, std::int32_t start, std::int32_t length,
                            std::array<bool, 256>& noteValues) {
    std::vector<Event> block;
    std::vector<Event> stopped;
    block.reserve(clipRow.size());
    std::array<bool, 256> open{};
    noteValues.fill(false);
    for (const Event& e : clipRow) {
        if (e.kind == KIND_NOTE_ON) {
            if (e.pos >= length)
                continue;
            open[e.value] = true;
            noteValues[e.value] = true;
            block.push_back({start + e.pos, e.kind, e.value, e.extra});
        } else if (e.kind == KIND_NOTE_OFF) {
            if (!open[e.value])
                continue;
            open[e.value] = false;
            if (e.pos <= length)
                block.push_back({start + e.pos, e.kind, e.value, e.extra});
            else
                stopped.push_back({start + length, e.kind, e.value, e.extra});
        } else if (e.pos < length) {
            block.push_back({start + e.pos, e.kind, e.value, e.extra});
        }
    }
    block.insert(block.end(), stopped.begin(), stopped.end());
    return block;
}

} // namespace

void copyMeasures(const Song& song, MeasureClipboard& clip, int part, std::int32_t from, std::int32_t to) {
    const EventRow& row = song.row(part);
    const TickRange range = measureRange(song.store, from, to);
    const std::vector<std::int32_t> partner = pairNotes(row.kind, row.value);
    std::vector<Event>& out = clip.clipRows[idx(part)];
    out.clear();
    // Only events inside S..E can be taken; start at the first one there.
    const auto first = std::lower_bound(row.pos.begin(), row.pos.end(), range.start) - row.pos.begin();
    for (auto i = static_cast<std::size_t>(first); i < row.pos.size() && row.pos[i] <= range.end; ++i) {
        const std::uint8_t kind = row.kind[i];
        if (!range.holds(kind, row.pos[i]))
            continue;
        if (isNote(kind)) {
            // A note is copied only when it lies wholly inside the range.
            if (partner[i] == NO_PARTNER)
                continue;
            const std::int32_t other = row.pos[idx(partner[i])];
            if (kind == KIND_NOTE_ON ? other > range.end : other < range.start)
                continue;
        }
        out.push_back({row.pos[i] - range.start, kind, row.value[i], row.extra[i]});
    }
    out.shrink_to_fit();
}

void clearMeasures(Song& song, int part, std::int32_t from, std::int32_t to) {
    EventRow& row = song.row(part);
    std::vector<char> drop;
    markCleared(row, measureRange(song.store, from, to), drop);
    if (std::find(drop.begin(), drop.end(), 1) != drop.end())
        assignKept(row, drop);
}

void pasteMeasures(Song& song, const MeasureClipboard& clip, int source, int target, std::int32_t measure) {
    // The cleared range ends at the end of the song at the latest.
    const std::int32_t last = std::min(measure + clip.clipMeasures, MAX_MEASURES - 1);
    const TickRange range = measureRange(song.store, measure, last);
    std::array<bool, 256> pastedValues{};
    const std::vector<Event> block =
        fitBlock(clip.clipRows[idx(source)], range.start, range.end - range.start, pastedValues);

    // The new row is built beside the old one, which is only read: no copy of it is made first.
    const EventRow& row = std::as_const(song.store)[target];
    std::vector<char> drop;
    const std::vector<std::int32_t> partner = markCleared(row, range, drop);
    // A note spanning the whole range would hold a pasted note of its value inside it.
    for (std::size_t i = 0; i < row.pos.size(); ++i) {
        if (row.kind[i] != KIND_NOTE_OFF || partner[i] == NO_PARTNER || !pastedValues[row.value[i]])
            continue;
        if (row.pos[idx(partner[i])] < range.start && row.pos[i] > range.end)
            drop[i] = drop[idx(partner[i])] = 1;
    }

    // The block goes after everything left at the range's start (only note-offs remain there).
    EventRow rebuilt;
    const auto kept = static_cast<std::size_t>(std::count(drop.begin(), drop.end(), 0));
    rebuilt.reserve(kept + block.size()); // exactly the row's new length
    const auto keep = [&](std::size_t i) {
        rebuilt.pos.push_back(row.pos[i]);
        rebuilt.kind.push_back(row.kind[i]);
        rebuilt.value.push_back(row.value[i]);
        rebuilt.extra.push_back(row.extra[i]);
    };
    std::size_t i = 0;
    for (; i < row.pos.size() && row.pos[i] <= range.start; ++i)
        if (!drop[i])
            keep(i);
    for (const Event& e : block) {
        rebuilt.pos.push_back(e.pos);
        rebuilt.kind.push_back(e.kind);
        rebuilt.value.push_back(e.value);
        rebuilt.extra.push_back(e.extra);
    }
    for (; i < row.pos.size(); ++i)
        if (!drop[i])
            keep(i);
    song.store.replaceRow(target, std::move(rebuilt));
}

void shiftOctave(Song& song, int part, std::int32_t from, std::int32_t to, int octaveSteps) {
    if (part == PERCUSSION_PART)
        return;
    EventRow& row = song.row(part);
    const TickRange range = measureRange(song.store, from, to);
    const std::vector<std::int32_t> partner = pairNotes(row.kind, row.value);

    // Values of the notes that start before the range and end after it; they stay.
    std::array<bool, 256> spanning{};
    for (std::size_t i = 0; i < row.pos.size(); ++i)
        if (row.kind[i] == KIND_NOTE_OFF && partner[i] != NO_PARTNER && row.pos[i] > range.end &&
            row.pos[idx(partner[i])] < range.start)
            spanning[row.value[i]] = true;

    std::vector<char> drop(row.pos.size(), 0);
    bool dropped = false;
    for (std::size_t i = 0; i < row.pos.size(); ++i) {
        // Each note is decided at its note-off, which follows its note-on.
        if (row.kind[i] != KIND_NOTE_OFF || partner[i] == NO_PARTNER)
            continue;
        const std::size_t on = idx(partner[i]);
        const bool startsIn = range.holds(KIND_NOTE_ON, row.pos[on]);
        const bool endsIn = range.holds(KIND_NOTE_OFF, row.pos[i]);
        if (!startsIn && !endsIn)
            continue;
        const int step = stepOfValue(row.value[i]) + octaveSteps;
        const bool fits = step >= LOWEST_STEP_UP && step <= HIGHEST_STEP_DOWN;
        if (startsIn && endsIn && fits && !spanning[valueOfStep(step)]) {
            row.value[i] = row.value[on] = valueOfStep(step);
        } else {
            drop[i] = drop[on] = 1;
            dropped = true;
        }
    }
    if (dropped)
        assignKept(row, drop);
}

} // namespace pokopen
