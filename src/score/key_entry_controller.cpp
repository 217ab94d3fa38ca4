#include "score/key_entry_controller.h"

#include "model/event_store.h"

#include <QApplication>

namespace pokopen {

KeyEntryController::KeyEntryController(SongDocument& session, TestNotePlayer& audition, QObject* parent)
    : QObject(parent), session_(session), audition_(audition), beep_([] { QApplication::beep(); }) {
    auditionTimer_.setSingleShot(true);
    auditionTimer_.setInterval(AUDITION_MS);
    connect(&auditionTimer_, &QTimer::timeout, this, [this] { audition_.stop(); });
}

bool KeyEntryController::keyPressed(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers mods =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool plain = mods == Qt::NoModifier;
    if (key >= Qt::Key_A && key <= Qt::Key_G && (plain || mods == Qt::ShiftModifier)) {
        const char letter = static_cast<char>('A' + (key - Qt::Key_A));
        return entryKey(plain ? EntryKey::Letter : EntryKey::ChordLetter, letter);
    }
    if (((key >= Qt::Key_2 && key <= Qt::Key_7) || key == Qt::Key_Period) && plain) {
        if (pressLengthKey(session_.palette, static_cast<char>(key)))
            emit paletteChanged();
        else
            refuse();
        return true;
    }
    const std::int32_t measure = session_.editing().currentMeasure;
    const auto toMeasure = [this](std::int32_t m) {
        if (m < 0 || m >= MAX_MEASURES)
            refuse();
        else
            emit measureWanted(m);
        return true;
    };
    switch (key) {
    case Qt::Key_0:
        return plain && entryKey(EntryKey::Rest);
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const bool up = key == Qt::Key_Up;
        if (plain)
            return entryKey(up ? EntryKey::SemitoneUp : EntryKey::SemitoneDown);
        if (mods == Qt::AltModifier)
            return entryKey(up ? EntryKey::StepUp : EntryKey::StepDown);
        if (mods == Qt::ControlModifier)
            return entryKey(up ? EntryKey::OctaveUp : EntryKey::OctaveDown);
        return false;
    }
    case Qt::Key_Q:
        return plain && entryKey(EntryKey::Halve);
    case Qt::Key_W:
        return plain && entryKey(EntryKey::Double);
    case Qt::Key_Delete:
        return plain && entryKey(EntryKey::Delete);
    case Qt::Key_Backspace:
        return plain && entryKey(EntryKey::Backspace);
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (plain)
            return entryKey(key == Qt::Key_Left ? EntryKey::PreviousStop : EntryKey::NextStop);
        if (mods == Qt::ControlModifier)
            return toMeasure(measure + (key == Qt::Key_Left ? -1 : 1));
        return false;
    case Qt::Key_PageUp:
        return plain && toMeasure(measure - 1);
    case Qt::Key_PageDown:
        return plain && toMeasure(measure + 1);
    case Qt::Key_Home:
        return plain && toMeasure(0);
    case Qt::Key_End:
        if (!plain)
            return false;
        emit songEndWanted();
        return true;
    case Qt::Key_Escape:
        if (!plain)
            return false;
        session_.setSelection({});
        return true;
    default:
        return false;
    }
}

bool KeyEntryController::entryKey(EntryKey key, char letter) {
    const Editing& st = session_.editing();
    const KeyEntryPlace place{st.currentPart, st.caret, st.selection, st.tripletMode};
    const KeyOutcome outcome = pressEntryKey(session_.song(), place, session_.palette, key, letter);
    if (outcome.refused) {
        refuse();
        return true;
    }
    applyKeyOutcome(session_, place.part, outcome);
    // The staff redraws from the document's changes.
    session_.setSelection(outcome.selection);
    session_.moveCaret(outcome.caret);
    sound(outcome.audition);
    return true;
}

void KeyEntryController::sound(const std::vector<int>& keys) {
    if (keys.empty())
        return;
    const int part = session_.editing().currentPart;
    const int program = session_.song().partInstrument[static_cast<std::size_t>(part)];
    std::vector<MidiShortMessage> messages;
    for (const int key : keys) {
        const auto note = testNoteMessages(part, program, key);
        if (messages.empty())
            messages.push_back(note[0]); // one program change, then every note-on
        messages.push_back(note[1]);
    }
    if (audition_.start(messages))
        auditionTimer_.start();
}

void KeyEntryController::refuse() {
    beep_();
}

} // namespace pokopen
