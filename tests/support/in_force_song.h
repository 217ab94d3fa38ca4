#pragma once

#include "model/new_song.h"
#include "model/timeline.h"
#include "support/song_builders.h"

#include <random>

namespace pokopen::testing {

// A song to start playing at measure m: meters, tempo, dynamics and pan change before that
// measure and on its first tick, every part has its own instrument and volume, some notes
// sound across the start, every part has a note on the first tick, part 1 another a quarter
// later, and the next changes come two quarter notes after the start.
inline Song songWithChangesBefore(std::mt19937& rng, std::int32_t m) {
    Song song = makeNewSong();
    for (int i = 0; i < 3; ++i)
        setSignature(song, KIND_METER, static_cast<std::int32_t>(rng() % static_cast<unsigned>(m)),
                     rng() % 2 ? 0x32 : 0x63);
    const std::int32_t start = measureToTick(song.store, m);
    const auto before = [&rng, start] {
        return static_cast<std::int32_t>(rng() % static_cast<unsigned>(start));
    };
    for (int i = 0; i < 4; ++i)
        addPoint(song, TEMPO_ROW, before(), KIND_TEMPO, static_cast<std::uint8_t>(30 + rng() % 220));
    addPoint(song, TEMPO_ROW, start, KIND_TEMPO, static_cast<std::uint8_t>(30 + rng() % 220));
    for (int c = 0; c < PART_ROWS; ++c) {
        const auto part = static_cast<std::size_t>(c);
        song.partInstrument[part] = c == PERCUSSION_PART ? 0 : static_cast<std::int32_t>(rng() % 128);
        song.partVolume[part] = static_cast<std::int32_t>(rng() % 128);
        for (int i = 0; i < 6; ++i)
            addPoint(song, c, i == 0 ? start : before(), rng() % 2 ? KIND_DYNAMICS : KIND_PAN,
                     static_cast<std::uint8_t>(rng() % 128));
        addNote(song, c, start - 30, 40, 40); // sounding across the start
        addNote(song, c, start, 24, static_cast<std::uint8_t>(20 + c));
        addPoint(song, c, start + 48, KIND_DYNAMICS, 1);
        addPoint(song, c, start + 48, KIND_PAN, 1);
    }
    addNote(song, 0, start + 24, 24, 20);
    return song;
}

} // namespace pokopen::testing
