#include "score/score_page.h"

#include "model/new_song.h"
#include "model/store_check.h"
#include "score/score_pictures.h"
#include "score/staff_paint.h"
#include "support/song_builders.h"
#include "ui/image_view.h"

#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace pokopen {
namespace {

using testing::addNote;
using testing::setSignature;

constexpr QRgb WHITE = 0xFFFFFFFF;
constexpr QRgb BLACK = 0xFF000000;
constexpr QRgb SILVER = 0xFFC0C0C0;
constexpr QRgb NAVY = 0xFF000080;
constexpr QRgb FUCHSIA = 0xFFFF00FF;
constexpr QRgb LIME = 0xFF00FF00;
constexpr QRgb YELLOW = 0xFFFFFF00;
constexpr QRgb RED = 0xFFFF0000;
constexpr QRgb GRAY = 0xFF808080;

constexpr std::uint8_t C4 = 23; // middle view row 16

// Editing state with the caret in a measure not shown, so that its line hides no pixel here.
Editing caretElsewhere() {
    Editing e;
    e.caret = 10 * 96;
    return e;
}

QRgb px(const QImage& image, int x, int y) {
    return image.pixel(x, y);
}

// The darkest grey level among the pixels of `area`, leaving out the given rows (staff lines).
int darkest(const QImage& image, QRect area, std::initializer_list<int> skipRows = {}) {
    int level = 255;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        if (std::find(skipRows.begin(), skipRows.end(), y) != skipRows.end())
            continue;
        for (int x = area.left(); x <= area.right(); ++x)
            level = std::min(level, qGray(image.pixel(x, y)));
    }
    return level;
}

TEST(StaffPaint, StaffLinesGuidesAndGridOfAnEmptyFourFourMeasure) {
    const Song song = makeNewSong();
    const Editing state = caretElsewhere();
    const QImage img = renderStaff(song, state);
    ASSERT_EQ(img.size(), QSize(514, 288));

    // Line 3: 3 pixels centred on y 58, from the left edge (through the signatures) to x 369.
    for (int y : {57, 58, 59}) {
        EXPECT_EQ(px(img, 200, y), BLACK) << y;
        EXPECT_EQ(px(img, 369, y), BLACK) << y;
        EXPECT_EQ(px(img, 370, y), WHITE) << y;
        EXPECT_EQ(px(img, 0, y), BLACK) << y;
    }
    EXPECT_EQ(px(img, 200, 56), WHITE);
    EXPECT_EQ(px(img, 200, 60), WHITE);
    EXPECT_EQ(px(img, 200, 238), BLACK); // line 13

    // Line 8 (middle C) is a 1-pixel silver guide over the measure only.
    EXPECT_EQ(px(img, 200, 148), SILVER);
    EXPECT_EQ(px(img, 200, 147), WHITE);
    EXPECT_EQ(px(img, 200, 149), WHITE);
    EXPECT_EQ(px(img, 82, 148), SILVER);
    EXPECT_EQ(px(img, 369, 148), SILVER);
    EXPECT_EQ(px(img, 81, 148), WHITE);
    EXPECT_EQ(px(img, 370, 148), WHITE);
    EXPECT_EQ(px(img, 200, 4), SILVER); // line 0

    // One grid line per 3-tick column: x = 82, 91, ..., 361 (t = 0, 3, ..., 93).
    struct Case {
        int x;
        QRgb colour;
    };
    for (const Case c :
         {Case{82, NAVY}, Case{154, NAVY}, Case{226, NAVY}, Case{298, NAVY}, Case{118, FUCHSIA},
          Case{334, FUCHSIA}, Case{100, LIME}, Case{136, LIME}, Case{352, LIME}, Case{91, YELLOW},
          Case{109, YELLOW}, Case{361, YELLOW}, Case{85, WHITE}, Case{90, WHITE}, Case{370, WHITE}}) {
        EXPECT_EQ(px(img, c.x, 20), c.colour) << c.x;
        EXPECT_EQ(px(img, c.x, 287), c.colour) << c.x;
    }
    // The staff lines lie over the grid.
    EXPECT_EQ(px(img, 91, 58), BLACK);
}

