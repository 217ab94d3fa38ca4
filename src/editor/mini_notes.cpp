#include "editor/mini_notes.h"

#include "model/pitch.h"

#include <algorithm>
#include <array>
#include <limits>

namespace pokopen {

void collectMiniNotes(const EventRow& row, std::span<const MiniColumn> columns, std::vector<MiniMark>& out) {
    if (columns.empty())
        return;
    const std::size_t firstMark = out.size();
    constexpr std::size_t MAX_COLUMNS = 8;
    const std::size_t n = std::min(columns.size(), MAX_COLUMNS);
    // Start of the note last begun on each line; notes begun before the first column count as
    // begun before every column.
    std::array<std::int32_t, MINI_LINES> lastStart;
    lastStart.fill(std::numeric_limits<std::int32_t>::min());
    // A line is done with a column once an event of it lies past the column's end.
    std::array<std::array<bool, MAX_COLUMNS>, MINI_LINES> done{};
    std::size_t live = MINI_LINES * n;

    // Events before the first column only set lastStart, and a note begun before a column is
    // drawn from the cell's edge anyway, so the walk starts at the first column.
    const auto first =
        std::lower_bound(row.pos.begin(), row.pos.end(), columns[0].startTick) - row.pos.begin();
    for (auto i = static_cast<std::size_t>(first); i < row.pos.size() && live > 0; ++i) {
        const std::uint8_t kind = row.kind[i];
        if (kind != KIND_NOTE_ON && kind != KIND_NOTE_OFF)
            continue;
        const int line = stepOfValue(row.value[i]) - MINI_FIRST_STEP;
        if (line < 0 || line >= MINI_LINES)
            continue;
        const auto l = static_cast<std::size_t>(line);
        const std::int32_t tick = row.pos[i];
        if (kind == KIND_NOTE_ON)
            lastStart[l] = tick;
        for (std::size_t c = 0; c < n; ++c) {
            if (done[l][c])
                continue;
            const MiniColumn& col = columns[c];
            const std::int32_t end = col.startTick + col.ticks;
            if (kind == KIND_NOTE_ON) {
                if (tick >= col.startTick && tick < end)
                    out.push_back({col.x + 1 + (tick - col.startTick), 0, line, true});
            } else if (tick > col.startTick) {
                const std::int32_t s = lastStart[l];
                const int x0 = s < col.startTick ? col.x + 1 : col.x + 2 + (s - col.startTick);
                const int x1 = col.x + 1 + (std::min(tick, end) - col.startTick);
                if (x1 > x0)
                    out.push_back({x0, x1, line, false});
            }
            if (kind == KIND_NOTE_ON ? tick >= end : tick > end) {
                done[l][c] = true;
                --live;
            }
        }
    }
    // Marks are drawn line by line, top line first, and in event order within a line: several
    // lines share a pixel row of the cell, and a later line's mark covers an earlier one's.
    std::stable_sort(out.begin() + static_cast<std::ptrdiff_t>(firstMark), out.end(),
                     [](const MiniMark& a, const MiniMark& b) { return a.line < b.line; });
}

} // namespace pokopen
