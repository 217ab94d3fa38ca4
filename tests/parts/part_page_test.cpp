#include "parts/part_page.h"

#include "model/new_song.h"
#include "support/recording_midi_out.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include "support/step_counter.h"

#include <gtest/gtest.h>

namespace pokopen {
namespace {

using Calls = std::vector<std::string>;

struct PartPageFixture : ::testing::Test {
    SongDocument session;
    testing::RecordingMidiOut out;
    std::unique_ptr<PartPage> page;
    std::unique_ptr<testing::StepCounter> edited;
    int beeps = 0;

    PartPageFixture() {
        newSong(writableSong(session));
        writableSong(session).partInstrument[3] = 40;
        writableSong(session).partTransposition[3] = 3;
        writableSong(session).partVolume[3] = 90;
        writableSong(session).partVolume[PERCUSSION_PART] = 77;
        page = std::make_unique<PartPage>(session, out);
        page->testNote().setBeep([this] { ++beeps; });
        edited = std::make_unique<testing::StepCounter>(session);
    }

    InstrumentList* list() const { return page->findChild<InstrumentList*>("lstInst"); }
    QSlider* barVol() const { return page->findChild<QSlider*>("barVol"); }
    QString lblVol() const { return page->findChild<QLabel*>("lblVol")->text(); }
    QGroupBox* group(const char* name) const { return page->findChild<QGroupBox*>(name); }
    QList<QRadioButton*> transButtons() const { return group("rgrTrans")->findChildren<QRadioButton*>(); }
    int checkedTransposition() const {
        const QList<QRadioButton*> b = transButtons();
        for (int i = 0; i < b.size(); ++i)
            if (b[i]->isChecked())
                return i;
        return -1;
    }

    void showPart(int part) {
        session.setCurrentPart(part);
        page->show();
    }

