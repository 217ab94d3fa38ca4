#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_audio_driver_t;

namespace pokopen {

inline constexpr const char* DEFAULT_SOUNDFONT = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// Owners of FluidSynth's C handles, freed by their own functions.
struct FluidSettingsDeleter {
    void operator()(_fluid_hashtable_t* p) const;
};
struct FluidSynthDeleter {
    void operator()(_fluid_synth_t* p) const;
};
struct FluidDriverDeleter {
    void operator()(_fluid_audio_driver_t* p) const;
};
using FluidSettingsPtr = std::unique_ptr<_fluid_hashtable_t, FluidSettingsDeleter>;
using FluidSynthPtr = std::unique_ptr<_fluid_synth_t, FluidSynthDeleter>;
using FluidDriverPtr = std::unique_ptr<_fluid_audio_driver_t, FluidDriverDeleter>;

// Routes FluidSynth's messages away from the terminal and keeps the last error, so that
// failures reach the user as one message of ours. Idempotent.
void captureFluidLog();
std::string lastFluidError();

// Whether the file starts as a SoundFont (RIFF "sfbk") or a DLS collection (RIFF "DLS ") does.
// Checked before loading, since FluidSynth's DLS reader complains loudly about anything else.
bool looksLikeSoundFont(const std::string& path);

// The built-in synthesizer playing to the sound card: settings, synthesizer, audio driver (in
// that order of creation, freed in reverse). The SoundFont loads on a thread of its own, so
// creating the engine never waits for it; messages that arrive before it is ready are dropped.
class FluidEngine {
public:
    struct Options {
        std::string soundFont = DEFAULT_SOUNDFONT;
        // Tried in order; the first that opens plays. "file" (with fileName) is for tests.
        std::vector<std::string> audioDrivers{"pulseaudio", "alsa"};
        std::string fileName;
        // Runs on the loading thread before the SoundFont is read. Tests hold the load back
        // here, as a SoundFont of hundreds of megabytes would, to see that nothing waits for it.
        std::function<void()> beforeLoading;
    };

    // nullptr with `error` set when no audio output can be opened.
    static std::shared_ptr<FluidEngine> create(const Options& options, std::string& error);
    // One engine per SoundFont for the whole program: test notes and test play share it, and it
    // stays loaded while anyone holds it.
    static std::shared_ptr<FluidEngine> shared(const std::string& soundFont, std::string& error);

    ~FluidEngine();
    FluidEngine(const FluidEngine&) = delete;
    FluidEngine& operator=(const FluidEngine&) = delete;

    _fluid_synth_t* synth() const { return synth_.get(); }
    const std::string& soundFont() const { return soundFont_; }
    bool soundFontReady() const { return ready_.load(); }
    // Whether loading has finished, well or not. Until then FluidSynth holds its lock for the
    // whole load, so any call into the synthesizer would wait: callers on the user-interface
    // thread send nothing before this.
    bool soundFontSettled() const { return settled_.load(); }
    // Empty unless loading the SoundFont failed.
    std::string soundFontError() const;
    // For tests and the renderer: waits until the loader thread has finished.
    void waitForSoundFont();

private:
    FluidEngine() = default;

    std::string soundFont_;
    std::atomic<bool> ready_{false};
    std::atomic<bool> settled_{false};
    mutable std::mutex mutex_;
    std::string loadError_;
    FluidSettingsPtr settings_;
    FluidSynthPtr synth_;
    FluidDriverPtr driver_;
    std::thread loader_; // joined before the handles above are freed
};

} // namespace pokopen
