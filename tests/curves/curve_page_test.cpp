#include "curves/curve_page.h"
#include "model/new_song.h"
#include "model/store_check.h"
#include "ui/image_view.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "support/step_counter.h"

#include <gtest/gtest.h>

namespace pokopen {
namespace {

std::vector<std::pair<std::int32_t, int>> dynamicsOf(const Song& song, int part) {
    std::vector<std::pair<std::int32_t, int>> out;
    for (const Event& e : song.row(part).events())
        if (e.kind == KIND_DYNAMICS)
            out.emplace_back(e.pos, e.value);
    return out;
}

class DynamicsPageTest : public ::testing::Test {
protected:
    SongDocument session;
    DynamicsPage page{session};
    ImageView* image = nullptr;
    QLabel* value = nullptr;

    void SetUp() override {
        newSong(writableSong(session));
        page.resize(600, 300);
        page.show();
        page.tabExpShow();
        image = page.findChild<ImageView*>("imgExp");
        value = page.findChild<QLabel*>("lblExpVal");
        ASSERT_TRUE(image && value);
    }
    QRgb pixel(int x, int y) const { return image->image().pixel(x, y) & 0xFFFFFF; }
};

TEST_F(DynamicsPageTest, StrokeAcrossTheImagePaintsOnePointPerEvent) {
    testing::StepCounter edited(session);
    QTest::mousePress(image, Qt::LeftButton, {}, QPoint(90, 100)); // tick 30, value 77
    QTest::mouseMove(image, QPoint(99, 120));                      // tick 33, value 67
    QTest::mouseMove(image, QPoint(117, 254));                     // tick 39, value 0
    QTest::mouseRelease(image, Qt::LeftButton, {}, QPoint(126, 0));
    QTest::mouseMove(image, QPoint(135, 0)); // no button: only the label
    EXPECT_EQ(dynamicsOf(session.song(), 0),
              (std::vector<std::pair<std::int32_t, int>>{{0, 100}, {30, 77}, {33, 67}, {39, 0}}));
    EXPECT_EQ(edited.count(), 1) << "one stroke, one step";
    EXPECT_EQ(value->text(), "127");
    EXPECT_FALSE(session.inStep());
    EXPECT_EQ(checkStore(session.song()), "");

    // The graph of measure 1 after the stroke.
    const QRgb yellow = 0xFFFF00, black = 0, grey = 0x808080, maroon = 0x800000;
    const QRgb white = 0xFFFFFF, red = 0xFF0000, blue = 0x0000FF;
    EXPECT_EQ(pixel(94, 150), yellow);  // inside the box at tick 30
    EXPECT_EQ(pixel(94, 100), black);   // its top outline (value 77)
    EXPECT_EQ(pixel(98, 150), black);   // its right outline
    EXPECT_EQ(pixel(94, 99), maroon);   // above the box
    EXPECT_EQ(pixel(112, 200), grey);   // 67 held from tick 33 to the point at 39
    EXPECT_EQ(pixel(112, 110), maroon); // above the held bar
    EXPECT_EQ(pixel(50, 60), grey);     // 100 held from tick 0 to tick 30
    EXPECT_EQ(pixel(0, 5), white);      // beat
    EXPECT_EQ(pixel(36, 5), red);       // half beat
    EXPECT_EQ(pixel(72, 5), white);     // second beat
    EXPECT_EQ(pixel(9, 5), blue);       // step
    EXPECT_EQ(pixel(200, 154), white);  // reference line of value 50
    EXPECT_EQ(pixel(200, 54), white);   // reference line of value 100
    EXPECT_EQ(pixel(200, 100), maroon);
    EXPECT_EQ(pixel(290, 154), maroon); // right of a 4/4 measure nothing is drawn
}

TEST_F(DynamicsPageTest, OtherButtonsOutsidePointsAndHiddenPageDoNothing) {
    QTest::mousePress(image, Qt::RightButton, {}, QPoint(90, 100));
    QTest::mouseMove(image, QPoint(300, 100)); // right of the 4/4 measure
    QTest::mouseRelease(image, Qt::RightButton, {}, QPoint(300, 100));
    EXPECT_EQ(value->text(), ""); // neither the right button nor a point outside the measure counts
    QTest::mouseMove(image, QPoint(90, 100));
    EXPECT_EQ(value->text(), "77");
    EXPECT_EQ(dynamicsOf(session.song(), 0).size(), 1u);

    page.hide();
    writableSong(session).row(0).insertAt(2, {12, KIND_DYNAMICS, 10, 0});
    page.drawDynamicsGraph();
    EXPECT_NE(pixel(37, 240), 0xFFFF00u); // not repainted while hidden
    page.show();
    page.tabExpShow();
    EXPECT_EQ(pixel(37, 240), 0xFFFF00u);
    EXPECT_EQ(value->text(), "");
}

} // namespace
} // namespace pokopen

namespace pokopen {
namespace {

TEST(CurvePagesTest, TempoAndPanInstancesDifferOnlyByTheirTable) {
    SongDocument session;
    newSong(writableSong(session));
    TempoPage tempo(session);
    PanPage pan(session);
    EXPECT_EQ(tempo.findChild<QWidget*>("chkTempoAll"), nullptr);
    EXPECT_NE(pan.findChild<QWidget*>("chkPanAll"), nullptr);
    tempo.show();
    pan.show();
    tempo.tabTempoShow();
    pan.tabPanShow();

    const QImage& t = tempo.findChild<ImageView*>("imgTempo")->image();
    ASSERT_EQ(t.size(), QSize(432, 210));
    EXPECT_EQ(t.pixel(4, 150) & 0xFFFFFF, 0xFFFF00u);   // 120 bpm at tick 0: box from y = 119
    EXPECT_EQ(t.pixel(4, 118) & 0xFFFFFF, 0x008000u);   // green above it
    EXPECT_EQ(t.pixel(200, 209) & 0xFFFFFF, 0xFFFFFFu); // reference line of 30
    EXPECT_EQ(t.pixel(200, 29) & 0xFFFFFF, 0xFFFFFFu);  // reference line of 210
    EXPECT_EQ(t.pixel(200, 150) & 0xFFFFFF, 0x808080u); // 120 held across the measure

    const QImage& p = pan.findChild<ImageView*>("imgPan")->image();
    EXPECT_EQ(p.pixel(200, 126) & 0xFFFFFF, 0xFFFFFFu); // centre line
    EXPECT_EQ(p.pixel(200, 100) & 0xFFFFFF, 0x000080u); // navy above the held centre value

    // Tempo strokes go to the tempo row whatever part is current.
    session.setCurrentPart(5);
    tempo.imgMouseDown(Qt::LeftButton, 18, 0);
    tempo.imgMouseUp();
    EXPECT_EQ(session.song().row(TEMPO_ROW).at(1), (Event{6, KIND_TEMPO, 239, 0}));
    EXPECT_EQ(checkStore(session.song()), "");
}

} // namespace
} // namespace pokopen
