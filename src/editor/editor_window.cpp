#include "editor/editor_window.h"

#include "editor/mini_notes.h"
#include "model/pitch.h"
#include "model/timeline.h"
#include "ui/document_view.h"
#include "ui/fonts.h"
#include "ui/image_view.h"

#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QToolButton>

#include <vector>

namespace pokopen {

namespace {

constexpr int IMAGE_WIDTH = 456;
constexpr int IMAGE_HEIGHT = 290;
constexpr int HEADER = 18;    // height of the header row, width of the header column
constexpr int ROW_PITCH = 17; // one part's row of cells

const QColor BLACK(0, 0, 0);
const QColor SILVER(192, 192, 192);
const QColor LIME(0, 255, 0);
const QColor CYAN(0, 255, 255);
const QColor GREY(128, 128, 128);
const QColor YELLOW(255, 255, 0);
const QColor WHITE(255, 255, 255);
const QColor MAGENTA(255, 0, 255);

// The grid's UI font at the pixel size whose cell height fits `height`, drawn without smoothing.
QFont gridFont(int height) {
    QFont font = fontWithCellHeight(QStringLiteral("IPAGothic"), height, false, CellFit::NotAbove);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// A rectangle with a one-pixel outline: the outline on x1, x2 - 1, y1 and y2 - 1, the fill inside.
void outlinedRect(QPainter& p, int x1, int y1, int x2, int y2, const QColor& outline, const QColor& fill) {
    p.fillRect(x1, y1, x2 - x1, y2 - y1, outline);
    if (x2 - x1 > 2 && y2 - y1 > 2)
        p.fillRect(x1 + 1, y1 + 1, x2 - x1 - 2, y2 - y1 - 2, fill);
}

// Text whose character cell has its top-left corner at (x, y).
void textAt(QPainter& p, int x, int y, const QString& text) {
    p.drawText(QRect(x, y, IMAGE_WIDTH, IMAGE_HEIGHT), Qt::AlignLeft | Qt::AlignTop, text);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QColor& text, int y) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(8, y, 457, 17);
    label->setAlignment(Qt::AlignCenter);
    label->setAutoFillBackground(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, BLACK);
    pal.setColor(QPalette::WindowText, text);
    label->setPalette(pal);
    return label;
}

template <typename Button>
Button* makeButton(QWidget* parent, const char* name, const char* text, int x, int y, int w = 74) {
    auto* button = new Button(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(QString::fromUtf8(text));
    button->setGeometry(x, y, w, 25);
    return button;
}

} // namespace

QString editorPartLabel(int part) {
    return part == PERCUSSION_PART ? QStringLiteral("R") : QString::number(part + 1);
}

QString pointerText(int part, std::int32_t measure) {
    return QStringLiteral("［ポインタ］ パート") + editorPartLabel(part) + QStringLiteral(" ： ") +
           QString::number(measure + 1) + QStringLiteral("小節目");
}

QString selectionText(int part, std::int32_t a, std::int32_t b) {
    if (part == -1)
        return QStringLiteral("［選択範囲］ 未指定");
    const QString range = QString::number(a + 1) + QStringLiteral("小節目 ～ ") + QString::number(b + 1) +
                          QStringLiteral("小節目");
    if (part == ALL_PARTS)
        return QStringLiteral("［選択範囲］ 全パート ： ") + range;
    return QStringLiteral("［選択範囲］ パート") + editorPartLabel(part) + QStringLiteral(" ： ") + range;
}

TfrmEditor::TfrmEditor(SongDocument& session, QWidget* parent)
    : QDialog(parent), session_(session),
      editor_(session, session.editing().currentPart, session.editing().currentMeasure) {
    setObjectName(QStringLiteral("frmEditor"));
    setWindowTitle(QStringLiteral("編集画面"));
    setModal(true);
    setFixedSize(481, 444);
    // The grid shows every part row.
    new DocumentView(
        session_, *this, [](const SongChange& c) { return c.rows != 0; }, [this] { drawEditorGrid(); });

    lblPoint_ = makeLabel(this, "lblPoint", WHITE, 8);
    lblSelect_ = makeLabel(this, "lblSelect", YELLOW, 24);

    barMeas_ = new QScrollBar(Qt::Horizontal, this);
    barMeas_->setObjectName(QStringLiteral("barMeas"));
    barMeas_->setGeometry(8, 48, 457, 17);
    barMeas_->setRange(1, FIRST_SHOWN_MAX + 1);
    barMeas_->setSingleStep(1);
    barMeas_->setPageStep(3);

    imgEditor_ = new ImageView(IMAGE_WIDTH, IMAGE_HEIGHT, this);
    imgEditor_->setObjectName(QStringLiteral("imgEditor"));
    imgEditor_->move(8, 72);
    imgEditor_->setMouseTracking(true);

    btnPoint_ = makeButton<QToolButton>(this, "btnPoint", "ポインタ", 8, 370);
    btnSelA_ = makeButton<QToolButton>(this, "btnSelA", "選択端Ａ", 86, 370);
    btnSelB_ = makeButton<QToolButton>(this, "btnSelB", "選択端Ｂ", 164, 370);
    auto* modes = new QButtonGroup(this);
    modes->setExclusive(true);
    for (QToolButton* b : {btnPoint_, btnSelA_, btnSelB_}) {
        b->setCheckable(true);
        modes->addButton(b);
    }
    btnSelCancel_ = makeButton<QPushButton>(this, "btnSelCancel", "選択解除", 242, 370);
    btnCut_ = makeButton<QPushButton>(this, "btnCut", "切り抜き", 8, 404);
    btnCopy_ = makeButton<QPushButton>(this, "btnCopy", "コピー", 86, 404);
    btnPaste_ = makeButton<QPushButton>(this, "btnPaste", "貼り付け", 164, 404);
    btnOctUp_ = makeButton<QPushButton>(this, "btnOctUp", "Oct上", 242, 404);
    btnOctDown_ = makeButton<QPushButton>(this, "btnOctDown", "Oct下", 320, 404);
    btnOk_ = makeButton<QPushButton>(this, "btnOk", "OK", 398, 404, 67);
    btnOk_->setDefault(true);

    connect(barMeas_, &QScrollBar::valueChanged, this, &TfrmEditor::barMeasChange);
    // A press and a double-click are also where the mouse is, even when no move came before.
    connect(imgEditor_, &ImageView::mouseMoved, this,
            [this](Qt::MouseButtons, int x, int y) { imgEditorMouseMove(x, y); });
    connect(imgEditor_, &ImageView::mousePressed, this,
            [this](Qt::MouseButton, int x, int y) { imgEditorMouseMove(x, y); });
    connect(imgEditor_, &ImageView::clicked, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton)
            imgEditorClick();
    });
    connect(imgEditor_, &ImageView::mouseDoubleClicked, this, [this](Qt::MouseButton button, int x, int y) {
        imgEditorMouseMove(x, y);
        if (button == Qt::LeftButton)
            imgEditorDblClick();
    });
    connect(btnPoint_, &QToolButton::clicked, this, [this] { editor_.setMode(ClickMode::Pointer); });
    connect(btnSelA_, &QToolButton::clicked, this, [this] { editor_.setMode(ClickMode::EndA); });
    connect(btnSelB_, &QToolButton::clicked, this, [this] { editor_.setMode(ClickMode::EndB); });
    connect(btnSelCancel_, &QPushButton::clicked, this, &TfrmEditor::btnSelCancelClick);
    connect(btnCut_, &QPushButton::clicked, this, &TfrmEditor::btnCutClick);
    connect(btnCopy_, &QPushButton::clicked, this, &TfrmEditor::btnCopyClick);
    connect(btnPaste_, &QPushButton::clicked, this, &TfrmEditor::btnPasteClick);
    connect(btnOctUp_, &QPushButton::clicked, this, &TfrmEditor::btnOctUpClick);
    connect(btnOctDown_, &QPushButton::clicked, this, &TfrmEditor::btnOctDownClick);
    connect(btnOk_, &QPushButton::clicked, this, &QDialog::accept);
    // The operations made here are taken back and made again here too.
    auto* undo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this);
    connect(undo, &QShortcut::activated, this, &TfrmEditor::undoClick);
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}) {
        auto* redo = new QShortcut(keys, this);
        connect(redo, &QShortcut::activated, this, &TfrmEditor::redoClick);
    }

    FormCreate();
}

