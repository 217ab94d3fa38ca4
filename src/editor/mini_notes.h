#pragma once

#include "model/event_store.h"

#include <cstdint>
#include <span>
#include <vector>

// The miniature of a part's notes in the measure editor's cells: one pixel per tick, a black dot
// where a note starts and a silver line for the rest of it, one of 60 lines per staff step.
namespace pokopen {

inline constexpr int MINI_LINES = 60; // staff steps -7..52
inline constexpr int MINI_FIRST_STEP = -7;

// One column of the grid: the measure's first tick, its length and the cell's left edge.
struct MiniColumn {
    std::int32_t startTick = 0;
    std::int32_t ticks = 0;
    int x = 0;
};

// A dot (one pixel at x0) or a line (pixels x0 .. x1 - 1), on miniature line `line` (0..59).
struct MiniMark {
    int x0 = 0;
    int x1 = 0;
    int line = 0;
    bool dot = false;

    friend bool operator==(const MiniMark&, const MiniMark&) = default;
};

// Appends the marks of every note of `row` that shows in `columns`. A note sounding into a
// column from before it is drawn from the cell's first pixel; a note running on past a column
// is drawn to its last pixel and goes on in the next one. Drum indexes are drawn like steps.
// Walks the row once from the first column's start, and only as far as it must. The marks come
// in drawing order: by line (0 first), and within a line in the order of the row's events.
void collectMiniNotes(const EventRow& row, std::span<const MiniColumn> columns, std::vector<MiniMark>& out);

} // namespace pokopen
