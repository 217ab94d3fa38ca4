#pragma once

#include "document/song_document.h"
#include "parts/part_controls.h"
#include "ui/test_note_player.h"

#include <QWidget>

class QSlider;

namespace pokopen {

// The part settings tab (tabPart): instrument, transposing instrument and volume of the current
// part. Pressing an instrument plays a test note with it on channel 1 at the pitch of barTone
// until the button is released. The controls follow the document's changes of the part's settings.
class PartPage : public QWidget {
    Q_OBJECT
public:
    PartPage(SongDocument& session, MidiOut& out, QWidget* parent = nullptr);

    // The test-note key; the main window sets it to 69 at start-up, New and after a load.
    QSlider* barTone() const { return controls_.barTone; }
    TestNotePlayer& testNote() { return testNote_; }

private:
    EditPlace place() const;
    void copySettingsToControls();
    void lstInstClick();
    void rgrTransClick(int index);
    void barVolChange(int position);
    void lstInstMouseDown(Qt::MouseButton button);
    void lstInstMouseUp();

    SongDocument& session_;
    PartControls controls_;
    TestNotePlayer testNote_;
};

} // namespace pokopen
