#include "playback/fluid_engine.h"

#include <fluidsynth.h>

#include <QFile>

#include <algorithm>
#include <chrono>
#include <map>

namespace pokopen {

void FluidSettingsDeleter::operator()(fluid_settings_t* p) const {
    delete_fluid_settings(p);
}
void FluidSynthDeleter::operator()(fluid_synth_t* p) const {
    delete_fluid_synth(p);
}
void FluidDriverDeleter::operator()(fluid_audio_driver_t* p) const {
    delete_fluid_audio_driver(p);
}

namespace {

std::mutex logMutex;
std::string lastError;

void keepError(int level, const char* message, void*) {
    if (level > FLUID_ERR || message == nullptr)
        return;
    std::lock_guard lock(logMutex);
    lastError = message;
}

void dropMessage(int, const char*, void*) {}

} // namespace

void captureFluidLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        fluid_set_log_function(FLUID_PANIC, keepError, nullptr);
        fluid_set_log_function(FLUID_ERR, keepError, nullptr);
        fluid_set_log_function(FLUID_WARN, dropMessage, nullptr);
        fluid_set_log_function(FLUID_INFO, dropMessage, nullptr);
        fluid_set_log_function(FLUID_DBG, dropMessage, nullptr);
    });
}

std::string lastFluidError() {
    std::lock_guard lock(logMutex);
    return lastError;
}

bool looksLikeSoundFont(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(12);
    return head.size() == 12 && head.startsWith("RIFF") && (head.mid(8) == "sfbk" || head.mid(8) == "DLS ");
}

namespace {
std::int64_t steadyUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// How often a sounding engine looks whether it has fallen silent.
constexpr auto SILENCE_CHECK = std::chrono::milliseconds(100);

// The sound an audio driver holds between the synthesizer and the speaker: ALSA and the others
// queue audio.periods periods of audio.period-size frames; FluidSynth asks PulseAudio for one
// period (whatever the server adds on top is not known here); a file is heard by nobody.
std::int64_t bufferLatencyUs(fluid_settings_t* settings, const std::string& driver) {
    if (driver == "file")
        return 0;
    int periodSize = 0;
    int periods = 0;
    double rate = 0;
    fluid_settings_getint(settings, "audio.period-size", &periodSize);
    fluid_settings_getint(settings, "audio.periods", &periods);
    fluid_settings_getnum(settings, "synth.sample-rate", &rate);
    if (rate <= 0)
        return 0;
    const double frames = driver == "pulseaudio" ? periodSize : static_cast<double>(periodSize) * periods;
    return static_cast<std::int64_t>(frames * 1e6 / rate);
}
} // namespace

