#include "playback/scheduled_player.h"

#include <algorithm>
#include <cstdint>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#endif

namespace pokopen {

namespace {
constexpr std::uint8_t RESET = 0; // an outbox entry that silences the device
} // namespace

ScheduledPlayer::ScheduledPlayer(std::unique_ptr<MidiOut> out, const PlayerClock& clock, Mode mode)
    : out_(std::move(out)), clock_(clock), mode_(mode) {
    if (mode_ == Mode::Threaded)
        thread_ = std::thread([this] { run(); });
}

ScheduledPlayer::~ScheduledPlayer() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    close();
}

bool ScheduledPlayer::open(const std::string& path) {
    SmfSequence sequence;
    const SmfResult r = readSmfFile(path, sequence);
    if (!r.ok) {
        close();
        std::lock_guard lock(mutex_);
        error_ = r.message;
        return false;
    }
    return openSequence(std::move(sequence));
}

bool ScheduledPlayer::openSequence(SmfSequence sequence) {
    close();
    std::lock_guard sendLock(sendMutex_);
    std::lock_guard lock(mutex_);
    if (!out_ || !out_->open()) {
        error_ = out_ ? out_->errorText() : std::string();
        if (error_.empty())
            error_ = "MIDI出力ポートを開けません。";
        return false;
    }
    error_.clear();
    sequence_ = std::move(sequence);
    sequencer_ = std::make_unique<PracticeSequencer>(sequence_);
    PlayMessages none;
    sequencer_->setSettings(practice_, clock_.nowUs(), none);
    state_ = State::Stopped;
    stoppedUs_ = 0;
    fromPoint_ = true;
    return true;
}

void ScheduledPlayer::close() {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Closed)
            return;
        haltLocked(State::Closed);
    }
    flush();
    std::lock_guard sendLock(sendMutex_);
    std::lock_guard lock(mutex_);
    out_->close();
    sequencer_.reset();
    sequence_ = SmfSequence{};
    stoppedUs_ = 0;
}

bool ScheduledPlayer::isOpen() const {
    std::lock_guard lock(mutex_);
    return state_ != State::Closed;
}

std::string ScheduledPlayer::errorText() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::int64_t ScheduledPlayer::lengthMs() const {
    std::lock_guard lock(mutex_);
    return state_ == State::Closed ? 0 : sequence_.lengthMs();
}

std::int64_t ScheduledPlayer::positionMs() const {
    std::lock_guard lock(mutex_);
    if (state_ == State::Closed)
        return 0;
    const std::int64_t us = positionUsLocked(clock_.nowUs());
    // The end reads as exactly the length, so that a poll can compare the two.
    return us >= sequence_.lengthUs ? sequence_.lengthMs() : us / 1000;
}

MidiFilePlayer::State ScheduledPlayer::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

MidiFilePlayer::Capabilities ScheduledPlayer::capabilities() const {
    Capabilities c;
    if (isOpen())
        c.play = c.pause = c.stop = c.seek = true;
    return c;
}

std::int64_t ScheduledPlayer::positionUsLocked(std::int64_t now) const {
    if (state_ != State::Playing)
        return stoppedUs_;
    return sequencer_->positionUs(now);
}

std::int64_t ScheduledPlayer::dueUs(std::size_t i) const {
    std::lock_guard lock(mutex_);
    if (state_ != State::Playing || i >= sequence_.events.size())
        return -1;
    return sequencer_->playTimeOf(sequence_.events[i].timeUs);
}

void ScheduledPlayer::queueLocked(const PlayMessages& messages) {
    outbox_.insert(outbox_.end(), messages.begin(), messages.end());
}

void ScheduledPlayer::haltLocked(State next) {
    if (state_ == State::Playing) {
        sequencer_->hold(clock_.nowUs());
        stoppedUs_ = sequencer_->stoppedAtUs();
        outbox_.push_back({RESET, 0, 0, -1});
        sequencer_->forgetSounding();
    }
    state_ = next;
}

void ScheduledPlayer::flush() {
    std::lock_guard sendLock(sendMutex_);
    PlayMessages batch;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (outbox_.empty())
                return;
            batch.swap(outbox_);
        }
        // The player's lock is free while the port takes its time; the sequence's system
        // exclusive messages stay where they are while open, and close waits for this sender.
        for (const PlayMessage& m : batch) {
            if (!out_->isOpen())
                break;
            if (m.status == RESET)
                out_->reset();
            else if (m.status == 0xF0)
                out_->longMessage(sequence_.sysex[static_cast<std::size_t>(m.sysex)]);
            else
                out_->shortMessage(m.status, m.data1, m.data2);
        }
        batch.clear();
    }
}

