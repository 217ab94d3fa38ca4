#include "playback/midi_out.h"

namespace pokopen {

std::string NullMidiOut::errorText() const {
    return "MIDI出力が「なし」に設定されています。";
}

void SwitchableMidiOut::replace(std::unique_ptr<MidiOut> device) {
    if (device_->isOpen()) {
        device_->reset();
        device_->close();
    }
    device_ = std::move(device);
    device_->prepare();
}

} // namespace pokopen
