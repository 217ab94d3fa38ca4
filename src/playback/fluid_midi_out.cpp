#include "playback/fluid_midi_out.h"

#include <fluidsynth.h>

namespace pokopen {

void sendToSynth(fluid_synth_t* synth, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    const int channel = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(synth, channel, data1);
        break;
    case 0x90:
        fluid_synth_noteon(synth, channel, data1, data2); // velocity 0 is a note-off
        break;
    case 0xA0:
        fluid_synth_key_pressure(synth, channel, data1, data2);
        break;
    case 0xB0:
        fluid_synth_cc(synth, channel, data1, data2);
        break;
    case 0xC0:
        fluid_synth_program_change(synth, channel, data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(synth, channel, data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(synth, channel, data1 | (data2 << 7));
        break;
    default:
        break;
    }
}

void sendSysexToSynth(fluid_synth_t* synth, const std::vector<std::uint8_t>& bytes) {
    // FluidSynth takes the message without its F0 and F7.
    if (bytes.size() < 2 || bytes.front() != 0xF0)
        return;
    const std::size_t end = bytes.back() == 0xF7 ? bytes.size() - 1 : bytes.size();
    fluid_synth_sysex(synth, reinterpret_cast<const char*>(bytes.data() + 1), static_cast<int>(end - 1),
                      nullptr, nullptr, nullptr, 0);
}

FluidMidiOut::FluidMidiOut(std::string soundFont) : soundFont_(std::move(soundFont)) {}

FluidMidiOut::FluidMidiOut(std::shared_ptr<FluidEngine> engine) : engine_(std::move(engine)) {
    if (engine_)
        soundFont_ = engine_->soundFont();
}

bool FluidMidiOut::acquire() {
    if (engine_)
        return true;
    error_.clear();
    engine_ = FluidEngine::shared(soundFont_, error_);
    return engine_ != nullptr;
}

void FluidMidiOut::prepare() {
    acquire();
}

bool FluidMidiOut::open() {
    open_ = acquire();
    return open_;
}

bool FluidMidiOut::canSend() const {
    // Before the SoundFont has loaded, a message would wait for the load: it is dropped.
    return open_ && engine_->soundFontSettled();
}

void FluidMidiOut::shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    if (!canSend())
        return;
    engine_->wake();
    sendToSynth(engine_->synth(), status, data1, data2);
}

void FluidMidiOut::longMessage(const std::vector<std::uint8_t>& bytes) {
    if (!canSend())
        return;
    engine_->wake();
    sendSysexToSynth(engine_->synth(), bytes);
}

void FluidMidiOut::reset() {
    if (canSend())
        fluid_synth_all_sounds_off(engine_->synth(), -1);
}

void FluidMidiOut::close() {
    open_ = false;
}

} // namespace pokopen