void ScheduledPlayer::wakeThread() {
    {
        std::lock_guard lock(mutex_);
        ++generation_;
    }
    wake_.notify_all();
}

void ScheduledPlayer::seek(std::int64_t ms) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Closed)
            return;
        haltLocked(State::Stopped);
        stoppedUs_ = std::clamp<std::int64_t>(ms * 1000, 0, sequence_.lengthUs);
        fromPoint_ = true;
    }
    flush();
    wakeThread();
}

void ScheduledPlayer::play() {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Closed || state_ == State::Playing)
            return;
        if (stoppedUs_ >= sequence_.lengthUs) { // at the end: rewind first
            stoppedUs_ = 0;
            fromPoint_ = true;
        }
        scratch_.clear();
        if (fromPoint_)
            sequencer_->start(stoppedUs_, clock_.nowUs(), scratch_);
        else
            sequencer_->resume(clock_.nowUs(), scratch_);
        fromPoint_ = false;
        queueLocked(scratch_);
        state_ = State::Playing;
    }
    // What is due at the start goes out now, without waiting for the thread to wake.
    pump();
    wakeThread();
}

void ScheduledPlayer::pause() {
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Playing)
            return;
        haltLocked(State::Paused);
    }
    flush();
    wakeThread();
}

void ScheduledPlayer::stop() {
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Playing && state_ != State::Paused)
            return;
        haltLocked(State::Stopped);
    }
    flush();
    wakeThread();
}

void ScheduledPlayer::setPractice(const PracticeSettings& settings) {
    {
        std::lock_guard lock(mutex_);
        practice_ = settings;
        if (!sequencer_)
            return;
        scratch_.clear();
        sequencer_->setSettings(settings, clock_.nowUs(), scratch_);
        queueLocked(scratch_);
    }
    flush();
    wakeThread();
}

void ScheduledPlayer::setEndCallback(std::function<void()> callback) {
    // Waits for a callback under way, so that its owner may go once this returns.
    std::lock_guard lock(callbackMutex_);
    onEnd_ = std::move(callback);
}

bool ScheduledPlayer::dispatchLocked(std::int64_t now) {
    if (state_ != State::Playing)
        return false;
    scratch_.clear();
    const bool ended = sequencer_->advance(now, scratch_);
    queueLocked(scratch_);
    if (!ended)
        return false;
    sequencer_->hold(now);
    stoppedUs_ = sequence_.lengthUs;
    state_ = State::Stopped;
    return true;
}

void ScheduledPlayer::fireEnd() {
    std::lock_guard lock(callbackMutex_);
    if (onEnd_)
        onEnd_();
}

void ScheduledPlayer::pump() {
    bool ended = false;
    {
        std::lock_guard lock(mutex_);
        ended = dispatchLocked(clock_.nowUs());
    }
    flush();
    if (ended)
        fireEnd();
}

void ScheduledPlayer::run() {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); // wake on time, not up to 50 us later
    // A low real-time priority, where the system allows it (root, or an rtprio limit as audio
    // users have): then other busy programs do not delay the music. Otherwise ordinary priority.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 9;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
#endif
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (state_ != State::Playing) {
            wake_.wait(lock);
            continue;
        }
        const std::int64_t now = clock_.nowUs();
        const std::int64_t due = sequencer_->nextDueUs();
        if (due > now) {
            // Sleeps until the next message is due, or until play, pause, seek or a practice
            // change wakes it; a thread at real-time priority with no timer slack wakes on time.
            const std::uint64_t generation = generation_;
            const std::int64_t until = due == PracticeSequencer::NEVER ? now + 1'000'000 : due;
            wake_.wait_until(lock, std::chrono::steady_clock::time_point{std::chrono::microseconds(until)},
                             [&] { return quit_ || generation_ != generation || clock_.nowUs() >= until; });
            continue;
        }
        const bool ended = dispatchLocked(now);
        lock.unlock();
        flush();
        if (ended)
            fireEnd();
        lock.lock();
    }
}

} // namespace pokopen
