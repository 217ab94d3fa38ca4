#include "playback/render.h"

#include "midifile/midi_file.h"
#include "midifile/smf_reader.h"
#include "playback/fluid_midi_out.h"
#include "playback/play_timeline.h"

#include <fluidsynth.h>

#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <memory>

namespace pokopen {

namespace {

constexpr std::size_t BLOCK_FRAMES = 1024; // a multiple of the synthesizer's own block
constexpr std::size_t SYNTH_BLOCK = 64;
// Far beyond any song (1000 measures at the slowest tempo last under four hours), and within the
// 32-bit sizes of a WAVE file at the highest rate.
constexpr double MAX_SECONDS = 5 * 3600;

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void putText(std::vector<std::uint8_t>& out, const char* text) {
    out.insert(out.end(), text, text + 4);
}

RenderResult fail(std::string file, std::string message) {
    return {false, std::move(file), std::move(message)};
}

} // namespace

RenderResult renderMidi(const std::vector<std::uint8_t>& midiFile, const RenderOptions& options,
                        std::vector<std::int16_t>& samples) {
    samples.clear();
    return renderMidi(midiFile, options,
                      [&samples](std::size_t total, const std::int16_t* block, std::size_t n) {
                          samples.reserve(2 * total);
                          samples.insert(samples.end(), block, block + 2 * n);
                          return true;
                      });
}

namespace {

// Receives the rendered sound as interleaved stereo floats (full scale 1.0).
using FloatSink = std::function<bool(std::size_t totalFrames, const float* samples, std::size_t frames)>;

RenderResult renderFloat(const std::vector<std::uint8_t>& midiFile, const RenderOptions& options,
                         const FloatSink& sink) {
    captureFluidLog();
    SmfSequence sequence;
    if (!parseSmf(midiFile, sequence).ok)
        return fail({}, "not a MIDI file");
    if (options.sampleRate < MIN_RENDER_RATE || options.sampleRate > MAX_RENDER_RATE)
        return fail({}, "sample rate out of range");
    if (!QFileInfo(QString::fromStdString(options.soundFont)).isFile())
        return fail(options.soundFont, "SoundFont not found");
    // Created in this order and freed in reverse: settings, synthesizer.
    FluidSettingsPtr settings(new_fluid_settings());
    if (!settings)
        return fail({}, "the synthesizer cannot be created");
    fluid_settings_setnum(settings.get(), "synth.sample-rate", options.sampleRate);
    fluid_settings_setint(settings.get(), "synth.lock-memory", 0);
    fluid_settings_setint(settings.get(), "synth.reverb.active", options.effects ? 1 : 0);
    fluid_settings_setint(settings.get(), "synth.chorus.active", options.effects ? 1 : 0);
    FluidSynthPtr synth(new_fluid_synth(settings.get()));
    if (!synth)
        return fail({}, "the synthesizer cannot be created");
    if (!looksLikeSoundFont(options.soundFont) ||
        fluid_synth_sfload(synth.get(), options.soundFont.c_str(), 1) == FLUID_FAILED)
        return fail(options.soundFont, "not a SoundFont");

    // What the player would send, on a clock of frames rendered: from the starting point (with
    // what is in force there) to the end of the range at the tempo chosen, then a tail during
    // which the last notes fade.
    PracticeSequencer player(sequence);
    PlayMessages messages;
    PracticeSettings practice = options.practice;
    practice.loop = practice.countIn = practice.metronome = false;
    player.setSettings(practice, 0, messages);
    player.start(options.fromUs, 0, messages);
    const std::int64_t endFileUs =
        options.toUs < 0 ? sequence.lengthUs : std::clamp(options.toUs, options.fromUs, sequence.lengthUs);
    const std::int64_t endUs = player.playTimeOf(endFileUs);
    const double seconds = static_cast<double>(endUs) / 1e6 + options.tailSeconds;
    if (seconds > MAX_SECONDS)
        return fail({}, "the MIDI file is too long");
    const auto frames = static_cast<std::size_t>(seconds * options.sampleRate);

    const auto send = [&synth, &sequence](const PlayMessages& out) {
        for (const PlayMessage& m : out) {
            if (m.status == 0xF0)
                sendSysexToSynth(synth.get(), sequence.sysex[static_cast<std::size_t>(m.sysex)]);
            else
                sendToSynth(synth.get(), m.status, m.data1, m.data2);
        }
    };
    // The synthesizer starts sounds only at the start of one of its 64-frame blocks. Before each
    // block goes what is due by the block's middle, so that each message lands on the boundary
    // nearest to its own frame: no sound is off by more than half a block (0.73 ms at 44.1 kHz),
    // and the error does not add up over the song.
    const auto usOf = [&options](std::size_t frame) {
        return static_cast<std::int64_t>(static_cast<double>(frame) * 1e6 / options.sampleRate);
    };
    bool playing = true;
    std::vector<float> block(2 * BLOCK_FRAMES);
    for (std::size_t at = 0; at < frames;) {
        const std::size_t n = std::min(BLOCK_FRAMES, frames - at);
        for (std::size_t part = 0; part < n; part += SYNTH_BLOCK) {
            if (playing) {
                const std::int64_t now = usOf(at + part + SYNTH_BLOCK / 2);
                if (now >= endUs) {
                    // The range's end: what lies before it plays, the notes still sounding end
                    // (the next measure's first notes are not part of it).
                    player.advance(endUs - 1, messages);
                    player.release(messages);
                    playing = false;
                } else {
                    player.advance(now, messages);
                }
            }
            send(messages);
            messages.clear();
            const std::size_t m = std::min(SYNTH_BLOCK, n - part);
            fluid_synth_write_float(synth.get(), static_cast<int>(m), block.data() + 2 * part, 0, 2,
                                    block.data() + 2 * part, 1, 2);
        }
        if (!sink(frames, block.data(), n))
            return fail({}, "rendering was stopped");
        at += n;
    }
    return {true, {}, {}};
}

} // namespace

RenderResult renderMidi(const std::vector<std::uint8_t>& midiFile, const RenderOptions& options,
                        const RenderSink& sink) {
    std::vector<std::int16_t> block;
    return renderFloat(midiFile, options, [&](std::size_t total, const float* samples, std::size_t frames) {
        block.resize(2 * frames);
        for (std::size_t i = 0; i < 2 * frames; ++i) {
            const double v = std::clamp(static_cast<double>(samples[i]) * options.gain, -1.0, 1.0);
            block[i] = static_cast<std::int16_t>(std::lround(v * 32767.0));
        }
        return sink(total, block.data(), frames);
    });
}

namespace {

RenderResult measurePeak(const std::vector<std::uint8_t>& midiFile, const RenderOptions& options,
                         double& peak) {
    peak = 0;
    return renderFloat(midiFile, options, [&peak](std::size_t, const float* samples, std::size_t frames) {
        for (std::size_t i = 0; i < 2 * frames; ++i)
            peak = std::max(peak, std::abs(static_cast<double>(samples[i])));
        return true;
    });
}

double normalizingGain(double peak) {
    if (peak <= 0)
        return 1.0; // silence stays silence
    return std::min(std::pow(10.0, NORMALIZED_PEAK_DBFS / 20.0) / peak, MAX_NORMALIZING_GAIN);
}

} // namespace

std::vector<std::uint8_t> wavHeader(std::size_t frames, int sampleRate) {
    // RIFF sizes are 32-bit; MAX_SECONDS keeps every renderable length within them.
    const auto dataBytes = static_cast<std::uint32_t>(frames * 4);
    std::vector<std::uint8_t> out;
    out.reserve(44); // the whole header (and no false alarm from GCC's overflow check at -O3)
    putText(out, "RIFF");
    put32(out, 36 + dataBytes);
    putText(out, "WAVE");
    putText(out, "fmt ");
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, 2); // stereo
    put32(out, static_cast<std::uint32_t>(sampleRate));
    put32(out, static_cast<std::uint32_t>(sampleRate) * 4);
    put16(out, 4);
    put16(out, 16);
    putText(out, "data");
    put32(out, dataBytes);
    return out;
}

