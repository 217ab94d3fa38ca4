#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pokopen {

// What a song file looked like when the program last read or wrote it, so that a save notices a
// change another program made meanwhile.
struct FileFingerprint {
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0; // the file's modification time, nanoseconds of the file clock
    std::uint64_t hash = 0;      // contentHash of the bytes

    friend bool operator==(const FileFingerprint&, const FileFingerprint&) = default;
};

// A 64-bit FNV-1a hash: the same for the same bytes in every run, as autosave files keep it.
std::uint64_t contentHash(std::string_view bytes);

// The fingerprint of the file at `path` as it is now; nothing when it cannot be read.
std::optional<FileFingerprint> fingerprintOfFile(const std::string& path);
// The fingerprint of a file just written with `bytes` (its time read from the file system).
std::optional<FileFingerprint> fingerprintOfWritten(const std::string& path, std::string_view bytes);

// True when the file at `path` holds other bytes than the ones `known` describes. A file of the
// same size and time is taken as unchanged without reading it; one touched but holding the same
// bytes is unchanged. A file that is gone holds nothing to lose: not changed.
bool fileChangedSince(const std::string& path, const FileFingerprint& known);

} // namespace pokopen
