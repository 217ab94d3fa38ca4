#pragma once

#include <cstdint>
#include <string>

namespace pokopen {

// The note palette's choices, read by note entry: the length of an entered note and an optional
// accidental.
struct PaletteState {
    std::int32_t noteLength = 24;                // ticks (whole note 96)
    std::int32_t noteLengthTerms = 1;            // length buttons combined so far, 1..8
    std::string noteLengthText = "\xEF\xBC\x94"; // "４" (UTF-8; the palette shows it)
    bool accidentalSet = false;
    std::int8_t accidental = 0; // -2 double flat .. +2 double sharp, when set
};

} // namespace pokopen
