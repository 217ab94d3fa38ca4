#pragma once

#include "midifile/smf_import.h"
#include "model/import_report.h"
#include "model/song.h"
#include "model/song_file.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One way in for every file the program opens as a song: `.kn2`, `.knb`, Standard MIDI Files
// (`.mid`, `.midi`) and MusicXML (`.musicxml`, `.xml`, `.mxl`), chosen by the extension in any
// letter case. Any other extension is refused.
namespace pokopen {

enum class SongFileKind { Kn2, Knb, Midi, MusicXml, Unknown };

SongFileKind songFileKindOfPath(std::string_view path);
// True for the extensions (without the dot) that the program opens.
bool isSongFileSuffix(std::string_view suffix);
// The extensions the program opens, as a refusal names them: ".kn2, .knb, ...".
extern const char* const READABLE_EXTENSIONS;

struct SongLoadResult {
    FileResult file; // as the readers report it (line 0 for a MIDI file)
    SongFileKind kind = SongFileKind::Kn2;
    std::size_t byteOffset = 0; // a damaged MIDI file: where the damage is
    // What an import adapted; empty for song files and exact imports.
    ImportReport report;

    bool ok() const { return file.ok(); }
    // An imported file becomes a new, unsaved song; a converted or repaired song differs from its file.
    bool differsFromFile() const { return kind != SongFileKind::Kn2 || file.repaired; }
    bool imported() const { return kind == SongFileKind::Midi || kind == SongFileKind::MusicXml; }
};

// Reads the file with the reader its extension selects (`midi` for a MIDI file). On failure
// `out` is untouched.
SongLoadResult loadAnySongFile(const std::string& path, Song& out, const MidiImportOptions& midi = {});

} // namespace pokopen
