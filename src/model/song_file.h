#pragma once

#include "model/song.h"

#include <string>
#include <string_view>

// The song files: `.kn2` (read and written) and the previous generation's `.knb` (read and
// converted). Texts keep their bytes; lines end in CR LF when written, CR LF, LF or CR when read.
namespace pokopen {

enum class SongFormat { Kn2, Knb };

// The reader is chosen by the extension alone, compared in lower case: ".kn2" or else ".knb".
SongFormat formatOfPath(std::string_view path);

enum class FileError {
    None,
    CannotOpen,   // missing, unreadable
    CannotCreate, // cannot be written
    Malformed,    // content that no song file holds; `line` says where
};

struct FileResult {
    FileError error = FileError::None;
    int line = 0;          // 1-based line of malformed content, 0 when not about a line
    std::string message;   // what is wrong, in a few words
    bool repaired = false; // the file was read, but rows had to be put in order or clipped
    // `message` in Japanese (UTF-8), for the windows. Neither quotes bytes of the file that are
    // not printable text.
    std::string japanese;

    bool ok() const { return error == FileError::None; }
};

// Parses the bytes of a song file. On failure `out` is left as it was.
FileResult parseKn2(std::string_view bytes, Song& out);
FileResult parseKnb(std::string_view bytes, Song& out);

// The `.kn2` text of a song.
std::string serializeKn2(const Song& song);

// Reads the file at `path` with the reader its extension selects. On failure `out` is untouched.
FileResult loadSongFile(const std::string& path, Song& out, SongFormat* format = nullptr);
// Writes `song` as `.kn2` to `path` atomically: the old file is replaced only after the new
// one is completely written, so a failed save leaves it as it was.
FileResult saveSongFile(const std::string& path, const Song& song);

// Writes bytes to `path` atomically (shared by the song and MIDI writers).
bool writeFileAtomically(const std::string& path, std::string_view bytes);
// Reads a whole file; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes);

} // namespace pokopen