    // A left press and release on an instrument of the list.
    void pressInstrument(int row) {
        list()->scrollToItem(list()->item(row));
        const QPoint at = list()->visualItemRect(list()->item(row)).center();
        QTest::mousePress(list()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list()->viewport(), Qt::LeftButton, {}, at);
    }
};

TEST_F(PartPageFixture, InstrumentListLooksAsSpecified) {
    InstrumentList* lst = list();
    ASSERT_EQ(lst->count(), 128);
    EXPECT_EQ(lst->item(0)->text(), "001.Piano1");
    EXPECT_EQ(lst->item(29)->text(), "030.Overdrive Gt.");
    EXPECT_EQ(lst->item(127)->text(), "128.Gunshot");
    EXPECT_TRUE(lst->font().bold());
    // The IPA fonts have no size with a cell of exactly 19 pixels; the nearest that fits is 18.
    EXPECT_GE(QFontMetrics(lst->font()).height(), 18);
    EXPECT_LE(QFontMetrics(lst->font()).height(), 19);
    showPart(0);
    EXPECT_EQ(lst->visualItemRect(lst->item(2)).height(), 19);

    // Unselected items: yellow text on black.
    const QImage img = lst->viewport()->grab().toImage();
    const QRect item = lst->visualItemRect(lst->item(2));
    int yellow = 0;
    for (int y = item.top(); y <= item.bottom(); ++y)
        for (int x = item.left(); x < item.left() + 80; ++x)
            yellow += img.pixelColor(x, y) == QColor(Qt::yellow);
    EXPECT_GT(yellow, 10);
    EXPECT_EQ(img.pixelColor(item.right() - 2, item.center().y()), QColor(Qt::black));
}

TEST_F(PartPageFixture, ShowsTheCurrentPartWithoutMarkingModified) {
    showPart(3);
    EXPECT_EQ(list()->currentRow(), 40);
    EXPECT_EQ(checkedTransposition(), 3);
    EXPECT_EQ(barVol()->value(), 90);
    EXPECT_EQ(lblVol(), "90");
    showPart(0);
    EXPECT_EQ(list()->currentRow(), 0);
    EXPECT_EQ(checkedTransposition(), 2);
    EXPECT_EQ(lblVol(), "100");
    EXPECT_EQ(edited->count(), 0);
    EXPECT_EQ(session.song().partInstrument[3], 40);
    EXPECT_EQ(session.song().partVolume[3], 90);
}

TEST_F(PartPageFixture, DoesNothingWhileNotOnView) {
    session.setCurrentPart(3);
    EXPECT_EQ(list()->currentRow(), -1);
    EXPECT_EQ(checkedTransposition(), -1);
}

TEST_F(PartPageFixture, DrumPartShowsOnlyTheVolume) {
    showPart(PERCUSSION_PART);
    EXPECT_FALSE(group("grpInst")->isVisible());
    EXPECT_FALSE(group("rgrTrans")->isVisible());
    EXPECT_TRUE(group("grpVol")->isVisible());
    EXPECT_EQ(lblVol(), "77");
    showPart(0);
    EXPECT_TRUE(group("grpInst")->isVisible());
    EXPECT_TRUE(group("rgrTrans")->isVisible());
}

TEST_F(PartPageFixture, PressingAnInstrumentChoosesItAndSoundsItOnChannelOne) {
    showPart(3);
    page->barTone()->setValue(69);
    pressInstrument(5); // "006.E.Piano2"
    EXPECT_EQ(session.song().partInstrument[3], 5);
    EXPECT_EQ(edited->count(), 1);
    EXPECT_EQ(out.calls(), (Calls{"open", "C0 05 00", "90 45 7F", "reset", "close"}));
    // The item already chosen: a test note, no modification.
    out.clear();
    page->barTone()->setValue(127);
    pressInstrument(5);
    EXPECT_EQ(edited->count(), 1);
    EXPECT_EQ(out.calls(), (Calls{"open", "C0 05 00", "90 7F 7F", "reset", "close"}));
}

TEST_F(PartPageFixture, TestNoteSoundsWhileTheButtonIsHeld) {
    showPart(0);
    list()->scrollToItem(list()->item(40));
    const QPoint at = list()->visualItemRect(list()->item(40)).center();
    QTest::mousePress(list()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(out.isOpen());
    EXPECT_EQ(out.calls(), (Calls{"open", "C0 28 00", "90 45 7F"}));
    QTest::mouseRelease(list()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_FALSE(out.isOpen());
    // Other buttons sound nothing.
    out.clear();
    QTest::mousePress(list()->viewport(), Qt::RightButton, {}, at);
    QTest::mouseRelease(list()->viewport(), Qt::RightButton, {}, at);
    EXPECT_TRUE(out.calls().empty());
}

TEST_F(PartPageFixture, WithoutADeviceThePressBeepsAndStillChooses) {
    out.refuseOpen = true;
    showPart(0);
    pressInstrument(7);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(out.calls(), (Calls{"open failed"}));
    EXPECT_EQ(session.song().partInstrument[0], 7);
    EXPECT_EQ(edited->count(), 1);
}

TEST_F(PartPageFixture, TranspositionAndVolumeMarkModifiedOnlyWhenTheyChange) {
    showPart(0);
    QTest::mouseClick(transButtons()[2], Qt::LeftButton); // already C instrument
    EXPECT_EQ(edited->count(), 0);
    QTest::mouseClick(transButtons()[5], Qt::LeftButton);
    EXPECT_EQ(session.song().partTransposition[0], 5);
    EXPECT_EQ(edited->count(), 1);

    barVol()->setValue(100);
    EXPECT_EQ(edited->count(), 1);
    barVol()->setValue(101);
    EXPECT_EQ(lblVol(), "101");
    barVol()->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(lblVol(), "81");
    EXPECT_EQ(session.song().partVolume[0], 81);
    EXPECT_EQ(edited->count(), 3);
}

} // namespace
} // namespace pokopen
