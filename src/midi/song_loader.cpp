#include "midi/song_loader.h"

#include "model/song_file.h"

namespace pokopen {

bool loadSongForCli(const std::string& path, Song& song, std::ostream& err) {
    const FileResult r = loadSongFile(path, song);
    if (r.ok()) {
        if (r.repaired)
            err << "pokopen-cli: " << path << ": events out of order or past the end were put right\n";
        return true;
    }
    err << "pokopen-cli: " << path;
    if (r.line > 0)
        err << ":" << r.line;
    err << ": " << r.message << "\n";
    return false;
}

} // namespace pokopen
