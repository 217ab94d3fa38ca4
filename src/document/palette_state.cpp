#include "document/palette_state.h"

namespace pokopen {

namespace {

const NoteValueInfo& info(NoteValue value) {
    return NOTE_VALUES[static_cast<std::size_t>(value)];
}

} // namespace

void setNoteLength(PaletteState& palette, NoteValue value) {
    const NoteValueInfo& v = info(value);
    palette.noteLength = v.ticks;
    palette.noteLengthTerms = 1;
    palette.noteLengthText = v.text;
    palette.lastTerm = static_cast<int>(value);
}

bool addNoteLength(PaletteState& palette, NoteValue value) {
    if (palette.noteLengthTerms >= MAX_NOTE_LENGTH_TERMS)
        return false;
    const NoteValueInfo& v = info(value);
    palette.noteLength += v.ticks;
    palette.noteLengthTerms += 1;
    palette.noteLengthText += '+';
    palette.noteLengthText += v.text;
    palette.lastTerm = static_cast<int>(value);
    return true;
}

bool subtractNoteLength(PaletteState& palette, NoteValue value) {
    const NoteValueInfo& v = info(value);
    if (palette.noteLengthTerms >= MAX_NOTE_LENGTH_TERMS || palette.noteLength - v.ticks <= 0)
        return false;
    palette.noteLength -= v.ticks;
    palette.noteLengthTerms += 1;
    palette.noteLengthText += '-';
    palette.noteLengthText += v.text;
    palette.lastTerm = static_cast<int>(value);
    return true;
}

bool addDot(PaletteState& palette) {
    if (palette.lastTerm >= static_cast<int>(NoteValue::ThirtySecond))
        return false;
    return addNoteLength(palette, static_cast<NoteValue>(palette.lastTerm + 1));
}

bool chooseAccidental(PaletteState& palette, std::int8_t accidental) {
    if (accidental < ACCIDENTAL_MIN || accidental > ACCIDENTAL_MAX)
        return false;
    palette.accidentalSet = true;
    palette.accidental = accidental;
    return true;
}

void cancelAccidental(PaletteState& palette) {
    palette.accidentalSet = false;
}

} // namespace pokopen
