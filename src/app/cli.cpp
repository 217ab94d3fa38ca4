#include "app/cli.h"

#include "app/any_song_file.h"
#include "app/song_loader.h"
#include "app/version.h"
#include "document/editing.h"
#include "midifile/midi_file.h"
#include "model/song_end.h"
#include "model/song_file.h"
#include "model/text_codec.h"
#include "notation/musicxml_writer.h"

#include <algorithm>

namespace pokopen {

namespace {

constexpr const char* USAGE =
    "usage: pokopen-cli info SONG\n"
    "       pokopen-cli convert [--grid auto|8|8t|16|16t|32|96] SONG OUT.kn2\n"
    "       pokopen-cli export-midi [--fm] SONG OUT.mid\n"
    "       pokopen-cli render [--soundfont SF2] [--rate HZ] [--no-normalize] [--mute PARTS]\n"
    "                          [--solo PARTS] [--tempo PERCENT] [--from M] [--to M] SONG OUT.wav\n"
    "       pokopen-cli export-musicxml SONG OUT.musicxml\n"
    "       pokopen-cli --help | --version\n"
    "SONG is a .kn2, .knb, .mid, .midi, .musicxml, .xml or .mxl file; --grid is the grid\n"
    "a MIDI file's notes are put on (auto: the coarsest its onsets lie on; 96: exact).\n";

int usage(std::ostream& err) {
    err << USAGE;
    return 2;
}

} // namespace

namespace {

bool load(const std::string& path, Song& song, std::ostream& err, const MidiImportOptions& midi = {}) {
    return loadSongForCli(path, song, err, midi);
}

int info(const std::string& path, std::ostream& out, std::ostream& err) {
    Song song;
    if (!load(path, song, err))
        return 1;
    // A note that runs to the very end of the song stops at the start of measure 1001, which
    // does not exist: the song ends in the last measure, as jump to end shows it.
    const std::int32_t end = std::min(findSongEnd(song).measure, MAX_MEASURES - 1);
    out << "title: " << decodeSongText(song.songTitle).toStdString() << "\n";
    out << "copyright: " << decodeSongText(song.songCopyright).toStdString() << "\n";
    const SongFileKind kind = songFileKindOfPath(path);
    out << "format: "
        << (kind == SongFileKind::Kn2        ? "kn2"
            : kind == SongFileKind::Knb      ? "knb"
            : kind == SongFileKind::MusicXml ? "musicxml"
                                             : "mid")
        << "\n";
    out << "rows:";
    for (const EventRow& row : song.store.rowList())
        out << " " << row.count();
    out << "\n";
    out << "end: measure " << end + 1 << "\n";
    return 0;
}

int convert(const std::string& in, const std::string& outPath, const MidiImportOptions& midi,
            std::ostream& err) {
    Song song;
    if (!load(in, song, err, midi))
        return 1;
    if (!saveSongFile(outPath, song).ok()) {
        err << "pokopen-cli: " << outPath << ": cannot be created\n";
        return 1;
    }
    return 0;
}

int exportMidi(const std::string& in, const std::string& outPath, bool fm, std::ostream& err) {
    Song song;
    if (!load(in, song, err))
        return 1;
    if (!writeMidiFile(outPath, song, fm)) {
        err << "pokopen-cli: " << outPath << ": cannot be created\n";
        return 1;
    }
    return 0;
}

int exportMusicXml(const std::string& in, const std::string& outPath, std::ostream& err) {
    Song song;
    if (!load(in, song, err))
        return 1;
    if (!writeMusicXmlFile(outPath, song)) {
        err << "pokopen-cli: " << outPath << ": cannot be created\n";
        return 1;
    }
    return 0;
}

} // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliCommand& render) {
    if (args.empty())
        return usage(err);
    const std::string& command = args[0];
    if (command == "info" && args.size() == 2)
        return info(args[1], out, err);
    if (command == "convert") {
        std::vector<std::string> rest(args.begin() + 1, args.end());
        MidiImportOptions midi;
        bool known = true;
        if (rest.size() >= 2 && rest[0] == "--grid") {
            const std::optional<MidiGrid> grid = gridOfName(rest[1]);
            known = grid.has_value();
            midi.grid = grid.value_or(MidiGrid::Auto);
            rest.erase(rest.begin(), rest.begin() + 2);
        }
        if (known && rest.size() == 2)
            return convert(rest[0], rest[1], midi, err);
    }
    if (command == "export-midi") {
        std::vector<std::string> rest(args.begin() + 1, args.end());
        bool fm = false;
        if (!rest.empty() && rest[0] == "--fm") {
            fm = true;
            rest.erase(rest.begin());
        }
        if (rest.size() == 2)
            return exportMidi(rest[0], rest[1], fm, err);
    }
    if (command == "export-musicxml" && args.size() == 3)
        return exportMusicXml(args[1], args[2], err);
    if (command == "render") {
        if (!render) {
            err << "pokopen-cli: render: this build has no synthesizer\n";
            return 1;
        }
        const int status = render(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
        if (status >= 0)
            return status;
    }
    if ((command == "--help" || command == "-h" || command == "help") && args.size() == 1) {
        out << USAGE;
        return 0;
    }
    if (command == "--version" && args.size() == 1) {
        out << "pokopen-cli " << POKOPEN_VERSION << "\n";
        return 0;
    }
    return usage(err);
}

} // namespace pokopen