void TfrmEditor::FormCreate() {
    // The editor state opened on the current part and measure; show it.
    {
        const QSignalBlocker block(barMeas_);
        barMeas_->setValue(editor_.firstShownMeasure() + 1);
    }
    showEditorState();
    drawEditorGrid();
}

void TfrmEditor::setWaitWindow(std::function<void(bool)> showWait) {
    editor_.waitHook = std::move(showWait);
}

const QImage& TfrmEditor::editorImage() const {
    return imgEditor_->image();
}

void TfrmEditor::setMode(ClickMode mode) {
    btnPoint_->setChecked(mode == ClickMode::Pointer);
    btnSelA_->setChecked(mode == ClickMode::EndA);
    btnSelB_->setChecked(mode == ClickMode::EndB);
}

// Labels, mode buttons and button states from the editor state.
void TfrmEditor::showEditorState() {
    lblPoint_->setText(pointerText(editor_.pointerPart(), editor_.pointerMeasure()));
    lblSelect_->setText(selectionText(editor_.selectionPart(), editor_.selectionA(), editor_.selectionB()));
    setMode(editor_.mode());
    btnCut_->setEnabled(editor_.cutEnabled());
    btnCopy_->setEnabled(editor_.copyEnabled());
    btnPaste_->setEnabled(editor_.pasteEnabled());
}

void TfrmEditor::barMeasChange(int position) {
    editor_.setFirstShownMeasure(position - 1);
    drawEditorGrid();
}

