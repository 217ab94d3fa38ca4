#pragma once

#include "model/edit_state.h"
#include "model/song.h"
#include "score/palette_state.h"

namespace pokopen {

// What every window shares: the song, the editing state and the palette's choices.
// The main window owns the one session; other windows get a reference to it.
struct SongSession {
    Song song;
    EditState state;
    PaletteState palette;
};

} // namespace pokopen