std::shared_ptr<FluidEngine> FluidEngine::create(const Options& options, std::string& error) {
    captureFluidLog();
    std::shared_ptr<FluidEngine> engine(new FluidEngine);
    engine->soundFont_ = options.soundFont;
    // POKOPEN_AUDIO_DRIVER names the one FluidSynth audio driver to use, for machines whose sound
    // goes elsewhere (or nowhere: "file" with no file name plays into /dev/null).
    std::vector<std::string> drivers = options.audioDrivers;
    std::string fileName = options.fileName;
    if (const QByteArray forced = qgetenv("POKOPEN_AUDIO_DRIVER");
        !forced.isEmpty() && options.fileName.empty()) {
        drivers = {forced.toStdString()};
        if (drivers.front() == "file")
            fileName = "/dev/null";
    }
    for (const std::string& driver : drivers) {
        FluidSettingsPtr settings(new_fluid_settings());
        if (!settings)
            break;
        fluid_settings_setstr(settings.get(), "audio.driver", driver.c_str());
        if (!fileName.empty())
            fluid_settings_setstr(settings.get(), "audio.file.name", fileName.c_str());
        FluidSynthPtr synth(new_fluid_synth(settings.get()));
        if (!synth)
            continue;
        FluidDriverPtr audio(new_fluid_audio_driver(settings.get(), synth.get()));
        if (!audio)
            continue; // freed in reverse order: synth, then settings
        engine->latencyUs_ = bufferLatencyUs(settings.get(), driver);
        engine->settings_ = std::move(settings);
        engine->synth_ = std::move(synth);
        engine->driver_ = std::move(audio);
        break;
    }
    if (!engine->driver_) {
        error = "内蔵シンセサイザの音声出力を開けません。";
        const std::string detail = lastFluidError();
        if (!detail.empty())
            error += "(" + detail + ")";
        return nullptr;
    }
    FluidEngine* self = engine.get();
    engine->loader_ = std::thread([self, beforeLoading = options.beforeLoading] {
        if (beforeLoading)
            beforeLoading();
        const int id = looksLikeSoundFont(self->soundFont_)
                           ? fluid_synth_sfload(self->synth_.get(), self->soundFont_.c_str(), 1)
                           : FLUID_FAILED;
        if (id == FLUID_FAILED) {
            std::lock_guard lock(self->mutex_);
            self->loadError_ = "SoundFontを読み込めません: " + self->soundFont_;
        } else {
            self->ready_ = true;
        }
        self->settled_ = true;
    });
    if (options.restAfterMs > 0) {
        engine->lastSoundUs_ = steadyUs();
        engine->keeper_ = std::thread([self, restAfterMs = options.restAfterMs] { self->keep(restAfterMs); });
    }
    return engine;
}

std::shared_ptr<FluidEngine> FluidEngine::shared(const std::string& soundFont, std::string& error) {
    static std::mutex registryMutex;
    static std::map<std::string, std::weak_ptr<FluidEngine>> registry;
    std::lock_guard lock(registryMutex);
    if (auto existing = registry[soundFont].lock())
        return existing;
    Options options;
    options.soundFont = soundFont;
    auto engine = create(options, error);
    if (engine)
        registry[soundFont] = engine;
    return engine;
}

FluidEngine::~FluidEngine() {
    {
        std::lock_guard lock(driverMutex_);
        quit_ = true;
    }
    keeperWake_.notify_all();
    if (keeper_.joinable())
        keeper_.join();
    if (loader_.joinable())
        loader_.join();
    // The members then go in reverse order of creation: driver, synthesizer, settings.
}

std::string FluidEngine::soundFontError() const {
    std::lock_guard lock(mutex_);
    return loadError_;
}

void FluidEngine::keep(int restAfterMs) {
    std::unique_lock lock(driverMutex_);
    while (!quit_) {
        if (!driver_) {
            keeperWake_.wait(lock); // resting: nothing to watch until wake()
            continue;
        }
        keeperWake_.wait_for(lock, SILENCE_CHECK);
        if (quit_ || !driver_ || !settled_)
            continue;
        const std::int64_t now = steadyUs();
        if (holds_ > 0 || fluid_synth_get_active_voice_count(synth_.get()) > 0) {
            lastSoundUs_ = now;
            continue;
        }
        if (now - lastSoundUs_ >= std::int64_t{restAfterMs} * 1000)
            driver_.reset(); // the rendering thread ends; the synthesizer keeps its state
    }
}

void FluidEngine::wake() {
    std::lock_guard lock(driverMutex_);
    lastSoundUs_ = steadyUs();
    if (driver_ || quit_ || !settings_)
        return;
    driver_.reset(new_fluid_audio_driver(settings_.get(), synth_.get()));
    keeperWake_.notify_all();
}

void FluidEngine::holdAwake() {
    {
        std::lock_guard lock(driverMutex_);
        ++holds_;
    }
    wake();
}

void FluidEngine::releaseAwake() {
    std::lock_guard lock(driverMutex_);
    holds_ = std::max(0, holds_ - 1);
    lastSoundUs_ = steadyUs(); // the last notes' release still sounds
}

bool FluidEngine::resting() const {
    std::lock_guard lock(driverMutex_);
    return !driver_;
}

void FluidEngine::waitForSoundFont() {
    if (loader_.joinable())
        loader_.join();
}

} // namespace pokopen
