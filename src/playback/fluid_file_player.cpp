#include "playback/fluid_file_player.h"

#include "playback/fluid_midi_out.h"

#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace pokopen {

void FluidSequencerDeleter::operator()(fluid_sequencer_t* p) const {
    delete_fluid_sequencer(p); // waits for a callback under way
}
void FluidEventDeleter::operator()(fluid_event_t* p) const {
    delete_fluid_event(p);
}

namespace {

// The player reaches the synthesizer's thread through FluidSynth's sequencer, whose own locking
// ThreadSanitizer does not see (FluidSynth is not built with it). Each hand-over of the player
// is released here and acquired by the callback, so that what the player's thread made before
// is visible to the callback, for the sanitizer too.
std::atomic<std::uint64_t> handOver{0};

void onSequencerEvent(unsigned int, fluid_event_t* event, fluid_sequencer_t*, void* data) {
    handOver.load(std::memory_order_acquire);
    if (fluid_event_get_type(event) == FLUID_SEQ_TIMER)
        static_cast<FluidFilePlayer*>(data)->onTick(
            static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(fluid_event_get_data(event))));
}

// Asks the sequencer to call back at its tick `at` for the run `run`. The sequencer's lock is
// held while it calls back, so this is never called from another thread with the player's lock.
void scheduleTick(fluid_sequencer_t* seq, short client, unsigned int at, std::uint64_t run) {
    handOver.fetch_add(1, std::memory_order_release);
    FluidEventPtr event(new_fluid_event());
    fluid_event_set_source(event.get(), -1);
    fluid_event_set_dest(event.get(), client);
    fluid_event_timer(event.get(), reinterpret_cast<void*>(static_cast<std::uintptr_t>(run)));
    fluid_sequencer_send_at(seq, event.get(), at, 1);
}

} // namespace

FluidFilePlayer::FluidFilePlayer(std::string soundFont) : soundFont_(std::move(soundFont)) {}

FluidFilePlayer::FluidFilePlayer(std::shared_ptr<FluidEngine> engine) : givenEngine_(std::move(engine)) {
    if (givenEngine_)
        soundFont_ = givenEngine_->soundFont();
}

FluidFilePlayer::~FluidFilePlayer() {
    close();
}

bool FluidFilePlayer::open(const std::string& path) {
    close();
    SmfSequence sequence;
    const SmfResult parsed = readSmfFile(path, sequence);
    std::lock_guard lock(mutex_);
    if (!parsed.ok) {
        error_ = parsed.message;
        return false;
    }
    std::string engineError;
    std::shared_ptr<FluidEngine> engine =
        givenEngine_ ? givenEngine_ : FluidEngine::shared(soundFont_, engineError);
    if (!engine) {
        error_ = engineError;
        return false;
    }
    error_.clear();
    engine_ = std::move(engine);
    sequence_ = std::move(sequence);
    sequencer_ = std::make_unique<PracticeSequencer>(sequence_);
    PlayMessages none;
    sequencer_->setSettings(practice_, 0, none);
    stoppedUs_ = 0;
    fromPoint_ = true;
    state_ = State::Stopped;
    quit_ = false;
    watcher_ = std::thread([this] { watch(); });
    return true;
}

void FluidFilePlayer::close() {
    FluidSequencerPtr seq;
    bool release = false;
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Closed)
            return;
        release = haltLocked(State::Closed);
        quit_ = true;
        seq = std::move(seq_); // freed without the lock: a callback under way needs it
        client_ = -1;
    }
    wake_.notify_all();
    if (watcher_.joinable())
        watcher_.join();
    seq.reset();
    if (release)
        engine_->releaseAwake();
    std::lock_guard lock(mutex_);
    engine_.reset();
    sequencer_.reset();
    sequence_ = SmfSequence{};
    stoppedUs_ = 0;
}

bool FluidFilePlayer::isOpen() const {
    std::lock_guard lock(mutex_);
    return state_ != State::Closed;
}

std::string FluidFilePlayer::errorText() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::int64_t FluidFilePlayer::lengthMs() const {
    std::lock_guard lock(mutex_);
    return state_ == State::Closed ? 0 : sequence_.lengthMs();
}

