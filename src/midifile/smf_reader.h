#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reading a Standard MIDI File back into a time-ordered list of messages, for the player that
// drives an external MIDI port and for the length and position of the built-in one.
namespace pokopen {

// One channel or system exclusive message at its place in the merged file.
struct SmfEvent {
    std::int64_t timeUs = 0; // from the start of the file, through the tempo map
    std::uint32_t tick = 0;
    std::uint8_t status = 0; // 0x80..0xEF, or 0xF0 for system exclusive
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    std::int32_t sysex = -1; // index into SmfSequence::sysex for status 0xF0

    // Note-on and note-off (a note-on with velocity 0 too): the messages left out when playback
    // catches up the controllers and programs before a starting point.
    bool isNote() const { return (status & 0xF0) == 0x80 || (status & 0xF0) == 0x90; }
};

// A tempo change: from `tick` on, `usPerQuarter`; `timeUs` is where it lands.
struct SmfTempo {
    std::uint32_t tick = 0;
    std::int64_t timeUs = 0;
    std::uint32_t usPerQuarter = 500000;
};

// A time signature: from `tick` on, measures of `numerator` beats of `beatTicks` ticks each.
struct SmfMeter {
    std::uint32_t tick = 0;
    int numerator = 4;
    std::uint32_t beatTicks = 0;
};

struct SmfSequence {
    int format = 0;
    int division = 0;             // ticks per quarter note; SMPTE files are converted to a fixed tempo
    std::vector<SmfEvent> events; // sorted by tick, then by track, then file order
    std::vector<std::vector<std::uint8_t>> sysex; // whole messages, F0 ... F7
    std::vector<SmfTempo> tempo;                  // never empty; tempo[0].tick == 0
    std::vector<SmfMeter> meters;                 // in tick order; empty when the file has none
    std::uint32_t lengthTicks = 0;                // the latest end of track
    std::int64_t lengthUs = 0;

    std::int64_t tickToUs(std::uint32_t tick) const; // rounded up to whole microseconds
    std::uint32_t usToTick(std::int64_t us) const;   // the last tick at or before `us`
    std::int64_t lengthMs() const { return (lengthUs + 999) / 1000; }
    // Index of the first event at or after `us`.
    std::size_t firstEventAt(std::int64_t us) const;
};

struct SmfResult {
    bool ok = false;
    std::string message;    // why the file was refused
    std::size_t offset = 0; // where in the file
};

// Parses the whole file through the shared event reader (smf_parse.h). Running status, meta events
// (tempo, end of track) and both forms of system exclusive are understood; anything that runs
// past its chunk refuses the file. The player is lenient where the song import is not: SMPTE
// time, format 2 and tracks without their end are played.
SmfResult parseSmf(const std::vector<std::uint8_t>& bytes, SmfSequence& out);
SmfResult readSmfFile(const std::string& path, SmfSequence& out);

} // namespace pokopen