void TfrmEditor::imgEditorMouseMove(int x, int y) {
    editorMouseX_ = x;
    editorMouseY_ = y;
}

void TfrmEditor::imgEditorClick() {
    const int x = editorMouseX_, y = editorMouseY_;
    bool accepted = false;
    if (x < HEADER) {
        if (y < HEADER)
            return; // the corner
        editor_.clickPartHeader(std::min((y - HEADER) / ROW_PITCH, PART_ROWS - 1));
        accepted = true;
    } else {
        int i = 0;
        while (i < 3 && columnX_[static_cast<std::size_t>(i + 1)] <= x)
            ++i;
        if (i == 3)
            return; // right of the last column
        const std::int32_t measure = editor_.firstShownMeasure() + i;
        if (y < HEADER)
            accepted = editor_.clickMeasureHeader(measure);
        else
            accepted = editor_.clickCell(measure, std::min((y - HEADER) / ROW_PITCH, PART_ROWS - 1));
    }
    if (!accepted)
        return;
    showEditorState();
    drawEditorGrid();
}

void TfrmEditor::imgEditorDblClick() {
    // The click before it has already moved the pointer here.
    if (editor_.mode() == ClickMode::Pointer && editorMouseX_ > HEADER - 1 && editorMouseY_ > HEADER - 1)
        accept();
}

void TfrmEditor::undoClick() {
    session_.undo(); // the grid redraws from the document's change
}

void TfrmEditor::redoClick() {
    session_.redo();
}

void TfrmEditor::btnSelCancelClick() {
    editor_.cancelSelection();
    showEditorState();
    drawEditorGrid();
}

void TfrmEditor::btnCopyClick() {
    if (!editor_.copy())
        return;
    showEditorState();
    drawEditorGrid();
}

void TfrmEditor::btnCutClick() {
    if (!editor_.cut())
        return;
    showEditorState();
    drawEditorGrid();
}

void TfrmEditor::btnPasteClick() {
    switch (editor_.paste()) {
    case PasteOutcome::Empty:
        return;
    case PasteOutcome::RefusedDrumMixed:
        QApplication::beep();
        return;
    case PasteOutcome::Pasted:
        break;
    }
    showEditorState();
    drawEditorGrid();
}

void TfrmEditor::btnOctUpClick() {
    editor_.shiftOctaves(OCTAVE_UP); // the grid redraws from the document's change
}

void TfrmEditor::btnOctDownClick() {
    editor_.shiftOctaves(OCTAVE_DOWN);
}

void TfrmEditor::drawEditorGrid() {
    static const QFont measureFont = gridFont(12);
    static const QFont partFont = gridFont(15);
    const EventStore& store = session_.song().store;
    QImage& image = imgEditor_->image();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.fillRect(0, 0, IMAGE_WIDTH, IMAGE_HEIGHT, SILVER);

    std::array<MiniColumn, 3> columns{};
    columnX_[0] = HEADER;
    p.setFont(measureFont);
    p.setPen(BLACK);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::int32_t m = editor_.firstShownMeasure() + static_cast<std::int32_t>(i);
        std::uint8_t meter = METER_4_4;
        meterAt(store, m, meter);
        const std::int32_t ticks = ticksPerMeasure(meter);
        columnX_[i + 1] = columnX_[i] + ticks + 2;
        columns[i] = {measureToTick(store, m), ticks, columnX_[i]};
        outlinedRect(p, columnX_[i], 0, columnX_[i + 1], HEADER, BLACK, LIME);
        textAt(p, columnX_[i] + 1, 3, QString::number(m + 1));
    }

    std::vector<MiniMark> marks;
    for (int part = 0; part < PART_ROWS; ++part) {
        const int top = HEADER + ROW_PITCH * part;
        outlinedRect(p, 0, top, HEADER, top + ROW_PITCH, BLACK, CYAN);
        p.setFont(partFont);
        p.setPen(part == PERCUSSION_PART ? MAGENTA : BLACK);
        textAt(p, 1, top + 1, editorPartLabel(part));

        for (std::size_t i = 0; i < 3; ++i) {
            const std::int32_t m = editor_.firstShownMeasure() + static_cast<std::int32_t>(i);
            const bool selected = editor_.selects(m, part);
            const bool pointer = m == editor_.pointerMeasure() && part == editor_.pointerPart();
            const QColor fill = selected ? GREY : pointer ? YELLOW : WHITE;
            outlinedRect(p, columnX_[i], top, columnX_[i + 1], top + ROW_PITCH, pointer ? MAGENTA : BLACK,
                         fill);
        }

        marks.clear();
        collectMiniNotes(session_.song().row(part), columns, marks);
        for (const MiniMark& mark : marks) {
            const int y = top + 1 + mark.line / 4;
            if (mark.dot)
                p.fillRect(mark.x0, y, 1, 1, BLACK);
            else
                p.fillRect(mark.x0, y, mark.x1 - mark.x0, 1, SILVER);
        }
    }
    p.end();
    imgEditor_->update();
}

} // namespace pokopen
