#pragma once

#include "model/song.h"

#include <cstdint>

namespace pokopen {

// The song's latest event: its 0-based measure and the row and kind of that event (the earliest
// row wins a tie). When every row ends at tick 0 the measure is 0 and there is no event.
struct SongEnd {
    std::int32_t measure = 0;
    bool found = false;
    int row = 0;
    std::uint8_t kind = 0;
};
SongEnd findSongEnd(const Song& song);

} // namespace pokopen
