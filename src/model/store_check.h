#pragma once

#include "model/song.h"

#include <string>

namespace pokopen {

// Checks the rules every editing operation keeps: rows sorted; at one tick note-offs, then
// curve points, then note-ons; kinds in their rows; every note-on closed by a later note-off of
// its value and no note-off without one; no two notes of one value overlapping in a part; key
// and meter at measure 0; positions inside the song. Returns an empty string when all hold,
// otherwise a description of the first broken rule.
std::string checkStore(const Song& song);

} // namespace pokopen
