#pragma once

#include "model/song.h"

namespace pokopen {

// Resets one part's settings and row (part 0..15), or all 16 parts for part -1.
void resetPart(Song& song, int part);
// Rebuilds the tempo and signature rows with 120 bpm, C major and 4/4 at the start.
void resetConductorRows(Song& song);
// The song data of an empty song: initial events of all 18 rows and default settings.
// (The view reset that goes with it belongs to the main window.)
void newSong(Song& song);
Song makeNewSong();

} // namespace pokopen
