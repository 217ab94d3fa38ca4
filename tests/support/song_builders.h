#pragma once

#include "document/song_document.h"
#include "model/song.h"

#include <cstdint>

// Songs for tests and benchmarks, built straight into the store.
namespace pokopen::testing {

// Inserts a note the way note entry orders it: the note-on after every event at its tick,
// the note-off before every event at its tick.
void addNote(Song& song, int part, std::int32_t start, std::int32_t length, std::uint8_t value,
             std::int8_t extra = 0);
// Inserts a signature of `kind` at `measure`, replacing one of that kind already there.
void setSignature(Song& song, std::uint8_t kind, std::int32_t measure, std::uint8_t value);

// 16 parts x 1000 measures of 4/4 filled with 32nd notes, plus a dynamics and a pan point
// per measure and part: about 1,024,000 note events.
Song makeStressSong();

} // namespace pokopen::testing
