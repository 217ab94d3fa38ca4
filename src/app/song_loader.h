#pragma once

#include "midifile/smf_import.h"
#include "model/song.h"

#include <ostream>
#include <string>

namespace pokopen {

// Loads a song for the command-line tool and the renderer, reporting a failure on `err` as
// "pokopen-cli: FILE[:LINE]: what" and what an import adapted one line each, in English.
bool loadSongForCli(const std::string& path, Song& song, std::ostream& err,
                    const MidiImportOptions& midi = {});

} // namespace pokopen
