#include "midi/any_song_file.h"

#include "midi/smf_import.h"

#include <algorithm>
#include <cctype>

namespace pokopen {

namespace {
std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}
} // namespace

SongFileKind songFileKindOfPath(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
        const std::string ext = lower(path.substr(dot + 1));
        if (ext == "mid" || ext == "midi")
            return SongFileKind::Midi;
    }
    return formatOfPath(path) == SongFormat::Kn2 ? SongFileKind::Kn2 : SongFileKind::Knb;
}

bool isSongFileSuffix(std::string_view suffix) {
    const std::string ext = lower(suffix);
    return ext == "kn2" || ext == "knb" || ext == "mid" || ext == "midi";
}

SongLoadResult loadAnySongFile(const std::string& path, Song& out) {
    SongLoadResult r;
    r.kind = songFileKindOfPath(path);
    if (r.kind != SongFileKind::Midi) {
        r.file = loadSongFile(path, out);
        return r;
    }
    std::string bytes;
    if (!readWholeFile(path, bytes)) {
        r.file = {FileError::CannotOpen, 0, "cannot be opened", false, "開けません"};
        return r;
    }
    const MidiImportResult m =
        importMidiFile(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), out);
    if (!m.ok) {
        r.file = {FileError::Malformed, 0, m.message, false, m.message}; // the import speaks Japanese
        r.byteOffset = m.offset;
        return r;
    }
    r.report = m.report;
    return r;
}

} // namespace pokopen
