#pragma once

#include "model/song.h"
#include "notation/musicxml_reader.h"

#include <string>
#include <vector>

// Songs and references shared by the MusicXML tests.
namespace pokopen::testing {

// A song of a few parts (sometimes the drum part, sometimes transposing instruments) with notes
// on every grid from 64th-note triplets to quarters, chords, overlaps, key, time and tempo
// changes. The same seed gives the same song.
Song randomScoreSong(unsigned seed);

// What the song sounds like, from its MIDI export: every note as part ("P1".."P16"), start
// and end in song ticks and MIDI key, sorted.
std::vector<ReadNote> soundingNotes(const Song& song);

// Checks `path` with xmllint against the MusicXML 4.0 schema beside the source tree. Returns
// an empty string when valid; `skipped` says why no check ran (no schema copy, no xmllint).
std::string schemaErrors(const std::string& path, std::string& skipped);

} // namespace pokopen::testing
