#pragma once

#include "model/song.h"

#include <cstdint>
#include <string>
#include <vector>

// The Standard MIDI File of a song: format 1, 18 tracks (conductor, system setup, parts 1..16),
// 480 ticks per quarter note, a quarter-note lead-in at 240 bpm before the song proper.
namespace pokopen {

// The file's ticks per quarter note, its ticks per store tick, and the lead-in before the song's
// first tick (one quarter note at 240 bpm).
inline constexpr std::uint32_t FILE_DIVISION = 480;
inline constexpr std::uint32_t FILE_TICKS_PER_TICK = 20;
inline constexpr std::uint32_t LEAD_IN = 480;
inline constexpr std::uint32_t LEAD_IN_US_PER_QUARTER = 250000;

// The whole file. fmMode writes dynamics as channel volume (controller 7) instead of expression.
std::vector<std::uint8_t> buildMidiFile(const Song& song, bool fmMode);

// Writes the file atomically; false when it cannot be created or written.
bool writeMidiFile(const std::string& path, const Song& song, bool fmMode);

// Tempo meta value (microseconds per quarter note) of a tempo in quarter notes per minute.
// Tempi below 4 bpm do not fit three bytes; they are written as 4.
std::uint32_t microsecondsPerQuarter(int bpm);

// Cuts a Shift-JIS text to at most maxBytes without splitting a two-byte character.
std::string cutShiftJis(const std::string& text, std::size_t maxBytes);

} // namespace pokopen
