#include "model/file_fingerprint.h"

#include "model/song_file.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace pokopen {

namespace {

// Size and modification time, or nothing when the file is not there.
std::optional<FileFingerprint> statOf(const std::string& path) {
    std::error_code error;
    const std::filesystem::path p(path);
    const auto size = std::filesystem::file_size(p, error);
    if (error)
        return std::nullopt;
    const auto time = std::filesystem::last_write_time(p, error);
    if (error)
        return std::nullopt;
    FileFingerprint f;
    f.size = static_cast<std::int64_t>(size);
    f.modifiedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
    return f;
}

} // namespace

std::uint64_t contentHash(std::string_view bytes) {
    std::uint64_t h = 14695981039346656037ULL;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ULL;
    }
    return h;
}

std::optional<FileFingerprint> fingerprintOfFile(const std::string& path) {
    std::optional<FileFingerprint> f = statOf(path);
    std::string bytes;
    if (!f || !readWholeFile(path, bytes))
        return std::nullopt;
    f->size = static_cast<std::int64_t>(bytes.size());
    f->hash = contentHash(bytes);
    return f;
}

std::optional<FileFingerprint> fingerprintOfWritten(const std::string& path, std::string_view bytes) {
    std::optional<FileFingerprint> f = statOf(path);
    if (f)
        f->hash = contentHash(bytes);
    return f;
}

bool fileChangedSince(const std::string& path, const FileFingerprint& known) {
    const std::optional<FileFingerprint> now = statOf(path);
    if (!now)
        return false;
    if (now->size != known.size)
        return true;
    if (now->modifiedNs == known.modifiedNs)
        return false;
    std::string bytes;
    return !readWholeFile(path, bytes) || contentHash(bytes) != known.hash;
}

} // namespace pokopen
