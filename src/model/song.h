#pragma once

#include "model/event_store.h"

#include <array>
#include <cstdint>
#include <string>

namespace pokopen {

// The whole song as it is saved: the store plus the song-level settings.
// Texts are kept as the bytes of the file (Shift-JIS); only windows decode them.
struct Song {
    EventStore store;
    std::string songTitle;
    std::string songCopyright;
    std::array<std::int32_t, PART_ROWS> partInstrument{};
    std::array<std::int32_t, PART_ROWS> partVolume{};
    std::array<std::int32_t, PART_ROWS> partTransposition{};

    EventRow& row(int r) { return store[r]; }
    const EventRow& row(int r) const { return store[r]; }

    friend bool operator==(const Song&, const Song&) = default;
};

// Shift-JIS bytes of the texts a new song starts with.
extern const std::string NEW_SONG_TITLE;     // "無題"
extern const std::string NEW_SONG_COPYRIGHT; // "Copyright by ?"

} // namespace pokopen
