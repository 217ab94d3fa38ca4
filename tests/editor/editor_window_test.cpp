// The measure editor window: opening, clicks on the grid, closing, and the grid's pixels.
#include "editor/editor_window.h"
#include "model/new_song.h"
#include "model/store_check.h"
#include "support/song_builders.h"
#include "support/step_counter.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace pokopen {
namespace {

const QRgb BLACK = qRgb(0, 0, 0);
const QRgb SILVER = qRgb(192, 192, 192);
const QRgb WHITE = qRgb(255, 255, 255);
const QRgb YELLOW = qRgb(255, 255, 0);
const QRgb MAGENTA = qRgb(255, 0, 255);
const QRgb GREY = qRgb(128, 128, 128);
const QRgb LIME = qRgb(0, 255, 0);
const QRgb CYAN = qRgb(0, 255, 255);

class EditorWindow : public ::testing::Test {
protected:
    void open(std::int32_t measure, int part = 0) {
        session.setCurrentMeasure(measure);
        session.setCurrentPart(part);
        window = std::make_unique<TfrmEditor>(session);
        window->show();
    }
    template <typename T> T* control(const char* name) {
        T* c = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QString text(const char* label) { return control<QLabel>(label)->text(); }
    // Clicks in the image at (x, y) image pixels.
    void clickAt(int x, int y) {
        QTest::mouseClick(control<QWidget>("imgEditor"), Qt::LeftButton, {}, QPoint(x, y));
    }
    // The middle of the cell of column i and part p.
    void clickCell(int i, int p) {
        const auto& x = window->columnX();
        clickAt((x[static_cast<std::size_t>(i)] + x[static_cast<std::size_t>(i) + 1]) / 2, 18 + 17 * p + 8);
    }
    QRgb pixel(int x, int y) { return window->editorImage().pixel(x, y); }

    SongDocument session;
    std::unique_ptr<TfrmEditor> window;
};

TEST_F(EditorWindow, OpensWithTheCurrentMeasureInTheMiddleWhereThereIsRoom) {
    struct Case {
        std::int32_t current;
        int bar;
        int pointerColumn;
    };
    for (const Case c : {Case{0, 1, 0}, Case{999, 998, 2}, Case{11, 11, 1}}) {
        open(c.current, 2);
        EXPECT_EQ(window->windowTitle(), QStringLiteral("編集画面"));
        EXPECT_EQ(window->size(), QSize(481, 444));
        EXPECT_EQ(control<QScrollBar>("barMeas")->value(), c.bar);
        EXPECT_EQ(text("lblPoint"), QStringLiteral("［ポインタ］ パート3 ： %1小節目").arg(c.current + 1));
        EXPECT_EQ(text("lblSelect"), QStringLiteral("［選択範囲］ 未指定"));
        EXPECT_TRUE(control<QToolButton>("btnPoint")->isChecked());
        EXPECT_FALSE(control<QPushButton>("btnCut")->isEnabled());
        EXPECT_FALSE(control<QPushButton>("btnCopy")->isEnabled());
        EXPECT_FALSE(control<QPushButton>("btnPaste")->isEnabled());
        // The pointer cell: magenta outline, yellow inside.
        const int x = window->columnX()[static_cast<std::size_t>(c.pointerColumn)];
        EXPECT_EQ(pixel(x, 18 + 34), MAGENTA) << c.current;
        EXPECT_EQ(pixel(x + 5, 18 + 34 + 5), YELLOW) << c.current;
    }
}

TEST_F(EditorWindow, EndAThenEndBSelectsMeasuresOfOnePart) {
    open(4);                                     // shows measures 4, 5, 6
    control<QScrollBar>("barMeas")->setValue(5); // shows 5, 6, 7
    QTest::mouseClick(control<QToolButton>("btnSelA"), Qt::LeftButton);
    clickCell(0, 2);
    const QString first = QStringLiteral("［選択範囲］ パート3 ： 5小節目 ～ 5小節目");
    EXPECT_EQ(text("lblSelect"), first);
    EXPECT_TRUE(control<QToolButton>("btnSelB")->isChecked());
    EXPECT_TRUE(control<QPushButton>("btnCopy")->isEnabled());

    clickCell(2, 3); // part 4: refused
    EXPECT_EQ(text("lblSelect"), first);
    EXPECT_TRUE(control<QToolButton>("btnSelB")->isChecked());
    control<QScrollBar>("barMeas")->setValue(2); // shows 2, 3, 4
    clickCell(2, 2);                             // measure 4, before end A: refused
    EXPECT_EQ(text("lblSelect"), first);
    EXPECT_TRUE(control<QToolButton>("btnSelB")->isChecked());

    control<QScrollBar>("barMeas")->setValue(5);
    clickCell(2, 2);
    EXPECT_EQ(text("lblSelect"), QStringLiteral("［選択範囲］ パート3 ： 5小節目 ～ 7小節目"));
    EXPECT_TRUE(control<QToolButton>("btnPoint")->isChecked());
    EXPECT_EQ(pixel(window->columnX()[1] + 5, 18 + 34 + 5), GREY);
    EXPECT_EQ(pixel(window->columnX()[1] + 5, 18 + 51 + 5), WHITE);
    EXPECT_EQ(pixel(window->columnX()[0] + 5, 18 + 5), YELLOW) << "the pointer stayed on part 1, measure 5";

    QTest::mouseClick(control<QPushButton>("btnSelCancel"), Qt::LeftButton);
    EXPECT_EQ(text("lblSelect"), QStringLiteral("［選択範囲］ 未指定"));
    EXPECT_FALSE(control<QPushButton>("btnCut")->isEnabled());
    EXPECT_EQ(pixel(window->columnX()[1] + 5, 18 + 34 + 5), WHITE);
}

TEST_F(EditorWindow, HeadersSelectAPartOrAllParts) {
    open(0);
    clickAt(5, 18 + 17 * 9 + 3);
    EXPECT_EQ(text("lblSelect"), QStringLiteral("［選択範囲］ パートR ： 1小節目 ～ 1000小節目"));
    EXPECT_TRUE(control<QPushButton>("btnCut")->isEnabled());

    QTest::mouseClick(control<QToolButton>("btnSelA"), Qt::LeftButton);
    clickAt(window->columnX()[1] + 3, 5);
    EXPECT_EQ(text("lblSelect"), QStringLiteral("［選択範囲］ 全パート ： 2小節目 ～ 2小節目"));
    clickAt(window->columnX()[2] + 3, 5);
    EXPECT_EQ(text("lblSelect"), QStringLiteral("［選択範囲］ 全パート ： 2小節目 ～ 3小節目"));
    // The corner and the space right of the last column do nothing.
    clickAt(3, 3);
    clickAt(window->columnX()[3] + 1, 40);
    EXPECT_EQ(text("lblSelect"), QStringLiteral("［選択範囲］ 全パート ： 2小節目 ～ 3小節目"));
    EXPECT_EQ(text("lblPoint"), QStringLiteral("［ポインタ］ パート1 ： 1小節目"));
}

TEST_F(EditorWindow, DoubleClickInPointerModeClosesOnTheClickedCell) {
    open(11);
    QSignalSpy finished(window.get(), &QDialog::finished);
    const auto& x = window->columnX();
    // QTest sends a widget only the double-click event; the click a user makes first comes here.
    clickCell(2, 6);
    QTest::mouseDClick(control<QWidget>("imgEditor"), Qt::LeftButton, {}, QPoint(x[2] + 10, 18 + 17 * 6 + 4));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(window->pointerPart(), 6);
    EXPECT_EQ(window->pointerMeasure(), 12);
    EXPECT_EQ(text("lblPoint"), QStringLiteral("［ポインタ］ パート7 ： 13小節目"));
    EXPECT_FALSE(window->songModified());
}

TEST_F(EditorWindow, DoubleClickOutsideTheCellsOrInASelectionModeStaysOpen) {
    open(11);
    QTest::mouseDClick(control<QWidget>("imgEditor"), Qt::LeftButton, {}, QPoint(5, 40));
    EXPECT_TRUE(window->isVisible());
    QTest::mouseClick(control<QToolButton>("btnSelA"), Qt::LeftButton);
    clickCell(1, 1);
    QTest::mouseDClick(control<QWidget>("imgEditor"), Qt::LeftButton, {},
                       QPoint(window->columnX()[1] + 5, 40));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(EditorWindow, TwoFourCellsAreFiftyPixelsWideWithMiniNotes) {
    testing::setSignature(writableSong(session), KIND_METER, 0, 0x22);
    testing::addNote(writableSong(session), 4, 48, 24, 23); // C4 at the start of measure 2
    open(0);
    EXPECT_EQ(window->columnX(), (std::array<int, 4>{18, 68, 118, 168}));
    const int top = 18 + 17 * 4;
    EXPECT_EQ(pixel(68, top + 5), BLACK) << "left outline of measure 2";
    EXPECT_EQ(pixel(67, top + 5), BLACK) << "right outline of measure 1";
    const int y = top + 1 + 30 / 4;
    EXPECT_EQ(pixel(69, y), BLACK);
    for (int x = 70; x <= 92; ++x)
        EXPECT_EQ(pixel(x, y), SILVER) << x;
    EXPECT_EQ(pixel(93, y), WHITE);
    EXPECT_EQ(pixel(69, y - 1), WHITE);
    // Headers: lime over the columns, cyan at the parts, silver beyond the last column.
    EXPECT_EQ(pixel(118 + 30, 2), LIME);
    EXPECT_EQ(pixel(17, 2), SILVER) << "the corner is not drawn";
    EXPECT_EQ(pixel(16, 18 + 17 * 3 + 14), CYAN);
    EXPECT_EQ(pixel(200, 100), SILVER);
}

TEST_F(EditorWindow, LinesSharingAPixelRowAreDrawnInLineOrder) {
    // Lines 29 and 30 share a pixel row. Line 29's note sounds over line 30's start: the lower
    // line is drawn later, so its black start dot stays on top of the silver line.
    testing::addNote(writableSong(session), 0, 0, 24, 22); // line 29, ticks 0..24
    testing::addNote(writableSong(session), 0, 12, 6, 23); // line 30, starts at tick 12
    open(0);
    const int y = 18 + 1 + 30 / 4;
    EXPECT_EQ(pixel(18 + 1 + 12, y), BLACK);
    EXPECT_EQ(pixel(18 + 1 + 11, y), SILVER);
}

TEST_F(EditorWindow, OperationsShowTheWaitWindowAndReportTheirChanges) {
    testing::addNote(writableSong(session), 0, 0, 24, 23);
    open(0);
    int waits = 0;
    window->setWaitWindow([&waits](bool) { ++waits; });
    testing::StepCounter edited(session);

    QTest::mouseClick(control<QToolButton>("btnSelA"), Qt::LeftButton);
    clickCell(0, 0);
    QTest::mouseClick(control<QPushButton>("btnCopy"), Qt::LeftButton);
    EXPECT_EQ(waits, 2);
    EXPECT_EQ(edited.count(), 0);
    EXPECT_TRUE(control<QPushButton>("btnPaste")->isEnabled());

    clickCell(2, 5); // still waiting for end B: the other part is refused
    QTest::mouseClick(control<QToolButton>("btnPoint"), Qt::LeftButton);
    clickCell(2, 5);
    QTest::mouseClick(control<QPushButton>("btnPaste"), Qt::LeftButton);
    EXPECT_EQ(waits, 4);
    EXPECT_EQ(edited.count(), 1);
    EXPECT_TRUE(window->songModified());
    EXPECT_EQ(checkStore(session.song()), "");
    EXPECT_EQ(session.song().row(5).at(4), (Event{192, KIND_NOTE_ON, 23, 0}))
        << "after the copied start points";
    EXPECT_EQ(text("lblSelect"), QStringLiteral("［選択範囲］ 未指定"));
    EXPECT_FALSE(control<QPushButton>("btnCopy")->isEnabled());
    EXPECT_TRUE(control<QPushButton>("btnPaste")->isEnabled());
    // The pasted note shows in the pointer's cell.
    EXPECT_EQ(pixel(window->columnX()[2] + 1, 18 + 17 * 5 + 1 + 30 / 4), BLACK);

    // Octaves without a selection: no wait window, no change.
    QTest::mouseClick(control<QPushButton>("btnOctUp"), Qt::LeftButton);
    EXPECT_EQ(waits, 4);
    EXPECT_EQ(edited.count(), 1);
}

TEST_F(EditorWindow, CtrlZAndCtrlYInTheEditorTakeBackAPasteAndRedrawTheGrid) {
    testing::addNote(writableSong(session), 0, 0, 24, 23);
    open(0);
    QApplication::setActiveWindow(window.get());
    const Song before = session.song();
    QTest::mouseClick(control<QToolButton>("btnSelA"), Qt::LeftButton);
    clickCell(0, 0);
    QTest::mouseClick(control<QPushButton>("btnCopy"), Qt::LeftButton);
    QTest::mouseClick(control<QToolButton>("btnPoint"), Qt::LeftButton);
    clickCell(2, 5);
    const QImage grid = window->editorImage().copy();
    QTest::mouseClick(control<QPushButton>("btnPaste"), Qt::LeftButton);
    const QImage pasted = window->editorImage().copy();
    ASSERT_NE(pasted, grid);
    ASSERT_NE(session.song(), before);

    // The pasted note's dot in the pointer's cell goes and comes back.
    const int x = window->columnX()[2] + 1;
    const int y = 18 + 17 * 5 + 1 + 30 / 4;
    ASSERT_EQ(pixel(x, y), BLACK);
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(session.song(), before);
    EXPECT_EQ(pixel(x, y), grid.pixel(x, y));
    EXPECT_FALSE(session.isModified());
    QTest::keyClick(window.get(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(window->editorImage(), pasted);
    EXPECT_EQ(session.undoName(), "小節の貼り付け");
}

} // namespace
} // namespace pokopen
