#pragma once

#include "document/song_document.h"
#include "editor/measure_editor.h"

#include <QDialog>

#include <array>
#include <functional>

class QLabel;
class QPushButton;
class QScrollBar;
class QToolButton;

namespace pokopen {

class ImageView;

// The measure editor: three measures of all 16 parts as a grid of miniature cells, a pointer
// cell, a selection of measures of one part or of all parts, and cut, copy, paste and octave
// shifts on it. Modal; each operation is one step of the song's history, which Ctrl+Z and
// Ctrl+Y walk here as in the main window. After exec() the caller moves to
// pointerPart()/pointerMeasure().
class TfrmEditor : public QDialog {
    Q_OBJECT
public:
    explicit TfrmEditor(SongDocument& session, QWidget* parent = nullptr);

    // Shows (true) and closes (false) the please-wait window around each operation; the
    // callback should let the window paint before it returns.
    void setWaitWindow(std::function<void(bool)> showWait);

    std::int32_t pointerMeasure() const { return editor_.pointerMeasure(); }
    int pointerPart() const { return editor_.pointerPart(); }
    bool songModified() const { return editor_.songModified(); }
    const MeasureEditor& editor() const { return editor_; }
    const QImage& editorImage() const;
    // Left edges of the three columns and the right edge of the last one, in image pixels.
    const std::array<int, 4>& columnX() const { return columnX_; }

    // Repaints the whole grid from the editor state and the song.
    void drawEditorGrid();

    // Handlers, named after their controls.
    void barMeasChange(int position);
    void imgEditorMouseMove(int x, int y);
    void imgEditorClick();
    void imgEditorDblClick();
    void btnSelCancelClick();
    void btnCutClick();
    void btnCopyClick();
    void btnPasteClick();
    void btnOctUpClick();
    void btnOctDownClick();
    // Ctrl+Z, and Ctrl+Y or Ctrl+Shift+Z: the song's history, with the grid redrawn.
    void undoClick();
    void redoClick();

private:
    void FormCreate();
    void showEditorState();
    void setMode(ClickMode mode);

    SongDocument& session_;
    MeasureEditor editor_;
    std::array<int, 4> columnX_{};
    int editorMouseX_ = 0;
    int editorMouseY_ = 0;

    QLabel* lblPoint_ = nullptr;
    QLabel* lblSelect_ = nullptr;
    QScrollBar* barMeas_ = nullptr;
    ImageView* imgEditor_ = nullptr;
    QToolButton* btnPoint_ = nullptr;
    QToolButton* btnSelA_ = nullptr;
    QToolButton* btnSelB_ = nullptr;
    QPushButton* btnSelCancel_ = nullptr;
    QPushButton* btnCut_ = nullptr;
    QPushButton* btnCopy_ = nullptr;
    QPushButton* btnPaste_ = nullptr;
    QPushButton* btnOctUp_ = nullptr;
    QPushButton* btnOctDown_ = nullptr;
    QPushButton* btnOk_ = nullptr;
};

// Texts of the editor's labels.
QString editorPartLabel(int part);
QString pointerText(int part, std::int32_t measure);
QString selectionText(int part, std::int32_t a, std::int32_t b);

} // namespace pokopen