TEST(StaffPaint, TripletGridHasFourTickColumns) {
    const Song song = makeNewSong();
    Editing state = caretElsewhere();
    state.tripletMode = true;
    const QImage img = renderStaff(song, state);
    EXPECT_EQ(px(img, 82, 20), NAVY);
    EXPECT_EQ(px(img, 94, 20), LIME);
    EXPECT_EQ(px(img, 118, 20), FUCHSIA);
    EXPECT_EQ(px(img, 358, 20), LIME);
    EXPECT_EQ(px(img, 91, 20), WHITE);
    EXPECT_EQ(px(img, 370, 20), WHITE);
}

TEST(StaffPaint, LongMetersReachTheRightEdge) {
    Song song = makeNewSong();
    setSignature(song, KIND_METER, 0, 0xC3); // 12/8
    ASSERT_EQ(checkStore(song), "");
    const QImage img = renderStaff(song, caretElsewhere());
    EXPECT_EQ(px(img, 513, 58), BLACK);
    EXPECT_EQ(px(img, 513, 148), SILVER);
}

TEST(StaffPaint, NoteBarWithStartBox) {
    Song song = makeNewSong();
    addNote(song, 0, 0, 24, C4);
    addNote(song, 0, 48, 24, 25, 1); // A3 sharp
    ASSERT_EQ(checkStore(song), "");
    const QImage img = renderStaff(song, caretElsewhere());
    // Start box x 82..84, y 144..152: black outline around a lime pixel column.
    for (int y = 144; y <= 152; ++y) {
        EXPECT_EQ(px(img, 82, y), BLACK) << y;
        EXPECT_EQ(px(img, 84, y), BLACK) << y;
    }
    EXPECT_EQ(px(img, 83, 144), BLACK);
    EXPECT_EQ(px(img, 83, 152), BLACK);
    for (int y = 145; y <= 151; ++y)
        EXPECT_EQ(px(img, 83, y), LIME) << y;
    // The bar, over line 8, from x 85 to 153.
    EXPECT_EQ(px(img, 85, 144), LIME);
    EXPECT_EQ(px(img, 100, 148), LIME);
    EXPECT_EQ(px(img, 153, 152), LIME);
    EXPECT_EQ(px(img, 154, 150), NAVY); // the next beat's line, after the bar
    EXPECT_EQ(px(img, 120, 143), WHITE);
    EXPECT_EQ(px(img, 120, 153), WHITE);
    // The sharp on row 18 (y 162..170): red box fill and bar; the bar lies over line 9.
    EXPECT_EQ(px(img, 227, 164), RED);
    EXPECT_EQ(px(img, 226, 164), BLACK);
    EXPECT_EQ(px(img, 240, 166), RED);
}

TEST(StaffPaint, ContinuedNoteIsGrayWithoutStartBox) {
    Song song = makeNewSong();
    addNote(song, 0, 48, 192, C4, 1);
    ASSERT_EQ(checkStore(song), "");
    Editing state = caretElsewhere();
    state.currentMeasure = 1;
    const QImage img = renderStaff(song, state);
    EXPECT_EQ(px(img, 82, 146), GRAY);
    EXPECT_EQ(px(img, 83, 144), GRAY);
    EXPECT_EQ(px(img, 369, 146), GRAY);
    EXPECT_EQ(px(img, 370, 146), WHITE);
}

