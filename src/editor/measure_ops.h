#pragma once

#include "model/song.h"

#include <array>
#include <cstdint>
#include <vector>

// Whole-measure operations of the measure editor: copy into a clipboard, clear, paste and octave
// shifts. Only part rows are touched; tempo points and signatures never move with the measures.
//
// Every operation walks a row once and rebuilds it once, so it stays linear in the row's length
// however many events it moves.
namespace pokopen {

// The selection or clipboard scope that covers every part.
inline constexpr int ALL_PARTS = 16;

// The measure editor's clipboard. Positions of the stored events are tick offsets from the
// start of the copied range; the events of one part keep the order of the part's row.
struct MeasureClipboard {
    std::int32_t clipPart = -1;    // part 0..15, ALL_PARTS, or -1 while nothing was copied
    std::int32_t clipMeasures = 0; // number of copied measures - 1
    std::array<std::vector<Event>, PART_ROWS> clipRows;

    bool filled() const { return clipPart >= 0; }
};

// Copies into clip.clipRows[part] every note lying wholly inside measures from..to (0-based,
// inclusive) and every dynamics and pan point in them. Replaces only that part's entry.
void copyMeasures(const Song& song, MeasureClipboard& clip, int part, std::int32_t from, std::int32_t to);

// Deletes from the part's row every note that starts or ends in measures from..to (the whole
// note, also its part outside the range) and every dynamics and pan point in them. A note that
// starts before the range and ends after it stays.
void clearMeasures(Song& song, int part, std::int32_t from, std::int32_t to);

// Clears as many measures as the clipboard holds at `measure` of part `target` and writes
// clip.clipRows[source] there, in one rebuild of the row.
//
// The pasted block is fitted into the cleared measures, which end at the end of the song at the
// latest: when they are shorter than the copied ones (other meters, or the end of the song),
// events that would fall after them are dropped and notes that would run past them are stopped
// at their end, so that the following measures stay as they were and the row stays sorted.
// A target note that spans the whole cleared range is deleted as well when a pasted note has its
// value, since the two would overlap.
void pasteMeasures(Song& song, const MeasureClipboard& clip, int source, int target, std::int32_t measure);

// Moves the notes lying wholly inside measures from..to by `octaveSteps` staff steps (-7 up,
// +7 down). A note crossing an end of the range is deleted, as is a note whose new step would
// leave -7..52 or would land inside a note of its new value that spans the whole range.
// The drum part is never shifted.
void shiftOctave(Song& song, int part, std::int32_t from, std::int32_t to, int octaveSteps);

} // namespace pokopen
