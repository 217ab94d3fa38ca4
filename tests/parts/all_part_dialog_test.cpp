#include "parts/all_part_dialog.h"

#include "model/new_song.h"
#include "support/recording_midi_out.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace pokopen {
namespace {

using Calls = std::vector<std::string>;

struct AllPartFixture : ::testing::Test {
    SongDocument session;
    std::vector<testing::RecordingMidiOut*> devices; // owned by the dialogs

    AllPartFixture() { newSong(writableSong(session)); }

    std::unique_ptr<TfrmAllPart> open() {
        return std::make_unique<TfrmAllPart>(session, [this] {
            auto out = std::make_unique<testing::RecordingMidiOut>();
            devices.push_back(out.get());
            return out;
        });
    }
    template <class T> static T* child(TfrmAllPart& d, const QString& name) { return d.findChild<T*>(name); }
    static QCheckBox* partBox(TfrmAllPart& d, int part) {
        return child<QCheckBox>(d, QStringLiteral("chkPart%1").arg(part + 1));
    }
    static QList<QRadioButton*> transButtons(TfrmAllPart& d) {
        return child<QWidget>(d, "rgrTrans")->findChildren<QRadioButton*>();
    }
};

TEST_F(AllPartFixture, EveryOpeningStartsFromTheSameStates) {
    for (int opening = 0; opening < 2; ++opening) {
        auto d = open();
        EXPECT_EQ(d->windowTitle(), "パートの一括設定");
        EXPECT_EQ(child<QListWidget>(*d, "lstInst")->currentRow(), 0);
        EXPECT_EQ(child<QSlider>(*d, "barTone")->value(), 69);
        EXPECT_TRUE(transButtons(*d)[2]->isChecked());
        EXPECT_EQ(child<QSlider>(*d, "barVol")->value(), 100);
        EXPECT_EQ(child<QLabel>(*d, "lblVol")->text(), "100");
        for (int p = 0; p < PART_ROWS; ++p)
            EXPECT_FALSE(partBox(*d, p)->isChecked());
        for (const char* name : {"chkInst", "chkTrans", "chkVol"})
            EXPECT_FALSE(child<QCheckBox>(*d, name)->isChecked());
        // Change everything and apply; the next opening must not remember it.
        child<QPushButton>(*d, "btnPart")->click();
        child<QListWidget>(*d, "lstInst")->setCurrentRow(60);
        transButtons(*d)[6]->click();
        child<QSlider>(*d, "barVol")->setValue(5);
        child<QPushButton>(*d, "btnOk")->click();
    }
}

TEST_F(AllPartFixture, PartBoxesLieInTwoRowsOfEight) {
    auto d = open();
    EXPECT_EQ(partBox(*d, 0)->geometry(), QRect(16, 24, 49, 17));
    EXPECT_EQ(partBox(*d, 7)->geometry(), QRect(16 + 48 * 7, 24, 49, 17));
    EXPECT_EQ(partBox(*d, 8)->geometry(), QRect(16, 48, 49, 17));
    EXPECT_EQ(partBox(*d, 15)->text(), "16");
    EXPECT_EQ(partBox(*d, 15)->parentWidget()->objectName(), "grpPart");
}

TEST_F(AllPartFixture, CheckAllAndOkAppliesToEveryPartAndOnlyTheVolumeToDrums) {
    auto d = open();
    child<QPushButton>(*d, "btnPart")->click();
    child<QListWidget>(*d, "lstInst")->setCurrentRow(40); // "041.Violin"
    transButtons(*d)[3]->click();
    child<QSlider>(*d, "barVol")->setValue(90);
    EXPECT_EQ(child<QLabel>(*d, "lblVol")->text(), "90");
    EXPECT_EQ(session.song().partVolume[0], 100); // nothing before OK
    child<QPushButton>(*d, "btnOk")->click();
    EXPECT_TRUE(d->songChanged());
    EXPECT_EQ(d->result(), QDialog::Accepted);
    for (int p = 0; p < PART_ROWS; ++p) {
        const auto i = static_cast<std::size_t>(p);
        EXPECT_EQ(session.song().partInstrument[i], p == PERCUSSION_PART ? 0 : 40) << p;
        EXPECT_EQ(session.song().partTransposition[i], p == PERCUSSION_PART ? 2 : 3) << p;
        EXPECT_EQ(session.song().partVolume[i], 90) << p;
    }
}

TEST_F(AllPartFixture, ChosenPartsOnlyAndCancelAppliesNothing) {
    auto d = open();
    partBox(*d, PERCUSSION_PART)->setChecked(true);
    child<QCheckBox>(*d, "chkInst")->setChecked(true);
    child<QCheckBox>(*d, "chkTrans")->setChecked(true);
    child<QListWidget>(*d, "lstInst")->setCurrentRow(12);
    child<QPushButton>(*d, "btnOk")->click();
    EXPECT_FALSE(d->songChanged());
    EXPECT_EQ(session.song(), makeNewSong());

    d = open();
    partBox(*d, 4)->setChecked(true);
    child<QCheckBox>(*d, "chkVol")->setChecked(true);
    child<QSlider>(*d, "barVol")->setValue(10);
    child<QPushButton>(*d, "btnCancel")->click();
    EXPECT_FALSE(d->songChanged());
    EXPECT_EQ(session.song(), makeNewSong());
}

TEST_F(AllPartFixture, TestNoteUsesItsOwnDeviceAndClosingSilencesIt) {
    auto d = open();
    d->show();
    ASSERT_EQ(devices.size(), 1u);
    auto* lst = child<QListWidget>(*d, "lstInst");
    const QPoint at = lst->visualItemRect(lst->item(3)).center();
    QTest::mousePress(lst->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(devices[0]->calls(), (Calls{"open", "C0 03 00", "90 45 7F"}));
    d->close(); // before the release
    EXPECT_EQ(devices[0]->calls(), (Calls{"open", "C0 03 00", "90 45 7F", "reset", "close"}));
    EXPECT_FALSE(d->songChanged());
}

} // namespace
} // namespace pokopen
