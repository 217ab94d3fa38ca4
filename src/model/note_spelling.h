#pragma once

#include <array>
#include <cstdint>

// How a MIDI key is written on the staff in a key: the staff step (stored value) and the
// note-on's `extra`, for the MIDI file import.
namespace pokopen {

struct Spelling {
    std::uint8_t value;
    std::int8_t extra;
    int rank; // lower is what a musician would rather write
};

struct Spellings {
    std::array<Spelling, 8> items{};
    int count = 0;
};

// Every way to write MIDI key `key` in key byte `keyByte` with at most a double accidental, best
// first: scale notes plain, the raised sixth and seventh of minor keys as raised degrees, white
// keys outside the scale as naturals, black keys sharp in sharp keys and C major, flat in flat
// keys; then the rest, single accidentals first and a white key's enharmonics (B sharp for C)
// last.
Spellings spellingsOf(int key, int keyByte);

// The `choice`-th spelling (0 the best) of `key` in `keyByte`; false when there are no more.
bool spellNote(int key, int keyByte, int choice, std::uint8_t& value, std::int8_t& extra);

} // namespace pokopen
