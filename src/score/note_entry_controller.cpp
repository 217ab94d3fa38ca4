#include "score/note_entry_controller.h"

#include "score/note_entry.h"

namespace pokopen {

NoteEntryController::NoteEntryController(SongDocument& session, MidiOut& out, QObject* parent)
    : QObject(parent), session_(session), audition_(out) {}

void NoteEntryController::imgScoreMouseMove(int x, int y) {
    pointer_ = scorePointerAt(x, y);
}

void NoteEntryController::imgScoreMouseDown(Qt::MouseButton button, int x, int y) {
    // The pointer is where it was last moved to; a press without a move before it (e.g. after
    // the window came up under the pointer) must not act on an older position.
    imgScoreMouseMove(x, y);
    if (button == Qt::LeftButton) {
        leftPressed_ = true;
        return;
    }
    if (button != Qt::RightButton)
        return;
    const std::vector<MidiShortMessage> messages = auditionAt(session_, x, y);
    if (!messages.empty())
        audition_.start(messages);
}

void NoteEntryController::imgScoreMouseUp(Qt::MouseButton button, int x, int y) {
    audition_.stop();
    if (button != Qt::LeftButton || !leftPressed_)
        return;
    leftPressed_ = false;
    if (x < 0 || y < 0 || x >= NOTE_ENTRY_IMAGE_WIDTH || y >= NOTE_ENTRY_IMAGE_HEIGHT)
        return; // released outside the image: no click
    imgScoreMouseMove(x, y);
    imgScoreClick();
}

void NoteEntryController::imgScoreDblClick(Qt::MouseButton button, int x, int y) {
    // The second press of a double click; its release makes no click.
    leftPressed_ = false;
    if (button != Qt::LeftButton)
        return;
    imgScoreMouseMove(x, y);
    deleteNoteAtPointer(session_, pointer_); // the staff redraws from the document's change
}

void NoteEntryController::imgScoreClick() {
    enterNoteAtPointer(session_, pointer_);
}

} // namespace pokopen
