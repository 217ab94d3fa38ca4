#pragma once

#include "midifile/smf_reader.h"

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

// What both players and the offline renderer send, and when: the messages of a parsed file at a
// share of its tempo, with parts muted or soloed, a range played over and over, a metronome and a
// count-in. Time comes from the caller (the steady clock, the synthesizer's sample clock, frames
// rendered), so the same rules hold on every output and the tests drive them with a fake clock.
namespace pokopen {

inline constexpr int MIN_TEMPO_PERCENT = 25;
inline constexpr int MAX_TEMPO_PERCENT = 200;
// The metronome's and the count-in's clicks: side stick, the first beat of a measure on a wood
// block (the count-in accents it by velocity instead), on the drum channel.
inline constexpr std::uint8_t CLICK_CHANNEL = 9;
inline constexpr std::uint8_t CLICK_KEY = 37;
inline constexpr std::uint8_t CLICK_ACCENT_KEY = 76;
inline constexpr std::uint8_t CLICK_VELOCITY = 90;
inline constexpr std::uint8_t CLICK_ACCENT_VELOCITY = 127;
inline constexpr std::int64_t CLICK_LENGTH_US = 50'000;

// The practice choices, all of which apply at once while playing. Parts are channels 0..15.
struct PracticeSettings {
    int tempoPercent = 100;   // MIN_TEMPO_PERCENT..MAX_TEMPO_PERCENT of the file's tempo
    std::uint16_t muted = 0;  // bit c: channel c is silent
    std::uint16_t soloed = 0; // when any bit is set, only those channels sound (muted ones stay silent)
    bool loop = false;        // play [loopFromUs, loopToUs) of the file over and over
    std::int64_t loopFromUs = 0;
    std::int64_t loopToUs = 0;
    bool countIn = false;   // one measure of clicks before the music starts
    bool metronome = false; // a click on every beat
    // The file tick from which the metronome's beats count (a file's lead-in has none).
    std::uint32_t clicksFromTick = 0;

    bool sounds(int channel) const;
    friend bool operator==(const PracticeSettings&, const PracticeSettings&) = default;
};

// A message to send: a short one, or the system exclusive message of the sequence's index.
struct PlayMessage {
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    std::int32_t sysex = -1;

    friend bool operator==(const PlayMessage&, const PlayMessage&) = default;
};
using PlayMessages = std::vector<PlayMessage>;

// The beats of a file from its time signatures (4/4 from tick 0 without any).
class BeatGrid {
public:
    explicit BeatGrid(const SmfSequence& sequence);
    struct Beat {
        std::uint32_t tick = 0;
        bool first = false; // the first beat of a measure
    };
    // The first beat at or after `tick`.
    Beat beatAtOrAfter(std::uint32_t tick) const;
    // The meter in force at `tick`.
    const SmfMeter& meterAt(std::uint32_t tick) const;

private:
    std::vector<SmfMeter> meters_;
};

// Plays one sequence on a play clock in microseconds. Not thread-safe: the player calls it under
// its own lock and sends the messages it returns after letting go of the lock.
class PracticeSequencer {
public:
    static constexpr std::int64_t NEVER = std::numeric_limits<std::int64_t>::max();

    explicit PracticeSequencer(const SmfSequence& sequence);

    const PracticeSettings& settings() const { return settings_; }
    // Takes new choices at play time `nowUs`: a tempo change keeps the position; the notes of a
    // part that has just become silent end.
    void setSettings(const PracticeSettings& settings, std::int64_t nowUs, PlayMessages& out);

    // Starts at file time `fromUs` at play time `nowUs` with what is in force there (programs,
    // controllers, system exclusive; the last of each kind that a later one replaces), the
    // count-in first when chosen.
    void start(std::int64_t fromUs, std::int64_t nowUs, PlayMessages& out);
    // Goes on from where it stopped (after a pause), nothing sent again; the count-in when chosen.
    void resume(std::int64_t nowUs, PlayMessages& out);
    // Everything due up to play time `nowUs`; true once the file's end has been reached.
    bool advance(std::int64_t nowUs, PlayMessages& out);
    // Note-offs for every note sounding (its own and the clicks).
    void release(PlayMessages& out);
    // Forgets the sounding notes, when the device was silenced as a whole.
    void forgetSounding();

    // The file time at play time `nowUs` (never past the file's length); held, where it stopped.
    std::int64_t positionUs(std::int64_t nowUs) const;
    // The file time of the current stop point (where resume goes on).
    std::int64_t stoppedAtUs() const { return anchorFileUs_; }
    // The play time at which file time `fileUs` is reached in the current run (the range's jump
    // and tempo changes aside).
    std::int64_t playTimeOf(std::int64_t fileUs) const;
    // The play time at which advance next has something to do; NEVER when nothing is left.
    std::int64_t nextDueUs() const;
    // Stops the clock at play time `nowUs` (pause, stop): the position is kept for resume.
    void hold(std::int64_t nowUs);

private:
    std::int64_t loopEndUs() const; // where the range jumps back; NEVER without a range
    std::int64_t limitUs() const;   // how far the position may run: the file's end or the range's
    void chase(std::size_t until, PlayMessages& out);
    void beginCountIn(std::int64_t nowUs);
    void pass(const SmfEvent& e, PlayMessages& out);
    void click(std::uint8_t key, std::uint8_t velocity, std::int64_t atUs, PlayMessages& out);
    void sendClicksUpTo(std::int64_t fileUs, PlayMessages& out);
    void sendClickOffsUpTo(std::int64_t nowUs, PlayMessages& out);
    void resetBeat(std::int64_t fromFileUs);
    std::int64_t beatUs() const;

    const SmfSequence& sequence_;
    BeatGrid grid_;
    PracticeSettings settings_;
    std::int64_t anchorPlayUs_ = 0; // the play time at which the file is at anchorFileUs_
    std::int64_t anchorFileUs_ = 0;
    std::int64_t lastFileUs_ = 0; // the file time of the last advance
    bool running_ = false;        // between start or resume and hold
    std::size_t next_ = 0;        // the next event of the sequence
    BeatGrid::Beat nextBeat_{};   // the metronome's next beat
    std::int64_t clicksFromUs_ = 0;
    struct Timed {
        std::int64_t atUs;
        PlayMessage message;
    };
    std::vector<Timed> countIn_;   // the count-in's clicks, in play time
    std::vector<Timed> clickOffs_; // the clicks' note-offs, in play time
    std::array<std::array<std::uint8_t, 128>, 16> sounding_{};
};

} // namespace pokopen
