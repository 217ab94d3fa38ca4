#pragma once

#include <array>
#include <cstdint>

namespace pokopen {

// One MIDI short message: status byte and two data bytes.
struct MidiShortMessage {
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;

    friend bool operator==(const MidiShortMessage&, const MidiShortMessage&) = default;
};

// A test note: the program change, then the note-on at full velocity, on `channel` (0..15).
// The note sounds until the device is reset; no note-off is sent.
inline std::array<MidiShortMessage, 2> testNoteMessages(int channel, int program, int key) {
    const auto byte = [](int v) { return static_cast<std::uint8_t>(v & 0x7F); };
    const auto ch = static_cast<std::uint8_t>(channel & 0x0F);
    return {{{static_cast<std::uint8_t>(0xC0 | ch), byte(program), 0},
             {static_cast<std::uint8_t>(0x90 | ch), byte(key), 0x7F}}};
}

} // namespace pokopen
