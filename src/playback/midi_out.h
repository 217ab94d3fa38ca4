#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

    // A system exclusive message (F0 ... F7). Devices that cannot send one ignore it.
    virtual void longMessage(const std::vector<std::uint8_t>& bytes) { (void)bytes; }
    // Starts slow preparation (loading a SoundFont) in the background, so that the first open
    // is quick. Never blocks.
    virtual void prepare() {}
    // Why the last open failed, for messages; empty when it did not fail.
    virtual std::string errorText() const { return {}; }
};

// The "none" choice: every open fails, so test notes beep.
class NullMidiOut final : public MidiOut {
public:
    bool open() override { return false; }
    void shortMessage(std::uint8_t, std::uint8_t, std::uint8_t) override {}
    void reset() override {}
    void close() override {}
    bool isOpen() const override { return false; }
    std::string errorText() const override;
};

// The device that test notes go to, which the user may change while the program runs: windows
// keep a reference to this one object, and the choice behind it is replaced.
class SwitchableMidiOut final : public MidiOut {
public:
    explicit SwitchableMidiOut(std::unique_ptr<MidiOut> device) : device_(std::move(device)) {}
    // Silences and closes the current device, then uses `device` from now on.
    void replace(std::unique_ptr<MidiOut> device);

    bool open() override { return device_->open(); }
    void shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override {
        device_->shortMessage(status, data1, data2);
    }
    void reset() override { device_->reset(); }
    void close() override { device_->close(); }
    bool isOpen() const override { return device_->isOpen(); }
    void longMessage(const std::vector<std::uint8_t>& bytes) override { device_->longMessage(bytes); }
    void prepare() override { device_->prepare(); }
    std::string errorText() const override { return device_->errorText(); }

private:
    std::unique_ptr<MidiOut> device_;
};

} // namespace pokopen
