#pragma once

#include "model/song.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Opening a Standard MIDI File as a song: channel n becomes part n, every note lands on a step of
// the staff with the accidental a musician would write in the key in force, on the song's grid of
// 96 ticks a whole note. What has no place in a song is dropped and counted in a report.
namespace pokopen {

struct MidiImportResult {
    bool ok = false;
    std::size_t offset = 0; // where a refused file is damaged
    std::string message;    // why it was refused
    // What had to be adapted, one line (UTF-8) for each kind with its count; empty when the
    // file was taken over exactly, as every file the program writes is.
    std::vector<std::string> report;
};

// Reads format 0 and 1 files with any number of ticks per quarter note; format 2 and SMPTE time
// are refused. The program's own lead-in (a quarter note of 0.25 seconds up to the text "Start",
// with the system setup, volume, pan, expression and program of each part) is recognised and
// removed, so that the file the song writes again is the same file. On failure `out` is left
// as it was. Memory stays within a small multiple of the file's size, whatever the file claims.
MidiImportResult importMidiFile(const std::uint8_t* data, std::size_t size, Song& out);
inline MidiImportResult importMidiFile(const std::vector<std::uint8_t>& bytes, Song& out) {
    return importMidiFile(bytes.data(), bytes.size(), out);
}

} // namespace pokopen
