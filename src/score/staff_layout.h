#pragma once

#include "document/editing.h"
#include "model/event_store.h"
#include "model/song.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// What the staff tab shows for one measure of one part, worked out from the store: the grid,
// the signatures, the drum names and every note bar, in pixels of the staff image. The window
// only paints these.
namespace pokopen {

// Geometry of the staff image.
inline constexpr int STAFF_IMAGE_WIDTH = 514;
inline constexpr int STAFF_IMAGE_HEIGHT = 288;
inline constexpr int STAFF_LEFT = 82; // x of the measure's first tick
inline constexpr int PIXELS_PER_TICK = 3;
inline constexpr int STEP_ROWS = 32; // staff step rows of an ordinary part
inline constexpr int STEP_ROW_HEIGHT = 9;
inline constexpr int DRUM_ROW_HEIGHT = 18;
inline constexpr int STAFF_LINE_COUNT = 16; // horizontal line i at y = 18 i + 4
inline constexpr int NOTE_BOX_WIDTH = 3;

// The accidental that marks a bar whose note began in an earlier measure.
inline constexpr int CONTINUED_NOTE = 127;

enum class StaffColour : std::uint8_t {
    White,
    Black,
    Silver,
    Gray,
    Navy,
    Blue,
    Fuchsia,
    Lime,
    Green,
    Yellow,
    Red,
    Maroon,
};

// 0xRRGGBB of a staff colour.
constexpr std::uint32_t rgbOf(StaffColour c) {
    switch (c) {
    case StaffColour::White:
        return 0xFFFFFF;
    case StaffColour::Black:
        return 0x000000;
    case StaffColour::Silver:
        return 0xC0C0C0;
    case StaffColour::Gray:
        return 0x808080;
    case StaffColour::Navy:
        return 0x000080;
    case StaffColour::Blue:
        return 0x0000FF;
    case StaffColour::Fuchsia:
        return 0xFF00FF;
    case StaffColour::Lime:
        return 0x00FF00;
    case StaffColour::Green:
        return 0x008000;
    case StaffColour::Yellow:
        return 0xFFFF00;
    case StaffColour::Red:
        return 0xFF0000;
    case StaffColour::Maroon:
        return 0x800000;
    }
    return 0x000000;
}

// Colour of a note bar on row m under written key byte k, for a note-on's extra `accidental`
// (or CONTINUED_NOTE): by the absolute written accidental, green for a natural against the key.
StaffColour noteColour(int k, int m, int accidental);

// x of tick t of the measure.
constexpr int tickX(std::int32_t t) {
    return STAFF_LEFT + PIXELS_PER_TICK * static_cast<int>(t);
}
// y of horizontal line i (0..15).
constexpr int lineY(int i) {
    return 18 * i + 4;
}
// Lines 3..7 and 9..13 are the two staves (3 px black); 0, 1, 2, 8, 14, 15 are guides.
constexpr bool isStaffLine(int i) {
    return (i >= 3 && i <= 7) || (i >= 9 && i <= 13);
}

struct GridLine {
    int x;
    StaffColour colour;
    friend bool operator==(const GridLine&, const GridLine&) = default;
};
// Vertical lines of a measure of `ticks` ticks and the given denominator: one per 3-tick column,
// or per 4-tick column in triplet mode, coloured by the beat they fall on.
std::vector<GridLine> gridLines(std::int32_t ticks, int denominator, bool triplet);

// A flat or sharp of the key signature, text top-left at (x, y).
struct SignatureGlyph {
    int x;
    int y;
    bool sharp;
    friend bool operator==(const SignatureGlyph&, const SignatureGlyph&) = default;
};
// The signature glyphs of written key byte k, treble and bass.
std::vector<SignatureGlyph> keySignatureGlyphs(int k);

// A filled rectangle of a note: a start box (3 px wide, black outline around the fill) or a
// bar, covering x left..right-1 and y top..top+height-1.
struct NoteMark {
    enum class Kind : std::uint8_t { StartBox, Bar };
    Kind kind;
    int row;
    int left;
    int right;
    int top;
    int height;
    StaffColour fill;
    bool selected = false; // a start box of a selected note: outlined in teal
    friend bool operator==(const NoteMark&, const NoteMark&) = default;
};

// Note marks of one part's row in the measure starting at tick `start`, `ticks` long.
// Staff view: a stored value v (v >= 128 read as v - 252) is on row v - base, rows 0..31,
// coloured by noteColour under written key `key`. Marks come in row-scan order, so overlapping
// notes of one row paint as a row-by-row scan would.
std::vector<NoteMark> staffNoteMarks(const EventRow& part, std::int32_t start, std::int32_t ticks, int base,
                                     int key);
// Drum view: value first + i is on drum row i, 0..15; every mark is lime.
std::vector<NoteMark> drumNoteMarks(const EventRow& part, std::int32_t start, std::int32_t ticks, int first);

enum class OctaveSign : std::uint8_t { None, Up, Down };

// Everything the staff tab draws for the current part and measure.
struct StaffLayout {
    bool drums = false;
    std::int32_t measureStart = 0; // tick of the measure's start
    std::int32_t ticks = 0;        // ticks of the measure
    std::uint8_t meter = 0;        // meter in force
    bool meterChangeHere = false;  // a time signature stands at this measure
    int numerator = 0;
    int denominator = 1;
    std::uint8_t concertKey = 0; // key in force
    bool keyChangeHere = false;  // a key signature stands at this measure
    int writtenKey = 0;          // key the part is written in
    int shift = 0;               // written step + shift = concert step
    int firstDrum = 0;           // drum index of drum row 0
    OctaveSign octave = OctaveSign::None;
    std::vector<GridLine> grid;
    std::vector<SignatureGlyph> keyGlyphs;
    std::vector<NoteMark> marks;
    std::optional<int> caretX; // x of the caret line, when the caret lies in this measure

    int rightEnd() const { return tickX(ticks); }
    // Name shown in drum row i (0..15).
    std::string_view drumName(int i) const;
};

// Colour of the caret line and of the outline of selected notes (teal, 008080).
inline constexpr std::uint32_t CARET_RGB = 0x008080;

// Works out the staff tab for state.currentPart, currentMeasure, scoreView and tripletMode, with
// the caret and the selected notes.
StaffLayout layoutStaff(const Song& song, const Editing& state);

} // namespace pokopen
