#pragma once

#include "model/file_fingerprint.h"
#include "model/song.h"
#include "model/song_file.h"

#include <QDateTime>

#include <optional>
#include <string>
#include <string_view>

// The autosave file: one text file that holds the song's `.kn2` text and, before it, what is
// needed to give the song back as it was: its file path, its title and the time of the autosave.
//
//   line 1  "POKOPEN-AUTOSAVE 1"
//   line 2  a one-line JSON object: {"path": ..., "title": ..., "time": ISO 8601 UTC, "bytes": N},
//           and, when the song's file was known, "fileSize", "fileTime" and "fileHash" (what the
//           file looked like when the program last read or wrote it; times and hash as text)
//   then    exactly N bytes of `.kn2` text
//
// Song and description are one file, replaced as a whole, so they can never disagree. The byte
// count makes a file cut short (a full disk, a crash of the machine) a damaged file instead of a
// shorter song.
namespace pokopen {

struct RecoveryInfo {
    std::string filePath;                                          // UTF-8; empty for a song never saved
    std::string fileTitle;                                         // UTF-8; "Notitle" for a song never saved
    QDateTime time;                                                // when the song was taken for the autosave
    std::optional<FileFingerprint> fileFingerprint = std::nullopt; // the song's file as last read or written

    friend bool operator==(const RecoveryInfo&, const RecoveryInfo&) = default;
};

std::string serializeRecovery(const RecoveryInfo& info, const Song& song);

// Reads an autosave file. On failure `info` and `song` are left as they were, and the result
// names the line as the song reader does (lines counted in the autosave file).
FileResult parseRecovery(std::string_view bytes, RecoveryInfo& info, Song& song);

} // namespace pokopen
