#pragma once

#include "model/song.h"
#include "model/song_file.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One way in for every file the program opens as a song: `.kn2`, `.knb` and Standard MIDI Files
// (`.mid`, `.midi`), chosen by the extension in any letter case.
namespace pokopen {

enum class SongFileKind { Kn2, Knb, Midi };

// `.mid` and `.midi` are MIDI files; anything else goes by formatOfPath.
SongFileKind songFileKindOfPath(std::string_view path);
// True for the extensions (without the dot) that the program opens: kn2, knb, mid, midi.
bool isSongFileSuffix(std::string_view suffix);

struct SongLoadResult {
    FileResult file; // as the song readers report it (line 0 for a MIDI file)
    SongFileKind kind = SongFileKind::Kn2;
    std::size_t byteOffset = 0; // a damaged MIDI file: where the damage is
    // What a MIDI import adapted, one line each (UTF-8); empty for song files and exact imports.
    std::vector<std::string> report;

    bool ok() const { return file.ok(); }
    // A MIDI file becomes a new, unsaved song; a converted or repaired song differs from its file.
    bool differsFromFile() const { return kind != SongFileKind::Kn2 || file.repaired; }
};

// Reads the file with the reader its extension selects. On failure `out` is untouched.
SongLoadResult loadAnySongFile(const std::string& path, Song& out);

} // namespace pokopen
