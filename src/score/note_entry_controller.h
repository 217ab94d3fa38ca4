#pragma once

#include "document/song_document.h"
#include "score/note_entry.h"
#include "ui/test_note_player.h"

#include <QObject>

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

private:
    void imgScoreClick();

    SongDocument& session_;
    TestNotePlayer audition_;
    ScorePointer pointer_; // where the pointer was last seen over the image
    bool leftPressed_ = false;
};

} // namespace pokopen