std::int64_t FluidFilePlayer::nowUsLocked() const {
    return seq_ ? std::int64_t{fluid_sequencer_get_tick(seq_.get())} * 1000 : 0;
}

std::int64_t FluidFilePlayer::positionUsLocked() const {
    if (state_ != State::Playing || !running_)
        return stoppedUs_;
    return sequencer_->positionUs(nowUsLocked());
}

std::int64_t FluidFilePlayer::positionMs() const {
    std::lock_guard lock(mutex_);
    if (state_ == State::Closed)
        return 0;
    const std::int64_t us = positionUsLocked();
    return us >= sequence_.lengthUs ? sequence_.lengthMs() : us / 1000;
}

std::int64_t FluidFilePlayer::heardPositionMs() const {
    std::lock_guard lock(mutex_);
    if (state_ == State::Closed)
        return 0;
    std::int64_t us = positionUsLocked();
    // The position is that of the sound just rendered; the audio driver's buffer holds it for the
    // output latency (of play time: the file moves on at the tempo's share of it).
    if (state_ == State::Playing && running_ && us < sequence_.lengthUs)
        us = std::max(runStartUs_,
                      us - engine_->outputLatencyUs() * sequencer_->settings().tempoPercent / 100);
    return us >= sequence_.lengthUs ? sequence_.lengthMs() : us / 1000;
}

MidiFilePlayer::State FluidFilePlayer::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

MidiFilePlayer::Capabilities FluidFilePlayer::capabilities() const {
    Capabilities c;
    if (isOpen())
        c.play = c.pause = c.stop = c.seek = true;
    return c;
}

void FluidFilePlayer::sendLocked(const PlayMessages& messages) {
    fluid_synth_t* synth = engine_->synth();
    for (const PlayMessage& m : messages) {
        if (m.status == 0xF0)
            sendSysexToSynth(synth, sequence_.sysex[static_cast<std::size_t>(m.sysex)]);
        else
            sendToSynth(synth, m.status, m.data1, m.data2);
    }
}

bool FluidFilePlayer::haltLocked(State next) {
    if (state_ == State::Playing && running_) {
        sequencer_->hold(nowUsLocked());
        stoppedUs_ = sequencer_->stoppedAtUs();
        fluid_synth_all_sounds_off(engine_->synth(), -1);
        sequencer_->forgetSounding();
    }
    running_ = false;
    pendingStart_ = false;
    ++run_; // a callback of the old run finds itself stale and ends the chain
    state_ = next;
    const bool release = awake_;
    awake_ = false;
    return release;
}

bool FluidFilePlayer::startLocked() {
    if (!seq_) {
        error_ = "内蔵シンセサイザで演奏できません。";
        return false;
    }
    const std::int64_t now = nowUsLocked();
    scratch_.clear();
    if (fromPoint_)
        sequencer_->start(stoppedUs_, now, scratch_);
    else
        sequencer_->resume(now, scratch_);
    fromPoint_ = false;
    runStartUs_ = stoppedUs_;
    sequencer_->advance(now, scratch_); // what is due at once
    sendLocked(scratch_);
    running_ = true;
    return true;
}

void FluidFilePlayer::ensureSequencer() {
    {
        std::lock_guard lock(mutex_);
        if (seq_ || !engine_ || !engine_->soundFontSettled())
            return;
    }
    // The sequencer's time is the synthesizer's: it moves on with every block of sound rendered.
    FluidSequencerPtr seq(new_fluid_sequencer2(0));
    if (!seq)
        return;
    fluid_sequencer_register_fluidsynth(seq.get(), engine_->synth());
    handOver.fetch_add(1, std::memory_order_release);
    const short client = fluid_sequencer_register_client(seq.get(), "pokopen player", onSequencerEvent, this);
    std::lock_guard lock(mutex_);
    if (!seq_ && client >= 0) {
        seq_ = std::move(seq);
        client_ = client;
    }
}

void FluidFilePlayer::kick(std::uint64_t run) {
    fluid_sequencer_t* seq = nullptr;
    short client = -1;
    unsigned int at = 0;
    {
        std::lock_guard lock(mutex_);
        if (run != run_ || !running_ || !seq_)
            return;
        seq = seq_.get();
        client = client_;
        at = fluid_sequencer_get_tick(seq) + 1;
    }
    // Only this thread or close() frees the sequencer, and close() waits for it.
    scheduleTick(seq, client, at, run);
}

