#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// How a stretch of one voice in one measure is written as note values a player can read.
// The grid is the song's (96 ticks a whole note), so a 32nd note is 3 ticks and the 64th-note
// triplet, 1 tick, is the finest value; every position and length on the grid can be written.
namespace pokopen {

enum class NoteType : std::uint8_t { Whole, Half, Quarter, Eighth, Sixteenth, ThirtySecond, SixtyFourth };

// The MusicXML name of a note type ("quarter", "16th", ...).
std::string_view noteTypeName(NoteType type);

// One written value: a note or rest of one type, maybe dotted, maybe one of a triplet
// (three in the time of two).
struct WrittenValue {
    std::int32_t start = 0;    // ticks from the measure's start
    std::int32_t duration = 0; // ticks
    NoteType type = NoteType::Quarter;
    bool dotted = false;
    bool triplet = false;
    bool tupletStart = false; // first value of a triplet group
    bool tupletStop = false;  // last value of a triplet group

    friend bool operator==(const WrittenValue&, const WrittenValue&) = default;
};

// Writes a voice of a measure of `measureTicks` ticks whose notes and rests change at
// `boundaries` (ascending, distinct, from 0 to measureTicks inclusive). Every returned value lies
// inside one stretch between two boundaries, the values follow each other without gap, and
// together they fill the measure. Stretches on the 32nd grid take plain and dotted values; a
// beat that holds a position off that grid is written as the coarsest triplet group that
// holds all its positions (half-note triplets down to 64th-note triplets). rests[i] tells that
// the stretch from boundaries[i] is a rest (missing entries: notes); rests on the 32nd grid are
// written beat by beat, undotted.
std::vector<WrittenValue> spellMeasure(std::int32_t measureTicks, const std::vector<std::int32_t>& boundaries,
                                       const std::vector<bool>& rests = {});

} // namespace pokopen