TEST(StaffPaint, SignatureTextsAreBlackOnlyAtTheirOwnChange) {
    Song song = makeNewSong();
    setSignature(song, KIND_KEY, 3, 16); // G major from measure 4
    ASSERT_EQ(checkStore(song), "");
    Editing state = caretElsewhere();
    const QRect numerator(0, 60, 30, 32); // between lines 3 and 5, the "4" of the numerator
    const QRect sharp(34, 52, 14, 14);    // the treble sharp on the F line
    const std::initializer_list<int> lines = {57, 58, 59, 75, 76, 77, 93, 94, 95};

    QImage img = renderStaff(song, state);
    EXPECT_LT(darkest(img, numerator, lines), 0x40);
    EXPECT_EQ(darkest(img, sharp, lines), 255); // C major: no sharp

    state.currentMeasure = 3;
    img = renderStaff(song, state);
    EXPECT_EQ(darkest(img, numerator, lines), 0xC0); // the meter is carried over: silver
    EXPECT_LT(darkest(img, sharp, lines), 0x40);     // the key changes here: black

    // Silver text: nothing darker than silver, though a thin glyph may not cover a pixel fully.
    state.currentMeasure = 4;
    img = renderStaff(song, state);
    EXPECT_EQ(darkest(img, numerator, lines), 0xC0);
    EXPECT_GE(darkest(img, sharp, lines), 0xC0);
    EXPECT_LT(darkest(img, sharp, lines), 0xF0);
}

class ScorePageTest : public ::testing::Test {
protected:
    void SetUp() override {
        writableSong(session) = makeNewSong();
        page = std::make_unique<ScorePage>(session);
        page->resize(600, 300);
    }
    ImageView* imgPercName() const { return page->findChild<ImageView*>("imgPercName"); }
    QWidget* child(const char* name) const { return page->findChild<QWidget*>(name); }
    const QImage& staff() const { return page->imgScore()->image(); }

    SongDocument session;
    std::unique_ptr<ScorePage> page;
};

TEST_F(ScorePageTest, ControlsAndViewButtons) {
    for (const char* name : {"pnlScore", "imgScore", "imgSymbol", "imgOctUp", "imgOctDown", "imgPercName"})
        EXPECT_NE(child(name), nullptr) << name;
    EXPECT_EQ(page->objectName(), "tabScore");
    EXPECT_EQ(child("imgScore")->geometry(), QRect(66, 4, 514, 288));
    EXPECT_EQ(child("imgSymbol")->geometry(), QRect(18, 4, 48, 288));
    EXPECT_EQ(child("imgOctUp")->geometry(), QRect(22, 8, 115, 25));
    EXPECT_EQ(child("imgOctDown")->geometry(), QRect(22, 264, 115, 25));
    EXPECT_EQ(child("imgPercName")->geometry(), QRect(18, 4, 130, 288));

    struct Case {
        QToolButton* button;
        const char* name;
        QRect geometry;
        const char* caption;
        const char* hint;
    };
    const Case cases[] = {
        {page->btnScoreHigh(), "btnScoreHigh", {0, 0, 16, 97}, "上", "表示を上段にします。"},
        {page->btnScoreMid(), "btnScoreMid", {0, 96, 16, 105}, "中", "表示を中段にします。"},
        {page->btnScoreLow(), "btnScoreLow", {0, 200, 16, 97}, "下", "表示を下段にします。"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.button->objectName(), c.name);
        EXPECT_EQ(c.button->geometry(), c.geometry) << c.name;
        EXPECT_EQ(c.button->text(), QString::fromUtf8(c.caption));
        EXPECT_EQ(c.button->toolTip(), QString::fromUtf8(c.hint));
    }
    EXPECT_TRUE(page->btnScoreMid()->isChecked());

    page->show();
    QSignalSpy views(page.get(), &ScorePage::scoreViewChanged);
    QTest::mouseClick(page->btnScoreHigh(), Qt::LeftButton);
    EXPECT_EQ(session.editing().scoreView, 0);
    EXPECT_TRUE(page->btnScoreHigh()->isChecked());
    EXPECT_FALSE(page->btnScoreMid()->isChecked());
    EXPECT_TRUE(child("imgOctUp")->isVisible());
    QTest::mouseClick(page->btnScoreLow(), Qt::LeftButton);
    EXPECT_EQ(session.editing().scoreView, 2);
    EXPECT_FALSE(child("imgOctUp")->isVisible());
    EXPECT_TRUE(child("imgOctDown")->isVisible());
    QTest::mouseClick(page->btnScoreMid(), Qt::LeftButton);
    EXPECT_EQ(session.editing().scoreView, 1);
    EXPECT_FALSE(child("imgOctDown")->isVisible());
    ASSERT_EQ(views.count(), 3);
    EXPECT_EQ(views.at(0).at(0).toInt(), 0);

    // New and Open reset the view; the page then presses the matching button.
    session.setScoreView(2);
    page->showScoreView();
    EXPECT_TRUE(page->btnScoreLow()->isChecked());
}

