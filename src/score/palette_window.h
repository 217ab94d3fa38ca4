#pragma once

#include "document/palette_state.h"
#include "document/song_document.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

class QButtonGroup;
class QLabel;
class QToolButton;

namespace pokopen {

// The note palette: a small tool window, always on top, that holds the length and the accidental
// of the notes entered on the staff (session.palette). It lives for the whole run; the user
// cannot close it, only the staff tab shows and hides it. Its screen position is kept in the
// INI file, section "PALETTE", keys "X" and "Y".
class TfrmPalette : public QWidget {
    Q_OBJECT
public:
    // Reads its position from the program's INI file (AppPaths).
    explicit TfrmPalette(SongDocument& session, QWidget* parent = nullptr);
    // The same with the INI file named, for tests and for callers that hold the path already.
    TfrmPalette(SongDocument& session, const QString& iniPath, QWidget* parent = nullptr);

    // Writes the window's outer left and top edges to the INI file; the main window calls this
    // when it closes. False when the file could not be written.
    bool savePosition() const;

    const QString& iniPath() const { return iniPath_; }

    // The design's outer size, 476 x 114, is that of a tool window on the desktop it was drawn
    // for; the client area it leaves inside that frame is 470 pixels wide and exactly as high as
    // the three rows. The client size is fixed, as the main window's is, and the window manager
    // adds its own frame around it.
    static constexpr int OUTER_WIDTH = 476;
    static constexpr int OUTER_HEIGHT = 114;
    static constexpr int CLIENT_WIDTH = 470;
    static constexpr int CLIENT_HEIGHT = 78;
    static constexpr int DEFAULT_X = 164;
    static constexpr int DEFAULT_Y = 366;

    // Set a length.
    void tolNote1Click();
    void tolNote2Click();
    void tolNote4Click();
    void tolNote8Click();
    void tolNote16Click();
    void tolNote32Click();
    // Add to the length.
    void tolNote1pClick();
    void tolNote2pClick();
    void tolNote4pClick();
    void tolNote8pClick();
    void tolNote16pClick();
    void tolNote32pClick();
    // Subtract from the length.
    void tolNote1mClick();
    void tolNote2mClick();
    void tolNote4mClick();
    void tolNote8mClick();
    void tolNote16mClick();
    void tolNote32mClick();
    // Accidentals.
    void tolDFlatClick();
    void tolFlatClick();
    void tolNaturalClick();
    void tolSharpClick();
    void tolDSharpClick();
    void tolCancelClick();

    // Shows the palette's state again after a length key changed it.
    void showPaletteState() {
        showNoteLength();
        showSign();
    }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void buildControls();
    void readPosition();

    void setLength(NoteValue value);
    void addLength(NoteValue value);
    void subtractLength(NoteValue value);
    void chooseSign(std::int8_t accidental);
    void showNoteLength();
    void showSign();

    PaletteState& palette_;
    QString iniPath_;
    QLabel* lblNoteLen_ = nullptr;
    QLabel* lblSign_ = nullptr;
    QButtonGroup* accidentalGroup_ = nullptr;
    std::array<QToolButton*, 5> accidentalButtons_{}; // double flat .. double sharp
};

} // namespace pokopen
