#include "app/any_song_file.h"

#include "notation/musicxml_import.h"

#include <algorithm>
#include <cctype>

namespace pokopen {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string extensionOf(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    return lower(path.substr(dot + 1));
}

SongFileKind kindOfExtension(const std::string& ext) {
    if (ext == "kn2")
        return SongFileKind::Kn2;
    if (ext == "knb")
        return SongFileKind::Knb;
    if (ext == "mid" || ext == "midi")
        return SongFileKind::Midi;
    if (ext == "musicxml" || ext == "xml" || ext == "mxl")
        return SongFileKind::MusicXml;
    return SongFileKind::Unknown;
}

} // namespace

const char* const READABLE_EXTENSIONS = ".kn2, .knb, .mid, .midi, .musicxml, .xml, .mxl";

SongFileKind songFileKindOfPath(std::string_view path) {
    return kindOfExtension(extensionOf(path));
}

bool isSongFileSuffix(std::string_view suffix) {
    return kindOfExtension(lower(suffix)) != SongFileKind::Unknown;
}

SongLoadResult loadAnySongFile(const std::string& path, Song& out, const MidiImportOptions& midi) {
    SongLoadResult r;
    r.kind = songFileKindOfPath(path);
    switch (r.kind) {
    case SongFileKind::Kn2:
    case SongFileKind::Knb:
        r.file = loadSongFile(path, out);
        return r;
    case SongFileKind::Unknown:
        r.file = {FileError::Malformed, 0,
                  std::string("is of no type that can be read (") + READABLE_EXTENSIONS + ")", false,
                  std::string("読み込めない種類のファイルです（読み込めるのは ") + READABLE_EXTENSIONS +
                      "）"};
        return r;
    default:
        break;
    }
    if (r.kind == SongFileKind::MusicXml) {
        const MusicXmlImportResult x = importMusicXmlFile(path, out);
        if (!x.ok) {
            // An archive's fault names its entry; a document's, its line.
            const std::string where = x.entry.empty() ? "" : x.entry + ": ";
            r.file = {x.message == "cannot be opened" ? FileError::CannotOpen : FileError::Malformed, x.line,
                      where + x.message, false, where + x.japanese};
            return r;
        }
        r.report = x.report;
        return r;
    }
    std::string bytes;
    if (!readWholeFile(path, bytes)) {
        r.file = {FileError::CannotOpen, 0, "cannot be opened", false, "開けません"};
        return r;
    }
    const MidiImportResult m =
        importMidiFile(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), out, midi);
    if (!m.ok) {
        r.file = {FileError::Malformed, 0, m.english, false, m.message};
        r.byteOffset = m.offset;
        return r;
    }
    r.report = m.report;
    return r;
}

} // namespace pokopen
