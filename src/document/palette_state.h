#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pokopen {

// The note palette's choices, read by note entry: the length of an entered note and an optional
// accidental.
struct PaletteState {
    std::int32_t noteLength = 24;                // ticks (whole note 96)
    std::int32_t noteLengthTerms = 1;            // length buttons combined so far, 1..8
    std::string noteLengthText = "\xEF\xBC\x94"; // "４" (UTF-8; the palette shows it)
    bool accidentalSet = false;
    std::int8_t accidental = 0; // -2 double flat .. +2 double sharp, when set
    int lastTerm = 2;           // NoteValue of the last length button used (a dot adds the next shorter)
};

// The six standard note values of the length buttons, longest first.
enum class NoteValue { Whole, Half, Quarter, Eighth, Sixteenth, ThirtySecond };

struct NoteValueInfo {
    std::int32_t ticks;
    std::string_view text; // UTF-8, as the length label shows it
};

// Ticks and label text of each NoteValue, in enum order. The digits of the half, quarter and
// eighth are full-width; those of the sixteenth and 32nd are ASCII.
inline constexpr std::array<NoteValueInfo, 6> NOTE_VALUES = {{
    {96, "\xE5\x85\xA8"}, // "全"
    {48, "\xEF\xBC\x92"}, // "２"
    {24, "\xEF\xBC\x94"}, // "４"
    {12, "\xEF\xBC\x98"}, // "８"
    {6, "16"},
    {3, "32"},
}};

// A length is one set followed by at most seven additions or subtractions.
inline constexpr std::int32_t MAX_NOTE_LENGTH_TERMS = 8;

inline constexpr std::int8_t ACCIDENTAL_MIN = -2;
inline constexpr std::int8_t ACCIDENTAL_MAX = 2;

// Starts a new length of one note value.
void setNoteLength(PaletteState& palette, NoteValue value);
// Adds a note value to the length; refused (false, nothing changed) once eight terms are used.
bool addNoteLength(PaletteState& palette, NoteValue value);
// Subtracts a note value from the length; refused (false, nothing changed) once eight terms are
// used or when the length would drop to zero or below.
bool subtractNoteLength(PaletteState& palette, NoteValue value);

// Adds the next shorter note value than the last one used, as a dot does: a quarter becomes
// "４+８", then "+16". Refused after the 32nd and once eight terms are used.
bool addDot(PaletteState& palette);

// Chooses an absolute accidental, -2..+2; a value outside that range is refused.
bool chooseAccidental(PaletteState& palette, std::int8_t accidental);
// Clears the accidental choice; the last value stays in `accidental` but is not in force.
void cancelAccidental(PaletteState& palette);

} // namespace pokopen
