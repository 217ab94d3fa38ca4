#pragma once

#include "playback/midi_out.h"

#include <memory>
#include <string>
#include <vector>

class RtMidiOut;

namespace pokopen {

struct RtMidiOutDeleter {
    void operator()(RtMidiOut* p) const; // closes the port, then frees the client
};
using RtMidiOutPtr = std::unique_ptr<RtMidiOut, RtMidiOutDeleter>;

// The output ports the system offers (the ALSA sequencer on Linux), by name; empty when there
// is no MIDI system at all.
std::vector<std::string> listMidiOutPorts();

// Test notes and test play on an external MIDI port, found by its name when opened (port
// numbers change as devices come and go).
class RtMidiPortOut final : public MidiOut {
public:
    explicit RtMidiPortOut(std::string portName);
    ~RtMidiPortOut() override;
    // The port's error callback points at this object: it must stay where it was made.
    RtMidiPortOut(const RtMidiPortOut&) = delete;
    RtMidiPortOut& operator=(const RtMidiPortOut&) = delete;
    RtMidiPortOut(RtMidiPortOut&&) = delete;
    RtMidiPortOut& operator=(RtMidiPortOut&&) = delete;

    bool open() override;
    void shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    void longMessage(const std::vector<std::uint8_t>& bytes) override;
    // Sustain off, all notes off and all sound off on every channel.
    void reset() override;
    void close() override;
    bool isOpen() const override { return port_ != nullptr; }
    std::string errorText() const override { return error_; }

    const std::string& portName() const { return portName_; }

private:
    void send(const unsigned char* bytes, std::size_t size);

    std::string portName_;
    RtMidiOutPtr port_;
    std::string error_;
};

} // namespace pokopen
