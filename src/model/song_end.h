#pragma once

#include "model/edit_state.h"
#include "model/song.h"

namespace pokopen {

// The 0-based measure of the song's latest event. Sets lastEventRow and lastEventKind to the
// row and kind of that event (the earliest row wins a tie); when every row ends at tick 0,
// returns 0 and leaves both unchanged.
std::int32_t findSongEnd(const Song& song, EditState& state);

} // namespace pokopen
