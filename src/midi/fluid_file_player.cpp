#include "midi/fluid_file_player.h"

#include <fluidsynth.h>

#include <QFile>

#include <algorithm>

namespace pokopen {

void FluidPlayerDeleter::operator()(fluid_player_t* p) const {
    delete_fluid_player(p);
}

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
    std::lock_guard lock(mutex_);
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error_ = "ファイルを開けません: " + path;
        return false;
    }
    const QByteArray data = file.readAll();
    std::vector<std::uint8_t> bytes(data.begin(), data.end());
    SmfSequence sequence;
    const SmfResult parsed = parseSmf(bytes, sequence);
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
    file_ = std::move(bytes);
    sequence_ = std::move(sequence);
    positionUs_ = 0;
    state_ = State::Stopped;
    quit_ = false;
    watcher_ = std::thread([this] { watch(); });
    return true;
}

void FluidFilePlayer::close() {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Closed)
            return;
        haltLocked(State::Closed);
        quit_ = true;
    }
    wake_.notify_all();
    if (watcher_.joinable())
        watcher_.join();
    std::lock_guard lock(mutex_);
    engine_.reset();
    file_.clear();
    sequence_ = SmfSequence{};
    positionUs_ = 0;
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

std::int64_t FluidFilePlayer::positionUsLocked() const {
    if (state_ != State::Playing || !player_)
        return positionUs_;
    if (fluid_player_get_status(player_.get()) == FLUID_PLAYER_DONE)
        return sequence_.lengthUs;
    // Until the player has taken the starting point, it still reports tick 0.
    const int tick = fluid_player_get_current_tick(player_.get());
    const std::uint32_t at = std::max(startTick_, static_cast<std::uint32_t>(std::max(tick, 0)));
    return std::min(sequence_.lengthUs, std::max(positionUs_, sequence_.tickToUs(at)));
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
    // The player's position is that of the sound just rendered; the audio driver's buffer holds
    // it for the output latency before it is heard.
    if (state_ == State::Playing && player_ && us < sequence_.lengthUs)
        us = std::max(runStartUs_, us - engine_->outputLatencyUs());
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

void FluidFilePlayer::haltLocked(State next) {
    if (state_ == State::Playing) {
        positionUs_ = positionUsLocked();
        if (player_) {
            player_.reset();
            fluid_synth_all_sounds_off(engine_->synth(), -1);
        }
        pendingStart_ = false;
    }
    state_ = next;
}

bool FluidFilePlayer::startLocked() {
    FluidPlayerPtr player(new_fluid_player(engine_->synth()));
    if (!player || fluid_player_add_mem(player.get(), file_.data(), file_.size()) != FLUID_OK) {
        error_ = "内蔵シンセサイザで演奏できません。";
        return false;
    }
    // FluidSynth's seek sends every message before the starting tick but the notes (programs,
    // controllers, tempo), so that the music sounds there as it does when played through.
    startTick_ = positionUs_ > 0 ? sequence_.usToTick(positionUs_) : 0;
    runStartUs_ = positionUs_;
    if (startTick_ > 0)
        fluid_player_seek(player.get(), static_cast<int>(startTick_));
    if (fluid_player_play(player.get()) != FLUID_OK) {
        error_ = "内蔵シンセサイザで演奏できません。";
        return false;
    }
    player_ = std::move(player);
    return true;
}

void FluidFilePlayer::seek(std::int64_t ms) {
    std::lock_guard lock(mutex_);
    if (state_ == State::Closed)
        return;
    haltLocked(State::Stopped);
    positionUs_ = std::clamp<std::int64_t>(ms * 1000, 0, sequence_.lengthUs);
}

void FluidFilePlayer::play() {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Closed)
            return;
        if (state_ == State::Playing) {
            // Playing on only while the file's end has not been reached; FluidSynth's player
            // lingers there until the last notes have faded.
            if (positionUsLocked() < sequence_.lengthUs)
                return;
            haltLocked(State::Stopped);
        }
        if (positionUs_ >= sequence_.lengthUs)
            positionUs_ = 0; // at the end: rewind first
        if (engine_->soundFontSettled()) {
            if (!startLocked())
                return;
        } else {
            pendingStart_ = true; // the watcher starts it once the SoundFont is there
        }
        state_ = State::Playing;
    }
    wake_.notify_all();
}

void FluidFilePlayer::pause() {
    std::lock_guard lock(mutex_);
    if (state_ == State::Playing)
        haltLocked(State::Paused);
}

void FluidFilePlayer::stop() {
    std::lock_guard lock(mutex_);
    if (state_ == State::Playing || state_ == State::Paused)
        haltLocked(State::Stopped);
}

void FluidFilePlayer::setEndCallback(std::function<void()> callback) {
    // Waits for a callback under way, so that its owner may go once this returns.
    std::lock_guard lock(callbackMutex_);
    onEnd_ = std::move(callback);
}

void FluidFilePlayer::watch() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (state_ != State::Playing) {
            wake_.wait(lock);
            continue;
        }
        wake_.wait_for(lock, std::chrono::milliseconds(5));
        if (state_ == State::Playing && pendingStart_ && engine_->soundFontSettled()) {
            pendingStart_ = false;
            if (!startLocked())
                state_ = State::Stopped;
            continue;
        }
        // The end is the file's end, not the moment FluidSynth's player has let the last notes
        // fade.
        if (state_ != State::Playing || !player_ || positionUsLocked() < sequence_.lengthUs)
            continue;
        positionUs_ = sequence_.lengthUs;
        player_.reset();
        state_ = State::Stopped;
        lock.unlock();
        {
            std::lock_guard callbackLock(callbackMutex_);
            if (onEnd_)
                onEnd_();
        }
        lock.lock();
    }
}

} // namespace pokopen
