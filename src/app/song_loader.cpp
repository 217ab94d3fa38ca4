#include "app/song_loader.h"

#include "app/any_song_file.h"

namespace pokopen {

bool loadSongForCli(const std::string& path, Song& song, std::ostream& err, const MidiImportOptions& midi) {
    const SongLoadResult r = loadAnySongFile(path, song, midi);
    if (r.ok()) {
        if (r.file.repaired)
            err << "pokopen-cli: " << path << ": events out of order or past the end were put right\n";
        for (const ReportLine& line : r.report)
            err << "pokopen-cli: " << path << ": " << line.english << "\n";
        return true;
    }
    err << "pokopen-cli: " << path;
    if (r.file.line > 0)
        err << ":" << r.file.line;
    if (r.kind == SongFileKind::Midi && r.file.error == FileError::Malformed)
        err << ": byte " << r.byteOffset;
    err << ": " << r.file.message << "\n";
    return false;
}

} // namespace pokopen
