#pragma once

#include "playback/fluid_engine.h"
#include "playback/midi_out.h"

namespace pokopen {

// Test notes on the built-in synthesizer. The engine is kept after close, so that the next
// test note sounds at once instead of loading the SoundFont again. Messages sent while the
// SoundFont is still loading are dropped; the next press of a note sends its program again.
class FluidMidiOut final : public MidiOut {
public:
    explicit FluidMidiOut(std::string soundFont = DEFAULT_SOUNDFONT);
    // Plays on a given engine (tests pass one that writes to a file).
    explicit FluidMidiOut(std::shared_ptr<FluidEngine> engine);

    bool open() override;
    void shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    void longMessage(const std::vector<std::uint8_t>& bytes) override;
    void reset() override;
    void close() override;
    bool isOpen() const override { return open_; }
    void prepare() override;
    std::string errorText() const override { return error_; }

private:
    bool acquire();
    bool canSend() const;

    std::string soundFont_;
    std::shared_ptr<FluidEngine> engine_;
    bool open_ = false;
    std::string error_;
};

// Sends one MIDI message to a FluidSynth synthesizer.
void sendToSynth(_fluid_synth_t* synth, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
// Sends a whole system exclusive message (F0 ... F7); anything else is ignored.
void sendSysexToSynth(_fluid_synth_t* synth, const std::vector<std::uint8_t>& bytes);

} // namespace pokopen