TEST_F(ScorePageTest, DrawsOnlyWhileVisible) {
    addNote(writableSong(session), 0, 0, 24, C4);
    writableSong(session).partTransposition[0] = 3; // B-flat instrument: written in D major
    page->drawStaff();
    EXPECT_EQ(px(staff(), 83, 148), WHITE);

    page->show();                          // a page that has drawn nothing yet draws when shown
    EXPECT_EQ(px(staff(), 83, 139), LIME); // row 15

    // A change while hidden leaves the picture as it was until the page is on view again.
    page->hide();
    session.change("消去", {}, [](Song& s) { s.row(0).clear(); });
    page->drawStaff();
    EXPECT_EQ(px(staff(), 83, 139), LIME);
    page->show();
    EXPECT_EQ(px(staff(), 83, 139), WHITE);
}

TEST_F(ScorePageTest, DrumViewSwitching) {
    addNote(writableSong(session), PERCUSSION_PART, 0, 24, 16);
    ASSERT_EQ(checkStore(session.song()), "");
    page->show();
    EXPECT_FALSE(imgPercName()->isVisible());
    EXPECT_TRUE(child("imgSymbol")->isVisible());

    session.setCurrentPart(PERCUSSION_PART);
    session.setCaret(10 * 96);
    page->drawStaff();
    EXPECT_TRUE(imgPercName()->isVisible());
    EXPECT_FALSE(child("imgSymbol")->isVisible());
    EXPECT_EQ(px(staff(), 200, 9), BLACK);  // drum row 0's centre line
    EXPECT_EQ(px(staff(), 200, 58), WHITE); // no staff lines
    EXPECT_EQ(px(staff(), 83, 5), LIME);    // value 16 in drum row 0 of the middle view
    EXPECT_EQ(px(staff(), 82, 5), BLACK);
    EXPECT_EQ(px(staff(), 100, 17), LIME);
    // Its name ends at x 128 of the names image, right-aligned.
    const QImage& names = imgPercName()->image();
    EXPECT_LT(darkest(names, QRect(110, 0, 18, 18)), 0x40);
    EXPECT_GT(darkest(names, QRect(128, 0, 2, 288)), 0x80); // at most a glyph's soft edge

    QTest::mouseClick(page->btnScoreHigh(), Qt::LeftButton);
    EXPECT_EQ(px(staff(), 83, 5), WHITE); // index 16 is drum row 16: off this view
    EXPECT_FALSE(child("imgOctUp")->isVisible());

    session.setCurrentPart(10);
    page->drawStaff();
    EXPECT_FALSE(imgPercName()->isVisible());
    EXPECT_TRUE(child("imgSymbol")->isVisible());
    EXPECT_TRUE(child("imgOctUp")->isVisible());
    EXPECT_EQ(px(staff(), 200, 58), BLACK);
}

TEST_F(ScorePageTest, DrumIndexesOutsideTheListAreSkipped) {
    addNote(writableSong(session), PERCUSSION_PART, 0, 24, 47);
    addNote(writableSong(session), PERCUSSION_PART, 0, 24, 255);
    session.setCurrentPart(PERCUSSION_PART);
    session.setScoreView(2);
    page->show();
    for (int y = 0; y < 288; y += 18)
        EXPECT_EQ(px(staff(), 83, y + 5), WHITE) << y;
}

