#pragma once

#include "midifile/smf_reader.h"
#include "model/song.h"
#include "model/timeline.h"

#include <array>
#include <cstdint>

// Where the play file written from a song (buildMidiFile) is at a given time, and what is in
// force when it plays from a given measure: what test play from a measure and the following of
// the playing position on the pages need.
namespace pokopen {

// A playing position in the song's terms.
struct PlayPoint {
    std::int32_t measure = 0; // 0-based, 0..MAX_MEASURES - 1
    std::int32_t tick = 0;    // absolute store tick
    std::int32_t sub = 0;     // how far into that tick, in the file's ticks (0..FILE_TICKS_PER_TICK - 1)

    friend bool operator==(const PlayPoint&, const PlayPoint&) = default;
};

// The play file's time line: its tempo map, lead-in included, as the players time it.
class PlayTimeline {
public:
    explicit PlayTimeline(const Song& song);

    // Microseconds from the file's start at which store tick t sounds (rounded up, as the
    // players round).
    std::int64_t tickToUs(std::int32_t t) const;
    // The store tick sounding at `us`: the last one at or before it; 0 during the lead-in.
    std::int32_t usToTick(std::int64_t us) const;

    // Where playback from measure m (0..MAX_MEASURES) starts, in the players' milliseconds:
    // rounded down, so that no message of the measure's first tick is passed over.
    std::int64_t measureStartMs(std::int32_t m) const;
    // What sounds during millisecond `ms` (the whole millisecond counts, so the start of a measure
    // as measureStartMs gives it lies in that measure). Past the song's end: its last measure.
    PlayPoint pointAtMs(std::int64_t ms) const;
    std::int32_t measureStartTick(std::int32_t m) const { return measures_.measureToTick(m); }

private:
    SmfSequence tempo_; // the tempo map only, in file ticks
    MeasureMap measures_;
};

// The controller values and program of one part in force at a point of the play file.
struct PartPlayState {
    int program = 0;
    int volume = 0;     // controller 7
    int pan = 0;        // controller 10
    int expression = 0; // controller 11

    friend bool operator==(const PartPlayState&, const PartPlayState&) = default;
};

struct PlayState {
    std::array<PartPlayState, PART_ROWS> parts{};
    std::uint32_t usPerQuarter = 0; // the tempo

    friend bool operator==(const PlayState&, const PlayState&) = default;
};

// What the play file has set when measure m (0..MAX_MEASURES) starts, points at its first tick
// included (they come before the notes of that tick). fmMode as buildMidiFile takes it.
// Finds each row's position by binary search and walks back to the last points before it.
PlayState playStateAt(const Song& song, std::int32_t m, bool fmMode);

} // namespace pokopen
