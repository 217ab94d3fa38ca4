#include "ui/test_note_player.h"

#include <QApplication>

namespace pokopen {

TestNotePlayer::TestNotePlayer(MidiOut& out) : out_(out), beep_([] { QApplication::beep(); }) {}

TestNotePlayer::~TestNotePlayer() {
    stop();
}

bool TestNotePlayer::start(std::span<const MidiShortMessage> messages) {
    // A press while a note still sounds (a second button) starts over on a fresh device.
    stop();
    if (!out_.open()) {
        beep_();
        return false;
    }
    open_ = true;
    for (const MidiShortMessage& m : messages)
        out_.shortMessage(m.status, m.data1, m.data2);
    return true;
}

void TestNotePlayer::stop() {
    if (!open_)
        return;
    out_.reset();
    out_.close();
    open_ = false;
}

} // namespace pokopen