TEST_F(ScorePageTest, MouseOnTheStaffIsPassedOnInImagePixels) {
    page->show();
    QSignalSpy down(page.get(), &ScorePage::scoreMouseDown);
    QSignalSpy up(page.get(), &ScorePage::scoreMouseUp);
    QSignalSpy dbl(page.get(), &ScorePage::scoreDoubleClick);
    QTest::mousePress(page->imgScore(), Qt::RightButton, {}, QPoint(100, 150));
    QTest::mouseRelease(page->imgScore(), Qt::RightButton, {}, QPoint(101, 151));
    QTest::mouseDClick(page->imgScore(), Qt::LeftButton, {}, QPoint(20, 30));
    ASSERT_GE(down.count(), 1);
    EXPECT_EQ(down.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(down.at(0).at(1).toInt(), 100);
    EXPECT_EQ(down.at(0).at(2).toInt(), 150);
    ASSERT_GE(up.count(), 1);
    EXPECT_EQ(up.at(0).at(1).toInt(), 101);
    ASSERT_EQ(dbl.count(), 1);
    EXPECT_EQ(dbl.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_EQ(dbl.at(0).at(1).toInt(), 20);
    EXPECT_EQ(dbl.at(0).at(2).toInt(), 30);
}

TEST(ScorePictures, ClefLinesContinueTheStaffAtBothDensities) {
    for (const qreal dpr : {1.0, 2.0}) {
        const QImage img = renderPicture(CLEFS_SIZE, dpr, paintClefs);
        const auto at = [&](int x, int y) {
            return img.pixel(static_cast<int>(x * dpr), static_cast<int>(y * dpr));
        };
        for (int line : {58, 76, 94, 112, 130, 166, 184, 202, 220, 238}) {
            EXPECT_EQ(at(0, line - 1), BLACK) << line << " " << dpr;
            EXPECT_EQ(at(47, line + 1), BLACK) << line << " " << dpr;
            EXPECT_EQ(img.pixel(img.width() - 1, static_cast<int>((line + 2) * dpr)), WHITE)
                << line << " " << dpr;
        }
        EXPECT_LT(darkest(img, QRect(0, static_cast<int>(32 * dpr), img.width(), static_cast<int>(22 * dpr))),
                  0x40)
            << "treble clef above the staff";
        EXPECT_LT(darkest(img, QRect(static_cast<int>(36 * dpr), static_cast<int>(174 * dpr),
                                     static_cast<int>(8 * dpr), static_cast<int>(3 * dpr))),
                  0x40)
            << "bass clef dot";
    }
}

TEST(ScorePictures, OctaveSignsInTheirColours) {
    for (const bool up : {true, false}) {
        const QRgb colour = up ? OCTAVE_UP_COLOUR : OCTAVE_DOWN_COLOUR;
        for (const qreal dpr : {1.0, 2.0}) {
            const QImage img =
                renderPicture(OCTAVE_SIGN_SIZE, dpr, [up](QPainter& p) { paintOctaveSign(p, up); });
            int own = 0, other = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x) {
                    own += img.pixel(x, y) == colour;
                    other += img.pixel(x, y) == (up ? OCTAVE_DOWN_COLOUR : OCTAVE_UP_COLOUR);
                }
            EXPECT_GT(own, 10) << up << dpr;
            EXPECT_EQ(other, 0);
            // The bracket's stroke hangs down (up sign) or rises (down sign) at the left.
            const int strokeY = static_cast<int>((up ? 20 : 4) * dpr);
            EXPECT_EQ(img.pixel(static_cast<int>(1.5 * dpr), strokeY), colour) << up << dpr;
        }
    }
}

} // namespace
} // namespace pokopen
