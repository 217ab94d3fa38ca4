#pragma once

#include "midi/midi_out.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pokopen::testing {

// A MIDI output that records every call as a line ("open", "C0 05 00", "reset", "close"), and
// that can be told to refuse opening.
class RecordingMidiOut : public MidiOut {
public:
    bool refuseOpen = false;
    std::vector<std::string> calls;

    bool open() override {
        calls.push_back(refuseOpen ? "open failed" : "open");
        open_ = !refuseOpen;
        return open_;
    }
    void shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override {
        char text[16];
        std::snprintf(text, sizeof text, "%02X %02X %02X", status, data1, data2);
        calls.push_back(open_ ? text : std::string("sent while closed: ") + text);
    }
    void reset() override { calls.push_back(open_ ? "reset" : "reset while closed"); }
    void close() override {
        calls.push_back(open_ ? "close" : "close while closed");
        open_ = false;
    }
    bool isOpen() const override { return open_; }

private:
    bool open_ = false;
};

} // namespace pokopen::testing
