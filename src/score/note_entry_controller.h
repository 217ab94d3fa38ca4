#pragma once

#include "document/song_document.h"
#include "score/note_entry.h"
#include "ui/test_note_player.h"

#include "score/note_entry.h"

#include <QObject>
#include <QPoint>

#include <optional>

namespace pokopen {

// Turns the mouse events of the staff image into note entry, deletion and audition. The main
// window connects imgScore's press, move, release and double-click (button and image x/y) to the
// slots; the staff redraws itself from the document's change.
//
// Clicks are formed as the mouse delivers them: a left press on the image released over it is a
// click (enter); the second press of a double click is a double click (delete) and the release
// after it makes no second click. Both act at the remembered pointer position. So the second
// press must reach imgScoreDblClick only (as QWidget::mouseDoubleClickEvent delivers it), not
// imgScoreMouseDown as well. Any button's release ends a right-button audition.
//
// A left press on the bar of a note of the shown measure followed by a move beyond the drag
// distance drags the note (on the last 6 pixels of its bar: its end) instead of clicking; the
// note follows the pointer as it goes, and the drop is one step. A refused drop puts it back
// with a beep.
//
// A click entry puts the caret at the entered note's end, a double-click deletion at the deleted
// note's start; both clear the selection.
class NoteEntryController : public QObject {
    Q_OBJECT
public:
    NoteEntryController(SongDocument& session, MidiOut& out, QObject* parent = nullptr);

    TestNotePlayer& audition() { return audition_; }

public slots:
    void imgScoreMouseMove(int x, int y);
    void imgScoreMouseDown(Qt::MouseButton button, int x, int y);
    void imgScoreMouseUp(Qt::MouseButton button, int x, int y);
    void imgScoreDblClick(Qt::MouseButton button, int x, int y);

signals:
    // A drag moved the note: the step is still open, so the document has told no one yet.
    void staffChanged();

private:
    void imgScoreClick();
    void startDrag();
    std::optional<EntryTarget> dragTargetAt(int x, int y);
    void moveDraggedTo(const EntryTarget& target);
    void finishDrag(int x, int y);

    SongDocument& session_;
    TestNotePlayer audition_;
    ScorePointer pointer_; // where the pointer was last seen over the image
    bool leftPressed_ = false;
    // A press on a note's bar: the note, where it was taken and whether by its end.
    std::optional<EntryTarget> grabbed_;
    std::int32_t grab_ = 0;
    bool stretching_ = false;
    QPoint pressAt_;
    bool dragging_ = false;
    EntryTarget dragged_; // where the note is now during the drag
};

} // namespace pokopen
