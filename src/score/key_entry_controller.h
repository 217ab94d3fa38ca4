#pragma once

#include "document/song_document.h"
#include "score/key_entry.h"
#include "ui/test_note_player.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace pokopen {

// Turns the keys pressed while the staff page is on view into keyboard entry: notes at the caret,
// lengths on the palette, changes of the selected notes, caret and measure moves. Each change of
// the song is one step of the document; the notes entered or changed sound for 300 ms on the
// part's channel through the staff's test-note player (a new sound cuts the last one); a refused
// key beeps.
class KeyEntryController : public QObject {
    Q_OBJECT
public:
    static constexpr int AUDITION_MS = 300;

    KeyEntryController(SongDocument& session, TestNotePlayer& audition, QObject* parent = nullptr);

    // Replaces the beep of a refused key (QApplication::beep by default), e.g. in tests.
    void setBeep(std::function<void()> beep) { beep_ = std::move(beep); }

    // True when the key is one of the entry keys (it was handled, or refused with a beep).
    bool keyPressed(int key, Qt::KeyboardModifiers modifiers);

signals:
    // The palette's length changed.
    void paletteChanged();
    // Ctrl+Left/Right, PageUp/PageDown, Home: show this measure (the caret goes to its start).
    void measureWanted(std::int32_t measure);
    // End: the jump to the song's end.
    void songEndWanted();

private:
    bool entryKey(EntryKey key, char letter = 0);
    void sound(const std::vector<int>& keys);
    void refuse();

    SongDocument& session_;
    TestNotePlayer& audition_;
    QTimer auditionTimer_;
    std::function<void()> beep_;
};

} // namespace pokopen
