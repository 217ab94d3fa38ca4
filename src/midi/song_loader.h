#pragma once

#include "model/song.h"

#include <ostream>
#include <string>

namespace pokopen {

// Loads a song for the command-line tool and the renderer, reporting a failure on `err` as
// "pokopen-cli: FILE[:LINE]: what".
bool loadSongForCli(const std::string& path, Song& song, std::ostream& err);

} // namespace pokopen
