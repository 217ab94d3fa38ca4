#include "model/song_end.h"

#include "model/timeline.h"

namespace pokopen {

SongEnd findSongEnd(const Song& song) {
    std::int32_t bestTick = 0;
    int bestRow = -1;
    for (int r = 0; r < ROW_COUNT; ++r) {
        const EventRow& row = song.row(r);
        if (row.empty())
            continue;
        const std::int32_t last = row.pos.back();
        const std::int32_t tick = r == SIGNATURE_ROW ? measureToTick(song.store, last) : last;
        if (tick > bestTick) {
            bestTick = tick;
            bestRow = r;
        }
    }
    if (bestRow < 0)
        return {};
    const EventRow& row = song.row(bestRow);
    const std::int32_t measure =
        bestRow == SIGNATURE_ROW ? row.pos.back() : tickToMeasure(song.store, bestTick);
    return {measure, true, bestRow, row.kind.back()};
}

} // namespace pokopen
