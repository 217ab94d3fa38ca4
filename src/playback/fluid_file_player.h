#pragma once

#include "midifile/smf_reader.h"
#include "playback/fluid_engine.h"
#include "playback/midi_file_player.h"
#include "playback/practice_sequencer.h"

#include <condition_variable>

struct _fluid_sequencer_t;
struct _fluid_event_t;

namespace pokopen {

struct FluidSequencerDeleter {
    void operator()(_fluid_sequencer_t* p) const;
};
struct FluidEventDeleter {
    void operator()(_fluid_event_t* p) const;
};
using FluidSequencerPtr = std::unique_ptr<_fluid_sequencer_t, FluidSequencerDeleter>;
using FluidEventPtr = std::unique_ptr<_fluid_event_t, FluidEventDeleter>;

// Plays a MIDI file on the built-in synthesizer, on the synthesizer's sample clock: a FluidSynth
// sequencer that the synthesizer's rendering drives calls back every millisecond of sound
// rendered, and the PracticeSequencer's messages go straight into the synthesizer there. A
// watcher thread reports the end, and starts playing when play came while the SoundFont was
// still loading (the load holds FluidSynth's lock).
class FluidFilePlayer final : public MidiFilePlayer {
public:
    explicit FluidFilePlayer(std::string soundFont = DEFAULT_SOUNDFONT);
    // Plays on a given engine (tests pass one that writes to a file).
    explicit FluidFilePlayer(std::shared_ptr<FluidEngine> engine);
    ~FluidFilePlayer() override;
    FluidFilePlayer(const FluidFilePlayer&) = delete;
    FluidFilePlayer& operator=(const FluidFilePlayer&) = delete;

    bool open(const std::string& path) override;
    void close() override;
    bool isOpen() const override;
    std::string errorText() const override;

    std::int64_t lengthMs() const override;
    std::int64_t positionMs() const override;
    std::int64_t heardPositionMs() const override;
    State state() const override;
    Capabilities capabilities() const override;

    void seek(std::int64_t ms) override;
    void play() override;
    void pause() override;
    void stop() override;
    void setPractice(const PracticeSettings& settings) override;
    void setEndCallback(std::function<void()> callback) override;

    // The sequencer's callback for run `run`, on the synthesizer's rendering thread.
    void onTick(std::uint64_t run);

private:
    std::int64_t positionUsLocked() const;
    std::int64_t nowUsLocked() const;
    // Stops the run under way; true when the engine was held awake for it.
    bool haltLocked(State next);
    bool startLocked();
    void sendLocked(const PlayMessages& messages);
    // Makes the sequencer on the engine's synthesizer once the SoundFont has settled; never with
    // the player's lock held (the synthesizer's rendering thread holds the sequencer's lock
    // while it waits for the player's).
    void ensureSequencer();
    // Starts the chain of callbacks of run `run`, without the player's lock.
    void kick(std::uint64_t run);
    void watch();

    std::string soundFont_;
    std::shared_ptr<FluidEngine> givenEngine_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::shared_ptr<FluidEngine> engine_;
    SmfSequence sequence_;
    std::unique_ptr<PracticeSequencer> sequencer_; // on sequence_ while open
    PracticeSettings practice_;
    State state_ = State::Closed;
    std::string error_;
    std::int64_t stoppedUs_ = 0;  // the position while not playing
    std::int64_t runStartUs_ = 0; // where the playback under way started
    bool fromPoint_ = true;       // play starts at stoppedUs_ with what is in force there
    bool pendingStart_ = false;   // playing, waiting for the SoundFont before the run starts
    bool running_ = false;        // the sequencer's callbacks drive the run
    bool awake_ = false;          // the engine is held awake for this player
    bool ended_ = false;          // the end was reached; the watcher reports it
    bool quit_ = false;
    std::uint64_t run_ = 0; // changes at every start and stop; stale callbacks end their chain
    PlayMessages scratch_;
    std::recursive_mutex callbackMutex_; // held while the end callback runs; never with mutex_
    std::function<void()> onEnd_;
    FluidSequencerPtr seq_; // made on the engine's synthesizer at the first start
    short client_ = -1;
    std::thread watcher_;
};

} // namespace pokopen
