#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
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
//
// The engine rests when silent: once no voice has sounded for a while and no player holds it
// awake, the audio driver is closed, so that an idle program renders no silence; wake() opens
// it again before the next sound.
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
        // How long the synthesizer may be silent before the audio driver closes; 0 never.
        int restAfterMs = 2000;
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
    // How long rendered sound waits in the audio driver's buffer before it is heard, in
    // microseconds, as far as the driver's settings tell; 0 for a file.
    std::int64_t outputLatencyUs() const { return latencyUs_; }

    // Opens the audio driver again if it rests; call before sending anything that sounds.
    void wake();
    // A player holds the engine awake while it plays, silent passages included.
    void holdAwake();
    void releaseAwake();
    bool resting() const;

private:
    FluidEngine() = default;
    void keep(int restAfterMs);

    std::string soundFont_;
    std::int64_t latencyUs_ = 0;
    std::atomic<bool> ready_{false};
    std::atomic<bool> settled_{false};
    mutable std::mutex mutex_;
    std::string loadError_;
    FluidSettingsPtr settings_;
    FluidSynthPtr synth_;
    mutable std::mutex driverMutex_; // guards driver_, holds_, lastSoundUs_, quit_
    std::condition_variable keeperWake_;
    int holds_ = 0;
    std::int64_t lastSoundUs_ = 0;
    bool quit_ = false;
    FluidDriverPtr driver_;
    std::thread loader_; // joined before the handles above are freed
    std::thread keeper_; // closes the driver when silent; joined before the handles are freed
};

} // namespace pokopen
