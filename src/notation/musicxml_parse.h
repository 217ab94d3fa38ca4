#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Reading a MusicXML document (score-partwise or score-timewise) into a neutral score: parts,
// their notes at exact times, signatures, tempi and sound changes, before anything is fitted
// to a song. The reader distrusts its input: no entity is expanded, nesting, sizes and
// durations are limited, and a refusal names the line.
namespace pokopen {

// A time within a measure, in quarter notes: num / den, den > 0, in lowest terms.
struct QuarterTime {
    std::int64_t num = 0;
    std::int64_t den = 1;
    friend bool operator==(const QuarterTime&, const QuarterTime&) = default;
};

struct ScoreNote {
    int measure = 0; // 0-based
    QuarterTime offset;
    QuarterTime duration;
    // Pitched: the written staff step (0 = E7, counting down) and the written alteration.
    int step = 0;
    int alter = 0;
    bool unpitched = false;
    std::string instrument; // the instrument element's id, for unpitched notes
    int voice = 1;
    int staff = 1;
    bool tieStart = false;
    bool tieStop = false;
};

// A transposition in force from a measure on (the transpose element).
struct ScoreTranspose {
    int measure = 0;
    int diatonic = 0;  // steps from written to sounding, octave changes included
    int chromatic = 0; // semitones from written to sounding, octave changes included
};

// A sound element's dynamics or pan at a place of a part.
struct ScoreSound {
    int measure = 0;
    QuarterTime offset;
    bool pan = false; // else dynamics
    double value = 0; // dynamics: percent of forte (90); pan: degrees
};

struct ScoreKey {
    int measure = 0;
    int fifths = 0;
    bool minor = false;
};

struct ScorePart {
    std::string id;
    std::string name;
    int midiChannel = 0;                    // 1..16 from the first midi-instrument; 0 when not given
    int program = 0;                        // 1..128; 0 when not given
    double volume = -1;                     // 0..100 from midi-instrument; < 0 when not given
    std::map<std::string, int> unpitchedOf; // instrument id -> midi-unpitched (1..128)
    std::string firstInstrument;
    bool percussion = false; // unpitched notes, or MIDI channel 10
    std::vector<ScoreNote> notes;
    std::vector<ScoreTranspose> transposes;
    std::vector<ScoreKey> keys; // as written, in measure order
    std::vector<ScoreSound> sounds;
    int measures = 0; // how many measures it holds
};

struct ScoreTime {
    int measure = 0;
    int beats = 4;
    int beatType = 4;
};

struct ScoreTempo {
    int measure = 0;
    QuarterTime offset;
    double bpm = 120;
    bool fromMetronome = false; // a metronome mark without a sound tempo
};

struct Score {
    std::string workTitle, movementTitle, rights; // UTF-8
    bool hasWorkTitle = false, hasRights = false;
    std::vector<ScorePart> parts;  // in the order of the part list
    std::vector<ScoreTime> times;  // of the first part, in measure order
    std::vector<ScoreTempo> tempi; // in document order
    std::size_t graceNotes = 0, cueNotes = 0, ornaments = 0;
};

struct ScoreReadResult {
    bool ok = false;
    int line = 0;         // where a refused document is at fault
    std::string message;  // English
    std::string japanese; // the same in Japanese
};

// The largest document read, plain or inflated from an archive.
inline constexpr std::size_t MAX_MUSICXML_BYTES = std::size_t{512} << 20;

// Parses a MusicXML document. On failure `out` is left as it was.
ScoreReadResult readMusicXmlScore(std::string_view document, Score& out);

} // namespace pokopen
