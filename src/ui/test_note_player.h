#pragma once

#include "midifile/test_note.h"
#include "playback/midi_out.h"

#include <functional>
#include <span>

namespace pokopen {

// Sounds test notes on a MIDI output device while a mouse button is held: `start` opens the
// device afresh and sends the messages, `stop` resets (silencing the note) and closes it.
// A device that cannot be opened makes the system beep instead.
class TestNotePlayer {
public:
    explicit TestNotePlayer(MidiOut& out);
    ~TestNotePlayer();
    TestNotePlayer(const TestNotePlayer&) = delete;
    TestNotePlayer& operator=(const TestNotePlayer&) = delete;

    // Replaces the beep (QApplication::beep by default), e.g. to observe it in tests.
    void setBeep(std::function<void()> beep) { beep_ = std::move(beep); }

    // Returns false (after beeping) when the device could not be opened.
    bool start(std::span<const MidiShortMessage> messages);
    // Does nothing unless this player's note is sounding.
    void stop();
    bool sounding() const { return open_; }
    // The beep of a refused action (the one a failed open gives).
    void beep() const { beep_(); }

private:
    MidiOut& out_;
    std::function<void()> beep_;
    bool open_ = false;
};

} // namespace pokopen
