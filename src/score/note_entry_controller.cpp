#include "score/note_entry_controller.h"

#include "score/key_entry.h"

#include <QApplication>

namespace pokopen {

namespace {
// The width of a bar's end that lengthens the note when dragged.
constexpr int STRETCH_HANDLE = 6;
} // namespace

NoteEntryController::NoteEntryController(SongDocument& session, MidiOut& out, QObject* parent)
    : QObject(parent), session_(session), audition_(out) {}

void NoteEntryController::imgScoreMouseMove(int x, int y) {
    pointer_ = scorePointerAt(x, y);
    if (!leftPressed_ || !grabbed_)
        return;
    if (!dragging_) {
        if ((QPoint(x, y) - pressAt_).manhattanLength() < QApplication::startDragDistance())
            return;
        startDrag();
    }
    if (const auto target = dragTargetAt(x, y))
        moveDraggedTo(*target);
}

void NoteEntryController::imgScoreMouseDown(Qt::MouseButton button, int x, int y) {
    // The pointer is where it was last moved to; a press without a move before it (e.g. after
    // the window came up under the pointer) must not act on an older position.
    pointer_ = scorePointerAt(x, y);
    if (button == Qt::LeftButton) {
        leftPressed_ = true;
        pressAt_ = QPoint(x, y);
        dragging_ = false;
        grabbed_ = noteAtPoint(session_, x, y);
        if (grabbed_) {
            grab_ = columnTickAt(session_, x) - grabbed_->start;
            const std::int32_t measureStart = columnTickAt(session_, NOTE_ENTRY_FIRST_COLUMN_X);
            const int barRight = NOTE_ENTRY_FIRST_COLUMN_X + 3 * (grabbed_->end - measureStart);
            stretching_ = barRight <= NOTE_ENTRY_IMAGE_WIDTH && x >= barRight - STRETCH_HANDLE;
        }
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
    if (dragging_) {
        finishDrag(x, y);
        return;
    }
    grabbed_.reset();
    if (x < 0 || y < 0 || x >= NOTE_ENTRY_IMAGE_WIDTH || y >= NOTE_ENTRY_IMAGE_HEIGHT)
        return; // released outside the image: no click
    pointer_ = scorePointerAt(x, y);
    imgScoreClick();
}

void NoteEntryController::imgScoreDblClick(Qt::MouseButton button, int x, int y) {
    // The second press of a double click; its release makes no click.
    leftPressed_ = false;
    grabbed_.reset();
    if (button != Qt::LeftButton)
        return;
    pointer_ = scorePointerAt(x, y);
    EntryTarget deleted;
    // The staff redraws from the document's changes.
    if (deleteNoteAtPointer(session_, pointer_, &deleted)) {
        session_.setSelection({});
        session_.setCaret(deleted.start);
    }
}

void NoteEntryController::imgScoreClick() {
    EntryTarget entered;
    if (enterNoteAtPointer(session_, pointer_, &entered)) {
        session_.setSelection({});
        session_.setCaret(entered.end);
    }
}

void NoteEntryController::startDrag() {
    dragging_ = true;
    dragged_ = *grabbed_;
    const Editing& e = session_.editing();
    session_.beginStep(stretching_ ? NOTE_LENGTH_STEP : NOTE_MOVE_STEP,
                       {e.currentPart, e.currentMeasure, EditPage::Score});
}

std::optional<EntryTarget> NoteEntryController::dragTargetAt(int x, int y) {
    const auto target =
        stretching_ ? stretchTarget(session_, dragged_, x) : dragTarget(session_, *grabbed_, grab_, x, y);
    if (!target)
        return std::nullopt;
    const NoteEdit edit{{{dragged_.start, dragged_.value}}, {*target}};
    if (noteEditCollides(session_.song().row(session_.editing().currentPart), edit))
        return std::nullopt;
    return target;
}

void NoteEntryController::moveDraggedTo(const EntryTarget& target) {
    if (target.start == dragged_.start && target.end == dragged_.end && target.value == dragged_.value &&
        target.extra == dragged_.extra)
        return;
    const int part = session_.editing().currentPart;
    const NoteEdit edit{{{dragged_.start, dragged_.value}}, {target}};
    session_.changeInStep([&](Song& song) { applyNoteEdit(song.row(part), edit); });
    dragged_ = target;
    emit staffChanged();
}

void NoteEntryController::finishDrag(int x, int y) {
    dragging_ = false;
    const std::optional<EntryTarget> target = dragTargetAt(x, y);
    if (target) {
        moveDraggedTo(*target);
    } else {
        moveDraggedTo(*grabbed_); // a refused drop puts the note back
        audition_.beep();
    }
    grabbed_.reset();
    // Ending the step tells the staff (when the note moved); a note put back redraws here.
    if (session_.endStep()) {
        session_.setSelection({});
        session_.setCaret(dragged_.end);
    } else {
        emit staffChanged();
    }
}

} // namespace pokopen
