#pragma once

#include "playback/practice_sequencer.h"

#include <cstdint>
#include <functional>
#include <string>

namespace pokopen {

// Plays one MIDI file, in milliseconds: open, length, position, seek, play with a notification
// at the end, pause, stop, close. Seek stops playback (play starts again from there); play at the
// end starts from the beginning.
class MidiFilePlayer {
public:
    enum class State { Closed, Stopped, Playing, Paused };

    // What the transport buttons may offer for the open file.
    struct Capabilities {
        bool play = false;
        bool pause = false;
        bool stop = false;
        bool seek = false; // previous (to the start) and next (to the end)
        bool step = false;
        bool record = false;
        bool eject = false;
    };

    virtual ~MidiFilePlayer() = default;

    // Opens the file; false with errorText() set when it cannot be played (no output device,
    // file missing or damaged). A player that is open is closed first.
    virtual bool open(const std::string& path) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual std::string errorText() const = 0;

    virtual std::int64_t lengthMs() const = 0;
    // The playing position, 0..lengthMs(); exactly lengthMs() once playback reached the end.
    virtual std::int64_t positionMs() const = 0;
    // The position being heard while playing: positionMs() less the time the output holds the
    // sound before it reaches the speaker, where that is known, but never before the point
    // playback last started from. Otherwise positionMs().
    virtual std::int64_t heardPositionMs() const { return positionMs(); }
    virtual State state() const = 0;
    virtual Capabilities capabilities() const = 0;

    virtual void seek(std::int64_t ms) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;

    // The practice choices (tempo, parts muted or soloed, a range played over and over, count-in,
    // metronome); they last across open and close and take effect at once while playing.
    virtual void setPractice(const PracticeSettings& settings) = 0;

    // Called once each time playback reaches the end by itself, possibly on the player's own
    // thread; windows pass it on to their own thread.
    virtual void setEndCallback(std::function<void()> callback) = 0;
};

} // namespace pokopen
