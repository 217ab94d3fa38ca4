#include "model/new_song.h"

#include "model/pitch.h"

namespace pokopen {

// "無題" in Shift-JIS.
const std::string NEW_SONG_TITLE = "\x96\xb3\x91\xe8";
const std::string NEW_SONG_COPYRIGHT = "Copyright by ?";

void resetPart(Song& song, int part) {
    if (part < 0) {
        for (int p = 0; p < PART_ROWS; ++p)
            resetPart(song, p);
        return;
    }
    const auto p = static_cast<std::size_t>(part);
    song.partInstrument[p] = 0;
    song.partVolume[p] = 100;
    song.partTransposition[p] = C_INSTRUMENT;
    song.row(part).assign({{0, KIND_DYNAMICS, 100, 0}, {0, KIND_PAN, 64, 0}});
}

void resetConductorRows(Song& song) {
    song.row(TEMPO_ROW).assign({{0, KIND_TEMPO, 120, 0}});
    song.row(SIGNATURE_ROW).assign({{0, KIND_KEY, KEY_C_MAJOR, 0}, {0, KIND_METER, METER_4_4, 0}});
}

void newSong(Song& song) {
    song.songTitle = NEW_SONG_TITLE;
    song.songCopyright = NEW_SONG_COPYRIGHT;
    resetPart(song, -1);
    resetConductorRows(song);
}

Song makeNewSong() {
    Song song;
    newSong(song);
    return song;
}

} // namespace pokopen
