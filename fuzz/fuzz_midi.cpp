#include "midifile/midi_file.h"
#include "midifile/smf_import.h"
#include "midifile/smf_reader.h"
#include "model/song_file.h"
#include "model/store_check.h"

#include <cstdlib>
#include <vector>

// Any input must be refused or give a sound song that writes and reads back as itself; the
// player's reader, which shares the event reader, must not crash on it either.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    pokopen::SmfSequence sequence;
    (void)pokopen::parseSmf(bytes, sequence);

    pokopen::Song song;
    if (!pokopen::importMidiFile(bytes, song).ok)
        return 0;
    if (!pokopen::checkStore(song).empty())
        std::abort();
    const std::vector<std::uint8_t> written = pokopen::buildMidiFile(song, false);
    pokopen::Song back;
    if (!pokopen::parseKn2(pokopen::serializeKn2(song), back).ok() || !(back == song))
        std::abort();
    // What the import made writes a file that imports exactly.
    pokopen::Song again;
    const pokopen::MidiImportResult r = pokopen::importMidiFile(written, again);
    if (!r.ok || !pokopen::checkStore(again).empty())
        std::abort();
    return 0;
}
