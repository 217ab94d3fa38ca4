#include "midi/scheduled_player.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#endif

namespace pokopen {

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
    ++generation_;
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
    std::lock_guard lock(mutex_);
    if (!out_ || !out_->open()) {
        error_ = out_ ? out_->errorText() : std::string();
        if (error_.empty())
            error_ = "MIDI出力ポートを開けません。";
        return false;
    }
    error_.clear();
    sequence_ = std::move(sequence);
    state_ = State::Stopped;
    anchorPosUs_ = 0;
    next_ = 0;
    chase_ = false;
    return true;
}

void ScheduledPlayer::close() {
    std::lock_guard lock(mutex_);
    if (state_ == State::Closed)
        return;
    silenceLocked();
    out_->close();
    state_ = State::Closed;
    sequence_ = SmfSequence{};
    anchorPosUs_ = 0;
    next_ = 0;
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
        return anchorPosUs_;
    return std::min(sequence_.lengthUs, anchorPosUs_ + std::max<std::int64_t>(0, now - anchorClockUs_));
}

std::int64_t ScheduledPlayer::dueClockLocked(std::int64_t timeUs) const {
    return anchorClockUs_ + (timeUs - anchorPosUs_);
}

std::int64_t ScheduledPlayer::dueUs(std::size_t i) const {
    std::lock_guard lock(mutex_);
    if (state_ != State::Playing || i >= sequence_.events.size())
        return -1;
    return dueClockLocked(sequence_.events[i].timeUs);
}

void ScheduledPlayer::seek(std::int64_t ms) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Closed)
            return;
        if (state_ == State::Playing)
            silenceLocked();
        anchorPosUs_ = std::clamp<std::int64_t>(ms * 1000, 0, sequence_.lengthUs);
        next_ = sequence_.firstEventAt(anchorPosUs_);
        chase_ = true;
        state_ = State::Stopped;
    }
    ++generation_;
    wake_.notify_all();
}

void ScheduledPlayer::play() {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Closed || state_ == State::Playing)
            return;
        if (anchorPosUs_ >= sequence_.lengthUs) { // at the end: rewind first
            anchorPosUs_ = 0;
            next_ = 0;
            chase_ = false;
        }
        if (chase_) {
            chaseLocked();
            chase_ = false;
        }
        anchorClockUs_ = clock_.nowUs();
        state_ = State::Playing;
    }
    // What is due at the start goes out now, without waiting for the thread to wake.
    pump();
    ++generation_;
    wake_.notify_all();
}

void ScheduledPlayer::pause() {
    std::lock_guard lock(mutex_);
    if (state_ != State::Playing)
        return;
    anchorPosUs_ = positionUsLocked(clock_.nowUs());
    state_ = State::Paused;
    silenceLocked();
}

void ScheduledPlayer::stop() {
    std::lock_guard lock(mutex_);
    if (state_ != State::Playing && state_ != State::Paused)
        return;
    if (state_ == State::Playing) {
        anchorPosUs_ = positionUsLocked(clock_.nowUs());
        silenceLocked();
    }
    state_ = State::Stopped;
}

void ScheduledPlayer::setEndCallback(std::function<void()> callback) {
    // Waits for a callback under way, so that its owner may go once this returns.
    std::lock_guard lock(callbackMutex_);
    onEnd_ = std::move(callback);
}

void ScheduledPlayer::sendLocked(const SmfEvent& e) {
    if (e.status == 0xF0) {
        out_->longMessage(sequence_.sysex[static_cast<std::size_t>(e.sysex)]);
        return;
    }
    out_->shortMessage(e.status, e.data1, e.data2);
}

namespace {

// Messages whose effect a later message of the same kind on the same channel replaces entirely:
// programs, channel pressure, pitch bend and controllers, but not bank select, the parameter
// numbers and data entry (whose meaning depends on what came before) nor the channel mode
// messages (which reset others). Returns the kind as an index, or -1.
int replaceableKind(const SmfEvent& e) {
    const int channel = e.status & 0x0F;
    switch (e.status & 0xF0) {
    case 0xB0: {
        const int c = e.data1;
        if (c == 0 || c == 32 || c == 6 || c == 38 || (c >= 96 && c <= 101) || c >= 120)
            return -1;
        return channel * 131 + c;
    }
    case 0xC0:
        return channel * 131 + 128;
    case 0xD0:
        return channel * 131 + 129;
    case 0xE0:
        return channel * 131 + 130;
    default:
        return -1;
    }
}

} // namespace

void ScheduledPlayer::chaseLocked() {
    // Starting in the middle: bring programs, controllers and system exclusive messages up to the
    // starting point, without the notes. Of the messages one later replaces, only the last goes
    // out, in its place among the others: a late start in a long song would otherwise pour
    // thousands of controller changes into the port at once.
    std::vector<std::size_t> last(16 * 131, std::numeric_limits<std::size_t>::max());
    for (std::size_t i = 0; i < next_; ++i)
        if (const int kind = replaceableKind(sequence_.events[i]); kind >= 0)
            last[static_cast<std::size_t>(kind)] = i;
    for (std::size_t i = 0; i < next_; ++i) {
        const SmfEvent& e = sequence_.events[i];
        if (e.isNote())
            continue;
        const int kind = replaceableKind(e);
        if (kind < 0 || last[static_cast<std::size_t>(kind)] == i)
            sendLocked(e);
    }
}

void ScheduledPlayer::silenceLocked() {
    if (out_ && out_->isOpen())
        out_->reset();
}

bool ScheduledPlayer::dispatchLocked(std::int64_t now) {
    if (state_ != State::Playing)
        return false;
    const std::int64_t pos = positionUsLocked(now);
    while (next_ < sequence_.events.size() && sequence_.events[next_].timeUs <= pos)
        sendLocked(sequence_.events[next_++]);
    if (pos < sequence_.lengthUs || next_ < sequence_.events.size())
        return false;
    anchorPosUs_ = sequence_.lengthUs;
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
        const bool ended = dispatchLocked(clock_.nowUs());
        if (ended) {
            lock.unlock();
            fireEnd();
            lock.lock();
            continue;
        }
        if (state_ != State::Playing)
            continue;
        const std::int64_t due =
            next_ < sequence_.events.size() ? sequence_.events[next_].timeUs : sequence_.lengthUs;
        const std::int64_t dueClock = dueClockLocked(due);
        if (dueClock - clock_.nowUs() > SPIN_US) {
            // Sleep until shortly before the message is due (or until play, pause or seek wakes
            // us); the rest of the way is spun, since a sleeping thread wakes late on a busy
            // machine.
            const std::chrono::steady_clock::time_point at{std::chrono::microseconds(dueClock - SPIN_US)};
            wake_.wait_until(lock, at);
            continue;
        }
        const std::uint64_t generation = generation_.load();
        lock.unlock();
        while (clock_.nowUs() < dueClock && generation_.load(std::memory_order_relaxed) == generation) {
        }
        lock.lock();
    }
}

} // namespace pokopen