RenderResult renderSongToWav(const Song& song, const RenderOptions& options, const std::string& path) {
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        return fail(path, "cannot be created");
    std::vector<std::uint8_t> bytes;
    const auto write = [&file, &bytes] {
        return file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
    };
    const std::vector<std::uint8_t> midi = buildMidiFile(song, false);
    RenderOptions scaled = options;
    if (options.normalize) {
        // A first pass finds the loudest sample; the synthesizer renders the same song the same
        // way again, scaled so that this sample lands at the normalized peak.
        double peak = 0;
        if (const RenderResult r = measurePeak(midi, options, peak); !r.ok)
            return r;
        scaled.gain = options.gain * normalizingGain(peak);
    }
    bool headerWritten = false;
    bool writeFailed = false;
    const RenderResult r =
        renderMidi(midi, scaled, [&](std::size_t total, const std::int16_t* block, std::size_t n) {
            if (!headerWritten) {
                bytes = wavHeader(total, options.sampleRate);
                headerWritten = true;
                if (!write())
                    return !(writeFailed = true);
            }
            bytes.clear();
            for (std::size_t i = 0; i < 2 * n; ++i) { // little-endian whatever the machine
                const auto v = static_cast<std::uint16_t>(block[i]);
                bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
                bytes.push_back(static_cast<std::uint8_t>(v >> 8));
            }
            return !(writeFailed = !write());
        });
    if (writeFailed)
        return fail(path, "cannot be written");
    if (!r.ok)
        return r; // the file is discarded; an earlier one stays as it was
    if (!file.commit())
        return fail(path, "cannot be written");
    return {true, {}, {}};
}

} // namespace pokopen