void FluidFilePlayer::onTick(std::uint64_t run) {
    std::lock_guard lock(mutex_);
    if (run != run_ || !running_ || state_ != State::Playing || !seq_)
        return; // a run that has stopped: the chain of callbacks ends here
    const unsigned int tick = fluid_sequencer_get_tick(seq_.get());
    scratch_.clear();
    const bool ended = sequencer_->advance(std::int64_t{tick} * 1000, scratch_);
    sendLocked(scratch_);
    if (!ended) {
        scheduleTick(seq_.get(), client_, tick + 1, run);
        return;
    }
    sequencer_->hold(std::int64_t{tick} * 1000);
    stoppedUs_ = sequence_.lengthUs;
    running_ = false;
    state_ = State::Stopped;
    ended_ = true;
    wake_.notify_all();
}

void FluidFilePlayer::seek(std::int64_t ms) {
    bool release = false;
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Closed)
            return;
        release = haltLocked(State::Stopped);
        stoppedUs_ = std::clamp<std::int64_t>(ms * 1000, 0, sequence_.lengthUs);
        fromPoint_ = true;
    }
    if (release)
        engine_->releaseAwake();
}

void FluidFilePlayer::play() {
    ensureSequencer();
    std::uint64_t run = 0;
    bool hold = false;
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Closed || state_ == State::Playing)
            return;
        if (stoppedUs_ >= sequence_.lengthUs) { // at the end: rewind first
            stoppedUs_ = 0;
            fromPoint_ = true;
        }
        state_ = State::Playing;
        ++run_;
        run = run_;
        if (seq_ && engine_->soundFontSettled()) {
            if (!startLocked()) {
                state_ = State::Stopped;
                return;
            }
        } else {
            pendingStart_ = true; // the watcher starts it once the SoundFont is there
        }
        hold = !awake_;
        awake_ = true;
    }
    if (hold)
        engine_->holdAwake();
    kick(run);
    wake_.notify_all();
}

void FluidFilePlayer::pause() {
    bool release = false;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Playing)
            return;
        release = haltLocked(State::Paused);
    }
    if (release)
        engine_->releaseAwake();
}

void FluidFilePlayer::stop() {
    bool release = false;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Playing && state_ != State::Paused)
            return;
        release = haltLocked(State::Stopped);
    }
    if (release)
        engine_->releaseAwake();
}

void FluidFilePlayer::setPractice(const PracticeSettings& settings) {
    std::lock_guard lock(mutex_);
    practice_ = settings;
    if (!sequencer_)
        return;
    scratch_.clear();
    sequencer_->setSettings(settings, nowUsLocked(), scratch_);
    if (engine_->soundFontSettled())
        sendLocked(scratch_);
}

void FluidFilePlayer::setEndCallback(std::function<void()> callback) {
    // Waits for a callback under way, so that its owner may go once this returns.
    std::lock_guard lock(callbackMutex_);
    onEnd_ = std::move(callback);
}

void FluidFilePlayer::watch() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (ended_) {
            ended_ = false;
            const bool release = awake_;
            awake_ = false;
            lock.unlock();
            if (release)
                engine_->releaseAwake();
            {
                std::lock_guard callbackLock(callbackMutex_);
                if (onEnd_)
                    onEnd_();
            }
            lock.lock();
            continue;
        }
        if (!pendingStart_) {
            wake_.wait(lock);
            continue;
        }
        wake_.wait_for(lock, std::chrono::milliseconds(5));
        if (quit_ || !pendingStart_ || !engine_->soundFontSettled())
            continue;
        lock.unlock();
        ensureSequencer();
        lock.lock();
        if (!pendingStart_ || state_ != State::Playing)
            continue;
        pendingStart_ = false;
        if (!startLocked()) {
            state_ = State::Stopped;
            continue;
        }
        const std::uint64_t run = run_;
        lock.unlock();
        kick(run);
        lock.lock();
    }
}

} // namespace pokopen
