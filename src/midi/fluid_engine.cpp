#include "midi/fluid_engine.h"

#include <fluidsynth.h>

#include <QFile>

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
    if (loader_.joinable())
        loader_.join();
    // The members then go in reverse order of creation: driver, synthesizer, settings.
}

std::string FluidEngine::soundFontError() const {
    std::lock_guard lock(mutex_);
    return loadError_;
}

void FluidEngine::waitForSoundFont() {
    if (loader_.joinable())
        loader_.join();
}

} // namespace pokopen
