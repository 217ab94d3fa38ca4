#pragma once

#include "midifile/smf_reader.h"
#include "playback/midi_file_player.h"
#include "playback/midi_out.h"
#include "playback/player_clock.h"
#include "playback/practice_sequencer.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace pokopen {

// Plays a MIDI file on a MidiOut (an external port) by sending each message at its time.
// The file is parsed once at open; a PracticeSequencer decides what is due on the clock.
//
// Threaded mode keeps a scheduler thread that sleeps on the steady clock until the next
// message is due. Manual mode has no thread: the owner calls pump(), which sends whatever is due
// by the clock — tests drive it with a clock they move by hand.
//
// Messages are worked out under the player's lock and sent after it is let go (in order, by one
// sender at a time), so that asking for the position never waits for a slow port.
class ScheduledPlayer final : public MidiFilePlayer {
public:
    enum class Mode { Threaded, Manual };

    // `clock` must outlive the player; in threaded mode it must be the steady clock's time.
    ScheduledPlayer(std::unique_ptr<MidiOut> out, const PlayerClock& clock, Mode mode = Mode::Threaded);
    ~ScheduledPlayer() override;
    ScheduledPlayer(const ScheduledPlayer&) = delete;
    ScheduledPlayer& operator=(const ScheduledPlayer&) = delete;

    bool open(const std::string& path) override;
    // Opens an already parsed sequence (the file that was just written, or a test's).
    bool openSequence(SmfSequence sequence);
    void close() override;
    bool isOpen() const override;
    std::string errorText() const override;

    std::int64_t lengthMs() const override;
    std::int64_t positionMs() const override;
    State state() const override;
    Capabilities capabilities() const override;

    void seek(std::int64_t ms) override;
    void play() override;
    void pause() override;
    void stop() override;
    void setPractice(const PracticeSettings& settings) override;
    void setEndCallback(std::function<void()> callback) override;

    // Sends every message that is due and notices the end. Manual mode only needs it.
    void pump();

    // The clock time at which the message of index `i` is due in the current run, for timing
    // measurements; -1 when not playing.
    std::int64_t dueUs(std::size_t i) const;

private:
    std::int64_t positionUsLocked(std::int64_t now) const;
    // Works out what is due; returns true when the end was reached in this call.
    bool dispatchLocked(std::int64_t now);
    void haltLocked(State next);
    void queueLocked(const PlayMessages& messages);
    // Sends what was queued, in order, without the player's lock.
    void flush();
    void wakeThread();
    void run();
    void fireEnd();

    std::unique_ptr<MidiOut> out_;
    const PlayerClock& clock_;
    const Mode mode_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    SmfSequence sequence_;
    std::unique_ptr<PracticeSequencer> sequencer_; // on sequence_ while open
    PracticeSettings practice_;
    State state_ = State::Closed;
    std::string error_;
    std::int64_t stoppedUs_ = 0; // the position while not playing
    bool fromPoint_ = false;     // play starts at stoppedUs_ with what is in force there
    bool quit_ = false;
    std::uint64_t generation_ = 0; // changes whenever the thread must look again
    PlayMessages scratch_;         // what dispatch worked out, before it is queued
    PlayMessages outbox_;          // queued for the port; status 0 resets the device

    std::mutex sendMutex_;               // one sender at a time; never taken with mutex_ held
    std::recursive_mutex callbackMutex_; // held while the end callback runs; never with mutex_
    std::function<void()> onEnd_;
    std::thread thread_; // last: started when everything else exists, joined first
};

} // namespace pokopen
