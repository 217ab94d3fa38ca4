#pragma once

#include "model/import_report.h"
#include "model/song.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Opening a Standard MIDI File as a song: channel n becomes part n, every note lands on a step of
// the staff with the accidental a musician would write in the key in force, on a grid of the
// song's 96 ticks a whole note or a coarser one. What has no place in a song is dropped and
// counted in a report.
namespace pokopen {

// The grid the notes of a file are put on. `Auto` picks, per file, the coarsest grid on which
// every onset lies within a quarter of a step; `Exact` is the song's own grid of 96 a whole note.
enum class MidiGrid { Auto, Eighth, EighthTriplet, Sixteenth, SixteenthTriplet, ThirtySecond, Exact };

// Its length in ticks (96 a whole note); 0 for Auto.
int gridStep(MidiGrid grid);
// The grids as the command line names them: auto, 8, 8t, 16, 16t, 32, 96.
std::optional<MidiGrid> gridOfName(std::string_view name);

struct MidiImportOptions {
    MidiGrid grid = MidiGrid::Auto;
    // Notes played rather than written: ends go to the grid as well, and an end within a quarter
    // of a step of the part's next onset becomes legato to it. Off, ends keep their played time.
    bool tidyPlaying = true;
};

struct MidiImportResult {
    bool ok = false;
    std::size_t offset = 0; // where a refused file is damaged
    std::string message;    // why it was refused (Japanese)
    std::string english;    // the same in English
    // What had to be adapted; empty when the file was taken over exactly, as every file the
    // program writes is.
    ImportReport report;
    MidiGrid grid = MidiGrid::Exact; // the grid the notes were put on
};

// Reads format 0 and 1 files with any number of ticks per quarter note; format 2 and SMPTE time
// are refused. The program's own lead-in (a quarter note of 0.25 seconds up to the text "Start",
// with the system setup, volume, pan, expression and program of each part) is recognised and
// removed, and such a file is read on the exact grid whatever `options` say, so that the file
// the song writes again is the same file. On failure `out` is left as it was. Memory stays
// within a small multiple of the file's size, whatever the file claims.
MidiImportResult importMidiFile(const std::uint8_t* data, std::size_t size, Song& out,
                                const MidiImportOptions& options = {});
inline MidiImportResult importMidiFile(const std::vector<std::uint8_t>& bytes, Song& out,
                                       const MidiImportOptions& options = {}) {
    return importMidiFile(bytes.data(), bytes.size(), out, options);
}

} // namespace pokopen
