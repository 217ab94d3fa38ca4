#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace pokopen {

// A MIDI output device for test notes: open, short messages, reset (silences every sounding
// note), close. A failed open makes the caller beep.
class MidiOut {
public:
    virtual ~MidiOut() = default;
    virtual bool open() = 0;
    // status, data1, data2 as in a MIDI short message.
    virtual void shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;
    virtual void reset() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
};

} // namespace pokopen
