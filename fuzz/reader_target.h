#pragma once

#include "midifile/midi_file.h"
#include "model/song_file.h"

#include <cstdlib>

// Any input must either be refused or give a song that writes and reads back as itself.
inline int fuzzReader(const std::uint8_t* data, std::size_t size,
                      pokopen::FileResult (*parse)(std::string_view, pokopen::Song&)) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    pokopen::Song song;
    if (!parse(bytes, song).ok())
        return 0;
    (void)pokopen::buildMidiFile(song, false);
    pokopen::Song back;
    if (!pokopen::parseKn2(pokopen::serializeKn2(song), back).ok() || !(back == song))
        std::abort();
    return 0;
}
