#pragma once

#include "midi/fluid_engine.h"
#include "midi/midi_file_player.h"
#include "midi/smf_reader.h"

#include <condition_variable>

struct _fluid_player_t;

namespace pokopen {

struct FluidPlayerDeleter {
    void operator()(_fluid_player_t* p) const;
};
using FluidPlayerPtr = std::unique_ptr<_fluid_player_t, FluidPlayerDeleter>;

// Plays a MIDI file on the built-in synthesizer with FluidSynth's own file player, which runs
// on the synthesizer's sample clock. Each start makes a fresh FluidSynth player positioned at
// the starting point (it brings programs and controllers up to there itself); pause and stop
// remember the position and let it go. A watcher thread notices the end, and starts the player
// when play came while the SoundFont was still loading (the load holds FluidSynth's lock).
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
    void setEndCallback(std::function<void()> callback) override;

private:
    std::int64_t positionUsLocked() const;
    void haltLocked(State next);
    bool startLocked();
    void watch();

    std::string soundFont_;
    std::shared_ptr<FluidEngine> givenEngine_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::shared_ptr<FluidEngine> engine_;
    std::vector<std::uint8_t> file_;
    SmfSequence sequence_;
    State state_ = State::Closed;
    std::string error_;
    std::int64_t positionUs_ = 0; // where playback starts or stopped
    std::int64_t runStartUs_ = 0; // where the playback under way started
    std::uint32_t startTick_ = 0;
    bool pendingStart_ = false; // playing, waiting for the SoundFont before the player starts
    bool quit_ = false;
    std::recursive_mutex callbackMutex_; // held while the end callback runs; never with mutex_
    std::function<void()> onEnd_;
    FluidPlayerPtr player_; // freed before the engine it plays on
    std::thread watcher_;
};

} // namespace pokopen
