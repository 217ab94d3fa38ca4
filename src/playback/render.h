#pragma once

#include "model/song.h"
#include "playback/fluid_engine.h"
#include "playback/practice_sequencer.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Rendering a song to audio with the built-in synthesizer, offline: no sound card, the
// synthesizer's sample clock drives the file player, so every event lands on its sample.
namespace pokopen {

struct RenderOptions {
    std::string soundFont = DEFAULT_SOUNDFONT;
    int sampleRate = 44100;
    double tailSeconds = 1.0; // after the file ends, so that the last notes can fade
    bool effects = true;      // the synthesizer's reverb and chorus
    double gain = 1.0;        // applied to the synthesizer's output before it is cut to 16 bits
    // renderSongToWav: scale the whole song so that its loudest sample peaks at
    // NORMALIZED_PEAK_DBFS (the synthesizer's own level is far below that of music files).
    bool normalize = true;
    // Tempo and the parts muted or soloed, as the player plays them (no count-in or metronome).
    PracticeSettings practice;
    // The part of the file rendered: from fromUs (with what is in force there) to toUs (-1: the
    // file's end), then the tail.
    std::int64_t fromUs = 0;
    std::int64_t toUs = -1;
};

inline constexpr double NORMALIZED_PEAK_DBFS = -1.0;
// A nearly silent song is not blown up into noise: at most +40 dB.
inline constexpr double MAX_NORMALIZING_GAIN = 100.0;

inline constexpr int MIN_RENDER_RATE = 8000;
inline constexpr int MAX_RENDER_RATE = 96000;

struct RenderResult {
    bool ok = false;
    std::string file; // the file the failure is about (the SoundFont or the output)
    std::string message;
};

// Receives the rendered sound block by block (interleaved stereo 16-bit samples); `totalFrames`
// is known before the first block. Returning false stops rendering.
using RenderSink =
    std::function<bool(std::size_t totalFrames, const std::int16_t* samples, std::size_t frames)>;

// Renders a Standard MIDI File: exactly the length of the file (its latest end of track) or of
// the range chosen, at the tempo chosen, and the tail.
RenderResult renderMidi(const std::vector<std::uint8_t>& midiFile, const RenderOptions& options,
                        const RenderSink& sink);
RenderResult renderMidi(const std::vector<std::uint8_t>& midiFile, const RenderOptions& options,
                        std::vector<std::int16_t>& samples);
// The 44-byte RIFF/WAVE header of 16-bit stereo PCM.
std::vector<std::uint8_t> wavHeader(std::size_t frames, int sampleRate);
// The song as its MIDI file would sound, written atomically to `path` while it renders
// (normalized, when the options ask for it, in a second pass).
RenderResult renderSongToWav(const Song& song, const RenderOptions& options, const std::string& path);

} // namespace pokopen
