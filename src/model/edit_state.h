#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pokopen {

// A note of the current part, named by its note-on tick and stored value (no two notes of one
// value start at one tick).
struct NoteRef {
    std::int32_t pos = 0;
    std::uint8_t value = 0;
    friend bool operator==(const NoteRef&, const NoteRef&) = default;
};

// Editing state shared by the windows; not saved with the song.
struct EditState {
    std::int32_t currentPart = 0;    // 0..15
    std::int32_t currentMeasure = 0; // 0..999
    std::int32_t scoreView = 1;      // 0 high, 1 middle, 2 low
    std::uint8_t keyInForce = 14;
    std::uint8_t meterInForce = 0x42;
    bool tripletMode = false;
    bool fmMode = false;
    std::int32_t scoreMouseX = 0;
    std::int32_t scoreMouseY = 0;
    bool expDragging = false;
    bool tempoDragging = false;
    bool panDragging = false;
    std::int32_t lastEventRow = 0;
    std::uint8_t lastEventKind = 0;
    std::int32_t searchFrom = 0;
    std::int32_t caret = 0;         // tick where the keyboard enters the next note
    std::vector<NoteRef> selection; // the notes the arrow keys, Q/W and Delete act on
};

} // namespace pokopen
