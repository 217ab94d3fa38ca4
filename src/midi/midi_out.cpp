#include "midi/midi_out.h"

namespace pokopen {

std::string NullMidiOut::errorText() const {
    return "MIDI出力が「なし」に設定されています。";
}

} // namespace pokopen
